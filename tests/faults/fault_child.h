#pragma once
// The whole program in a child process, where a fatal path really ends the
// process and SIGKILL really kills it. The test binary re-runs itself with
// ORVEN_FAULT_RUN naming what the child does after the connection check:
//
//   setup   nothing more: the main window's own setup query is the activity
//   test    the test measurement
//   time    a time-interval run into ORVEN_FAULT_CSV (interval 0 unless
//           ORVEN_FAULT_INTERVAL says otherwise)
//   idle    nothing: the main window waits for the operator
//   single  the return-key window on ORVEN_FAULT_CSV, Load pressed again and again
//   extio   the external-trigger window on ORVEN_FAULT_CSV
//   readme  the opening window's readme entry, with ORVEN_FAULT_VIEWER as viewer
//   a+b     step a, then step b once a has returned
//
// ORVEN_FAULT_NOBODY=1 makes a child started as root drop to uid/gid 65534
// first, so that file permissions bind it.
// The child prints every message box it sees ("BOX|icon|title|text"), answers
// it (Yes where offered; the critical box only after ORVEN_FAULT_HOLD_MS) and
// closes its main window once the file ORVEN_FAULT_DIR/close appears.
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QLineEdit>
#include <QTest>
#include <QTime>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <grp.h>
#include <unistd.h>

#include "frm_extio.h"
#include "frm_opening.h"
#include "frm_single.h"
#include "frm_time.h"
#include "readme.h"
#include "logging.h"
#include "mdifrm_main.h"
#include "settings.h"
#include "clock.h"

namespace FAULT {

// Straight to the descriptor, unbuffered: a line said is out before any
// kill or immediate exit can lose it.
inline void Say(const QString& text) {
    const QByteArray b = text.toUtf8() + '\n';
    ssize_t done = 0;
    while (done < b.size()) {
        const ssize_t n = ::write(1, b.constData() + done, size_t(b.size() - done));
        if (n <= 0) return;
        done += n;
    }
}

// ---- child side -------------------------------------------------------------

class ChildDriver : public QObject {
public:
    ChildDriver() {
        run_ = qEnvironmentVariable("ORVEN_FAULT_RUN");
        csv_ = qEnvironmentVariable("ORVEN_FAULT_CSV");
        dir_ = qEnvironmentVariable("ORVEN_FAULT_DIR");
        holdMs_ = qEnvironmentVariableIntValue("ORVEN_FAULT_HOLD_MS");
        poll_.setInterval(5);
        QObject::connect(&poll_, &QTimer::timeout, this, [this] { poll(); });
        poll_.start();
    }

    void start() {
        // The trigger loop waits for the clock's next second; a clock that
        // jumps ahead when slept on keeps rows coming fast.
        ACQ::SetClock({[this] { return QTime::currentTime().addMSecs(skewMs_); },
                           [this](int ms) { skewMs_ += ms; }});
        APP::Main();
        QTimer::singleShot(0, this, [this] { afterOpening(); });
    }

private:
    void afterOpening() {
        Frm_Opening* o = APP::OpeningForm();
        if (!o) return;
        Say(QStringLiteral("OPENING"));
        if (run_ == QLatin1String("readme")) {
            const QString viewer = qEnvironmentVariable("ORVEN_FAULT_VIEWER");
            if (!viewer.isEmpty()) APP::SetReadmeViewer(viewer);
            o->MnuReadme->trigger();
            Say(QStringLiteral("README ASKED"));
            return;
        }
        o->Cmd->click();   // connection check, then the main window's load
        MDIFrm_Main* m = APP::MainForm();
        if (!m) return;
        Say(QStringLiteral("MAIN"));
        // Steps joined by "+" run one after the other, each once the one
        // before has returned (a test measurement returns after its error).
        for (const QString& step : run_.split(QLatin1Char('+'))) runStep(step, m);
    }

    void runStep(const QString& step, MDIFrm_Main* m) {
        if (step == QLatin1String("test")) {
            m->MnuMeasTest->trigger();
        } else if (step == QLatin1String("time")) {
            m->MnuMeasTime->trigger();
            Frm_Time* w = LOGGING::TimeWindow();
            if (!w) return;
            const QString interval = qEnvironmentVariable("ORVEN_FAULT_INTERVAL");
            w->Text_Time->setText(interval.isEmpty() ? QStringLiteral("0") : interval);
            w->Text_Count->setText(QStringLiteral("0"));
            w->OpnMethod[0]->setChecked(true);
            Say(QStringLiteral("START"));
            w->Cmd[1]->click();
        } else if (step == QLatin1String("single")) {
            m->MnuMeasSingle->trigger();
            Frm_Single* w = LOGGING::SingleWindow();
            if (!w) return;
            w->OpnMethod[0]->click();
            w->Txt_File->setText(csv_);
            w->Cmd_Ok->click();
            Say(QStringLiteral("START"));
            auto* again = new QTimer(w);
            again->setInterval(1);
            QPointer<Frm_Single> pw(w);
            QObject::connect(again, &QTimer::timeout, w, [pw] {
                if (pw && pw->Cmd_Trig->isVisible() && pw->Cmd_Trig->isEnabled()) pw->Cmd_Trig->click();
            });
            again->start();
        } else if (step == QLatin1String("extio")) {
            m->MnuMeasIo->trigger();
            Frm_ExtIo* w = LOGGING::ExtIoWindow();
            if (!w) return;
            w->OpnMethod[0]->click();
            w->Txt_File->setText(csv_);
            Say(QStringLiteral("START"));
            w->Cmd_Ok->click();
        }
    }

    void poll() {
        if (!closing_ && !dir_.isEmpty() && QFile::exists(dir_ + QStringLiteral("/close"))) {
            if (MDIFrm_Main* m = APP::MainForm()) {
                closing_ = true;
                // Not from inside this timer: a question the close asks
                // needs the timer free to answer it.
                QTimer::singleShot(0, this, [this, m] {
                    Say(QStringLiteral("CLOSING"));
                    m->close();
                    Say(QStringLiteral("CLOSE REFUSED"));
                    QFile::remove(dir_ + QStringLiteral("/close"));
                    closing_ = false;
                });
            }
        }
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == answered_) return;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            answered_ = box;
            Say(QStringLiteral("BOX|%1|%2|%3").arg(int(box->icon())).arg(box->windowTitle(), box->text()));
            QPointer<QMessageBox> pb(box);
            auto answer = [pb] {
                if (!pb) return;
                if (QAbstractButton* yes = pb->button(QMessageBox::Yes))
                    yes->click();
                else if (QAbstractButton* b = pb->defaultButton())
                    b->click();
                else
                    pb->done(0);
            };
            if (box->icon() == QMessageBox::Critical && holdMs_ > 0)
                QTimer::singleShot(holdMs_, this, answer);
            else
                QTimer::singleShot(0, this, answer);
        } else if (auto* dlg = qobject_cast<QFileDialog*>(w)) {
            answered_ = dlg;
            Say(QStringLiteral("DIALOG"));
            dlg->selectFile(csv_);
            QPointer<QFileDialog> pd(dlg);
            QTimer::singleShot(0, this, [pd] {
                if (pd) static_cast<QDialog*>(pd.data())->accept();
            });
        }
    }

    QString run_, csv_, dir_;
    int holdMs_ = 0;
    qint64 skewMs_ = 0;
    bool closing_ = false;
    QPointer<QWidget> answered_;
    QTimer poll_;
};

// Call first in main(): runs the child and never returns when this process is one.
inline void RunChildIfAsked(int argc, char** argv) {
    if (qEnvironmentVariable("ORVEN_FAULT_RUN").isEmpty()) return;
    if (qEnvironmentVariableIntValue("ORVEN_FAULT_NOBODY") == 1 && ::geteuid() == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            Say(QStringLiteral("NO UID DROP"));
            std::_Exit(99);
        }
    }
    Say(QStringLiteral("UID %1").arg(::geteuid()));
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    auto* driver = new ChildDriver;
    driver->start();
    const int rc = QApplication::exec();
    Say(QStringLiteral("EXEC RETURNED"));
    std::_Exit(rc);
}

}  // namespace FAULT
