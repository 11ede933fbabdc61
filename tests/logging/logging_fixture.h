#pragma once
// What the logging-window tests share: a main window with its MDI area, the
// simulator on a pseudo-terminal behind COM1, the in-memory spreadsheet, a
// fake time of day, an answerer for message boxes and file dialogs, and a
// script that acts while a window's handler is blocked in its own loop.
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "frame.h"
#include "logging.h"
#include "memory_sheet.h"
#include "outfiles.h"
#include "rs_lib32.h"
#include "settings.h"
#include "setup.h"
#include "sim_process.h"
#include "test_env.h"
#include "clock.h"

namespace LT {

// Boxes and dialogs seen, answered as a operator would: message boxes with
// their default button, file dialogs with the next queued name (or Cancel).
struct Seen {
    QString text, title;
    int icon = -1;
    bool fileDialog = false;
    QStringList filters;
    int acceptMode = -1, fileMode = -1;
};

class Modals {
public:
    Modals() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    QList<Seen> seen;
    QStringList fileAnswers;   // consumed in order; "" cancels the dialog
    std::function<void(const QString&)> onSelected;   // as a dialog accepts a name
    bool fileDialogsByHand = false;   // file dialogs are left to the test
    int count() const { return seen.size(); }
    Seen last() const { return seen.isEmpty() ? Seen{} : seen.last(); }
    QStringList texts() const {
        QStringList t;
        for (const Seen& s : seen) t << s.text;
        return t;
    }

private:
    void poll() {
        if (pending_ && pendingSince_.hasExpired(3000)) {
            // The dialog refused the name: give up rather than hang the test.
            Seen stuck;
            stuck.text = QStringLiteral("<file dialog refused the name>");
            seen.append(stuck);
            static_cast<QDialog*>(pending_.data())->reject();
            pending_ = nullptr;
        }
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == pending_) return;
        Seen s;
        s.title = w->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            s.text = box->text();
            s.icon = box->icon();
            seen.append(s);
            // A question (the dialog's "replace?") is answered Yes.
            if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                yes->click();
            else if (QAbstractButton* b = box->defaultButton())
                b->click();
            else
                box->done(0);
        } else if (auto* dlg = qobject_cast<QFileDialog*>(w)) {
            if (fileDialogsByHand) return;
            s.fileDialog = true;
            s.filters = dlg->nameFilters();
            s.acceptMode = dlg->acceptMode();
            s.fileMode = dlg->fileMode();
            seen.append(s);
            const QString name = fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
            if (name.isEmpty()) {
                dlg->reject();
            } else {
                dlg->selectFile(name);
                // Queued: the dialog may ask a question of its own, which this
                // timer must be free to answer.
                if (onSelected)
                    QObject::connect(dlg, &QFileDialog::fileSelected, &timer_, onSelected,
                                     Qt::SingleShotConnection);
                pending_ = dlg;
                pendingSince_.start();
                // The same dialog may open again before the next poll.
                QObject::connect(dlg, &QDialog::finished, &timer_, [this] { pending_ = nullptr; },
                                 Qt::SingleShotConnection);
                QTimer::singleShot(0, dlg, [dlg] { static_cast<QDialog*>(dlg)->accept(); });
            }
        } else if (auto* d = qobject_cast<QDialog*>(w)) {
            seen.append(s);
            d->reject();
        }
    }
    QTimer timer_;
    QPointer<QWidget> pending_;   // accepted, closing on its own
    QElapsedTimer pendingSince_;
};

// Steps run in order from a timer, each when its condition holds; the
// handler under test can block meanwhile. A step that does not come within
// the deadline marks the script failed and runs the rescue so the test ends.
// Given the handler, start(handler) also bounds its return: once the steps
// are done it must return within returnMs, or the script fails and rescues
// the same way; when even the rescue cannot end it, the test program stops
// with a message that names what it waited for, instead of running into the
// test runner's limit without a word.
class Script {
public:
    using Cond = std::function<bool()>;
    using Act = std::function<void()>;
    explicit Script(Act rescue = {}, int deadlineMs = 30000, int returnMs = 10000)
        : rescue_(std::move(rescue)), deadlineMs_(deadlineMs), returnMs_(returnMs) {
        deadline_ = QDeadlineTimer(deadlineMs);
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    }
    // `what` names the awaited event in a failure.
    Script& when(Cond c, Act a, const QString& what = QString()) {
        steps_.append({std::move(c), std::move(a), what});
        return *this;
    }
    Script& then(Act a) { return when([] { return true; }, std::move(a)); }
    void start() { timer_.start(); }
    // Starts the steps and runs the handler that blocks while they act.
    void start(const Act& handler) {
        inHandler_ = true;
        if (steps_.isEmpty()) returnDeadline_ = QDeadlineTimer(returnMs_);
        timer_.start();
        handler();
        inHandler_ = false;
    }
    bool done() const { return next_ >= steps_.size(); }
    bool failed() const { return failed_; }
    int reached() const { return int(next_); }
    // What the failed script waited for.
    QString why() const { return why_; }

private:
    struct Step {
        Cond cond;
        Act act;
        QString what;
    };
    QString stepName(qsizetype i) const {
        const QString name = QStringLiteral("step %1 of %2").arg(i + 1).arg(steps_.size());
        return steps_[i].what.isEmpty() ? name : name + QStringLiteral(" (%1)").arg(steps_[i].what);
    }
    void fail(const QString& why) {
        failed_ = true;
        why_ = why;
        qWarning("LT::Script: %s", qPrintable(why));
        hardDeadline_ = QDeadlineTimer(kRescueMs);
        if (rescue_) rescue_();
    }
    void poll() {
        if (busy_) return;
        busy_ = true;
        while (next_ < steps_.size() && steps_[next_].cond()) {
            auto act = steps_[next_].act;
            ++next_;
            act();
            if (next_ >= steps_.size()) returnDeadline_ = QDeadlineTimer(returnMs_);
        }
        if (!failed_ && next_ < steps_.size() && deadline_.hasExpired()) {
            fail(QStringLiteral("waited %1 ms for %2").arg(deadlineMs_).arg(stepName(next_)));
        } else if (!failed_ && inHandler_ && returnDeadline_.hasExpired()) {
            fail(QStringLiteral("waited %1 ms for the handler under test (the window's loop) to return after %2")
                     .arg(returnMs_)
                     .arg(steps_.isEmpty() ? QStringLiteral("the start") : QStringLiteral("the last step, ") +
                                                                             stepName(steps_.size() - 1)));
        } else if (failed_ && inHandler_ && hardDeadline_.hasExpired()) {
            qFatal("LT::Script: %s; the rescue did not end it within %d ms either", qPrintable(why_), kRescueMs);
        }
        if ((next_ >= steps_.size() && !inHandler_) || (failed_ && !inHandler_)) timer_.stop();
        busy_ = false;
    }
    static constexpr int kRescueMs = 10000;
    QList<Step> steps_;
    qsizetype next_ = 0;
    bool busy_ = false;
    bool failed_ = false;
    bool inHandler_ = false;
    QString why_;
    Act rescue_;
    int deadlineMs_;
    int returnMs_;
    QDeadlineTimer deadline_;
    QDeadlineTimer returnDeadline_{QDeadlineTimer::Forever};
    QDeadlineTimer hardDeadline_{QDeadlineTimer::Forever};
    QTimer timer_;
};

// A clock that moves only when told to, or when slept on.
struct FakeClock {
    QTime now = QTime(9, 5, 30, 400);
    int stepPerReadMs = 0;   // added after every reading of the time
    QList<int> sleeps;
    void install() {
        ACQ::SetClock({[this] {
                               const QTime t = now;
                               now = now.addMSecs(stepPerReadMs);
                               return t;
                           },
                           [this](int ms) {
                               sleeps << ms;
                               now = now.addMSecs(ms);
                           }});
    }
};

inline bool pollUntil(const std::function<bool()>& check, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!check()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qSleep(2);
    }
    return true;
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Main window, simulator and spreadsheet for one test function.
class Bench {
public:
    std::unique_ptr<QMainWindow> main;
    QMdiArea* area = nullptr;
    std::unique_ptr<SimProcess> sim;
    std::shared_ptr<SHEET::MemoryProvider> sheets = std::make_shared<SHEET::MemoryProvider>();
    FakeClock clock;
    QTemporaryDir dir;

    void up(const QStringList& simArgs) {
        main.reset(new QMainWindow);
        area = new QMdiArea;
        main->setCentralWidget(area);
        main->resize(1400, 900);
        FRAME::SetMainWindow(main.get(), area);
        main->show();
        // Keys reach only the active window, as on a desktop.
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
        sheets = std::make_shared<SHEET::MemoryProvider>();
        SHEET::SetProvider(sheets);
        clock.now = QTime(9, 5, 30, 400);
        clock.stepPerReadMs = 0;
        clock.sleeps.clear();
        clock.install();
        startSim(simArgs);
    }
    void startSim(const QStringList& simArgs) {
        RS_LIB32::ProgramLink().CommClose();
        sim.reset(new SimProcess(simArgs));
        QVERIFY(sim->started());
        qputenv("ORVEN5927_COM1", QFile::encodeName(sim->devicePath()));
        RS_LIB32::ProgramLink().CommInit();
        QCOMPARE(RS_LIB32::ProgramLink().CommOpen(0), 1);
    }
    void down() {
        // Windows left open by a failed test must not leak into the next one.
        for (QMdiSubWindow* s : area ? area->subWindowList() : QList<QMdiSubWindow*>{}) {
            s->setAttribute(Qt::WA_DeleteOnClose, false);
            delete s;
        }
        FRAME::ResetForTests();
        FRAME::SetMainWindow(nullptr, nullptr);
        main.reset();
        area = nullptr;
        RS_LIB32::ProgramLink().CommClose();
        sim.reset();
        OUTFILES::CloseAll();
        SETTING::SetFormTimeOpen(false);
        SETTING::SetFormSingleOpen(false);
        SETTING::SetFormExtIoOpen(false);
        SETTING::ResetSettings();
        ACQ::SetClock({});
        LOGGING::SetBeepHook(nullptr);
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    // Every byte the simulator received, once `tail` has arrived.
    QByteArray received(const QByteArray& tail) const {
        sim->waitReceived(tail, 5000);
        return sim->received();
    }
};

inline QByteArray lines(std::initializer_list<const char*> ls) {
    QByteArray out;
    for (const char* l : ls) out += QByteArray(l) + "\r\n";
    return out;
}

}  // namespace LT
