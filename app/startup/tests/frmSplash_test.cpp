#include <QLabel>
#include <QtTest>

#include "startup/frmSplash.h"

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
};

QTEST_MAIN(frmSplashTest)
#include "frmSplash_test.moc"
