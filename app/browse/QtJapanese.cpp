#include "browse/QtJapanese.h"

#include <QCoreApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

namespace kamo {

bool InstallJapaneseTranslations(QCoreApplication& app) {
    // Owned by the application: translators must live as long as it does.
    auto* qt = new QTranslator(&app);
    if (!qt->load("qtbase_ja", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    QCoreApplication::installTranslator(qt);
    return true;
}

void MapWindowsFontNames() {
    const QStringList gothic = {"IPAGothic", "IPAゴシック", "Noto Sans Mono CJK JP", "VL Gothic"};
    const QStringList proportional = {"IPAPGothic", "IPAPゴシック", "Noto Sans CJK JP", "VL PGothic", "IPAGothic"};
    const QStringList mincho = {"IPAMincho", "IPA明朝", "Noto Serif CJK JP", "IPAGothic"};
    QFont::insertSubstitutions(QString::fromUtf8("ＭＳ ゴシック"), gothic);
    QFont::insertSubstitutions("MS Gothic", gothic);
    QFont::insertSubstitutions(QString::fromUtf8("ＭＳ Ｐゴシック"), proportional);
    QFont::insertSubstitutions("MS PGothic", proportional);
    QFont::insertSubstitutions(QString::fromUtf8("ＭＳ 明朝"), mincho);
    QFont::insertSubstitutions("MS Mincho", mincho);
}

} // namespace kamo
