// The opening window against the simulator: settings version, port choice,
// the connection check with its two failures, the reset and the version box.
#include <QAction>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QSettings>
#include <QTreeWidget>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "commands.h"
#include "device_dialog.h"
#include "errors.h"
#include "frm_opening.h"
#include "mdifrm_main.h"
#include "process.h"
#include "readme.h"
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

// The settings file as a user writes it with an editor.
void WriteSettingsFile(const QByteArray& text) {
    const QString path = QSettings(QStringLiteral("ORVEN"), QStringLiteral("ORVEN 5927 RS")).fileName();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile::remove(path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(text), text.size());
}

// Answers the device dialog once it is the active modal window.
void AnswerDeviceDialog(const std::function<void(DeviceDialog*)>& answer) {
    QTimer::singleShot(0, [answer] {
        DeviceDialog* d = nullptr;
        const bool up = QTest::qWaitFor([&] {
            d = qobject_cast<DeviceDialog*>(QApplication::activeModalWidget());
            if (d) d->activateWindow();
            return d && QApplication::activeWindow() == d;
        }, 5000);
        if (!up) {
            if (d) d->reject();
            QFAIL("the device dialog did not become the active window");
        }
        answer(d);
        if (d->isVisible()) d->reject();   // a failed check must not hang the test
    });
}

// Replaces the text of the device field by typing, as at the keyboard.
void TypeDevice(DeviceDialog* d, const QString& text) {
    QTest::mouseClick(d->path, Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), text);
}

// A pseudo-terminal whose output is stopped: it opens fine, but nothing
// written to it ever leaves, so a write times out.
struct StoppedTerminal {
    int master = -1, slave = -1;
    QString path;
    StoppedTerminal() {
        char name[128] = {};
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&master, &slave, name, &raw, nullptr) != 0) return;
        tcflow(slave, TCOOFF);
        path = QString::fromLocal8Bit(name);
    }
    ~StoppedTerminal() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
};
}  // namespace

class TestOpening : public QObject {
    Q_OBJECT
    int ended_ = -100;

private slots:
    void init() {
        ended_ = -100;
        SETTING::SetProcessEnder([this](int code) { ended_ = code; });
        SETTING::ResetSettings();
        SETTING::SaveDevicePath(0, QString());   // a reset keeps these
        SETTING::SaveDevicePath(1, QString());
        RS_LIB32::ProgramLink().InstrumentSetup = {};
        qunsetenv("ORVEN5927_COM1");
        qunsetenv("ORVEN5927_COM2");
    }
    void cleanup() {
        RS_LIB32::ProgramLink().CommClose();
        APP::ResetMainForTests();
        APP::ResetOpeningForTests();
        APP::SetReadmeViewer(QStringLiteral("xdg-open"));
    }

    void settingsVersionDecidesWhatSurvives_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QString>("versionAfter");
        QTest::newRow("first run") << QString() << false << "120";
        QTest::newRow("119") << "119" << false << "120";
        QTest::newRow("120") << "120" << true << "120";
        QTest::newRow("121") << "121" << true << "121";
        QTest::newRow("not a number") << "abc" << false << "120";
    }
    void settingsVersionDecidesWhatSurvives() {
        QFETCH(QString, stored);
        QFETCH(bool, kept);
        QFETCH(QString, versionAfter);
        if (!stored.isNull()) Put(SETTING::Key::SecVersion, SETTING::Key::Number, stored);
        Put(SETTING::Key::SecComm, SETTING::Key::ComPort, QStringLiteral("1"));
        Put(SETTING::Key::SecFormMain, SETTING::Key::Top, QStringLiteral("1234"));

        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        QVERIFY(f->isVisible());
        QVERIFY(!f->isModal());
        QCOMPARE(Get(SETTING::Key::SecVersion, SETTING::Key::Number), versionAfter);
        QCOMPARE(Get(SETTING::Key::SecFormMain, SETTING::Key::Top), kept ? QStringLiteral("1234") : QStringLiteral("<none>"));
        // The stored port survives only with the settings: COM2, else COM1.
        QCOMPARE(f->MnuCom2->isChecked(), kept);
        QCOMPARE(f->MnuCom1->isChecked(), !kept);
    }

    // Written with an editor before the program ever ran, as the README
    // says: the device mapping leads OK to the instrument, and the geometry
    // of a wide desktop is used and written back.
    void handWrittenSettingsFile_data() {
        QTest::addColumn<QByteArray>("file");   // DEV: the device path
        QTest::addColumn<QString>("env");       // ORVEN5927_COM1; BARE: the path without /dev/
        QTest::newRow("device mapping only") << QByteArray("[Communications]\nCOM1%20Device=DEV\n") << QString();
        QTest::newRow("name without /dev/ in the environment") << QByteArray() << "BARE";
        QTest::newRow("maximized on a wide desktop")
            << QByteArray("[Version]\nNumber=120\n[Form%20Main]\nTop=0\nLeft=2000000000\nWidth=38400\nHeight=20000\n")
            << "DEV";
    }
    void handWrittenSettingsFile() {
        QFETCH(QByteArray, file);
        QFETCH(QString, env);
        SimProcess sim;
        QVERIFY(sim.started());
        const QString dev = sim.devicePath();
        QVERIFY2(dev.startsWith(QLatin1String("/dev/pts/")), qPrintable(dev));
        WriteSettingsFile(file.replace("DEV", dev.toLocal8Bit()));
        if (!env.isEmpty())
            qputenv("ORVEN5927_COM1", env.replace(QLatin1String("BARE"), dev.mid(5)).replace(QLatin1String("DEV"), dev).toLocal8Bit());

        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        QTest::mouseClick(f->Cmd, Qt::LeftButton);
        QCOMPARE(ended_, -100);
        MDIFrm_Main* m = APP::MainForm();
        QVERIFY(m && m->isVisible());
        QVERIFY(sim.waitReceived(QByteArray(CMD::ConnectionCheck) + "\r\n"));
        if (QByteArray(QTest::currentDataTag()) != "maximized on a wide desktop") return;
        QVERIFY(qAbs(TWIPS::Width(m) - 38400) <= TWIPS::FromPxX(1));
        QVERIFY(qAbs(TWIPS::Height(m) - 20000) <= TWIPS::FromPxY(1));
        QCOMPARE(m->x(), 32767);   // beyond what a window system can place: held at its edge
        QVERIFY_EXCEPTION_THROWN(m->MnuFileExit_Click(), ProcessEnded);
        QCOMPARE(Get(SETTING::Key::SecFormMain, SETTING::Key::Width), QString::number(TWIPS::Width(m)));
        QCOMPARE(Get(SETTING::Key::SecFormMain, SETTING::Key::Left), QString::number(TWIPS::Left(m)));
    }

    void designedWindow() {
        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        QCOMPARE(f->windowTitle(), QStringLiteral("ORVEN 5927 Application"));
        QCOMPARE(f->Lbl_Title->text(), QStringLiteral("ORVEN 5927 application"));
        QCOMPARE(f->Lbl_Version->text(), QStringLiteral("Version 1.20"));
        QCOMPARE(f->Cmd->text(), QStringLiteral("OK"));
        QVERIFY(f->Cmd->hasFocus() || QApplication::focusWidget() == f->Cmd || f->focusWidget() == f->Cmd);
        QVERIFY(!f->Cmd_RegInit->isVisible());
        QCOMPARE(f->Cmd_RegInit->text(), QStringLiteral("Reset Registry"));
        QCOMPARE(f->Lbl_Title->font().family(), QStringLiteral("Liberation Sans"));
        QVERIFY(f->Lbl_Title->font().bold());
        QCOMPARE(f->Lbl_Title->font().pointSizeF(), 13.5);
        QCOMPARE(f->Lbl_Title->palette().color(QPalette::WindowText), QColor(Qt::cyan));
        QCOMPARE(f->Lbl_Version->palette().color(QPalette::WindowText), QColor(Qt::white));
        const QColor bg = f->client->palette().color(QPalette::Window);
        QVERIFY2(bg.blue() > 100 && bg.red() < 60 && bg.green() < 60, qPrintable(bg.name()));
        // The bitmap fits its box of 155 by 28 pixels.
        const QPixmap pm = f->Picture1->pixmap();
        QVERIFY(!pm.isNull());
        QVERIFY(pm.width() <= 155 && pm.height() <= 28);
        // Controls in twips: OK at 1875, 2325 sized 975 x 435.
        QCOMPARE(f->Cmd->geometry(), QRect(TWIPS::ToPxX(1875), TWIPS::ToPxY(2325), TWIPS::ToPxX(975), TWIPS::ToPxY(435)));
        QCOMPARE(f->client->size(), QSize(TWIPS::ToPxX(4800), TWIPS::ToPxY(2925)));
        // Menus with their access keys.
        QCOMPARE(f->Mnu->title(), QStringLiteral("&Serial Port"));
        QCOMPARE(f->MnuHelp->title(), QStringLiteral("&Help"));
        QCOMPARE(f->MnuReadme->text(), QStringLiteral("readme.txt"));
        QStringList entries;
        for (QAction* a : f->Mnu->actions()) entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(entries, (QStringList{"COM1", "COM2", "-", "&Device..."}));
        QVERIFY(f->menuBar->isVisible());
        // Centred on the screen, within a pixel.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QVERIFY(qAbs(f->x() + f->width() / 2.0 - screen.center().x() - 0.5) <= 1.5);
        QVERIFY(qAbs(f->y() + f->height() / 2.0 - screen.center().y() - 0.5) <= 1.5);
        // Double-clicking the picture reveals the reset button for good.
        QTest::mouseDClick(f->Picture1, Qt::LeftButton);
        QVERIFY(f->Cmd_RegInit->isVisible());
    }

    void portChoiceIsStoredAtOnce() {
        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        f->MnuCom2->trigger();
        QCOMPARE(Get(SETTING::Key::SecComm, SETTING::Key::ComPort), QStringLiteral("1"));
        QVERIFY(f->MnuCom2->isChecked());
        QVERIFY(!f->MnuCom1->isChecked());
        // Closing without OK ends the program and keeps the choice.
        QVERIFY_EXCEPTION_THROWN(f->reject(), ProcessEnded);
        QCOMPARE(ended_, 0);
        QCOMPARE(Get(SETTING::Key::SecComm, SETTING::Key::ComPort), QStringLiteral("1"));
        f->MnuCom1->trigger();
        QCOMPARE(Get(SETTING::Key::SecComm, SETTING::Key::ComPort), QStringLiteral("0"));
        QVERIFY(f->MnuCom1->isChecked());
        QVERIFY(!f->MnuCom2->isChecked());
    }

    void openFailureEndsTheProgram_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("device");
        QTest::newRow("absent device") << "0" << "/nonexistent/orven-tty";
        QTest::newRow("port 2") << "2" << "";
    }
    void openFailureEndsTheProgram() {
        QFETCH(QString, port);
        QFETCH(QString, device);
        if (!device.isEmpty()) qputenv("ORVEN5927_COM1", device.toLocal8Bit());
        Put(SETTING::Key::SecVersion, SETTING::Key::Number, QStringLiteral("120"));
        Put(SETTING::Key::SecComm, SETTING::Key::ComPort, port);
        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        QCOMPARE(f->MnuCom2->isChecked(), port != QLatin1String("0"));
        TESTENV::BoxAnswerer boxes;
        QVERIFY_EXCEPTION_THROWN(f->Cmd_Click(), ProcessEnded);
        QCOMPARE(ended_, 1);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().text, QStringLiteral("Because the COM port does not open it, it ends."));
        QCOMPARE(boxes.last().title, QStringLiteral("ORVEN 5927 Application"));
        QCOMPARE(boxes.last().icon, int(QMessageBox::Warning));
        QVERIFY(!APP::MainForm());
    }

    void writeFailureLetsTheOperatorRetry() {
        StoppedTerminal stopped;
        QVERIFY(!stopped.path.isEmpty());
        SimProcess sim;
        QVERIFY(sim.started());
        qputenv("ORVEN5927_COM1", stopped.path.toLocal8Bit());
        qputenv("ORVEN5927_COM2", sim.devicePath().toLocal8Bit());

        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        TESTENV::BoxAnswerer boxes;
        f->Cmd_Click();
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().text, QStringLiteral("There is not a response from the 5927. Please confirm the next item.\n\n"
                                                   "    Is the power supply of the 5927 included?\n"
                                                   "    Is the cable connected neatly?\n"
                                                   "    Is the cable cross cable?"));
        QCOMPARE(boxes.last().icon, int(QMessageBox::Warning));
        QCOMPARE(ended_, -100);
        QVERIFY(!RS_LIB32::ProgramLink().IsOpen());
        QVERIFY(f->isVisible());
        QVERIFY(!APP::MainForm());

        // Another port, OK again: the whole check repeats and succeeds.
        f->MnuCom2->trigger();
        f->Cmd_Click();
        QCOMPARE(boxes.count(), 1);
        QVERIFY(!f->isVisible());
        QVERIFY(APP::MainForm());
        QVERIFY(APP::MainForm()->isVisible());
        QVERIFY(sim.waitReceived(QByteArray(CMD::SetupQuery) + "\r\n"));
        QCOMPARE(sim.received(), QByteArray(CMD::ConnectionCheck) + "\r\n" + CMD::SetupQuery + "\r\n");
        QCOMPARE(RS_LIB32::ProgramLink().InstrumentSetup.MeasMode, qint16(1));
    }

    void versionBoxKeepsTheProgramRunning() {
        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        const int fullTop = f->y();
        f->Picture1_DblClick();
        f->hide();   // as after a good connection check
        TESTENV::BoxAnswerer boxes;   // closes the box like its close box
        for (int i = 0; i < 2; ++i) {
            f->SetVersionOnly();
            QTimer::singleShot(0, f, [&] {
                QCOMPARE(f->Lbl_Version->text(), QStringLiteral("Version 1.20"));
                QVERIFY(!f->Cmd_RegInit->isVisible());
                f->Picture1_DblClick();
                QVERIFY(!f->menuBar->isVisible());
                QVERIFY(!f->Mnu->menuAction()->isVisible());
                QVERIFY(!f->MnuHelp->menuAction()->isVisible());
                QCOMPARE(f->y(), fullTop);
                // Outer height with the title bar; the blue panel fills the inside.
                QVERIFY(qAbs(TWIPS::FromPxY(f->frameGeometry().height()) - 3280) <= TWIPS::FromPxY(1));
                QCOMPARE(f->client->geometry(), f->rect());
                QVERIFY(f->isModal());
            });
            f->ShowModal();
            QCOMPARE(boxes.count(), i + 1);
            QCOMPARE(ended_, -100);
            QVERIFY(!f->isVisible());
        }
        // OK closes the box and opens nothing.
        QTimer::singleShot(0, f, [f] { f->Cmd->click(); });
        f->ShowModal();
        QCOMPARE(ended_, -100);
        QVERIFY(!f->isVisible());
        QVERIFY(!RS_LIB32::ProgramLink().IsOpen());
        QVERIFY(!APP::MainForm());
    }

    void resetAsksThenWipes() {
        Put(SETTING::Key::SecComm, SETTING::Key::ComPort, QStringLiteral("1"));
        Put(SETTING::Key::SecVersion, SETTING::Key::Number, QStringLiteral("120"));
        Put(SETTING::Key::SecFormDisplay, SETTING::Key::Top, QStringLiteral("99"));
        Put(SETTING::Key::SecComm, SETTING::Key::Com1Device, QStringLiteral("/dev/ttyUSB3"));
        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        QVERIFY(f->MnuCom2->isChecked());
        {
            TESTENV::BoxAnswerer no(QMessageBox::No);
            f->Cmd_RegInit_Click();
            QCOMPARE(no.count(), 1);
            QCOMPARE(no.last().text, QStringLiteral("Initialise Registry, OK?"));
            QCOMPARE(no.last().icon, int(QMessageBox::NoIcon));
            QCOMPARE(Get(SETTING::Key::SecFormDisplay, SETTING::Key::Top), QStringLiteral("99"));
            QVERIFY(f->MnuCom2->isChecked());
        }
        {
            TESTENV::BoxAnswerer byDefault;   // the default button must be Yes
            f->Cmd_RegInit_Click();
            QCOMPARE(byDefault.count(), 2);
            QCOMPARE(byDefault.at(1).text, QStringLiteral("Done."));
            QCOMPARE(byDefault.at(1).icon, int(QMessageBox::NoIcon));
        }
        QCOMPARE(Get(SETTING::Key::SecFormDisplay, SETTING::Key::Top), QStringLiteral("<none>"));
        QCOMPARE(Get(SETTING::Key::SecComm, SETTING::Key::ComPort), QStringLiteral("<none>"));
        // The hand-written device stays; the version is written at once, so
        // a choice made now survives the next start.
        QCOMPARE(Get(SETTING::Key::SecComm, SETTING::Key::Com1Device), QStringLiteral("/dev/ttyUSB3"));
        QCOMPARE(Get(SETTING::Key::SecVersion, SETTING::Key::Number), QStringLiteral("120"));
        QVERIFY(f->MnuCom1->isChecked());
        QVERIFY(!f->MnuCom2->isChecked());
        f->MnuCom2->trigger();
        APP::ResetOpeningForTests();
        APP::Main();
        QVERIFY(APP::OpeningForm()->MnuCom2->isChecked());
        QCOMPARE(Get(SETTING::Key::SecComm, SETTING::Key::Com1Device), QStringLiteral("/dev/ttyUSB3"));
    }

    // Serial Port > Device... for the COM name now checked: the system's
    // ports, a field for any path; OK stores it, and OK in the opening
    // window then reaches that device. A set variable still decides.
    void deviceDialogChoosesTheDevice() {
        SimProcess sim;
        QVERIFY(sim.started());
        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        f->MnuCom2->trigger();
        AnswerDeviceDialog([&](DeviceDialog* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("COM2 Device"));
            QCOMPARE(d->ports->topLevelItemCount(), int(QSerialPortInfo::availablePorts().size()));
            QVERIFY(!d->envNote->isVisible());
            QVERIFY(d->path->text().isEmpty());
            TypeDevice(d, sim.devicePath());
            QTest::mouseClick(d->buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        f->MnuDevice->trigger();
        QCOMPARE(Get(SETTING::Key::SecComm, SETTING::Key::Com2Device), sim.devicePath());
        QCOMPARE(Get(SETTING::Key::SecComm, SETTING::Key::Com1Device), QStringLiteral("<none>"));

        qputenv("ORVEN5927_COM2", "/dev/ttyUSB5");
        AnswerDeviceDialog([&](DeviceDialog* d) {
            QVERIFY(d->envNote->isVisible());
            QVERIFY(d->envNote->text().contains(QLatin1String("ORVEN5927_COM2")));
            QVERIFY(d->envNote->text().contains(QLatin1String("/dev/ttyUSB5")));
            QCOMPARE(d->path->text(), sim.devicePath());
            TypeDevice(d, QStringLiteral("/dev/ttyACM0"));
            QTest::mouseClick(d->buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        });
        f->MnuDevice->trigger();
        qunsetenv("ORVEN5927_COM2");
        QCOMPARE(Get(SETTING::Key::SecComm, SETTING::Key::Com2Device), sim.devicePath());

        QTest::mouseClick(f->Cmd, Qt::LeftButton);
        QVERIFY(APP::MainForm() && APP::MainForm()->isVisible());
        QVERIFY(sim.waitReceived(QByteArray(CMD::ConnectionCheck) + "\r\n"));

        // A stable name under /dev/serial/by-id is found for its device.
        QTemporaryDir byId;
        const QString link = byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A10K-if00-port0"));
        QVERIFY(QFile::link(sim.devicePath(), link));
        QCOMPARE(APP::StableDeviceName(sim.devicePath(), byId.path()), link);
        QCOMPARE(APP::StableDeviceName(QStringLiteral("/dev/null"), byId.path()), QString());
    }

    // A stored path that is not among the system's ports: entering the list
    // by Tab changes nothing, so OK keeps that path; an arrow key chooses a
    // row, and Return on it stores its device.
    void deviceDialogListByKeyboard() {
        WriteSettingsFile("[Version]\nNumber=120\n[Communications]\nCOM1%20Device=/dev/ttyUSB9\n");
        APP::SetSerialPortSource([] {
            return QList<APP::SerialPortRow>{{"/dev/ttyS4", "16550A", "", ""},
                                             {"/dev/ttyACM0", "USB modem", "Maker", "42"}};
        });
        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        QVERIFY(f->MnuCom1->isChecked());
        QStringList seen;
        AnswerDeviceDialog([&](DeviceDialog* d) {
            QCOMPARE(d->ports->topLevelItemCount(), 2);
            QCOMPARE(TESTENV::KeyTarget(), d->path);
            QVERIFY(TESTENV::PressKey(Qt::Key_Backtab, Qt::ShiftModifier));
            QCOMPARE(TESTENV::KeyTarget(), d->ports);
            seen << d->path->text();
            QVERIFY(TESTENV::PressKey(Qt::Key_Return));   // no row chosen: OK
        });
        f->MnuDevice->trigger();
        QCOMPARE(seen, QStringList{"/dev/ttyUSB9"});
        QCOMPARE(Get(SETTING::Key::SecComm, SETTING::Key::Com1Device), QStringLiteral("/dev/ttyUSB9"));

        AnswerDeviceDialog([&](DeviceDialog* d) {
            QVERIFY(TESTENV::PressKey(Qt::Key_Backtab, Qt::ShiftModifier));
            QVERIFY(TESTENV::PressKey(Qt::Key_Down));
            seen << d->path->text();
            QVERIFY(TESTENV::PressKey(Qt::Key_Down));
            seen << d->path->text();
            QVERIFY(TESTENV::PressKey(Qt::Key_Return));
        });
        f->MnuDevice->trigger();
        APP::SetSerialPortSource({});
        // Sorted by device: the first arrow press takes the first row.
        QCOMPARE(seen, (QStringList{"/dev/ttyUSB9", "/dev/ttyACM0", "/dev/ttyS4"}));
        QCOMPARE(Get(SETTING::Key::SecComm, SETTING::Key::Com1Device), QStringLiteral("/dev/ttyS4"));
    }

    void readmeReachesTheViewerUnquoted() {
        QCOMPARE(APP::ReadmePath(QStringLiteral("/opt/orven")), QStringLiteral("/opt/orven/readme.txt"));
        QCOMPARE(APP::ReadmePath(QStringLiteral("/")), QStringLiteral("/readme.txt"));

        QTemporaryDir tmp;
        const QString folder = tmp.filePath(QStringLiteral("my \"lab\" it's/"));
        QVERIFY(QDir().mkpath(folder));
        const QString record = tmp.filePath(QStringLiteral("args.txt"));
        const QString viewer = tmp.filePath(QStringLiteral("viewer.sh"));
        QFile script(viewer);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '%1.part' && mv '%1.part' '%1'\n").arg(record).toLocal8Bit());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        APP::SetReadmeViewer(viewer);
        QVERIFY(APP::OpenReadmeIn(folder));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 10000);
        QFile r(record);
        QVERIFY(r.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(r.readAll()), QStringLiteral("1|") + folder + QStringLiteral("readme.txt"));
    }

    void readmeViewerMissing() {
        APP::Main();
        APP::SetReadmeViewer(QStringLiteral("/nonexistent/viewer-orven"));
        TESTENV::BoxAnswerer boxes;
        APP::OpeningForm()->MnuReadme->trigger();
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().text, QStringLiteral("cannot open readme.txt"));
        QCOMPARE(boxes.last().title, QStringLiteral("ORVEN 5927 Application"));
        QCOMPARE(boxes.last().icon, int(QMessageBox::Warning));
        QCOMPARE(ended_, -100);
    }

    void operatorsReadmeShipsWithTheProgram() {
        const QString app = qEnvironmentVariable("ORVEN5927_APP");
        if (app.isEmpty()) QSKIP("ORVEN5927_APP not set");
        QFile f(QFileInfo(app).absolutePath() + QStringLiteral("/readme.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        for (const char* needle : {"ORVEN5927_COM1", "ORVEN5927_COM2", "COM1 Device", "dialout",
                                   "Time Interval Measurement", "by return key", "by external I/O trigger", "CSV"})
            QVERIFY2(text.contains(QLatin1String(needle)), needle);
    }
};

ORVEN_TEST_MAIN(TestOpening)
#include "test_opening.moc"
