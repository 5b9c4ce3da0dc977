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
};

QTEST_MAIN(frmSplashTest)
#include "frmSplash_test.moc"
