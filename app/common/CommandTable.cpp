#include "common/CommandTable.h"

namespace kamo {
namespace {

std::vector<CommandDef> BuildCommands() {
    // The terminal's commands come in the order of its --help; a menu's in the order of `place`.
    // Keys an edit field or the mail text takes for itself (Ctrl+C, Ctrl+A, Delete while typing) stay
    // theirs: Qt hands such a key to the focused field before the menu.
    return {
        {.control = "memVar",
         .terminal = "--version",
         .summary = "バージョンを表示します",
         .menu = "memHelpMenu",
         .place = 20,
         .caption = "バージョン情報(&A)"},
        {.terminal = "--help", .summary = "この説明を表示します"},
        // Reading, deleting and ending.
        {.control = "comMailRead",
         .terminal = "read",
         .writes = true,
         .compacts = true,
         .options = "[--postpet-dir DIR] [--all] [--watch [--settle-ms N]]",
         .summary = "PostPetのメールを読み込みます（--watch: 書き込まれるたびに読み込み続けます）",
         .menu = kButtonRow,
         .place = 1,
         .caption = "PostPet Mail Read",
         .toolTip = "PostPetからメールを読み込みます"},
        // The same read from the menu and the keyboard.
        {.control = "memMailRead",
         .writes = true,
         .menu = "memFileMenu",
         .place = 1,
         .caption = "PostPet メール読み込み(&R)",
         .toolTip = "PostPetからメールを読み込みます",
         .shortcut = "F9"},
        {.control = "comMailDel",
         .writes = true,
         .menu = kButtonRow,
         .place = 2,
         .caption = "メール　削除",
         .toolTip = "選択されているメールを削除します"},
        // Delete: the mail, or the key's mail in the key list.
        {.control = "memMailDel",
         .writes = true,
         .menu = "mnuEdit",
         .place = 31,
         .caption = "削除(&D)",
         .toolTip = "選択されているメールを削除します（左の一覧にいるときは、その項目のメールを削除します）",
         .shortcut = "Delete"},
        {.control = "cmdAddrDel",
         .writes = true,
         .menu = kButtonRow,
         .place = 3,
         .caption = "アドレス　削除",
         .toolTip = "選択されているアドレスを削除します"},
        {.control = "comSendMail",
         .menu = kButtonRow,
         .place = 4,
         .caption = "返　信",
         .toolTip = "選択されているメールに返信します"},
        {.control = "memReply", .menu = "mnuEdit", .place = 30, .caption = "返信(&R)", .shortcut = "Ctrl+R"},
        {.control = "comEnd", .menu = kButtonRow, .place = 10, .caption = "終　了", .toolTip = "KamoMailを終了します"},
        {.control = "memEnd", .menu = "memFileMenu", .place = 20, .caption = "終了(&X)", .shortcut = "Ctrl+Q"},
        // Looking at the archive.
        {.terminal = "search",
         .options = "[--format text|json] [--body] 指定...",
         .summary = "メールを検索します（指定の書き方は search --help）"},
        {.terminal = "list",
         .options = "[--by address|name|date|filter] | --address A|--name N|--date D|--filter F [--format json] "
                    "[--body] [--threads]",
         .summary = "キーやメールの一覧を表示します（--threads: 会話ごとにまとめる）"},
        {.control = "memNameOrAddr", .menu = "mnuView", .place = 10, .caption = "表示の切り替え(&C)", .shortcut = "F5"},
        {.control = "memUndo",
         .writes = true,
         .menu = "mnuEdit",
         .place = 1,
         .caption = "元に戻す(&U)",
         .toolTip = "最後に削除したメールをゴミ箱から元に戻します",
         .shortcut = "Ctrl+Z"},
        {.control = "memCopy", .menu = "mnuEdit", .place = 10, .caption = "コピー(&C)", .shortcut = "Copy"},
        {.control = "memSelectAll",
         .menu = "mnuEdit",
         .place = 11,
         .caption = "すべて選択(&A)",
         .shortcut = "SelectAll"},
        {.control = "memSearch", .menu = "mnuEdit", .place = 20, .caption = "検索(&F)", .shortcut = "Find"},
        {.control = "cmdSubjectOrder"}, // the subject list's heading: turns the order round
        {.control = "cmdThreads"},      // beside the heading: the lines grouped by conversation, or not
        // The years at a glance: shown or hidden.
        {.control = "memYears",
         .menu = "mnuView",
         .place = 11,
         .caption = "年ごとのメール(&Y)",
         .toolTip = "メールの数を月ごとの棒で、すべての年にわたって表示します",
         .shortcut = "F6",
         .checkable = true},
        {.control = "memOriginalHeader", .menu = "mnuView", .place = 12, .caption = "元のヘッダー(&H)..."},
        // Always on, as the other commands that do not write; with no mail chosen, or one alone in its
        // conversation, it shows nothing.
        {.control = "memConversation",
         .menu = "mnuView",
         .place = 13,
         .caption = "この会話を表示(&T)",
         .shortcut = "Ctrl+T"},
        {.control = "cmdAttachSave"},
        {.control = "cmdAttachSaveAll"},
        // Exports and the archive's upkeep.
        {.control = "memMailExport",
         .terminal = "export",
         .options = "--format 形式 出力先 [選択] [--seen all|sent]",
         .summary =
             "書き出します（mbox, maildir, eml, html, pdf, csv。既読は既定ですべて。形式は kamomail export --help）",
         .menu = "memFileMenu",
         .place = 10,
         .caption = "メールを書き出す(&M)..."},
        {.control = "memPrint", .menu = "memFileMenu", .place = 11, .caption = "印刷(&P)...", .shortcut = "Print"},
        {.control = "memPdfExport", .menu = "memFileMenu", .place = 12, .caption = "PDF に書き出し(&D)..."},
        {.control = "memExport",
         .menu = "memDBSupportMenu",
         .place = 10,
         .caption = "エクスポート（全データを CSV に）(&E)...",
         .toolTip = "KamoMail のデータすべてを表ごとの CSV ファイルに書き出します（インポートで戻せます）"},
        {.control = "memInport",
         .terminal = "import",
         .writes = true,
         .compacts = true,
         .options = "--format csv DIR",
         .summary = "書き出した CSV を取り込みます",
         .menu = "memDBSupportMenu",
         .place = 11,
         .caption = "インポート（CSV から）(&I)...",
         .toolTip = "エクスポートした CSV ファイルを取り込みます"},
        {.control = "memFriend_F",
         .terminal = "friends",
         .writes = true,
         .compacts = true,
         .options = "--read FILE | --export FILE.vcf",
         .summary = "おともだちファイルをおともだち帳に読み込みます（--export: おともだち帳を vCard に書き出します）",
         .menu = "mnuFriend",
         .place = 20,
         .caption = "おともだちファイルを読み込む(&F)"},
        {.control = "memBackUp_Make",
         .terminal = "backup",
         .writes = true,
         .summary = "今日のバックアップを作成します",
         .menu = "memBackUpMenu",
         .place = 10,
         .caption = "今日のバックアップを作成(&M)"},
        {.terminal = "backups", .summary = "バックアップの一覧を表示します"},
        // The trash: deleted mail waits there until it is restored or the trash is emptied.
        {.control = "memTrash",
         .terminal = "trash",
         .writes = true,
         .options = "[--restore | --empty]",
         .summary = "ゴミ箱のメールを表示します（--restore: 最後に削除したメールを元に戻します、--empty: "
                    "ゴミ箱を空にします）",
         .menu = "mnuView",
         .place = 30,
         .caption = "ゴミ箱(&T)...",
         .toolTip = "削除したメールを表示し、元に戻したりゴミ箱を空にしたりします"},
        {.terminal = "index",
         .options = "[--rebuild | --drop | --redecode]",
         .summary = "検索用の索引を最新にします（作り直し・削除）、メールを元のメールから読み直します"},
        {.control = "memDBEdit",
         .writes = true,
         .menu = "memDBSupportMenu",
         .place = 20,
         .caption = "データベースの再作成(&R)..."},
        {.control = "memBackUp_FileEdit",
         .writes = true,
         .menu = "memBackUpMenu",
         .place = 20,
         .caption = "バックアップファイルの整理(&O)..."},
        {.control = "memBackUp_FileSelect",
         .menu = "memBackUpMenu",
         .place = 21,
         .caption = "バックアップを表示(&S)..."},
        {.control = "memNomalDisp",
         .backupViewOnly = true,
         .menu = "memBackUpMenu",
         .place = 22,
         .caption = "通常の表示に戻す(&N)"},
        // The friend book.
        {.control = "memFriendEd", .writes = true, .menu = "mnuFriend", .place = 10, .caption = "おともだち帳(&E)..."},
        {.control = "memAddressAdd",
         .writes = true,
         .menu = "mnuFriend",
         .place = 11,
         .caption = "アドレスをおともだち帳に追加(&A)"},
        {.control = "memFriend_A",
         .writes = true,
         .menu = "mnuFriend",
         .place = 21,
         .caption = "飼い主の名前で表示(&N)"},
        {.control = "memFriend_P",
         .writes = true,
         .menu = "mnuFriend",
         .place = 22,
         .caption = "ペットの名前で表示(&P)"},
        {.control = "memFriend_M",
         .writes = true,
         .menu = "mnuFriend",
         .place = 23,
         .caption = "メールのもとの名前に戻す(&M)"},
        // Filters.
        {.control = "memFilter", .writes = true, .menu = "mnuFilter", .place = 10, .caption = "フィルター設定(&S)..."},
        {.control = "memFilterGo", .writes = true, .menu = "mnuFilter", .place = 11, .caption = "フィルター実行(&G)"},
        // Settings and help.
        {.control = "memOption", .menu = "memEnvMenu", .place = 10, .caption = "オプション(&O)..."},
        {.control = "memHelp_Top",
         .menu = "memHelpMenu",
         .place = 10,
         .caption = "ヘルプの目次(&C)",
         .shortcut = "HelpContents"},
    };
}

} // namespace

const std::vector<CommandDef>& Commands() {
    static const std::vector<CommandDef> commands = BuildCommands();
    return commands;
}

const std::vector<MenuDef>& Menus() {
    static const std::vector<MenuDef> menus = {
        {"memFileMenu", "memFile", "", "ファイル(&F)"},
        {"memDBSupportMenu", "memDBSupport", "memFileMenu", "データベース管理(&D)"},
        {"memBackUpMenu", "memBackUp", "memFileMenu", "バックアップ(&B)"},
        {"mnuEdit", "", "", "編集(&E)"},
        {"mnuView", "", "", "表示(&V)"},
        {"mnuFriend", "", "", "おともだち(&T)"},
        {"mnuFilter", "", "", "フィルター(&I)"},
        {"memEnvMenu", "memEnv", "", "設定(&S)"},
        {"memHelpMenu", "memHelp", "", "ヘルプ(&H)"},
    };
    return menus;
}

const CommandDef* FindWindowCommand(std::string_view control) {
    if (control.empty())
        return nullptr;
    for (const auto& c : Commands())
        if (c.control == control)
            return &c;
    return nullptr;
}

const CommandDef* FindTerminalCommand(std::string_view name) {
    if (name.empty())
        return nullptr;
    for (const auto& c : Commands())
        if (c.terminal == name)
            return &c;
    return nullptr;
}

std::string CommandLine(const CommandDef& command) {
    std::string line = "kamomail " + std::string(command.terminal);
    if (!command.options.empty())
        line += " " + std::string(command.options);
    return line;
}

std::string UsageText(std::string_view terminal) {
    const CommandDef* command = FindTerminalCommand(terminal);
    return command ? "使い方: " + CommandLine(*command) : std::string();
}

} // namespace kamo
