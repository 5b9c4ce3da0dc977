#include "common/MessagesTerminal.h"

namespace kamo {

const char* TextOf(TerminalText code) {
    switch (code) {
    case TerminalText::HelpHead:
        return "KamoMail {1}: PostPet のメールを保存して表示します。";
    case TerminalText::WindowSummary:
        return "ウィンドウを開きます";
    case TerminalText::HelpFolders:
        return "設定: $KAMOMAIL_CONFIG_DIR (なければ $XDG_CONFIG_HOME/kamomail, ~/.config/kamomail)\n"
               "データ: $KAMOMAIL_DATA_DIR (なければ $XDG_DATA_HOME/kamomail, ~/.local/share/kamomail)";
    case TerminalText::Usage:
        return "使い方: {1}";
    case TerminalText::GroupWithHelp:
        return "{1}（{2}）";
    case TerminalText::UnknownArgument:
        return "不明な引数です: {1}";
    case TerminalText::OptionNeeds:
        return "{1} は {2} と一緒に使います。";
    case TerminalText::NoMode:
        return "形式を {1} で指定して下さい。（使える形式: {2}）";
    case TerminalText::UnknownMode:
        return "不明な形式です: {1}（使える形式: {2}）";
    case TerminalText::OneKeyOnly:
        return "キーは 1 つだけ指定して下さい。";
    case TerminalText::OneSelectionOnly:
        return "選択は 1 つだけ指定して下さい。";
    case TerminalText::BadOutputFormat:
        return "出力形式は text か json です: {1}";
    }
    return "";
}

} // namespace kamo
