#include <QLabel>
#include <QRegularExpression>
#include <QtTest>

#include "db/ArchiveSeal.h"
#include "db/ArchiveStartup.h"
#include "platform/ProfileFile.h"
#include "startup/frmSplash.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

class frmSplashTest : public QObject {
    Q_OBJECT
private slots:
    void ShowsTheProgramVersion() {
        kamo::frmSplash splash;
        QCOMPARE(splash.objectName(), QString("frmSplash"));
        auto* label = splash.findChild<QLabel*>("lblVersion");
        QVERIFY(label);
        QCOMPARE(label->text(), QString("Version 4.0.0"));
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
    }

    void SaysWhatALongStepOfTheStartIsDoing() {
        kamo::frmSplash splash;
        splash.show();
        const QSize size = splash.size();
        auto* status = splash.findChild<QLabel*>("lblStatus");
        QVERIFY(status);
        QVERIFY(status->text().isEmpty());
        splash.ShowDoing(QString::fromUtf8("アーカイブを検査しています…"), 0);
        QCOMPARE(status->text(), QString::fromUtf8("アーカイブを検査しています…"));
        splash.ShowDoing(QString::fromUtf8("アーカイブを検査しています…"), 12);
        QCOMPARE(status->text(), QString::fromUtf8("アーカイブを検査しています… 12 秒"));
        QCOMPARE(splash.size(), size);
    }

    void SaysEachStepOfTheStartAsItBegins() {
        // Two starts in a row over one folder, as the program makes them: the step texts the splash showed.
        struct Case {
            const char* what;
            std::function<void(const kamo::AppFolders&)> before;
            bool compact;
            QStringList shown;
        };
        const auto U = [](const char* s) { return QString::fromUtf8(s); };
        const QString check = U("アーカイブを検査しています…"), open = U("アーカイブを開いています…");
        const Case cases[] = {
            {"no archive yet", [](const kamo::AppFolders&) {}, false, {U("アーカイブを作成しています…"), check, open}},
            {"closed without a seal", [](const kamo::AppFolders&) {}, false, {check, open}},
            {"sealed at the last close",
             [](const kamo::AppFolders& f) { QVERIFY(kamo::SealArchive(f.DatabaseFile())); },
             false,
             {U("アーカイブを確かめています…"), open}},
            {"compacted",
             [](const kamo::AppFolders& f) { QVERIFY(kamo::SealArchive(f.DatabaseFile())); },
             true,
             {check, U("最適化しています…"), open}},
            {"written by an old version",
             [](const kamo::AppFolders& f) {
                 kamo::BreakArchiveSeal(f.DatabaseFile());
                 QVERIFY(kamo::WriteProfileString(f.SettingsFile(), "KamoMail Environment", "Ver", "200"));
             },
             false,
             {U("アーカイブを新しい版に合わせています…"), check, open}},
        };
        kamo::test::TempDir dir;
        kamo::AppFolders folders;
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        std::filesystem::create_directories(folders.settingsDir);
        std::filesystem::create_directories(folders.dataDir);
        for (const Case& c : cases) {
            c.before(folders);
            kamo::frmSplash splash;
            splash.show();
            auto* status = splash.findChild<QLabel*>("lblStatus");
            kamo::StartupOptions options;
            options.compact = c.compact;
            splash.Follow(options);
            QStringList shown;
            const auto tell = options.progress;
            options.progress = [&](const std::string& doing) {
                tell(doing);
                const QString text = status->text().remove(QRegularExpression(" \\d+ 秒$"));
                if (shown.isEmpty() || shown.back() != text)
                    shown << text;
            };
            kamo::Settings settings;
            kamo::ScriptedPrompter prompter;
            QVERIFY2(kamo::PrepareArchive(folders, settings, prompter, options) != nullptr, c.what);
            QVERIFY2(shown == c.shown, qPrintable(QString(c.what) + ": " + shown.join(" / ")));
        }
    }
};

QTEST_MAIN(frmSplashTest)
#include "frmSplash_test.moc"
