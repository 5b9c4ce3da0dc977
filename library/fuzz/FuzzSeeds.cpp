#include "FuzzSeeds.h"

#include "FuzzBodies.h"
#include "ppwriter/MailboxWriter.h"

namespace kamofuzz {
namespace {

std::vector<ppw::Mail> Generated(uint64_t seed, int n) {
    ppw::MailGenerator gen(seed);
    std::vector<ppw::Mail> mails;
    for (int i = 0; i < n; ++i)
        mails.push_back(gen.Next());
    return mails;
}

std::string Packed(const std::vector<ppw::Mail>& mails) {
    auto box = ppw::BuildMailbox(mails);
    return PackMailbox(box.list, box.mail);
}

std::vector<std::string> MailboxSeeds() {
    std::vector<std::string> seeds;
    for (uint64_t seed = 1; seed <= 6; ++seed)
        seeds.push_back(Packed(Generated(seed, static_cast<int>(1 + seed % 4))));
    auto mails = Generated(11, 3);
    auto damaged = mails;
    damaged[1].damage.endMarker = "EeE2";
    seeds.push_back(Packed(damaged));
    damaged = mails;
    damaged[2].damage.cutAfter = 30;
    seeds.push_back(Packed(damaged));
    damaged = mails;
    damaged[1].damage.bodyLength = 0xFFFFFFF0u;
    seeds.push_back(Packed(damaged));
    damaged = mails;
    damaged[0].damage.headerOffset = 500;
    damaged[0].damage.bodyOffset = 20;
    seeds.push_back(Packed(damaged));
    damaged = mails;
    damaged[1].damage.recordLength = 7;
    seeds.push_back(Packed(damaged));
    ppw::Mail trailer = mails[0];
    trailer.trailer = {};
    trailer.trailer.lead = "ABCDEFGHIJKLMNOPQRST";
    trailer.trailer.groupCount = 0x13;
    trailer.trailer.groupStrings.assign(0x12, "g");
    seeds.push_back(Packed({trailer}));
    seeds.push_back(PackMailbox("", ""));
    return seeds;
}

std::vector<std::string> FriendSeeds() {
    std::vector<std::string> seeds;
    for (uint64_t seed = 1; seed <= 4; ++seed) {
        ppw::MailGenerator gen(seed);
        std::vector<ppw::Friend> friends;
        for (uint64_t i = 0; i < seed * 2; ++i)
            friends.push_back(gen.NextFriend());
        seeds.push_back(ppw::FriendFileBytes(friends));
    }
    seeds.push_back(ppw::FriendFileBytes({{10, "モモ", "\"かも\", |弓|", "kamo@example.jp", 255, false}}));
    seeds.push_back(
        ppw::FriendFileBytes({{1, std::string(200, ','), std::string(255, '|'), std::string(255, 'a'), 1, true}}));
    return seeds;
}

std::vector<std::string> TextSeeds() {
    return {
        "a,b",
        "\"word\" 'quoted' a|b",
        "\x83\x7C\x7C",
        ppw::ToCp932("ポスペの\"モモ\"より, 弓|鋼|酢 表 能 ①㈱髙～ “引用” ―"),
        "\x83\x81\x62\x83\x81\x67\x81\x7C",
        std::string(4200, ','),
        std::string(8181, 'a') + "\x83\x7C",
    };
}

} // namespace

std::vector<std::string> Seeds(const std::string& target) {
    if (target == "fuzz_kamomail_edit")
        return MailboxSeeds();
    if (target == "fuzz_kamofriend_edit")
        return FriendSeeds();
    if (target == "fuzz_mail_strchange")
        return TextSeeds();
    return {};
}

} // namespace kamofuzz
