// The Calc provider when things go wrong: no office and no soffice, a profile
// that cannot be written, an office killed between calls (its pipe left
// stale), an office that hangs, and the worker that keeps a hang off the GUI.
#include <QApplication>
#include <QTest>

#include "sheet.h"
#include "test_env.h"

#ifdef ORVEN_HAVE_CALC
#include "calc_call.h"
#include "calc_provider.h"
#include "calc_test_office.h"

#define ORVEN_LO_PROGRAM_BIN "/usr/lib/libreoffice/program/soffice.bin"

#include <QProcess>

#include <condition_variable>
#include <csignal>
#include <pthread.h>
#include <thread>
#include <mutex>
#include <vector>

using SHEET::CALC::TimedCaller;

class CalcFailuresTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QStringList pipes_;   // every pipe an office may have been started on

    QString NewPipe(const char* tag) {
        pipes_ << CALCTEST::TestPipe(tag);
        return pipes_.last();
    }

private slots:
    void cleanupTestCase() {
        for (const QString& p : pipes_) CALCTEST::EndOffice(p);
    }

    // ---- the worker that carries the calls ----

    void callsFinishingInTimeReportTheirResult() {
        TimedCaller caller;
        auto value = std::make_shared<int>(0);
        for (int i = 1; i <= 3; ++i) QVERIFY(caller.Run([value, i] { *value += i; }, 5000));
        QCOMPARE(*value, 6);
        // Handed-on jobs run in order and before the next call's own job.
        auto order = std::make_shared<std::vector<int>>();
        for (int i = 0; i < 4; ++i) QVERIFY(caller.Post([order, i] { order->push_back(i); }, 5000));
        QVERIFY(caller.Run([order] { order->push_back(99); }, 5000));
        QCOMPARE(*order, (std::vector<int>{0, 1, 2, 3, 99}));
        QCOMPARE(caller.Abandoned(), 0);
    }

    void aCallPastTheLimitIsGivenUpAndTheNextOneStillRuns() {
        struct Gate {
            std::mutex m;
            std::condition_variable cv;
            bool open = false;
        };
        auto gate = std::make_shared<Gate>();
        const int before = TimedCaller::StillRunningAbandoned();
        {
            TimedCaller caller;
            QVERIFY(!caller.Run(
                [gate] {
                    std::unique_lock l(gate->m);
                    gate->cv.wait(l, [&] { return gate->open; });
                },
                200));
            QCOMPARE(caller.Abandoned(), 1);
            QCOMPARE(TimedCaller::StillRunningAbandoned(), before + 1);
            // The blocked worker does not hold up the next call.
            auto ran = std::make_shared<bool>(false);
            QVERIFY(caller.Run([ran] { *ran = true; }, 5000));
            QVERIFY(*ran);
            // A handed-on job that blocks: handing it on does not wait, the
            // next call waits one limit for it and is then not run.
            QVERIFY(caller.Post(
                [gate] {
                    std::unique_lock l(gate->m);
                    gate->cv.wait(l, [&] { return gate->open; });
                },
                200));
            *ran = false;
            QVERIFY(!caller.Run([ran] { *ran = true; }, 200));
            QVERIFY(!*ran);
            QCOMPARE(caller.Abandoned(), 2);
            QCOMPARE(TimedCaller::StillRunningAbandoned(), before + 2);
            QVERIFY(caller.Run([ran] { *ran = true; }, 5000));
            QVERIFY(*ran);
        }   // destroying the caller must not wait for the blocked calls
        {
            std::lock_guard l(gate->m);
            gate->open = true;
        }
        gate->cv.notify_all();
        QTRY_COMPARE_WITH_TIMEOUT(TimedCaller::StillRunningAbandoned(), before, 10000);
    }

    void workerThreadsAndTheirChildrenIgnoreABrokenPipe() {
        // The office's bridge threads are started from the worker; a write to a
        // dead office must fail there, not end the program with SIGPIPE.
        auto blocked = [] {
            sigset_t set;
            pthread_sigmask(SIG_BLOCK, nullptr, &set);
            return sigismember(&set, SIGPIPE) == 1;
        };
        QVERIFY2(!blocked(), "the test thread itself is left alone");
        TimedCaller caller;
        auto inWorker = std::make_shared<bool>(false);
        auto inChild = std::make_shared<bool>(false);
        QVERIFY(caller.Run(
            [=] {
                *inWorker = blocked();
                std::thread child([=] { *inChild = blocked(); });
                child.join();
            },
            10000));
        QVERIFY(*inWorker);
        QVERIFY(*inChild);
    }

    // ---- no office ----

    void noOfficeAndNoSofficeGiveNothing() {
        SHEET::CALC::Options o;
        o.pipe = NewPipe("none");
        o.soffice = tmp_.path() + "/missing/soffice";
        auto provider = SHEET::CALC::MakeCalcProvider(o);
        QVERIFY(!provider->Attach());
        QVERIFY(!provider->Create());
        QCOMPARE(provider->StartedPid(), 0LL);

        // soffice looked up on a PATH that does not have it.
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", tmp_.path().toLocal8Bit());
        o.soffice.clear();
        auto onPath = SHEET::CALC::MakeCalcProvider(o);
        const bool created = static_cast<bool>(onPath->Create());
        qputenv("PATH", oldPath);
        QVERIFY(!created);
        QCOMPARE(onPath->StartedPid(), 0LL);
    }

    void theProgramsProviderFollowsTheEnvironment() {
        qputenv("ORVEN5927_CALC_PIPE", NewPipe("env").toLatin1());
        qputenv("ORVEN5927_SOFFICE", (tmp_.path() + "/no/soffice").toLocal8Bit());
        qputenv("ORVEN5927_CALC_ARGS", "--headless \"-env:UserInstallation=file:///tmp/a b\"");
        qputenv("ORVEN5927_CALC_CALL_MS", "1234");
        qputenv("ORVEN5927_CALC_START_MS", "bad");
        const SHEET::CALC::Options o = SHEET::CALC::OptionsFromEnvironment();
        QCOMPARE(o.pipe, pipes_.last());
        QCOMPARE(o.extraArgs, (QStringList{"--headless", "-env:UserInstallation=file:///tmp/a b"}));
        QCOMPARE(o.callLimitMs, 1234);
        QCOMPARE(o.startLimitMs, SHEET::CALC::Options().startLimitMs);

        SHEET::SetProvider(SHEET::MakeDefaultProvider());
        const SHEET::Obtained got = SHEET::Obtain();
        SHEET::SetProvider(nullptr);
        for (const char* v : {"ORVEN5927_CALC_PIPE", "ORVEN5927_SOFFICE", "ORVEN5927_CALC_ARGS",
                              "ORVEN5927_CALC_CALL_MS", "ORVEN5927_CALC_START_MS"})
            qunsetenv(v);
        QVERIFY(!got.app);
        QVERIFY(!got.started);
        QVERIFY(SHEET::CALC::OptionsFromEnvironment().pipe == "orven5927");
    }

    void anOfficeThatCannotStartGivesNothing() {
        // A profile under /proc cannot be created: the office gives up.
        SHEET::CALC::Options o = CALCTEST::HeadlessOptions(NewPipe("noprofile"), "/proc/orven5927/profile");
        o.startLimitMs = 8000;
        auto provider = SHEET::CALC::MakeCalcProvider(o);
        QVERIFY(!provider->Create());
        QVERIFY(provider->StartedPid() > 0);
        QVERIFY(!provider->Attach());
        // Such an office spins for ever; the one started here does not stay behind.
        QTRY_VERIFY_WITH_TIMEOUT(CALCTEST::OfficePids(o.pipe).isEmpty(), 10000);
    }

    void anOfficeAlreadyOpenIsReachedThroughTheStartedOne() {
        // The operator's office: same profile, not on our pipe (here on another
        // one, so the test knows when it is ready).
        const QString profile = tmp_.path() + "/operator";
        const auto theirs = CALCTEST::HeadlessOptions(NewPipe("operator"), profile);
        qint64 own = 0;
        QVERIFY(QProcess::startDetached("soffice",
                                        QStringList{"--accept=pipe,name=" + theirs.pipe + ";urp;StarOffice.ComponentContext",
                                                    "--norestore", "--nologo", "--nodefault"} + theirs.extraArgs,
                                        QString(), &own));
        QTRY_VERIFY_WITH_TIMEOUT(SHEET::CALC::OperatorProbe(theirs).Connected(), 40000);
        const QByteArray profileArg = "UserInstallation=file://" + profile.toLocal8Bit();
        auto officeBins = [&] {
            QList<pid_t> bins;
            for (pid_t p : CALCTEST::ProcessesNaming(profileArg)) {
                QFile f(QStringLiteral("/proc/%1/cmdline").arg(p));
                if (f.open(QIODevice::ReadOnly) && f.readAll().startsWith(QByteArray(ORVEN_LO_PROGRAM_BIN))) bins << p;
            }
            return bins;
        };
        const QList<pid_t> before = officeBins();
        QCOMPARE(before.size(), 1);

        auto provider = SHEET::CALC::MakeCalcProvider(CALCTEST::HeadlessOptions(NewPipe("handover"), profile));
        QVERIFY(!provider->Attach());
        auto app = provider->Create();
        QVERIFY(app);
        QVERIFY(app->WorkbooksAdd());
        QVERIFY(app->SetCellValue(1, 1, "reached"));
        // The operator's own office holds the cell, and no second office runs.
        SHEET::CALC::OperatorProbe operatorView(theirs);
        QCOMPARE(operatorView.At(1, 1).shown, QString("reached"));
        QCOMPARE(officeBins(), before);
        operatorView.MarkAllUnmodified();
        SHEET::CALC::KillProcessTree(own);
    }

    // ---- an office that goes away or hangs ----

    void officeKilledBetweenCallsIsStartedAgain() {
        const QString pipe = NewPipe("killed");
        const auto o = CALCTEST::HeadlessOptions(pipe, tmp_.path() + "/killed");
        auto provider = SHEET::CALC::MakeCalcProvider(o);
        auto app = provider->Create();
        QVERIFY(app);
        const long long first = provider->StartedPid();
        QVERIFY(app->WorkbooksAdd());
        QVERIFY(app->SetCellValue(2, 1, "1"));

        QVERIFY(CALCTEST::SignalOffice(pipe, SIGKILL) > 0);
        QTRY_VERIFY_WITH_TIMEOUT(CALCTEST::OfficePids(pipe).isEmpty(), 20000);
        QVERIFY(!app->SetCellValue(3, 1, "2"));
        QVERIFY(!app->WorkbooksCount().has_value());
        // The dead office's pipe is still on disk: attaching fails, starting works.
        QVERIFY(!provider->Attach());
        auto again = provider->Create();
        QVERIFY(again);
        QVERIFY(provider->StartedPid() != first);
        QCOMPARE(again->WorkbooksCount(), std::optional<int>(0));
        QVERIFY(again->WorkbooksAdd());
        QVERIFY(again->SetCellValue(1, 1, "Resistance"));
        // The old application object reaches the new office too.
        QCOMPARE(app->ActiveSheetName(), again->ActiveSheetName());
        SHEET::CALC::OperatorProbe(o).MarkAllUnmodified();
    }

    void aHungOfficeCostsOneLimitAndThenRecovers() {
        const QString pipe = NewPipe("hung");
        const auto o = CALCTEST::HeadlessOptions(pipe, tmp_.path() + "/hung");
        auto provider = SHEET::CALC::MakeCalcProvider(o);
        auto started = provider->Create();
        QVERIFY(started);
        QVERIFY(started->WorkbooksAdd());
        QVERIFY(started->SetCellValue(1, 1, "before"));
        // A short limit for the client under test; a live office answers in milliseconds.
        auto shortLimit = o;
        shortLimit.callLimitMs = 3000;
        auto limited = SHEET::CALC::MakeCalcProvider(shortLimit);
        auto app = limited->Attach();
        QVERIFY(app);
        QCOMPARE(app->ActiveSheetName(), started->ActiveSheetName());

        QVERIFY(CALCTEST::SignalOffice(pipe, SIGSTOP) > 0);
        QTRY_VERIFY_WITH_TIMEOUT(CALCTEST::OfficeStopped(pipe), 10000);
        // The window's next preparation: the kept connection does not answer,
        // which costs one limit, not a second one for a fresh greeting.
        QVERIFY(!limited->Attach());
        QCOMPARE(limited->TimedOutCalls(), 1);
        // The calls that follow fail at once instead of each waiting out the limit.
        QVERIFY(!app->SetCellValue(2, 1, "during"));
        QVERIFY(!app->SmallScrollDown(1));
        QCOMPARE(limited->TimedOutCalls(), 1);
        // An explicit attach tries again: the pipe still accepts, but the office
        // never answers the greeting.
        QVERIFY(!limited->Attach());
        QCOMPARE(limited->TimedOutCalls(), 2);
        // Nor is a second office started onto the pipe the hung one holds.
        QVERIFY(!limited->Create());
        QCOMPARE(limited->StartedPid(), 0LL);
        QVERIFY(!app->WorkbooksCount().has_value());
        QCOMPARE(limited->TimedOutCalls(), 2);

        QVERIFY(CALCTEST::SignalOffice(pipe, SIGCONT) > 0);
        QTRY_COMPARE_WITH_TIMEOUT(TimedCaller::StillRunningAbandoned(), 0, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(limited->Attach() != nullptr, 20000);
        QVERIFY(app->SetCellValue(3, 1, "after"));
        SHEET::CALC::OperatorProbe probe(o);
        QCOMPARE(probe.At(3, 1).shown, QString("after"));
        QCOMPARE(probe.At(1, 1).shown, QString("before"));
        probe.MarkAllUnmodified();
    }
};

ORVEN_TEST_MAIN(CalcFailuresTest)
#include "test_calc_failures.moc"

#else
// Built without the office SDK: the program's provider never finds a spreadsheet.
class CalcFailuresTest : public QObject {
    Q_OBJECT
private slots:
    void withoutTheSdkNothingIsFound() {
        auto provider = SHEET::MakeDefaultProvider();
        QVERIFY(provider);
        QVERIFY(!provider->Attach());
        QVERIFY(!provider->Create());
        SHEET::SetProvider(provider);
        const SHEET::Obtained got = SHEET::Obtain();
        SHEET::SetProvider(nullptr);
        QVERIFY(!got.app);
        QVERIFY(!got.started);
    }
};
ORVEN_TEST_MAIN(CalcFailuresTest)
#include "test_calc_failures.moc"
#endif
