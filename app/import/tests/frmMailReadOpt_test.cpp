#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

#include "common/Prompter.h"
#include "import/frmMailReadOpt.h"
#include "testsupport/ScriptedPrompter.h"

using namespace kamo;

class frmMailReadOptTest : public QObject {
    Q_OBJECT
private slots:
    void ShowsTheFlagsAndWritesThemBackOnOk() {
        frmMailReadOpt::Flags send{}, recieve{};
        send[0] = 1;    // outbox
        recieve[7] = 1; // pink drawer
        ScriptedPrompter prompter;
        frmMailReadOpt w(send, recieve, prompter);
        QCOMPARE(w.findChildren<QCheckBox*>(QRegularExpression("^Chk_Send_Opt_")).size(), 4);
        QCOMPARE(w.findChildren<QCheckBox*>(QRegularExpression("^Chk_Reciev_Opt_")).size(), 10);
        auto* outbox = w.findChild<QCheckBox*>("Chk_Send_Opt_0");
        auto* pink = w.findChild<QCheckBox*>("Chk_Reciev_Opt_7");
        auto* orange = w.findChild<QCheckBox*>("Chk_Reciev_Opt_1");
        QVERIFY(outbox && pink && orange);
        QVERIFY(outbox->isChecked());
        QVERIFY(pink->isChecked());
        QVERIFY(!orange->isChecked());
        QCOMPARE(outbox->text(), QString::fromUtf8("送信フォルダ"));
        QCOMPARE(orange->text(), QString::fromUtf8("橙色の引出し"));

        w.show();
        outbox->setChecked(false);
        orange->setChecked(true);
        w.findChild<QPushButton*>("cmdOk")->click();
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(send[0], int16_t(0));
        QCOMPARE(recieve[1], int16_t(1));
        QCOMPARE(recieve[7], int16_t(1));
        QVERIFY(prompter.shown.empty());
    }

    void RefusesToCloseWithNothingTicked() {
        frmMailReadOpt::Flags send{}, recieve{};
        recieve[0] = 1;
        ScriptedPrompter prompter;
        frmMailReadOpt w(send, recieve, prompter);
        w.show();
        w.findChild<QCheckBox*>("Chk_Reciev_Opt_0")->setChecked(false);
        w.findChild<QPushButton*>("cmdOk")->click();
        QVERIFY(w.isVisible());
        QCOMPARE(prompter.shown.size(), size_t(1));
        QCOMPARE(prompter.shown[0].text, std::string("最低１ヶ所には、チェックを付けて下さい。"));
        QCOMPARE(recieve[0], int16_t(1)); // nothing written
        // Cancel leaves the flags as they were.
        w.findChild<QPushButton*>("cmdCancel")->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(recieve[0], int16_t(1));
    }
};

QTEST_MAIN(frmMailReadOptTest)
#include "frmMailReadOpt_test.moc"
