// ppwriter: writes PostPet mailboxes, friend files and sample PostPet folders.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "ppwriter/MailboxWriter.h"

namespace {

int Usage() {
    std::fputs("usage:\n"
               "  ppwriter sample-folder DIR [--cp932-names] [--seed N] [--mails N [--pictures K]]\n"
               "      a whole PostPet folder: eleven mailboxes and the friend file; --mails adds N generated\n"
               "      mails, every K-th with a picture\n"
               "  ppwriter large LIST MAIL N [SEED]\n"
               "      one mailbox of N generated mails (streams; fine for 100000 and more)\n"
               "  ppwriter friend PATH [N] [SEED]\n"
               "      a friend file of N generated friends (default 8)\n",
               stderr);
    return 2;
}

bool ParseNumber(const char* text, uint64_t& value) {
    try {
        size_t used = 0;
        value = std::stoull(text, &used, 10);
        return used == std::strlen(text);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    try {
        if (command == "sample-folder" && argc >= 3) {
            ppw::SampleOptions options;
            for (int i = 3; i < argc; ++i) {
                if (std::strcmp(argv[i], "--cp932-names") == 0)
                    options.cp932Names = true;
                else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc && ParseNumber(argv[i + 1], options.seed))
                    ++i;
                else if (std::strcmp(argv[i], "--mails") == 0 && i + 1 < argc &&
                         ParseNumber(argv[i + 1], options.moreMails))
                    ++i;
                else if (std::strcmp(argv[i], "--pictures") == 0 && i + 1 < argc &&
                         ParseNumber(argv[i + 1], options.pictureEvery))
                    ++i;
                else
                    return Usage();
            }
            size_t total = 0;
            for (const auto& box : ppw::WriteSampleFolder(argv[2], options))
                total += box.mails;
            std::printf("ppwriter: %zu mails in 11 mailboxes and %s written to %s\n", total, ppw::kFriendFileName,
                        argv[2]);
            return 0;
        }
        if (command == "large" && (argc == 5 || argc == 6)) {
            uint64_t n = 0, seed = 1;
            if (!ParseNumber(argv[4], n) || (argc == 6 && !ParseNumber(argv[5], seed)))
                return Usage();
            ppw::WriteLargeMailbox(argv[2], argv[3], n, seed);
            return 0;
        }
        if (command == "friend" && argc >= 3 && argc <= 5) {
            uint64_t n = 8, seed = 1;
            if ((argc >= 4 && !ParseNumber(argv[3], n)) || (argc == 5 && !ParseNumber(argv[4], seed)))
                return Usage();
            ppw::MailGenerator gen(seed);
            std::vector<ppw::Friend> friends;
            for (uint64_t i = 0; i < n; ++i)
                friends.push_back(gen.NextFriend());
            ppw::WriteFriendFile(argv[2], friends);
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return Usage();
}
