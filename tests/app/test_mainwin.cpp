// The main window against the simulator: menus and their rule, Arrange, the
// close query, shutdown, the version box and a silent instrument at load.
#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "commands.h"
#include "errors.h"
#include "frame.h"
#include "frm_disp.h"
#include "frm_opening.h"
#include "links.h"
#include "mdifrm_main.h"
#include "process.h"
#include "rs_lib32.h"
#include "settings.h"
#include "setup.h"
#include "sim_process.h"
#include "test_env.h"
#include "twips.h"

namespace {
QString Get(const char* section, const char* key) {
    return SETTING::GetSetting(QString::fromLatin1(section), QString::fromLatin1(key), QStringLiteral("<none>"));
}
void Put(const char* section, const char* key, const QString& v) {
    SETTING::SaveSetting(QString::fromLatin1(section), QString::fromLatin1(key), v);
}
QString Num(int v) { return QString::number(v); }
}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    int ended_ = -100;
    int opened_[3] = {0, 0, 0};
    bool extIoMeasuring_ = false;
    QMdiSubWindow* standIn_ = nullptr;

    MDIFrm_Main* OpenMain(SimProcess& sim) {
        qputenv("ORVEN5927_COM1", sim.devicePath().toLocal8Bit());
        RS_LIB32::ProgramLink().CommInit();
        if (RS_LIB32::ProgramLink().CommOpen(0) != 1) return nullptr;
        return APP::ShowMainWindow();
    }

    // A window in the place of a logging window (those come from their own subsystem).
    QMdiSubWindow* StandIn(MDIFrm_Main* main, int widthTwips, int heightTwips) {
        auto* w = new QWidget;
        w->setFixedSize(TWIPS::ToPxX(widthTwips), TWIPS::ToPxY(heightTwips));
        standIn_ = main->mdiArea->addSubWindow(w);
        standIn_->resize(w->size());
        standIn_->show();
        return standIn_;
    }

private slots:
    void init() {
        ended_ = -100;
        opened_[0] = opened_[1] = opened_[2] = 0;
        extIoMeasuring_ = false;
        standIn_ = nullptr;
        SETTING::SetProcessEnder([this](int code) { ended_ = code; });
        SETTING::ResetSettings();
        RS_LIB32::ProgramLink().InstrumentSetup = {};
        SETTING::SetFormTimeOpen(false);
        SETTING::SetFormSingleOpen(false);
        SETTING::SetFormExtIoOpen(false);
        APP::LoggingLinks& l = APP::Logging();
        l.openTime = [this] { ++opened_[0]; };
        l.openSingle = [this] { ++opened_[1]; };
        l.openExtIo = [this] { ++opened_[2]; };
        l.inExtIoMeasMode = [this] { return extIoMeasuring_; };
        l.timeForm = [this]() -> QWidget* { return standIn_; };
        l.singleForm = [this]() -> QWidget* { return standIn_; };
        l.extIoForm = [this]() -> QWidget* { return standIn_; };
    }
    void cleanup() {
        RS_LIB32::ProgramLink().CommClose();
        APP::ResetMainForTests();
        APP::ResetOpeningForTests();
        APP::RestoreLoggingLinks();
    }

    void menuTree() {
        SimProcess sim;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        QCOMPARE(m->windowTitle(), QStringLiteral("ORVEN 5927 Application"));
        QStringList titles;
        for (QAction* a : m->menuBar()->actions()) titles << a->text();
        QCOMPARE(titles, (QStringList{"&File", "&Measurement", "&Window", "&Help"}));

        auto items = [](QMenu* menu) {
            QStringList out;
            for (QAction* a : menu->actions())
                out << (a->isSeparator() ? QStringLiteral("-")
                                         : a->text() + QLatin1Char('|') + a->shortcut().toString());
            return out;
        };
        QCOMPARE(items(m->MnuFile), (QStringList{"E&xit|"}));
        QCOMPARE(items(m->MnuMeas), (QStringList{"Time Interval Measurement|F5", "-",
                                                 "Loading Measurement Data (by return key)|F6",
                                                 "Loading Measurement Data (by external I/O trigger)|F7", "-",
                                                 "Start Test Measurement|F4", "-", "&Grading...|"}));
        QCOMPARE(items(m->MnuWindow), (QStringList{"Arrange|", "&Trend Chart|F8"}));
        QCOMPARE(items(m->MnuHelp), (QStringList{"readme.txt|F1", "-", "Version|"}));
        for (QMenu* menu : {m->MnuFile, m->MnuMeas, m->MnuWindow, m->MnuHelp})
            for (QAction* a : menu->actions()) QVERIFY(!a->isChecked());
    }

    void loadRestoresGeometryAndShowsDisplay_data() {
        QTest::addColumn<bool>("stored");
        QTest::newRow("nothing stored") << false;
        QTest::newRow("stored") << true;
    }
    void loadRestoresGeometryAndShowsDisplay() {
        QFETCH(bool, stored);
        if (stored) {
            Put(SETTING::Key::SecFormMain, SETTING::Key::Top, QStringLiteral("300"));
            Put(SETTING::Key::SecFormMain, SETTING::Key::Left, QStringLiteral("450"));
            Put(SETTING::Key::SecFormMain, SETTING::Key::Width, QStringLiteral("9000"));
            Put(SETTING::Key::SecFormMain, SETTING::Key::Height, QStringLiteral("7500"));
            Put(SETTING::Key::SecFormDisplay, SETTING::Key::Top, QStringLiteral("150"));
            Put(SETTING::Key::SecFormDisplay, SETTING::Key::Left, QStringLiteral("600"));
        }
        SimProcess sim({"--mode", "R"});
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        const double px = TWIPS::FromPxX(1);
        int top = 300, left = 450, width = 9000, height = 7500;
        if (!stored) {
            const QRect s = QGuiApplication::primaryScreen()->geometry();
            width = 5085;
            height = 6825;
            left = int(std::nearbyint(TWIPS::FromPxX(s.width()) - 5085)) / 2;
            top = int(std::nearbyint(TWIPS::FromPxY(s.height()) - 6825)) / 2;
        }
        QVERIFY(qAbs(TWIPS::Top(m) - top) <= px);
        QVERIFY(qAbs(TWIPS::Left(m) - left) <= px);
        QVERIFY(qAbs(TWIPS::Width(m) - width) <= px);
        QVERIFY(qAbs(TWIPS::Height(m) - height) <= px);
        QVERIFY(m->isVisible());
        QCOMPARE(m->MnuMeasTest->text(), QStringLiteral("Start Test Measurement"));

        // The setup query ran and the display window shows its layout.
        QCOMPARE(sim.received(), QByteArray(CMD::SetupQuery) + "\r\n");
        QCOMPARE(RS_LIB32::ProgramLink().InstrumentSetup.MeasMode, qint16(0));
        Frm_Disp* d = FRAME::Disp();
        QVERIFY(FRAME::DispForm()->isVisible());
        QCOMPARE(FRAME::DispForm()->mdiArea(), m->mdiArea);
        QCOMPARE(FRAME::DispForm()->windowTitle(), QStringLiteral("Meas Display"));
        QVERIFY(d->Pic_V->isHidden());
        QVERIFY(qAbs(TWIPS::Top(FRAME::DispForm()) - (stored ? 150 : 0)) <= px);
        QVERIFY(qAbs(TWIPS::Left(FRAME::DispForm()) - (stored ? 600 : 0)) <= px);
    }

    void silentInstrumentAtLoad() {
        SimProcess sim({"--silent"});
        TESTENV::BoxAnswerer boxes;
        // While the load waits the window is up, but nothing may start a
        // second conversation: not the menu, not a function key.
        bool checkedDuringWait = false;
        auto* poll = new QTimer(this);
        poll->setInterval(5);
        connect(poll, &QTimer::timeout, this, [&, poll] {
            MDIFrm_Main* w = APP::MainForm();
            if (!w || !w->isVisible() || !sim.received().contains(CMD::SetupQuery)) return;
            poll->stop();
            poll->deleteLater();
            // Keys first, while the entries are still enabled from creation.
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QVERIFY(TESTENV::PressKey(Qt::Key_F5));
            QVERIFY(TESTENV::PressKey(Qt::Key_F4));
            QCOMPARE(opened_[0], 0);
            QCOMPARE(w->TestMeasRunning, qint16(0));
            emit w->MnuMeas->aboutToShow();
            QVERIFY(!w->MnuMeasTest->isEnabled());
            QVERIFY(!w->MnuMeasTime->isEnabled());
            QVERIFY(!w->MnuMeasGrading->isEnabled());
            checkedDuringWait = true;
        });
        poll->start();
        MDIFrm_Main* m = OpenMain(sim);   // waits out the response limit
        QVERIFY(m);
        QVERIFY(checkedDuringWait);
        QCOMPARE(sim.received(), QByteArray(CMD::SetupQuery) + "\r\n");
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.last().text.startsWith(QStringLiteral("There is not a response from the 5927.")),
                 qPrintable(boxes.last().text));
        QCOMPARE(boxes.last().icon, int(QMessageBox::Warning));
        QCOMPARE(ended_, -100);
        // The program goes on: window up, display shown, exit still works.
        QVERIFY(m->isVisible());
        QVERIFY(FRAME::DispForm()->isVisible());
        QVERIFY_EXCEPTION_THROWN(m->MnuFileExit_Click(), ProcessEnded);
        QCOMPARE(ended_, 0);
    }

    void measurementMenuRule_data() {
        QTest::addColumn<int>("openWindow");   // -1 none, 0 time, 1 single, 2 ext-io
        QTest::addColumn<bool>("testRunning");
        QTest::addColumn<bool>("loggingEnabled");
        QTest::addColumn<bool>("testEnabled");
        QTest::newRow("idle") << -1 << false << true << true;
        QTest::newRow("test measurement running") << -1 << true << false << true;
        QTest::newRow("time window open") << 0 << false << false << false;
        QTest::newRow("return-key window open") << 1 << false << false << false;
        QTest::newRow("external-I/O window open") << 2 << false << false << false;
        QTest::newRow("window open while running") << 2 << true << false << false;
    }
    void measurementMenuRule() {
        QFETCH(int, openWindow);
        QFETCH(bool, testRunning);
        QFETCH(bool, loggingEnabled);
        QFETCH(bool, testEnabled);
        SimProcess sim;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        // Start from the opposite state so the rule must change every entry.
        for (QAction* a : {m->MnuMeasTime, m->MnuMeasSingle, m->MnuMeasIo, m->MnuMeasGrading})
            a->setEnabled(!loggingEnabled);
        m->MnuMeasTest->setEnabled(!testEnabled);
        SETTING::SetFormTimeOpen(openWindow == 0);
        SETTING::SetFormSingleOpen(openWindow == 1);
        SETTING::SetFormExtIoOpen(openWindow == 2);
        m->TestMeasRunning = testRunning ? -1 : 0;

        emit m->MnuMeas->aboutToShow();   // what opening the menu does
        QCOMPARE(m->MnuMeasTime->isEnabled(), loggingEnabled);
        QCOMPARE(m->MnuMeasSingle->isEnabled(), loggingEnabled);
        QCOMPARE(m->MnuMeasIo->isEnabled(), loggingEnabled);
        QCOMPARE(m->MnuMeasGrading->isEnabled(), loggingEnabled);
        QCOMPARE(m->MnuMeasTest->isEnabled(), testEnabled);
        m->TestMeasRunning = 0;
    }

    // A damaged active profile: one box at start naming its line, then the
    // program runs on; Measurement > Grading... opens the dialog.
    void damagedActiveProfileAtStart() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("cells.grading"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("name = cells\n[bin]\nname = A\nresistance low = 15 mOhm\n");
        f.close();
        Put(SETTING::Key::SecGrading, SETTING::Key::GradingEnabled, QStringLiteral("1"));
        Put(SETTING::Key::SecGrading, SETTING::Key::GradingProfile, file);
        TESTENV::BoxAnswerer boxes;
        SimProcess sim;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.last().text.contains(QStringLiteral("Line 4: \"15 mOhm\" is not a number (resistance low).")),
                 qPrintable(boxes.last().text));
        QVERIFY(boxes.last().text.contains(QStringLiteral("not graded")));
        QVERIFY(m->isVisible());
        QCOMPARE(ended_, -100);

        // Switched off: nothing at start.
        Put(SETTING::Key::SecGrading, SETTING::Key::GradingEnabled, QStringLiteral("0"));
        m->MDIForm_Load();
        QCOMPARE(boxes.count(), 1);

        SETTING::SaveGradingProfile(QString());
        emit m->MnuMeas->aboutToShow();
        QVERIFY(m->MnuMeasGrading->isEnabled());
        m->MnuMeasGrading->trigger();
        QVERIFY(boxes.waitFor(2));
        QCOMPARE(boxes.at(1).title, QStringLiteral("Grading"));
    }

    void shortcutsObeyTheRuleOfTheMoment() {
        SimProcess sim;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        m->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m));

        // Entries left disabled by a logging window that has since closed.
        SETTING::SetFormTimeOpen(true);
        m->MnuMeas_Click();
        QVERIFY(!m->MnuMeasTime->isEnabled());
        SETTING::SetFormTimeOpen(false);
        QVERIFY(TESTENV::PressKey(Qt::Key_F5));
        QCOMPARE(opened_[0], 1);

        // Entries left enabled, then a logging window opened: keys do nothing.
        m->MnuMeas_Click();
        QVERIFY(m->MnuMeasSingle->isEnabled());
        SETTING::SetFormSingleOpen(true);
        QVERIFY(TESTENV::PressKey(Qt::Key_F6));
        QVERIFY(TESTENV::PressKey(Qt::Key_F7));
        QVERIFY(TESTENV::PressKey(Qt::Key_F4));
        QCOMPARE(opened_[1], 0);
        QCOMPARE(opened_[2], 0);
        QCOMPARE(m->TestMeasRunning, qint16(0));
        QCOMPARE(sim.received(), QByteArray(CMD::SetupQuery) + "\r\n");
        SETTING::SetFormSingleOpen(false);

        // While the test measurement runs the logging keys are dead and F4 stops it.
        m->TestMeasRunning = -1;
        QVERIFY(TESTENV::PressKey(Qt::Key_F7));
        QCOMPARE(opened_[2], 0);
        QVERIFY(TESTENV::PressKey(Qt::Key_F4));
        QCOMPARE(m->TestMeasStopRequest, qint16(-1));
        m->TestMeasRunning = 0;
        QVERIFY(TESTENV::PressKey(Qt::Key_F7));
        QCOMPARE(opened_[2], 1);
    }

    void testMeasurementStartHoldsTheLoggingEntries() {
        // Every answer takes a while, so keys land while the start's setup query waits.
        SimProcess sim({"--delay", "300"});
        TESTENV::BoxAnswerer boxes;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        m->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m));
        const QByteArray setup = QByteArray(CMD::SetupQuery) + "\r\n";
        bool keysPressed = false;
        QTimer rescue;   // a nested run would never end by itself
        rescue.setSingleShot(true);
        connect(&rescue, &QTimer::timeout, m, [m] { m->TestMeasStopRequest = -1; });
        rescue.start(8000);
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, m, [&] {
            if (sim.received().count(setup) != 2) return;
            poll.stop();
            QCOMPARE(m->MnuMeasTest->text(), QStringLiteral("Stop Test Measurement"));
            for (Qt::Key k : {Qt::Key_F5, Qt::Key_F6, Qt::Key_F7}) QVERIFY(TESTENV::PressKey(k));
            QVERIFY(TESTENV::PressKey(Qt::Key_F4));   // only asks for the stop
            keysPressed = true;
        });
        poll.start();
        QVERIFY(TESTENV::PressKey(Qt::Key_F4));   // runs until the loop ends
        QVERIFY(keysPressed);
        QVERIFY(rescue.isActive());
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(opened_[0] + opened_[1] + opened_[2], 0);
        QCOMPARE(m->TestMeasRunning, qint16(0));
        QCOMPARE(m->MnuMeasTest->text(), QStringLiteral("Start Test Measurement"));
        // One pass, then the end.
        QCOMPARE(sim.received(), setup + setup + QByteArray(CMD::MeasRes) + "\r\n" + QByteArray(CMD::MeasVolt) +
                                     "\r\n");
    }

    void arrangePlacementRule_data() {
        QTest::addColumn<int>("mainW");
        QTest::addColumn<int>("logW");
        QTest::addColumn<int>("dispW");
        QTest::addColumn<int>("dispH");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("left");
        QTest::newRow("room to spare") << 12000 << 5000 << 4935 << 2670 << 0 << 4935;
        QTest::newRow("exactly enough") << 10135 << 5000 << 4935 << 2670 << 0 << 4935;
        QTest::newRow("one twip short") << 10134 << 5000 << 4935 << 2670 << 2670 << 0;
        QTest::newRow("far too narrow") << 5085 << 5000 << 4935 << 2670 << 2670 << 0;
    }
    void arrangePlacementRule() {
        QFETCH(int, mainW);
        QFETCH(int, logW);
        QFETCH(int, dispW);
        QFETCH(int, dispH);
        QFETCH(int, top);
        QFETCH(int, left);
        const APP::Placement p = APP::ArrangePlacement(mainW, logW, dispW, dispH);
        QCOMPARE(p.top, top);
        QCOMPARE(p.left, left);
    }

    void arrangeMovesTheRealWindows() {
        SimProcess sim;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        QMdiSubWindow* disp = FRAME::DispForm();
        disp->move(40, 30);
        // No logging window: only the display window moves.
        m->MnuWindowArrange_Click();
        QCOMPARE(disp->pos(), QPoint(0, 0));

        QMdiSubWindow* log = StandIn(m, 4500, 3000);
        log->move(77, 88);
        SETTING::SetFormSingleOpen(true);
        TWIPS::SetWidth(m, TWIPS::Width(disp) + TWIPS::Width(log) + 600);
        m->MnuWindowArrange_Click();
        QCOMPARE(log->pos(), QPoint(disp->width(), 0));

        TWIPS::SetWidth(m, TWIPS::Width(disp) + TWIPS::Width(log) - 300);
        disp->move(5, 5);
        m->MnuWindowArrange_Click();
        QCOMPARE(disp->pos(), QPoint(0, 0));
        QCOMPARE(log->pos(), QPoint(0, disp->height()));
    }

    void closeQueryOnlyWhileTriggerModeRuns() {
        SimProcess sim;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        TESTENV::BoxAnswerer boxes;   // presses the default button

        // Trigger mode running: the question, No by default, nothing changes.
        SETTING::SetFormExtIoOpen(true);
        extIoMeasuring_ = true;
        m->MnuFileExit_Click();
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().text, QStringLiteral("Make sure to follow these instructions. Otherwise, it may be "
                                                   "necessary to re-start the unit.\nMay I end software? "));
        QCOMPARE(boxes.last().title, QStringLiteral("End of 5927 application"));
        QCOMPARE(boxes.last().icon, int(QMessageBox::NoIcon));
        QCOMPARE(ended_, -100);
        QVERIFY(RS_LIB32::ProgramLink().IsOpen());
        // The window's own close goes through the same query.
        QVERIFY(!m->close());
        QCOMPARE(boxes.count(), 2);
        QVERIFY(m->isVisible());
        QCOMPARE(Get(SETTING::Key::SecFormDisplay, SETTING::Key::Top), QStringLiteral("<none>"));

        // Yes ends the program.
        boxes.setButton(QMessageBox::Yes);
        QVERIFY_EXCEPTION_THROWN(m->MnuFileExit_Click(), ProcessEnded);
        QCOMPARE(boxes.count(), 3);
        QCOMPARE(ended_, 0);
    }

    void noQuestionUnlessTriggerMode_data() {
        QTest::addColumn<bool>("extIoOpen");
        QTest::addColumn<bool>("measuring");
        QTest::newRow("window open, not measuring") << true << false;
        QTest::newRow("window never opened") << false << false;
        QTest::newRow("stale answer, window closed") << false << true;
    }
    void noQuestionUnlessTriggerMode() {
        QFETCH(bool, extIoOpen);
        QFETCH(bool, measuring);
        SimProcess sim;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        SETTING::SetFormExtIoOpen(extIoOpen);
        extIoMeasuring_ = measuring;
        TESTENV::BoxAnswerer boxes;
        QVERIFY_EXCEPTION_THROWN(m->MnuFileExit_Click(), ProcessEnded);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(ended_, 0);
    }

    void shutdownWritesPositions() {
        Put(SETTING::Key::SecFormSingle, SETTING::Key::Top, QStringLiteral("11"));
        SimProcess sim;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        TWIPS::SetTop(m, 600);
        TWIPS::SetLeft(m, 900);
        TWIPS::SetWidth(m, 11000);
        TWIPS::SetHeight(m, 8000);
        QMdiSubWindow* disp = FRAME::DispForm();
        disp->move(10, 20);
        QMdiSubWindow* log = StandIn(m, 4000, 2000);
        log->move(30, 200);
        SETTING::SetFormTimeOpen(true);

        QVERIFY_EXCEPTION_THROWN(m->MnuFileExit_Click(), ProcessEnded);
        QCOMPARE(ended_, 0);
        QVERIFY(!RS_LIB32::ProgramLink().IsOpen());
        QCOMPARE(Get(SETTING::Key::SecFormMain, SETTING::Key::Top), Num(TWIPS::Top(m)));
        QCOMPARE(Get(SETTING::Key::SecFormMain, SETTING::Key::Left), Num(TWIPS::Left(m)));
        QCOMPARE(Get(SETTING::Key::SecFormMain, SETTING::Key::Width), Num(TWIPS::Width(m)));
        QCOMPARE(Get(SETTING::Key::SecFormMain, SETTING::Key::Height), Num(TWIPS::Height(m)));
        QVERIFY(qAbs(Get(SETTING::Key::SecFormMain, SETTING::Key::Width).toInt() - 11000) <= TWIPS::FromPxX(1));
        QCOMPARE(Get(SETTING::Key::SecFormDisplay, SETTING::Key::Top), Num(qRound(TWIPS::FromPxY(20))));
        QCOMPARE(Get(SETTING::Key::SecFormDisplay, SETTING::Key::Left), Num(qRound(TWIPS::FromPxX(10))));
        QCOMPARE(Get(SETTING::Key::SecFormTime, SETTING::Key::Top), Num(qRound(TWIPS::FromPxY(200))));
        QCOMPARE(Get(SETTING::Key::SecFormTime, SETTING::Key::Left), Num(qRound(TWIPS::FromPxX(30))));
        // Closed logging windows keep what they stored themselves.
        QCOMPARE(Get(SETTING::Key::SecFormSingle, SETTING::Key::Top), QStringLiteral("11"));
        QCOMPARE(Get(SETTING::Key::SecFormExtIo, SETTING::Key::Top), QStringLiteral("<none>"));
    }

    void shutdownMinimizedKeepsMainGeometry() {
        Put(SETTING::Key::SecFormMain, SETTING::Key::Top, QStringLiteral("120"));
        Put(SETTING::Key::SecFormMain, SETTING::Key::Left, QStringLiteral("135"));
        Put(SETTING::Key::SecFormMain, SETTING::Key::Width, QStringLiteral("7005"));
        Put(SETTING::Key::SecFormMain, SETTING::Key::Height, QStringLiteral("6000"));
        SimProcess sim;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        TWIPS::SetLeft(m, 3000);
        TWIPS::SetWidth(m, 9000);
        FRAME::DispForm()->move(15, 25);
        m->showMinimized();
        QVERIFY(m->isMinimized());

        QVERIFY_EXCEPTION_THROWN(m->MnuFileExit_Click(), ProcessEnded);
        QCOMPARE(Get(SETTING::Key::SecFormMain, SETTING::Key::Top), QStringLiteral("120"));
        QCOMPARE(Get(SETTING::Key::SecFormMain, SETTING::Key::Left), QStringLiteral("135"));
        QCOMPARE(Get(SETTING::Key::SecFormMain, SETTING::Key::Width), QStringLiteral("7005"));
        QCOMPARE(Get(SETTING::Key::SecFormMain, SETTING::Key::Height), QStringLiteral("6000"));
        QCOMPARE(Get(SETTING::Key::SecFormDisplay, SETTING::Key::Top), Num(qRound(TWIPS::FromPxY(25))));
        QCOMPARE(Get(SETTING::Key::SecFormDisplay, SETTING::Key::Left), Num(qRound(TWIPS::FromPxX(15))));
        QVERIFY(!RS_LIB32::ProgramLink().IsOpen());
    }

    void versionBoxFromTheHelpMenu() {
        SimProcess sim;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        TESTENV::BoxAnswerer boxes;
        for (int i = 1; i <= 2; ++i) {
            m->MnuDispVer->trigger();
            QCOMPARE(boxes.count(), i);
            QCOMPARE(boxes.last().title, QStringLiteral("ORVEN 5927 Application"));
            QCOMPARE(APP::OpeningForm()->Lbl_Version->text(), QStringLiteral("Version 1.20"));
            QVERIFY(!APP::OpeningForm()->menuBar->isVisible());
        }
        QCOMPARE(ended_, -100);
        QVERIFY(m->isVisible());
        QVERIFY(RS_LIB32::ProgramLink().IsOpen());
        // Nothing was sent for it.
        QCOMPARE(sim.received(), QByteArray(CMD::SetupQuery) + "\r\n");
    }
};

ORVEN_TEST_MAIN(TestMainWindow)
#include "test_mainwin.moc"
