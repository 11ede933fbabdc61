#include "mdifrm_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>

#include "common.h"
#include "errors.h"
#include "frame.h"
#include "frm_disp.h"
#include "frm_opening.h"
#include "grading_dialog.h"
#include "links.h"
#include "msgbox.h"
#include "readme.h"
#include "reading.h"
#include "resources.h"
#include "rs_lib32.h"
#include "settings.h"
#include "setup.h"
#include "shutdown.h"
#include "testmeas.h"
#include "trend_form.h"
#include "twips.h"

namespace {
constexpr char kStartCaption[] = "Start Test Measurement";
constexpr char kStopCaption[] = "Stop Test Measurement";
}  // namespace

MDIFrm_Main::MDIFrm_Main(QWidget* parent) : QMainWindow(parent) {
    APP::InitResources();
    QFont base(QStringLiteral("Liberation Sans"));
    base.setPointSizeF(9);
    setFont(base);
    setWindowIcon(QIcon(QStringLiteral(":/orven/icon.png")));

    mdiArea = new QMdiArea(this);
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea);

    QMenuBar* bar = menuBar();
    bar->setNativeMenuBar(false);
    MnuFile = bar->addMenu(QStringLiteral("&File"));
    MnuFileExit = MnuFile->addAction(QStringLiteral("E&xit"));

    MnuMeas = bar->addMenu(QStringLiteral("&Measurement"));
    MnuMeasTime = MnuMeas->addAction(QStringLiteral("Time Interval Measurement"));
    MnuMeasTime->setShortcut(Qt::Key_F5);
    bar2 = MnuMeas->addSeparator();
    MnuMeasSingle = MnuMeas->addAction(QStringLiteral("Loading Measurement Data (by return key)"));
    MnuMeasSingle->setShortcut(Qt::Key_F6);
    MnuMeasIo = MnuMeas->addAction(QStringLiteral("Loading Measurement Data (by external I/O trigger)"));
    MnuMeasIo->setShortcut(Qt::Key_F7);
    bar0 = MnuMeas->addSeparator();
    MnuMeasTest = MnuMeas->addAction(QString::fromLatin1(kStartCaption));
    MnuMeasTest->setShortcut(Qt::Key_F4);
    bar3 = MnuMeas->addSeparator();
    MnuMeasGrading = MnuMeas->addAction(QStringLiteral("&Grading..."));

    MnuWindow = bar->addMenu(QStringLiteral("&Window"));
    MnuWindowArrange = MnuWindow->addAction(QStringLiteral("Arrange"));
    MnuWindowTrend = MnuWindow->addAction(QStringLiteral("&Trend Chart"));
    MnuWindowTrend->setShortcut(Qt::Key_F8);
    MnuWindowTrend->setCheckable(true);

    MnuHelp = bar->addMenu(QStringLiteral("&Help"));
    MnuDispHelp = MnuHelp->addAction(QStringLiteral("readme.txt"));
    MnuDispHelp->setShortcut(Qt::Key_F1);
    bar1 = MnuHelp->addSeparator();
    MnuDispVer = MnuHelp->addAction(QStringLiteral("Version"));

    connect(MnuFileExit, &QAction::triggered, this, [this] { MnuFileExit_Click(); });
    connect(MnuMeas, &QMenu::aboutToShow, this, [this] { MnuMeas_Click(); });
    connect(MnuMeasTime, &QAction::triggered, this, [this] { MnuMeasTime_Click(); });
    connect(MnuMeasSingle, &QAction::triggered, this, [this] { MnuMeasSingle_Click(); });
    connect(MnuMeasIo, &QAction::triggered, this, [this] { MnuMeasIo_Click(); });
    connect(MnuMeasTest, &QAction::triggered, this, [this] { MnuMeasTest_Click(); });
    connect(MnuMeasGrading, &QAction::triggered, this, [this] { MnuMeasGrading_Click(); });
    connect(MnuWindowArrange, &QAction::triggered, this, [this] { MnuWindowArrange_Click(); });
    connect(MnuWindowTrend, &QAction::triggered, this, [this] { MnuWindowTrend_Click(); });
    connect(MnuDispHelp, &QAction::triggered, this, [this] { MnuDispHelp_Click(); });
    connect(MnuDispVer, &QAction::triggered, this, [this] { MnuDispVer_Click(); });

    // A function key is offered to the focused widget (ShortcutOverride)
    // before the shortcut table is searched; applying the menu rule there
    // means a key finds its entry enabled or disabled as the rule says now.
    qApp->installEventFilter(this);
}

bool MDIFrm_Main::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool measurementKey = key->key() == Qt::Key_F4 || key->key() == Qt::Key_F5 ||
                                    key->key() == Qt::Key_F6 || key->key() == Qt::Key_F7;
        auto* target = qobject_cast<QWidget*>(watched);
        if (measurementKey && key->modifiers() == Qt::NoModifier && target && target->window() == this)
            MnuMeas_Click();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MDIFrm_Main::MDIForm_Load() {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect sg = screen ? screen->geometry() : QRect();
    qint32 top = 0, left = 0, width = 0, height = 0;
    SETTING::LoadMainPos(top, left, TWIPS::FromPxX(sg.width()), TWIPS::FromPxY(sg.height()));
    SETTING::LoadMainSize(width, height);

    setWindowTitle(QStringLiteral("ORVEN 5927 Application"));
    TWIPS::SetTop(this, top);
    TWIPS::SetLeft(this, left);
    TWIPS::SetWidth(this, width);
    TWIPS::SetHeight(this, height);
    MnuMeasTest->setText(QString::fromLatin1(kStartCaption));

    // On screen before the instrument is asked anything, so that a silent
    // instrument leaves a window the operator can see and close.
    show();

    loading_ = true;
    try {
        RS_LIB32::ProgramLink().ReadInstrumentSetup();
    } catch (const AppError& e) {
        // The rest of an overfull answer must not pose as the next answer.
        if (dynamic_cast<const FieldOverflowError*>(&e)) ACQ::DiscardRestOfLine(RS_LIB32::ProgramLink());
        loading_ = false;
        MSG::Warn(TESTMEAS::ErrorText(e, true));
    }
    loading_ = false;
    FRAME::Disp();
    // A damaged active profile is said at once; the program runs on ungraded.
    APP::LoadActiveProfileWithWarning(this);
}

void MDIFrm_Main::closeEvent(QCloseEvent* event) {
    qint16 cancel = 0;
    MDIForm_QueryUnload(cancel, 0);
    // Only a No answer comes back here; every other way out ends the process.
    event->ignore();
}

void MDIFrm_Main::MDIForm_QueryUnload(qint16& cancel, qint16 /*unloadMode*/) {
    const bool inTriggerMode = APP::Logging().inExtIoMeasMode ? APP::Logging().inExtIoMeasMode() : false;
    if (SETTING::GetFormExtIoOpen() && inTriggerMode) {
        if (!MSG::AskYesNo(QString::fromLatin1(kEndQuestion), false, QString::fromLatin1(kEndTitle))) {
            cancel = -1;
            return;
        }
    }
    SETTING::ShutdownApp();
}

void MDIFrm_Main::MnuFileExit_Click() {
    qint16 cancel = 0;
    MDIForm_QueryUnload(cancel, 0);
}

void MDIFrm_Main::MnuMeas_Click() {
    if (loading_ || SETTING::GetFormTimeOpen() || SETTING::GetFormSingleOpen() || SETTING::GetFormExtIoOpen()) {
        MnuMeasTest->setEnabled(false);
        MnuMeasTime->setEnabled(false);
        MnuMeasSingle->setEnabled(false);
        MnuMeasIo->setEnabled(false);
        MnuMeasGrading->setEnabled(false);
    } else {
        MnuMeasTest->setEnabled(true);
        const bool idle = !TestMeasRunning;
        MnuMeasTime->setEnabled(idle);
        MnuMeasSingle->setEnabled(idle);
        MnuMeasIo->setEnabled(idle);
        // A profile changes only between runs.
        MnuMeasGrading->setEnabled(idle);
    }
}

void MDIFrm_Main::MnuMeasTime_Click() {
    if (APP::Logging().openTime) APP::Logging().openTime();
}

void MDIFrm_Main::MnuMeasSingle_Click() {
    if (APP::Logging().openSingle) APP::Logging().openSingle();
}

void MDIFrm_Main::MnuMeasIo_Click() {
    if (APP::Logging().openExtIo) APP::Logging().openExtIo();
}

void MDIFrm_Main::MnuMeasTest_Click() {
    if (TestMeasRunning) {
        TestMeasStopRequest = -1;
        return;
    }
    MnuMeasTest->setText(QString::fromLatin1(kStopCaption));
    try {
        RunTestMeasurement();
    } catch (const AppError& e) {
        if (dynamic_cast<const FieldOverflowError*>(&e)) ACQ::DiscardRestOfLine(RS_LIB32::ProgramLink());
        MnuMeasTest->setText(QString::fromLatin1(kStartCaption));
        MSG::Warn(TESTMEAS::ErrorText(e, false));
        return;
    }
    MnuMeasTest->setText(QString::fromLatin1(kStartCaption));
}

void MDIFrm_Main::MnuMeasGrading_Click() {
    GradingDialog dialog(this);
    dialog.exec();
}

void MDIFrm_Main::RunTestMeasurement() { TESTMEAS::RunTestMeasurement(TestMeasRunning, TestMeasStopRequest); }

void MDIFrm_Main::MnuWindowArrange_Click() {
    QWidget* disp = FRAME::DispForm();
    TWIPS::SetTop(disp, 0);
    TWIPS::SetLeft(disp, 0);

    APP::LoggingLinks& links = APP::Logging();
    QWidget* log = nullptr;
    if (SETTING::GetFormTimeOpen())
        log = links.timeForm ? links.timeForm() : nullptr;
    else if (SETTING::GetFormSingleOpen())
        log = links.singleForm ? links.singleForm() : nullptr;
    else if (SETTING::GetFormExtIoOpen())
        log = links.extIoForm ? links.extIoForm() : nullptr;
    if (!log) return;

    const APP::Placement p =
        APP::ArrangePlacement(TWIPS::Width(this), TWIPS::Width(log), TWIPS::Width(disp), TWIPS::Height(disp));
    TWIPS::SetTop(log, p.top);
    TWIPS::SetLeft(log, p.left);
}

void MDIFrm_Main::MnuWindowTrend_Click() { APP::ToggleTrend(MnuWindowTrend); }

void MDIFrm_Main::MnuDispHelp_Click() { APP::ShowReadme(); }

void MDIFrm_Main::MnuDispVer_Click() {
    Frm_Opening* box = APP::OpeningForm();
    box->SetVersionOnly();
    box->ShowModal();
}

namespace APP {

Placement ArrangePlacement(int mainWidth, int logWidth, int dispWidth, int dispHeight) {
    const float room = float(mainWidth) - 200.0f;
    const float needed = float(logWidth) + float(dispWidth);
    if (room >= needed) return {0, dispWidth};
    return {dispHeight, 0};
}

namespace {
QPointer<MDIFrm_Main> gMain;
}

MDIFrm_Main* ShowMainWindow() {
    if (!gMain) {
        gMain = new MDIFrm_Main;
        FRAME::SetMainWindow(gMain, gMain->mdiArea);
    }
    gMain->MDIForm_Load();
    return gMain;
}

MDIFrm_Main* MainForm() { return gMain; }

void ResetMainForTests() {
    FRAME::ResetForTests();
    delete gMain.data();
    gMain = nullptr;
}

}  // namespace APP
