#include "friends/FriendCards.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/Failure.h"
#include "db/Backups.h"
#include "platform/FileUtil.h"

namespace kamo {
namespace fs = std::filesystem;
namespace {

// A TEXT value: backslash, comma and semicolon escaped, a line break (CR LF, CR or LF) as "\n", other
// control characters left out (no content line may hold them).
std::string TextValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' || c == ',' || c == ';') {
            out += '\\';
            out += c;
        } else if (c == '\r' || c == '\n') {
            out += "\\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) {
            out += c;
        } else if (c == '\t') {
            out += ' ';
        }
    }
    return out;
}

std::string Card(const Friend& f) {
    const std::string& name = !f.owner.empty() ? f.owner : !f.pet.empty() ? f.pet : f.address;
    std::string card = "BEGIN:VCARD\r\nVERSION:4.0\r\n";
    card += FoldedLine("FN:" + TextValue(name));
    if (!f.address.empty())
        card += FoldedLine("EMAIL:" + TextValue(f.address));
    std::string note;
    if (!f.pet.empty() || !f.petKind.empty()) {
        note = "ペット: " + f.pet;
        if (!f.petKind.empty())
            note += "（" + PetKindText(f.petKind) + "）";
    }
    if (f.mailCount > 0)
        note += (note.empty() ? "" : "\n") + std::string("メール: ") + std::to_string(f.mailCount) + " 通";
    if (!note.empty())
        card += FoldedLine("NOTE:" + TextValue(note));
    card += "END:VCARD\r\n";
    return card;
}

} // namespace

std::string FoldedLine(std::string_view line) {
    constexpr size_t kOctets = 75;
    std::string out;
    out.reserve(line.size() + line.size() / 64 * 3 + 2);
    size_t start = 0;
    size_t room = kOctets;
    while (line.size() - start > room) {
        size_t cut = start + room;
        // Back to the first byte of a character: continuation bytes are 10xxxxxx.
        while (cut > start && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        if (cut == start) // no character boundary in reach (not UTF-8): cut at the limit
            cut = start + room;
        out.append(line.substr(start, cut - start));
        out += "\r\n ";
        start = cut;
        room = kOctets - 1; // the leading space counts
    }
    out.append(line.substr(start));
    out += "\r\n";
    return out;
}

std::string FriendCards(const std::vector<Friend>& friends) {
    std::string cards;
    for (const auto& f : friends)
        cards += Card(f);
    return cards;
}

void WriteFriendCards(const std::vector<Friend>& friends, const fs::path& target, const fs::path& archive) {
    const auto fail = [&](FailureCode code, int error) {
        throw Failure(code, {target.string(), std::strerror(error)});
    };
    if (IsArchiveOrCopy(target, archive))
        throw Failure(FailureCode::TargetIsArchive, {target.string()});
    std::error_code ec;
    if (fs::is_directory(target, ec))
        fail(FailureCode::TargetIsFolder, EISDIR);
    FileWriter out(target, PrivateFile(PrivateModeOf(archive)));
    if (!out.Ok())
        fail(out.Error() == ELOOP ? FailureCode::TargetIsLink : FailureCode::CardsNotMade, out.Error());
    if (!out.Write(FriendCards(friends)) || !out.Commit())
        fail(FailureCode::CardsNotWritten, out.Error());
}

} // namespace kamo
