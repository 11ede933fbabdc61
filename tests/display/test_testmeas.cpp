// The test measurement against the simulator: the exact command lines by
// mode, the layout, the caption, a stop request during a pass, a mode change
// during a run, a silent instrument, and passes graded while grading is on.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "commands.h"
#include "frame.h"
#include "followed.h"
#include "frm_disp.h"
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
const QByteArray kSetup = QByteArray(CMD::SetupQuery) + "\r\n";
const QByteArray kRes = QByteArray(CMD::MeasRes) + "\r\n";
const QByteArray kVolt = QByteArray(CMD::MeasVolt) + "\r\n";

// Calls `act` once `when` holds, looking every few milliseconds from inside
// whatever loop is running (the test measurement's own waits included).
void WhenThen(QObject* ctx, std::function<bool()> when, std::function<void()> act) {
    auto* t = new QTimer(ctx);
    t->setInterval(5);
    QObject::connect(t, &QTimer::timeout, ctx, [t, when, act] {
        if (!when()) return;
        t->stop();
        t->deleteLater();
        act();
    });
    t->start();
}
}  // namespace

class TestTestMeasurement : public QObject {
    Q_OBJECT
    int ended_ = -100;

    MDIFrm_Main* OpenMain(SimProcess& sim) {
        qputenv("ORVEN5927_COM1", sim.devicePath().toLocal8Bit());
        RS_LIB32::ProgramLink().CommInit();
        if (RS_LIB32::ProgramLink().CommOpen(0) != 1) return nullptr;
        return APP::ShowMainWindow();
    }

private slots:
    void init() {
        ended_ = -100;
        SETTING::SetProcessEnder([this](int code) { ended_ = code; });
        SETTING::ResetSettings();
        RS_LIB32::ProgramLink().InstrumentSetup = {};
        SETTING::SetFormTimeOpen(false);
        SETTING::SetFormSingleOpen(false);
        SETTING::SetFormExtIoOpen(false);
    }
    void cleanup() {
        RS_LIB32::ProgramLink().CommClose();
        APP::ResetMainForTests();
    }

    void commandsAndLayoutByMode_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("withVoltage");
        QTest::newRow("resistance only") << "R" << false;
        QTest::newRow("resistance and voltage") << "RV" << true;
        QTest::newRow("lower-case r counts as both") << "r" << true;
    }
    void commandsAndLayoutByMode() {
        QFETCH(QString, mode);
        QFETCH(bool, withVoltage);
        SimProcess sim({"--mode", mode, "--res", "003.45E-3", "--volt", "+01.234E+0", "--comp", "1",
                        "--comp-result", "LO"});
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        Followed followed;
        Frm_Disp* d = FRAME::Disp();
        const qsizetype loadBytes = sim.received().size();

        // Stop once three resistance queries went out; look at the menu meanwhile.
        bool sawRule = false, sawCaption = false;
        WhenThen(this, [&] { return sim.received().count(kRes) >= 3; }, [&] {
            m->MnuMeas_Click();
            sawRule = !m->MnuMeasTime->isEnabled() && !m->MnuMeasSingle->isEnabled() &&
                      !m->MnuMeasIo->isEnabled() && m->MnuMeasTest->isEnabled();
            sawCaption = m->MnuMeasTest->text() == QLatin1String("Stop Test Measurement");
            QCOMPARE(m->TestMeasRunning, qint16(-1));
            m->MnuMeasTest->trigger();   // the second click only asks
        });
        m->MnuMeasTest->trigger();

        QVERIFY(sawRule);
        QVERIFY(sawCaption);
        QCOMPARE(m->MnuMeasTest->text(), QStringLiteral("Start Test Measurement"));
        QCOMPARE(m->TestMeasRunning, qint16(0));
        QCOMPARE(m->TestMeasStopRequest, qint16(-1));

        // Setup query first, then whole passes only.
        const QByteArray run = sim.received().mid(loadBytes);
        QVERIFY(run.startsWith(kSetup));
        const QByteArray passes = run.mid(kSetup.size());
        const QByteArray pass = withVoltage ? kRes + kVolt : kRes;
        QVERIFY(passes.size() >= 3 * pass.size());
        QCOMPARE(passes, pass.repeated(int(passes.size() / pass.size())));

        // One activity, one reading published per pass, with the comparator
        // result of the resistance answer.
        const QString reading = withVoltage ? QStringLiteral("003.45E-3|+01.234E+0|LO mode 1 comp 1")
                                            : QStringLiteral("003.45E-3||LO mode 0 comp 1");
        QStringList expected{QStringLiteral("start test mode %1 comp 1 count 0 interval 0 ").arg(withVoltage ? 1 : 0)};
        for (qsizetype i = 0; i < passes.size() / pass.size(); ++i) expected << reading;
        expected << QStringLiteral("end");
        QCOMPARE(followed.events, expected);

        // The readings of the last pass stay; the layout follows the mode.
        QCOMPARE(d->Lbl_MeasR->text(), QStringLiteral("  3.45m"));
        QVERIFY(d->Pic_R->isVisibleTo(d));
        if (withVoltage) {
            QCOMPARE(d->Lbl_MeasV->text(), QStringLiteral("+ 1.234"));
            QVERIFY(d->Pic_V->isVisibleTo(d));
            QCOMPARE(d->Pic_R->y(), TWIPS::ToPxY(75));
            QCOMPARE(d->Pic_V->y(), TWIPS::ToPxY(1125));
        } else {
            QCOMPARE(d->Lbl_MeasV->text(), QString());
            QVERIFY(d->Pic_V->isHidden());
            QCOMPARE(d->Pic_R->y(), TWIPS::ToPxY(550));
        }
        // Left and size of the panels never change.
        QCOMPARE(d->Pic_R->x(), TWIPS::ToPxX(75));
        QCOMPARE(d->Pic_R->size(), QSize(TWIPS::ToPxX(4665), TWIPS::ToPxY(990)));
        m->MnuMeas_Click();
        QVERIFY(m->MnuMeasTime->isEnabled());
    }

    void stopRequestWaitsForTheEndOfThePass() {
        // Each answer takes a while, so the stop arrives with the pass under way.
        SimProcess sim({"--delay", "600", "--res", "1.0000E+8", "--volt", "+1.0000E+9"});
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        Frm_Disp* d = FRAME::Disp();
        d->Lbl_MeasR->setText(QStringLiteral("old"));
        d->Lbl_MeasV->setText(QStringLiteral("old"));
        const qsizetype loadBytes = sim.received().size();

        bool emptiedBeforeReading = false;
        WhenThen(this, [&] { return sim.received().contains(kRes); }, [&] {
            emptiedBeforeReading = d->Lbl_MeasR->text().isEmpty() && d->Lbl_MeasV->text().isEmpty();
            m->MnuMeasTest_Click();   // stop, while ":MEAS:RES?" waits for its answer
            QCOMPARE(m->TestMeasStopRequest, qint16(-1));
            QCOMPARE(m->TestMeasRunning, qint16(-1));
        });
        m->MnuMeasTest_Click();

        QVERIFY(emptiedBeforeReading);
        QCOMPARE(sim.received().mid(loadBytes), kSetup + kRes + kVolt);
        QCOMPARE(d->Lbl_MeasR->text(), QStringLiteral("  O.F  "));
        QCOMPARE(d->Lbl_MeasV->text(), QStringLiteral("+----- "));
        QCOMPARE(m->MnuMeasTest->text(), QStringLiteral("Start Test Measurement"));
    }

    void gradedPassesCarryTheVerdict() {
        const QString profile = QDir::temp().filePath(QStringLiteral("cells.grading"));
        QFile f(profile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[bin]\nname = A\ncolour = #00a000\nresistance low = 15m\nresistance high = 25m\n");
        f.close();
        SETTING::SaveGradingEnabled(true);
        SETTING::SaveGradingProfile(profile);
        SimProcess sim({"--mode", "RV", "--res", "020.00E-3", "--volt", "+3.6500E+0"});
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        Frm_Disp* d = FRAME::Disp();
        bool activityGraded = false;
        WhenThen(this, [&] { return sim.received().count(kRes) >= 2; }, [&] {
            // Followers that come late learn from the activity that readings are graded.
            activityGraded = READINGS::CurrentActivity() && READINGS::CurrentActivity()->profile.has_value();
            m->MnuMeasTest_Click();
        });
        m->MnuMeasTest_Click();
        QVERIFY(activityGraded);
        QVERIFY(d->GradingShown());
        QCOMPARE(d->Lbl_Grade->text(), QStringLiteral("A"));
        QCOMPARE(d->Lbl_Grade->palette().color(QPalette::WindowText), QColor("#00a000"));
    }

    void modeChangeWaitsForTheNextRun() {
        SimProcess sim({"--mode", "RV"});
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        Frm_Disp* d = FRAME::Disp();
        qsizetype mark = sim.received().size();

        WhenThen(this, [&] { return sim.received().count(kRes) >= 2; }, [&] {
            QVERIFY(sim.control(QStringLiteral("set mode R")));
            mark = sim.received().size();
            // Let a few more passes go by before stopping.
            WhenThen(this, [&] { return sim.received().mid(mark).count(kRes) >= 3; },
                     [&] { m->MnuMeasTest_Click(); });
        });
        m->MnuMeasTest_Click();
        QVERIFY(sim.received().mid(mark).contains(kVolt));
        QVERIFY(d->Pic_V->isVisibleTo(d));

        // The next run asks again and drops the voltage.
        mark = sim.received().size();
        WhenThen(this, [&] { return sim.received().mid(mark).count(kRes) >= 2; },
                 [&] { m->MnuMeasTest_Click(); });
        m->MnuMeasTest_Click();
        const QByteArray second = sim.received().mid(mark);
        QVERIFY(second.startsWith(kSetup));
        QVERIFY(!second.contains(kVolt));
        QVERIFY(d->Pic_V->isHidden());
        QCOMPARE(d->Pic_R->y(), TWIPS::ToPxY(550));
    }

    void silentInstrumentStopsTheRunWithAMessage() {
        SimProcess sim;
        MDIFrm_Main* m = OpenMain(sim);
        QVERIFY(m);
        WhenThen(this, [&] { return sim.received().count(kRes) >= 2; },
                 [&] { QVERIFY(sim.control(QStringLiteral("silent on"))); });
        TESTENV::BoxAnswerer boxes;
        QElapsedTimer t;
        t.start();
        m->MnuMeasTest_Click();   // returns once the response limit has passed
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.last().text.startsWith(QStringLiteral("There is not a response from the 5927.")),
                 qPrintable(boxes.last().text));
        QVERIFY(boxes.last().text.contains(QStringLiteral("test measurement has stopped")));
        QCOMPARE(boxes.last().icon, int(QMessageBox::Warning));
        QCOMPARE(m->TestMeasRunning, qint16(0));
        QCOMPARE(m->MnuMeasTest->text(), QStringLiteral("Start Test Measurement"));
        QCOMPARE(ended_, -100);
        // The menus work again and the program still closes normally.
        m->MnuMeas_Click();
        QVERIFY(m->MnuMeasTime->isEnabled());
        QVERIFY_EXCEPTION_THROWN(m->MnuFileExit_Click(), ProcessEnded);
        QCOMPARE(ended_, 0);
    }

    void unreadableSetupAnswerIsReported() {
        // Four fields where the setup query takes three.
        SimProcess sim({"--speed", "FAST,EXTRA"});
        MDIFrm_Main* m = nullptr;
        {
            TESTENV::BoxAnswerer atLoad;
            m = OpenMain(sim);
            QVERIFY(m);
            QCOMPARE(atLoad.count(), 1);
            QVERIFY(atLoad.last().text.contains(QStringLiteral("could not be read")));
        }
        TESTENV::BoxAnswerer boxes;
        m->MnuMeasTest_Click();
        QCOMPARE(boxes.count(), 1);
        QVERIFY(boxes.last().text.contains(QStringLiteral("could not be read")));
        QCOMPARE(m->TestMeasRunning, qint16(0));
        QCOMPARE(m->MnuMeasTest->text(), QStringLiteral("Start Test Measurement"));
        QCOMPARE(ended_, -100);
    }
};

ORVEN_TEST_MAIN(TestTestMeasurement)
#include "test_testmeas.moc"
