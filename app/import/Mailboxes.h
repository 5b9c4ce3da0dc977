#pragma once
// PostPet's eleven mailboxes, their files, and where each sits among the read-option flags.
//
// "Send Mail Read Option" (16 flags; the rest unused):
//   0 送信フォルダ (outbox)  1 紫  2 黄色  3 ピンク
// "Reciev Mail Read Option" (16 flags; the rest unused):
//   0 受信フォルダ (inbox)  1 橙色  2 茶色  3 赤  4 水色  5 黒  6 緑色  7 ピンク  8 黄色  9 紫
// Read order: inbox, outbox, then the drawers ピンク 黄色 紫 緑色 黒 水色 赤 茶色 橙色. A drawer
// ticked on both sides is read once.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kamo {

enum class MailboxKind { Inbox, Outbox, Drawer };

struct MailboxInfo {
    MailboxKind kind;
    // The name PostPet shows the user (受信フォルダ, 送信フォルダ, ピンクの引出し, ...), in the
    // catalogue's words (ReadText); the name kept with each stored mail's original too.
    const char* name;
    const char* folder; // sub-folder of the PostPet folder, empty for the drawers
    // The list and mail files' names: 受信リスト.ppl and 受信メール.ppm, ピンクの引出しリスト.ppl and
    // ピンクの引出し.ppm, ...
    const char* listFile;
    const char* mailFile;
    int sendIndex;   // index among the send-side flags, -1 when not offered there
    int recievIndex; // index among the receive-side flags, -1 when not offered there
};

constexpr int kMailboxCount = 11;
constexpr int kReadOptionFlags = 16;
// The eleven, in read order.
const std::array<MailboxInfo, kMailboxCount>& Mailboxes();

// The check boxes of each side, in flag-index order (what frmMailReadOpt shows).
std::vector<const MailboxInfo*> SendSideMailboxes();
std::vector<const MailboxInfo*> RecievSideMailboxes();

struct MailboxChoice {
    const MailboxInfo* box;
    bool send;    // ticked on the send side
    bool recieve; // ticked on the receive side
};

// The mailboxes to read, in read order, from the two flag rows (or all eleven with `all`).
template <std::size_t N>
std::vector<MailboxChoice> ChooseMailboxes(const std::array<int16_t, N>& sendFlags,
                                           const std::array<int16_t, N>& recievFlags, bool all) {
    static_assert(N >= kReadOptionFlags);
    std::vector<MailboxChoice> chosen;
    for (const auto& box : Mailboxes()) {
        const bool send = box.sendIndex >= 0 && sendFlags[static_cast<std::size_t>(box.sendIndex)] != 0;
        const bool recieve = box.recievIndex >= 0 && recievFlags[static_cast<std::size_t>(box.recievIndex)] != 0;
        if (all || send || recieve)
            chosen.push_back({&box, send, recieve});
    }
    return chosen;
}

// A name inside `dir`: the UTF-8 spelling when that exists, else the CP932 byte spelling when that
// exists (folders copied from old disks keep CP932 names), else the UTF-8 spelling.
std::filesystem::path FindName(const std::filesystem::path& dir, const std::string& utf8Name);

struct MailboxFiles {
    std::filesystem::path list;
    std::filesystem::path mail;
};
MailboxFiles LocateMailbox(const std::filesystem::path& postPetDir, const MailboxInfo& box);

} // namespace kamo
