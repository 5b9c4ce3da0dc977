#pragma once
// The benchmarks' PostPet mailbox: the writer's generated mails (tools/ppwriter), every
// `multipartEvery`-th one a MIME multipart mail with its text as a Shift_JIS part and a picture with a
// Japanese file name as a base64 attachment. bench_import reads it; bench_export reads it into the
// archive it exports.
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include "import/MailRead.h"
#include "ppwriter/MailboxWriter.h"

namespace kamo::bench {

inline constexpr std::size_t kPictureBytes = 6000;

inline void WriteBenchMailbox(const std::filesystem::path& list, const std::filesystem::path& mail, uint64_t n,
                              uint64_t multipartEvery) {
    ppw::MailGenerator gen(2001);
    ppw::MailboxWriter writer(list, mail);
    std::mt19937 rng(7);
    for (uint64_t i = 0; i < n; ++i) {
        ppw::Mail m = gen.Next();
        if (multipartEvery > 0 && i % multipartEvery == multipartEvery - 1) {
            std::string picture(kPictureBytes, '\0');
            for (auto& byte : picture)
                byte = static_cast<char>(rng());
            m.header = "From: " + m.from + "\r\nTo: " + m.to + "\r\nSubject: " + m.subject + "\r\nDate: " + m.date +
                       "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"kamo-bench\"\r\n\r\n";
            m.body = ppw::Multipart(
                "kamo-bench",
                {"Content-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + m.body,
                 "Content-Type: image/jpeg; name=\"" + ppw::EncodedWord("写真" + std::to_string(i) + ".jpg") +
                     "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + ppw::Base64(picture)});
        }
        writer.Add(m);
    }
    writer.Close();
}

// The read of the inbox written by WriteBenchMailbox into `dir`/PostPet.
inline ReadRequest InboxRead(const std::filesystem::path& dir) {
    ReadRequest request;
    request.postPetDir = dir / "PostPet";
    request.tmpPath = dir / "KamoMail.Tmp";
    request.mailboxes.push_back({&Mailboxes()[0], false, true});
    return request;
}

} // namespace kamo::bench
