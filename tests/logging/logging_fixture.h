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
class Script {
public:
    using Cond = std::function<bool()>;
    using Act = std::function<void()>;
    explicit Script(Act rescue = {}, int deadlineMs = 30000) : rescue_(std::move(rescue)) {
        deadline_ = QDeadlineTimer(deadlineMs);
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    }
    Script& when(Cond c, Act a) {
        steps_.append({std::move(c), std::move(a)});
        return *this;
    }
    Script& then(Act a) { return when([] { return true; }, std::move(a)); }
    void start() { timer_.start(); }
    bool done() const { return next_ >= steps_.size(); }
    bool failed() const { return failed_; }
    int reached() const { return next_; }

private:
    void poll() {
        if (busy_) return;
        busy_ = true;
        while (next_ < steps_.size() && steps_[next_].first()) {
            auto act = steps_[next_].second;
            ++next_;
            act();
        }
        if (next_ < steps_.size() && deadline_.hasExpired() && !failed_) {
            failed_ = true;
            timer_.stop();
            if (rescue_) rescue_();
        }
        if (next_ >= steps_.size()) timer_.stop();
        busy_ = false;
    }
    QList<QPair<Cond, Act>> steps_;
    int next_ = 0;
    bool busy_ = false;
    bool failed_ = false;
    Act rescue_;
    QDeadlineTimer deadline_;
    QTimer timer_;
};

// A clock that moves only when told to, or when slept on.
struct FakeClock {
    QTime now = QTime(9, 5, 30, 400);
    int stepPerReadMs = 0;   // added after every reading of the time
    QList<int> sleeps;
    void install() {
        LOGGING::SetClock({[this] {
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
        RS_LIB32::CommClose();
        sim.reset(new SimProcess(simArgs));
        QVERIFY(sim->started());
        qputenv("ORVEN5927_COM1", QFile::encodeName(sim->devicePath()));
        RS_LIB32::CommInit();
        QCOMPARE(RS_LIB32::CommOpen(0), 1);
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
        RS_LIB32::CommClose();
        sim.reset();
        OUTFILES::CloseAll();
        SETTING::SetFormTimeOpen(false);
        SETTING::SetFormSingleOpen(false);
        SETTING::SetFormExtIoOpen(false);
        SETTING::ResetSettings();
        LOGGING::SetClock({});
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
