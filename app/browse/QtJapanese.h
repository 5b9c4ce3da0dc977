#pragma once
// The window program speaks Japanese throughout: Qt's own dialogs and menus (file and font choosers,
// the text context menu) through Qt's Japanese translations, and the Windows font names of the
// settings ("ＭＳ ゴシック", "ＭＳ 明朝", "ＭＳ Ｐゴシック") mapped to the Japanese fonts installed here.
class QCoreApplication;

namespace kamo {

// False when Qt's Japanese translation is not installed (the program then runs with Qt's English).
bool InstallJapaneseTranslations(QCoreApplication& app);

void MapWindowsFontNames();

} // namespace kamo
