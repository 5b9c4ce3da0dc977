#include "common/CommandTable.h"

namespace kamo {
namespace {

// control, terminal, writes, compacts, backupViewOnly, usage
std::vector<CommandDef> BuildCommands() {
    // The terminal's commands come in the order of its --help.
    return {
        {"memVar", "--version", false, false, false, "kamomail --version    バージョンを表示します"},
        {"", "--help", false, false, false, "kamomail --help       この説明を表示します"},
        // Reading, deleting and ending.
        {"comMailRead", "read", true, true, false,
         "kamomail read [--postpet-dir DIR] [--all] [--watch]  PostPetのメールを読み込みます（--watch: "
         "書き込まれるたびに読み込み続けます）"},
        {"comMailDel", "", true, false, false, ""},
        {"memMailDel", "", true, false, false, ""}, // Delete: the mail, or the key's mail in the key list
        {"cmdAddrDel", "", true, false, false, ""},
        {"comSendMail", "", false, false, false, ""},
        {"memReply", "", false, false, false, ""},
        {"comEnd", "", false, false, false, ""},
        {"memEnd", "", false, false, false, ""},
        // Looking at the archive.
        {"", "search", false, false, false,
         "kamomail search [--format text|json] [--body] 指定...  メールを検索します（指定の書き方は search --help）"},
        {"", "list", false, false, false,
         "kamomail list [--by address|name|date|filter] | --address A|--name N|--date D|--filter F [--format json] "
         "[--body] [--threads]  キーやメールの一覧を表示します（--threads: 会話ごとにまとめる）"},
        {"memNameOrAddr", "", false, false, false, ""},
        {"memConversation", "", false, false, false, ""},
        {"memCopy", "", false, false, false, ""},
        {"memSelectAll", "", false, false, false, ""},
        {"memSearch", "", false, false, false, ""},
        {"cmdSubjectOrder", "", false, false, false, ""}, // the subject list's heading: turns the order round
        {"memYears", "", false, false, false, ""},        // the years at a glance: shown or hidden
        {"memOriginalHeader", "", false, false, false, ""},
        {"cmdAttachSave", "", false, false, false, ""},
        {"cmdAttachSaveAll", "", false, false, false, ""},
        // Exports and the archive's upkeep.
        {"memMailExport", "export", false, false, false,
         "kamomail export --format 形式 出力先 [選択] [--seen all|sent]  書き出します（mbox, maildir, eml, html, pdf, "
         "csv。"
         "既読は既定ですべて。形式は kamomail export --help）"},
        {"memPrint", "", false, false, false, ""},
        {"memPdfExport", "", false, false, false, ""},
        {"memExport", "", false, false, false, ""},
        {"memInport", "import", true, true, false,
         "kamomail import --format csv DIR      書き出した CSV を取り込みます"},
        {"memFriend_F", "friends", true, true, false,
         "kamomail friends --read FILE | --export FILE.vcf  おともだちファイルをおともだち帳に読み込みます"
         "（--export: おともだち帳を vCard に書き出します）"},
        {"memBackUp_Make", "backup", true, false, false,
         "kamomail backup                       今日のバックアップを作成します"},
        {"", "backups", false, false, false, "kamomail backups                      バックアップの一覧を表示します"},
        {"", "index", false, false, false,
         "kamomail index [--rebuild | --drop | --redecode]  "
         "検索用の索引を最新にします（作り直し・削除）、メールを元のメールから読み直します"},
        {"memDBEdit", "", true, false, false, ""},
        {"memBackUp_FileEdit", "", true, false, false, ""},
        {"memBackUp_FileSelect", "", false, false, false, ""},
        {"memNomalDisp", "", false, false, true, ""},
        // The friend book.
        {"memFriendEd", "", true, false, false, ""},
        {"memAddressAdd", "", true, false, false, ""},
        {"memFriend_A", "", true, false, false, ""},
        {"memFriend_P", "", true, false, false, ""},
        {"memFriend_M", "", true, false, false, ""},
        // Filters.
        {"memFilter", "", true, false, false, ""},
        {"memFilterGo", "", true, false, false, ""},
        // Settings and help.
        {"memOption", "", false, false, false, ""},
        {"memHelp_Top", "", false, false, false, ""},
    };
}

} // namespace

const std::vector<CommandDef>& Commands() {
    static const std::vector<CommandDef> commands = BuildCommands();
    return commands;
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

} // namespace kamo
