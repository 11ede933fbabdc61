// Menus and buttons worked from the keyboard alone: access keys open the
// menus, arrows and Return pick an entry, function keys start the windows.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "frm_opening.h"
#include "links.h"
#include "mdifrm_main.h"
#include "process.h"
#include "readme.h"
#include "rs_lib32.h"
#include "settings.h"
#include "sim_process.h"
#include "test_env.h"

namespace {

bool Activate(QWidget* w) {
    w->activateWindow();
    return QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }, 10000);
}

// Alt+letter on the window, then `downs` presses of Down and Return in the
// menu it opened. False when no menu opened.
bool PickFromMenu(QWidget* window, Qt::Key letter, int downs) {
    // The offscreen platform leaves the closed menu active; a desktop would
    // hand activation back to the window.
    if (!Activate(window)) return false;
    if (!TESTENV::PressKey(letter, Qt::AltModifier)) return false;
    if (!QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 5000)) return false;
    // An open menu takes the keys (it grabs the keyboard).
    QWidget* menu = QApplication::activePopupWidget();
    for (int i = 0; i < downs; ++i) QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
    return QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 5000);
}

}  // namespace

class TestKeyboard : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString viewerArgs_;

    // A viewer that records the file it was asked to show.
    void UseRecordingViewer() {
        viewerArgs_ = dir_.filePath(QStringLiteral("viewer-args"));
        QFile::remove(viewerArgs_);
        const QString script = dir_.filePath(QStringLiteral("viewer"));
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + QFile::encodeName(viewerArgs_) + "\"\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        APP::SetReadmeViewer(script);
    }
    QString ViewerArgs() {
        QFile f(viewerArgs_);
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()).trimmed() : QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // An ending process would look like a passed test.
        SETTING::SetProcessEnder([](int code) { qFatal("the program ended (code %d) during the test", code); });
    }

    void openingWindow() {
        UseRecordingViewer();
        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        QVERIFY(f && f->isVisible());
        QVERIFY(Activate(f));
        // OK holds the focus, and every button can be reached with Tab.
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f->Cmd));
        for (QPushButton* b : f->findChildren<QPushButton*>())
            QVERIFY2(b->focusPolicy() & Qt::TabFocus, qPrintable(b->text()));

        QVERIFY(f->MnuCom1->isChecked());
        QVERIFY(PickFromMenu(f, Qt::Key_S, 1));   // Serial Port > COM2
        QVERIFY(f->MnuCom2->isChecked());
        QVERIFY(!f->MnuCom1->isChecked());

        QVERIFY(PickFromMenu(f, Qt::Key_H, 0));   // Help > readme.txt
        QVERIFY(QTest::qWaitFor([this] { return !ViewerArgs().isEmpty(); }, 10000));
        QCOMPARE(ViewerArgs(), APP::ReadmePath(QCoreApplication::applicationDirPath()));
        f->hide();
    }

    void mainWindow() {
        SimProcess sim;
        QVERIFY(sim.started());
        qputenv("ORVEN5927_COM1", sim.devicePath().toLocal8Bit());
        RS_LIB32::ProgramLink().CommInit();
        QCOMPARE(RS_LIB32::ProgramLink().CommOpen(0), 1);
        int opened[3] = {0, 0, 0};
        APP::LoggingLinks& links = APP::Logging();
        links.openTime = [&] { ++opened[0]; };
        links.openSingle = [&] { ++opened[1]; };
        links.openExtIo = [&] { ++opened[2]; };
        MDIFrm_Main* m = APP::ShowMainWindow();
        QVERIFY(m);
        QVERIFY(Activate(m));

        // Measurement menu by its access key: the first entry, then the one
        // below the separator.
        QVERIFY(PickFromMenu(m, Qt::Key_M, 0));
        QCOMPARE(opened[0], 1);
        QVERIFY(PickFromMenu(m, Qt::Key_M, 1));
        QCOMPARE(opened[1], 1);
        // Function keys.
        QVERIFY(TESTENV::PressKey(Qt::Key_F7));
        QCOMPARE(opened[2], 1);
        QVERIFY(TESTENV::PressKey(Qt::Key_F5));
        QCOMPARE(opened[0], 2);

        UseRecordingViewer();
        QVERIFY(TESTENV::PressKey(Qt::Key_F1));
        QVERIFY(QTest::qWaitFor([this] { return !ViewerArgs().isEmpty(); }, 10000));
        QFile::remove(viewerArgs_);
        QVERIFY(PickFromMenu(m, Qt::Key_H, 0));   // Help > readme.txt
        QVERIFY(QTest::qWaitFor([this] { return !ViewerArgs().isEmpty(); }, 10000));
        APP::RestoreLoggingLinks();
    }

    void returnKeyLoggingByKeyboardAlone() {
        SimProcess sim({"--mode", "R"});
        QVERIFY(sim.started());
        qputenv("ORVEN5927_COM1", sim.devicePath().toLocal8Bit());
        RS_LIB32::ProgramLink().CommInit();
        QCOMPARE(RS_LIB32::ProgramLink().CommOpen(0), 1);
        const QString file = dir_.filePath(QStringLiteral("keys.csv"));
        SETTING::SaveSetting("Configuration", "Single Meas Output Method", "0");
        SETTING::SaveSetting("Configuration", "Single Meas File", file);
        MDIFrm_Main* m = APP::ShowMainWindow();
        QVERIFY(m);
        QVERIFY(Activate(m));
        QVERIFY(TESTENV::PressKey(Qt::Key_F6));
        QVERIFY(TESTENV::PressKey(Qt::Key_Space));    // OK, focused at open
        QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // Load
        QVERIFY(TESTENV::PressKey(Qt::Key_Return));
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll(), QByteArray("012.34E-3\r\n012.34E-3\r\n"));
        QVERIFY(TESTENV::PressKey(Qt::Key_Tab));      // on to Close
        QVERIFY(TESTENV::PressKey(Qt::Key_Space));
        QVERIFY(!SETTING::GetFormSingleOpen());
    }
};

ORVEN_TEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
