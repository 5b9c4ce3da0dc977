#include "platform/SettingsStore.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "common/Messages.h"
#include "common/MessagesArchive.h"
#include "common/Prompter.h"
#include "common/Version.h"
#include "platform/ProfileFile.h"

namespace kamo {
namespace {

constexpr const char* kEnvironment = "KamoMail Environment";
constexpr const char* kPostPet = "PostPet Mail Option";
constexpr const char* kFormPosition = "Form Position";
constexpr const char* kMailOptions = "Mail Options";
constexpr const char* kMailFont = "Mail Font";
constexpr const char* kFriend = "Friend Editer";
constexpr const char* kFriendFile = "Friend File";
constexpr const char* kFriendFileDeclined = "Friend File Declined";
constexpr const char* kMailExport = "Mail Export";
constexpr const char* kWindowLayout = "Window Layout";
constexpr const char* kExportFormat = "Format";
constexpr const char* kExportFolder = "Folder";
constexpr const char* kImapServer = "ImapServer";
constexpr const char* kImapPort = "ImapPort";
constexpr const char* kImapUser = "ImapUser";
constexpr const char* kImapFolder = "ImapFolder";
constexpr const char* kImapSecurity = "ImapSecurity";

// The four position keys are padded with blanks to one length.
constexpr const char* kFormTop = "Form Top    Position";
constexpr const char* kFormLeft = "Form Left   Position";
constexpr const char* kFormWidth = "Form Width  Position";
constexpr const char* kFormHeight = "Form Height Position";

constexpr const char* kSendOption = "Send Mail Read Option";
constexpr const char* kRecievOption = "Reciev Mail Read Option";
constexpr const char* kAutoRead = "Auto Read";
constexpr const char* kNoFlags = "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0";
constexpr int kFlagCount = 16;

constexpr const char* kDefaultPostPetDir = "C:\\Program Files\\So-net\\PostPet for Windows ver. 2.0";
constexpr const char* kDefaultFont = "ＭＳ ゴシック";

constexpr int kFriendWidth = 9225;
constexpr int kFriendHeight = 5445;
constexpr int kFriendColWidth = 900;

// Whole decimal numbers only ("12", "-3", "+7"); anything else, or a number out of range, is none.
std::optional<int64_t> ParseNumber(const std::string& text, int64_t min, int64_t max) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > max - min) // far outside every range we read; stop before overflowing
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

class Reader {
public:
    explicit Reader(const ProfileFile& file) : file_(file) {}

    std::string Text(const char* section, const char* key, const std::string& absent, const std::string& empty) const {
        auto v = file_.Find(section, key);
        if (!v)
            return absent;
        return v->empty() ? empty : *v;
    }

    // The value, or `absent`'s value when the key is missing; what is then not a number in range
    // (an empty value, text) gives `empty`.
    int64_t Number(const char* section, const char* key, const std::string& absent, int64_t empty, int64_t min,
                   int64_t max) const {
        auto v = file_.Find(section, key);
        return ParseNumber(v ? *v : absent, min, max).value_or(empty);
    }

    int16_t Short(const char* section, const char* key, const std::string& absent, int64_t empty) const {
        return static_cast<int16_t>(Number(section, key, absent, empty, INT16_MIN, INT16_MAX));
    }
    int32_t Long(const char* section, const char* key, const std::string& absent, int64_t empty) const {
        return static_cast<int32_t>(Number(section, key, absent, empty, INT32_MIN, INT32_MAX));
    }

private:
    const ProfileFile& file_;
};

// Flags sit at character positions 1, 3, 5, ... 31: one digit each, commas skipped by position.
// A position past the end or holding no digit is 0.
void ReadFlags(const std::string& value, std::array<int16_t, 17>& slots) {
    slots.fill(0);
    for (int i = 0; i < kFlagCount; ++i) {
        size_t pos = static_cast<size_t>(i) * 2;
        if (pos < value.size() && value[pos] >= '0' && value[pos] <= '9')
            slots[static_cast<size_t>(i)] = static_cast<int16_t>(value[pos] - '0');
    }
}

std::string JoinFlags(const std::array<int16_t, 17>& slots) {
    std::string s;
    for (int i = 0; i < kFlagCount; ++i) {
        if (i > 0)
            s += ",";
        s += std::to_string(slots[static_cast<size_t>(i)]);
    }
    return s;
}

int16_t Centre(int screen, int size) {
    int v = (screen - size) / 2;
    return static_cast<int16_t>(std::clamp(v, static_cast<int>(INT16_MIN), static_cast<int>(INT16_MAX)));
}

} // namespace

ScreenTwips DefaultMainFormSize(const ScreenTwips& screen) {
    // Rounded to whole pixels, so the twips stored back for an unchanged window are these.
    auto twoThirds = [](int twips, int least) {
        return std::max(least, twips * 2 / 3 / kTwipsPerPixel * kTwipsPerPixel);
    };
    return {twoThirds(screen.width, kMainFormWidth), twoThirds(screen.height, kMainFormHeight)};
}

bool ReadSettings(Settings& s, FormGeometry& mainForm, const ScreenTwips& screen, Prompter& prompter) {
    const ProfileFile file = ProfileFile::Load(s.settingsPath);
    const Reader r(file);

    s.storedVersion = r.Long(kEnvironment, "Ver", "999", 0);

    auto dir = file.Find(kPostPet, "PostPet Dir");
    if (dir && dir->empty()) {
        prompter.Error(Say(ArchiveText::SettingsPostPetDirError, {s.settingsPath}));
        return false;
    }
    s.postPetDir = dir ? *dir : kDefaultPostPetDir;
    s.myMailAddr = r.Text(kPostPet, "My Mail Addr", "", "");
    s.myMailHandle = r.Text(kPostPet, "My Mail Handle", "", "");
    s.myPetName = r.Text(kPostPet, "My Pet Name", "", "");
    s.displayType = r.Short(kPostPet, "Display Type", "", 0);

    // Top and Left come before Width and Height, so they centre the default size.
    const ScreenTwips size = DefaultMainFormSize(screen);
    const int top = (screen.height - size.height) / 2;
    const int left = (screen.width - size.width) / 2;
    mainForm.top = r.Long(kFormPosition, kFormTop, std::to_string(top), top);
    mainForm.left = r.Long(kFormPosition, kFormLeft, std::to_string(left), left);
    mainForm.width = r.Long(kFormPosition, kFormWidth, std::to_string(size.width), size.width);
    mainForm.height = r.Long(kFormPosition, kFormHeight, std::to_string(size.height), size.height);
    mainForm.minimized = false;

    ReadFlags(r.Text(kMailOptions, kSendOption, kNoFlags, ""), s.sendReadOptions);
    ReadFlags(r.Text(kMailOptions, kRecievOption, kNoFlags, ""), s.recievReadOptions);
    s.autoRead = r.Short(kMailOptions, kAutoRead, "0", 0) == 1;

    s.mailFontName = r.Text(kMailFont, "Mail Text Font", kDefaultFont, "");
    s.mailFontSize = r.Long(kMailFont, "Mail Text Font Size", "10", 9);
    s.mailFontStyle = r.Text(kMailFont, "Mail Text Font Style", "0,0", "");

    s.friendWidth = r.Short(kFriend, "Width", std::to_string(kFriendWidth), kFriendWidth);
    s.friendHeight = r.Short(kFriend, "Height", std::to_string(kFriendHeight), kFriendHeight);
    // Centred from the friend size just read.
    const int16_t friendTop = Centre(screen.height, s.friendHeight);
    const int16_t friendLeft = Centre(screen.width, s.friendWidth);
    s.friendTop = r.Short(kFriend, "Top", std::to_string(friendTop), friendTop);
    s.friendLeft = r.Short(kFriend, "Left", std::to_string(friendLeft), friendLeft);
    for (size_t i = 0; i < s.friendColWidth.size(); ++i) {
        const std::string key = "Col Width" + std::to_string(i + 1);
        s.friendColWidth[i] = r.Short(kFriend, key.c_str(), std::to_string(kFriendColWidth), kFriendColWidth);
    }
    s.exportFormat = r.Text(kMailExport, kExportFormat, "", "");
    s.exportFolder = r.Text(kMailExport, kExportFolder, "", "");
    s.imapServer = r.Text(kMailExport, kImapServer, "", "");
    s.imapPort = static_cast<int32_t>(r.Number(kMailExport, kImapPort, "", 0, 0, 65535));
    s.imapUser = r.Text(kMailExport, kImapUser, "", "");
    s.imapFolder = r.Text(kMailExport, kImapFolder, "", "");
    s.imapSecurity = r.Text(kMailExport, kImapSecurity, "", "");
    s.showYears = r.Short(kWindowLayout, "Years Picture", "0", 0) == 1;
    s.threadedLines = r.Short(kWindowLayout, "Threaded Lines", "0", 0) == 1;
    s.keySplit = r.Text(kWindowLayout, "Key List Split", "", "");
    s.mailSplit = r.Text(kWindowLayout, "Mail Split", "", "");
    s.trashColumns = r.Text(kWindowLayout, "Trash Columns", "", "");
    return true;
}

bool WriteSettings(const Settings& s, const FormGeometry& mainForm, Prompter& prompter) {
    // Loaded afresh: keys that dialogs wrote on their own since the start are kept.
    ProfileFile file = ProfileFile::Load(s.settingsPath);

    file.Set(kPostPet, "PostPet Dir", s.postPetDir);
    file.Set(kPostPet, "My Mail Addr", s.myMailAddr);
    file.Set(kPostPet, "My Mail Handle", s.myMailHandle);
    file.Set(kPostPet, "My Pet Name", s.myPetName);
    file.Set(kPostPet, "Display Type", std::to_string(s.displayType));

    file.Set(kEnvironment, "Ver", std::to_string(kVersionNumber));

    if (!mainForm.minimized) {
        file.Set(kFormPosition, kFormTop, std::to_string(mainForm.top));
        file.Set(kFormPosition, kFormLeft, std::to_string(mainForm.left));
        file.Set(kFormPosition, kFormWidth, std::to_string(mainForm.width));
        file.Set(kFormPosition, kFormHeight, std::to_string(mainForm.height));
    }

    file.Set(kMailOptions, kSendOption, JoinFlags(s.sendReadOptions));
    file.Set(kMailOptions, kRecievOption, JoinFlags(s.recievReadOptions));
    file.Set(kMailOptions, kAutoRead, s.autoRead ? "1" : "0");

    file.Set(kMailFont, "Mail Text Font", s.mailFontName);
    file.Set(kMailFont, "Mail Text Font Size", std::to_string(s.mailFontSize));
    file.Set(kMailFont, "Mail Text Font Style", s.mailFontStyle);

    file.Set(kFriend, "Width", std::to_string(s.friendWidth));
    file.Set(kFriend, "Height", std::to_string(s.friendHeight));
    file.Set(kFriend, "Top", std::to_string(s.friendTop));
    file.Set(kFriend, "Left", std::to_string(s.friendLeft));
    for (size_t i = 0; i < s.friendColWidth.size(); ++i)
        file.Set(kFriend, "Col Width" + std::to_string(i + 1), std::to_string(s.friendColWidth[i]));
    // Written once there is something to remember: a file that never saw an export stays as it was.
    if (!s.exportFormat.empty())
        file.Set(kMailExport, kExportFormat, s.exportFormat);
    if (!s.exportFolder.empty())
        file.Set(kMailExport, kExportFolder, s.exportFolder);
    // The server's keys go together, so that a port or folder taken away does not stay behind.
    if (!s.imapServer.empty()) {
        file.Set(kMailExport, kImapServer, s.imapServer);
        file.Set(kMailExport, kImapPort, s.imapPort > 0 ? std::to_string(s.imapPort) : "");
        file.Set(kMailExport, kImapUser, s.imapUser);
        file.Set(kMailExport, kImapFolder, s.imapFolder);
        file.Set(kMailExport, kImapSecurity, s.imapSecurity);
    }
    file.Set(kWindowLayout, "Years Picture", s.showYears ? "1" : "0");
    file.Set(kWindowLayout, "Threaded Lines", s.threadedLines ? "1" : "0");
    if (!s.keySplit.empty())
        file.Set(kWindowLayout, "Key List Split", s.keySplit);
    if (!s.mailSplit.empty())
        file.Set(kWindowLayout, "Mail Split", s.mailSplit);
    if (!s.trashColumns.empty())
        file.Set(kWindowLayout, "Trash Columns", s.trashColumns);

    if (!file.Save()) {
        prompter.Error(Say(ArchiveText::SettingsWriteError, {s.settingsPath}));
        return false;
    }
    return true;
}

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

int PixelsToTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}

PixelGeometry ToPixels(const FormGeometry& g) {
    return {TwipsToPixels(g.left), TwipsToPixels(g.top), TwipsToPixels(g.width), TwipsToPixels(g.height)};
}

FormGeometry FromPixels(const PixelGeometry& now, const FormGeometry& applied, bool minimized) {
    auto keep = [](int pixels, int twips) { return TwipsToPixels(twips) == pixels ? twips : PixelsToTwips(pixels); };
    FormGeometry g;
    g.left = keep(now.left, applied.left);
    g.top = keep(now.top, applied.top);
    g.width = keep(now.width, applied.width);
    g.height = keep(now.height, applied.height);
    g.minimized = minimized;
    return g;
}

std::string StoredVersionText(const std::filesystem::path& settingsFile) {
    const ProfileFile file = ProfileFile::Load(settingsFile);
    return std::to_string(Reader(file).Long(kEnvironment, "Ver", "999", 0));
}

bool NeedsVersionUpgrade(const std::string& versionText) {
    return versionText.compare("210") <= 0;
}

bool WriteVersionKey(const std::filesystem::path& settingsFile) {
    return WriteProfileString(settingsFile, kEnvironment, "Ver", std::to_string(kVersionNumber));
}

std::string ReadFriendFilePath(const std::filesystem::path& settingsPath) {
    return ReadProfileString(settingsPath, kFriend, kFriendFile, "");
}

bool WriteFriendFilePath(const std::filesystem::path& settingsPath, const std::string& file) {
    return WriteProfileString(settingsPath, kFriend, kFriendFile, file);
}

std::string ReadDeclinedFriendFile(const std::filesystem::path& settingsPath) {
    return ReadProfileString(settingsPath, kFriend, kFriendFileDeclined, "");
}

bool WriteDeclinedFriendFile(const std::filesystem::path& settingsPath, const std::string& file) {
    return WriteProfileString(settingsPath, kFriend, kFriendFileDeclined, file);
}

} // namespace kamo
