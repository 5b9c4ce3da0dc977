// Stored geometry on a real window: applied, taken back unchanged, changed, minimized.
#include <QWidget>
#include <QtTest>

#include "startup/QtFormGeometry.h"

class frmFormGeometryTest : public QObject {
    Q_OBJECT
private slots:
    void UnchangedWindowGivesBackTheStoredTwips() {
        QWidget window;
        const kamo::FormGeometry stored{4398, 8527, 11745, 7404, false};
        kamo::ApplyFormGeometry(window, stored);
        QCOMPARE(window.width(), 783);
        QCOMPARE(window.height(), 494);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const kamo::FormGeometry back = kamo::TakeFormGeometry(window, stored);
        QCOMPARE(back.width, 11745);
        QCOMPARE(back.height, 7404);
        QCOMPARE(back.top, 4398);
        QCOMPARE(back.left, 8527);
        QVERIFY(!back.minimized);
    }

    void ResizedWindowGivesItsNewSize() {
        QWidget window;
        const kamo::FormGeometry stored{0, 0, 11745, 7404, false};
        kamo::ApplyFormGeometry(window, stored);
        window.resize(800, 600);
        const kamo::FormGeometry back = kamo::TakeFormGeometry(window, stored);
        QCOMPARE(back.width, 12000);
        QCOMPARE(back.height, 9000);
    }

    void MinimizedWindowIsMarked() {
        QWidget window;
        const kamo::FormGeometry stored{0, 0, 11745, 7404, false};
        kamo::ApplyFormGeometry(window, stored);
        window.setWindowState(Qt::WindowMinimized);
        QVERIFY(kamo::TakeFormGeometry(window, stored).minimized);
    }

    void ScreenSizeIsInTwips() {
        const kamo::ScreenTwips screen = kamo::PrimaryScreenTwips();
        QVERIFY(screen.width > 0);
        QCOMPARE(screen.width % 15, 0);
        QCOMPARE(screen.height % 15, 0);
    }
};

QTEST_MAIN(frmFormGeometryTest)
#include "frmFormGeometry_test.moc"
