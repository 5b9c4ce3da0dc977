#include "import/Mailboxes.h"

#include <system_error>

#include "common/CodePage.h"
#include "common/MessagesRead.h"

namespace kamo {

const std::array<MailboxInfo, kMailboxCount>& Mailboxes() {
    // The names are the catalogue's; the folders and files are PostPet's names on disk.
    static const std::array<MailboxInfo, kMailboxCount> boxes = {{
        {MailboxKind::Inbox, TextOf(ReadText::Inbox), "受信フォルダ", "受信リスト.ppl", "受信メール.ppm", -1, 0},
        {MailboxKind::Outbox, TextOf(ReadText::Outbox), "送信フォルダ", "送信リスト.ppl", "送信メール.ppm", 0, -1},
        {MailboxKind::Drawer, TextOf(ReadText::DrawerPink), "", "ピンクの引出しリスト.ppl", "ピンクの引出し.ppm", 3, 7},
        {MailboxKind::Drawer, TextOf(ReadText::DrawerYellow), "", "黄色の引出しリスト.ppl", "黄色の引出し.ppm", 2, 8},
        {MailboxKind::Drawer, TextOf(ReadText::DrawerPurple), "", "紫の引出しリスト.ppl", "紫の引出し.ppm", 1, 9},
        {MailboxKind::Drawer, TextOf(ReadText::DrawerGreen), "", "緑色の引出しリスト.ppl", "緑色の引出し.ppm", -1, 6},
        {MailboxKind::Drawer, TextOf(ReadText::DrawerBlack), "", "黒の引出しリスト.ppl", "黒の引出し.ppm", -1, 5},
        {MailboxKind::Drawer, TextOf(ReadText::DrawerLightBlue), "", "水色の引出しリスト.ppl", "水色の引出し.ppm", -1,
         4},
        {MailboxKind::Drawer, TextOf(ReadText::DrawerRed), "", "赤の引出しリスト.ppl", "赤の引出し.ppm", -1, 3},
        {MailboxKind::Drawer, TextOf(ReadText::DrawerBrown), "", "茶色の引出しリスト.ppl", "茶色の引出し.ppm", -1, 2},
        {MailboxKind::Drawer, TextOf(ReadText::DrawerOrange), "", "橙色の引出しリスト.ppl", "橙色の引出し.ppm", -1, 1},
    }};
    return boxes;
}

namespace {

std::vector<const MailboxInfo*> Side(int MailboxInfo::*index) {
    std::vector<const MailboxInfo*> side;
    for (int i = 0; i < kReadOptionFlags; ++i)
        for (const auto& box : Mailboxes())
            if (box.*index == i)
                side.push_back(&box);
    return side;
}

bool Exists(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::exists(p, ec);
}

} // namespace

std::vector<const MailboxInfo*> SendSideMailboxes() {
    return Side(&MailboxInfo::sendIndex);
}
std::vector<const MailboxInfo*> RecievSideMailboxes() {
    return Side(&MailboxInfo::recievIndex);
}

std::filesystem::path FindName(const std::filesystem::path& dir, const std::string& utf8Name) {
    const auto utf8Path = dir / utf8Name;
    if (Exists(utf8Path))
        return utf8Path;
    const auto cp932Path = dir / Utf8ToCp932(utf8Name);
    if (Exists(cp932Path))
        return cp932Path;
    return utf8Path;
}

MailboxFiles LocateMailbox(const std::filesystem::path& postPetDir, const MailboxInfo& box) {
    const std::filesystem::path dir = *box.folder ? FindName(postPetDir, box.folder) : postPetDir;
    return {FindName(dir, box.listFile), FindName(dir, box.mailFile)};
}

} // namespace kamo
