#include "common/CommandTable.h"

#include <algorithm>
#include <initializer_list>
#include <set>

#include "common/Messages.h"
#include "common/MessagesTerminal.h"

namespace kamo {
namespace {

std::vector<OptionDef> Join(std::initializer_list<std::vector<OptionDef>> parts) {
    std::vector<OptionDef> joined;
    for (const auto& part : parts)
        joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

std::vector<OptionDef> InGroup(std::vector<OptionDef> options, std::string_view group) {
    for (auto& o : options)
        o.group = group;
    return options;
}

std::vector<CommandDef> BuildCommands() {
    // Options more than one command or export format takes.
    // The mails of one key: a key of `list`, the selection of `export`.
    const std::vector<OptionDef> keys = {
        {.name = "--address", .value = "A", .help = "そのアドレスとやり取りしたメール"},
        {.name = "--name", .value = "N", .help = "その名前のメール"},
        {.name = "--date", .value = "yyyy/mm/dd", .help = "その日のメール"},
        {.name = "--filter", .value = "F", .help = "そのフィルター（番号か名前）のメール"},
    };
    const std::vector<OptionDef> selection = InGroup(
        Join({keys, {{.name = "--search", .value = "WORDS", .help = "見つかったメール（kamomail search の指定）"}}}),
        "selection");
    // How `search` and `list` print a mail.
    const std::vector<OptionDef> mailOutput = {
        {.name = "--format", .value = "text|json", .help = "text: 1 通を 1 行に（既定）、json: 1 通を 1 行の JSON に"},
        {.name = "--body", .help = "本文も出力します（--format json と一緒に使います）"},
    };
    // The read mark of the formats that carry one.
    const std::vector<OptionDef> seen = {
        {.name = "--seen",
         .value = "all|sent",
         .help =
             "既読にするメール: all（既定）すべて | sent 送信メールだけ  mbox の Status: RO と Maildir の cur/ :2,S"},
    };
    // The formats of messages for mail programs.
    const std::vector<OptionDef> messages = {
        {.name = "--original",
         .help = "元のメールをそのまま（ヘッダーと本文を 1 バイトも変えずに）書き出します"
                 "（元のメールのないメールは通常どおり）"},
        // The mailbox's name for mail without one is export's kUnknownMailbox.
        {.name = "--folders",
         .help =
             "PostPet のメールボックスごとに mbox ファイルか Maildir++ フォルダ、eml のフォルダに分けます（書き出し先は"
             "フォルダ、メールボックス不明のメールは「メールボックス不明」）"},
    };
    // The upload to a mail server: --original as the files have it, its own folders and connection.
    const std::vector<OptionDef> upload = {
        messages.front(),
        {.name = "--folders",
         .help = "PostPet のメールボックスごとに、URL のフォルダの下のフォルダに分けます（メールボックス不明のメールは"
                 "「メールボックス不明」）"},
        {.name = "--cacert", .value = "FILE", .help = "サーバーの証明書を確かめる認証局の証明書（PEM）"},
        {.name = "--password-file",
         .value = "FILE",
         .help = "パスワードを 1 行目に書いた、自分だけが読めるファイル（なければ端末で尋ねます）"},
    };
    const std::vector<OptionGroupDef> oneOf = {{.name = "one"}};

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
         .options = {{.name = "--postpet-dir", .value = "DIR"},
                     {.name = "--all"},
                     {.name = "--watch"},
                     {.name = "--settle-ms", .value = "N", .needs = "--watch"}},
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
         .options = mailOutput,
         .operands = Operands::Many,
         .operand = "TERM",
         .helpOption = true,
         .summary = "メールを検索します（指定の書き方は search --help）"},
        {.terminal = "list",
         .options = Join({{{.name = "--by", .value = "address|name|date|filter"}},
                          InGroup(keys, "key"),
                          mailOutput,
                          {{.name = "--threads"}}}),
         .groups = {{.name = "key", .twice = TextOf(TerminalText::OneKeyOnly)}},
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
         .options = {{.name = "--format", .value = "FORMAT"}},
         .groups = {{.name = "selection",
                     .caption = "選択",
                     .help = "なければすべてのメール",
                     .twice = TextOf(TerminalText::OneSelectionOnly)}},
         .modeOption = "--format",
         .modes = {{.name = "mbox",
                    .operand = "FILE",
                    .options = Join({selection, seen, messages}),
                    .help = "mbox ファイル 1 つに書き出します（mboxrd 形式）"},
                   {.name = "maildir",
                    .operand = "DIR",
                    .options = Join({selection, seen, messages}),
                    .help = "Maildir に書き出します"},
                   {.name = "eml",
                    .operand = "DIR",
                    .options = Join({selection, messages}),
                    .help = "1 通ずつ .eml ファイルに書き出します"},
                   {.name = "html",
                    .operand = "DIR",
                    .options = selection,
                    .help = "ブラウザで読めるフォルダ（index.html、1 通 1 ページ、写真と添付ファイル）に書き出します"},
                   {.name = "pdf",
                    .operand = "FILE",
                    .options = selection,
                    .help = "印刷用の PDF ファイルに書き出します（写真入り、日本語フォント埋め込み）"},
                   {.name = "csv",
                    .operand = "DIR",
                    .help = "すべてのテーブルを表ごとの CSV ファイルに書き出します（kamomail import で戻せます）"},
                   {.name = "imap",
                    .operand = "URL",
                    .options = Join({selection, seen, upload}),
                    .help = "メールサーバーのフォルダに送ります（imaps://ユーザー名@サーバー/フォルダ。"
                            "同じメールは 2 度送りません）"}},
         .operands = Operands::One,
         .operand = "TARGET",
         .helpOption = true,
         .summary = "書き出します（mbox, maildir, eml, html, pdf, csv, imap。既読は既定ですべて。形式は kamomail "
                    "export --help）",
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
         .options = {{.name = "--format", .value = "FORMAT"}},
         .modeOption = "--format",
         .modes = {{.name = "csv"}},
         .operands = Operands::One,
         .operand = "DIR",
         .summary = "書き出した CSV を取り込みます",
         .menu = "memDBSupportMenu",
         .place = 11,
         .caption = "インポート（CSV から）(&I)...",
         .toolTip = "エクスポートした CSV ファイルを取り込みます"},
        {.control = "memFriend_F",
         .terminal = "friends",
         .writes = true,
         .compacts = true,
         .options = {{.name = "--read", .value = "FILE", .group = "one"},
                     {.name = "--export", .value = "FILE.vcf", .group = "one"}},
         .groups = {{.name = "one", .required = true}},
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
         .options = {{.name = "--restore", .group = "one"}, {.name = "--empty", .group = "one"}},
         .groups = oneOf,
         .summary = "ゴミ箱のメールを表示します（--restore: 最後に削除したメールを元に戻します、--empty: "
                    "ゴミ箱を空にします）",
         .menu = "mnuView",
         .place = 30,
         .caption = "ゴミ箱(&T)...",
         .toolTip = "削除したメールを表示し、元に戻したりゴミ箱を空にしたりします"},
        {.terminal = "index",
         .options = {{.name = "--rebuild", .group = "one"},
                     {.name = "--drop", .group = "one"},
                     {.name = "--redecode", .group = "one"}},
         .groups = oneOf,
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

const ModeDef* FindMode(const CommandDef& command, std::string_view name) {
    for (const auto& m : command.modes)
        if (m.name == name)
            return &m;
    return nullptr;
}

std::string ModeNames(const CommandDef& command) {
    std::string names;
    for (const auto& m : command.modes)
        names += (names.empty() ? "" : ", ") + std::string(m.name);
    return names;
}

const OptionGroupDef* FindGroup(const CommandDef& command, std::string_view name) {
    for (const auto& g : command.groups)
        if (g.name == name)
            return &g;
    return nullptr;
}

namespace {

// How usage lines are written: the terminal's plain text, or roff for the manual page (names bold,
// placeholders italic, the words a value takes roman; group captions spelt out).
struct Markup {
    std::string (*name)(std::string_view);
    std::string (*placeholder)(std::string_view);
    std::string (*word)(std::string_view);
    bool captions;
};

std::string Plain(std::string_view text) {
    return std::string(text);
}

std::string Roff(std::string_view text) {
    std::string out;
    for (char c : text)
        out += c == '-' ? "\\-" : c == '\\' ? "\\e" : std::string(1, c);
    return out;
}

std::string RoffBold(std::string_view text) {
    return "\\fB" + Roff(text) + "\\fP";
}

std::string RoffItalic(std::string_view text) {
    return "\\fI" + Roff(text) + "\\fP";
}

constexpr Markup kPlain{Plain, Plain, Plain, true};
constexpr Markup kRoff{RoffBold, RoffItalic, Roff, false};

// What a mode (or the command without modes) takes, in usage order: the command's options but the
// mode option, then the mode's.
std::vector<const OptionDef*> Accepted(const CommandDef& command, const ModeDef* mode) {
    std::vector<const OptionDef*> accepted;
    for (const auto& o : command.options)
        if (o.name != command.modeOption)
            accepted.push_back(&o);
    if (mode)
        for (const auto& o : mode->options)
            accepted.push_back(&o);
    return accepted;
}

std::string OptionText(const OptionDef& option, const Markup& markup) {
    std::string text = markup.name(option.name);
    if (!option.value.empty())
        text += " " + (option.value.find('|') != std::string_view::npos ? markup.word(option.value)
                                                                        : markup.placeholder(option.value));
    return text;
}

// "[--postpet-dir DIR] [--all] [--watch [--settle-ms N]]": a group's options together, an option that
// needs another inside that one's brackets, the operand last.
std::string Arguments(const CommandDef& command, const ModeDef* mode, const Markup& markup) {
    const std::vector<const OptionDef*> options = Accepted(command, mode);
    const auto offered = [&](std::string_view name) {
        return std::any_of(options.begin(), options.end(), [&](const OptionDef* o) { return o->name == name; });
    };
    std::vector<std::string> parts;
    std::set<std::string_view> groupsShown;
    for (const OptionDef* o : options) {
        if (!o->needs.empty() && offered(o->needs))
            continue;
        if (o->group.empty()) {
            std::string part = "[" + OptionText(*o, markup);
            for (const OptionDef* inner : options)
                if (inner->needs == o->name)
                    part += " [" + OptionText(*inner, markup) + "]";
            parts.push_back(part + "]");
            continue;
        }
        if (!groupsShown.insert(o->group).second)
            continue;
        const OptionGroupDef* group = FindGroup(command, o->group);
        std::string part;
        if (markup.captions && group && !group->caption.empty())
            part = std::string(group->caption);
        else
            for (const OptionDef* member : options)
                if (member->group == o->group)
                    part += (part.empty() ? "" : " | ") + OptionText(*member, markup);
        parts.push_back(group && group->required ? part : "[" + part + "]");
    }
    const std::string_view operand = mode && !mode->operand.empty() ? mode->operand : command.operand;
    if (command.operands != Operands::None && !operand.empty())
        parts.push_back(markup.placeholder(operand) + (command.operands == Operands::Many ? "..." : ""));
    std::string text;
    for (const auto& part : parts)
        text += (text.empty() ? "" : " ") + part;
    return text;
}

// "--format mbox [選択] ... FILE": the mode option and the mode's name, then what the mode takes.
std::string ModeArguments(const CommandDef& command, const ModeDef& mode, const Markup& markup) {
    const std::string rest = Arguments(command, &mode, markup);
    return markup.name(command.modeOption) + " " + markup.name(mode.name) + (rest.empty() ? "" : " " + rest);
}

const OptionDef* ModeOption(const CommandDef& command) {
    for (const auto& o : command.options)
        if (o.name == command.modeOption)
            return &o;
    return nullptr;
}

} // namespace

std::string CommandLine(const CommandDef& command) {
    std::string arguments;
    if (command.modes.size() == 1)
        arguments = ModeArguments(command, command.modes.front(), kPlain);
    else if (const OptionDef* modeOption = ModeOption(command); modeOption && !command.modes.empty())
        arguments = OptionText(*modeOption, kPlain) + " ...";
    else
        arguments = Arguments(command, nullptr, kPlain);
    return "kamomail " + std::string(command.terminal) + (arguments.empty() ? "" : " " + arguments);
}

std::string UsageText(std::string_view terminal) {
    const CommandDef* command = FindTerminalCommand(terminal);
    if (!command)
        return {};
    std::string text = Say(TerminalText::Usage, {CommandLine(*command)});
    if (command->modes.size() > 1)
        for (const auto& mode : command->modes)
            text += "\n  kamomail " + std::string(terminal) + " " + ModeArguments(*command, mode, kPlain) + "  " +
                    std::string(mode.help);
    return text;
}

std::string OptionsText(std::string_view terminal) {
    const CommandDef* command = FindTerminalCommand(terminal);
    if (!command)
        return {};
    // Every option once, in usage order: the command's, then each mode's.
    std::vector<const OptionDef*> options;
    std::set<std::string_view> names;
    auto add = [&](const std::vector<const OptionDef*>& from) {
        for (const OptionDef* o : from)
            if (names.insert(o->name).second)
                options.push_back(o);
    };
    add(Accepted(*command, nullptr));
    for (const auto& mode : command->modes)
        add(Accepted(*command, &mode));
    std::string text;
    std::set<std::string_view> groupsShown;
    for (const OptionDef* o : options) {
        const OptionGroupDef* group = FindGroup(*command, o->group);
        if (!group || group->caption.empty()) {
            if (!o->help.empty())
                text += "  " + OptionText(*o, kPlain) + "  " + std::string(o->help) + "\n";
            continue;
        }
        if (!groupsShown.insert(group->name).second)
            continue;
        text += "  " +
                (group->help.empty()
                     ? std::string(group->caption)
                     : Say(TerminalText::GroupWithHelp, {std::string(group->caption), std::string(group->help)})) +
                ":\n";
        for (const OptionDef* member : options)
            if (member->group == group->name)
                text += "    " + OptionText(*member, kPlain) + "  " + std::string(member->help) + "\n";
    }
    return text;
}

std::string ManSynopsis() {
    // Options stay whole at the end of a line; the page's hyphenation comes back after them.
    std::string roff = ".nh\n";
    for (const auto& c : Commands()) {
        if (c.terminal.empty())
            continue;
        const std::string command = ".B kamomail " + Roff(c.terminal);
        auto entry = [&](const std::string& head, const std::string& arguments) {
            roff += head + "\n" + (arguments.empty() ? "" : arguments + "\n") + ".br\n";
        };
        if (c.modes.empty())
            entry(command, Arguments(c, nullptr, kRoff));
        for (const auto& mode : c.modes)
            entry(command + " " + Roff(c.modeOption) + " " + Roff(mode.name), Arguments(c, &mode, kRoff));
        if (c.helpOption)
            entry(command + " " + Roff("--help"), "");
    }
    return roff + ".hy \\n[HY]\n";
}

} // namespace kamo
