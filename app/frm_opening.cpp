#include "frm_opening.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <cmath>

#include "frame.h"

#include "commands.h"
#include "device_dialog.h"
#include "errors.h"
#include "mdifrm_main.h"
#include "msgbox.h"
#include "process.h"
#include "readme.h"
#include "resources.h"
#include "rs_lib32.h"
#include "settings.h"
#include "twips.h"

namespace {
constexpr char kVersionCaption[] = "Version ";
// Tahoma and MS Sans Serif on the original platform; metric-compatible here.
constexpr char kSansFont[] = "Liberation Sans";
const QColor kBlue(0, 0, 160);

// A stored port that is not a number cannot be opened either.
qint16 StoredPort() {
    try {
        return RS_LIB32::LoadComPort();
    } catch (const AppError&) {
        return -1;
    }
}

QLabel* BoldLabel(QWidget* parent, const QString& text, const QColor& colour) {
    auto* l = new QLabel(text, parent);
    QFont f(kSansFont);
    f.setPointSizeF(13.5);
    f.setBold(true);
    l->setFont(f);
    l->setTextFormat(Qt::PlainText);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    return l;
}
}  // namespace

Frm_Opening::Frm_Opening(QWidget* parent) : QDialog(parent) {
    APP::InitResources();
    QFont base(kSansFont);
    base.setPointSizeF(9);
    setFont(base);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/orven/icon.png")));

    menuBar = new QMenuBar(this);
    menuBar->setNativeMenuBar(false);
    Mnu = menuBar->addMenu(QStringLiteral("&Serial Port"));
    MnuCom1 = Mnu->addAction(QStringLiteral("COM1"));
    MnuCom1->setCheckable(true);
    MnuCom1->setChecked(true);
    MnuCom2 = Mnu->addAction(QStringLiteral("COM2"));
    MnuCom2->setCheckable(true);
    Mnu->addSeparator();
    MnuDevice = Mnu->addAction(QStringLiteral("&Device..."));
    MnuHelp = menuBar->addMenu(QStringLiteral("&Help"));
    MnuReadme = MnuHelp->addAction(QStringLiteral("readme.txt"));
    connect(MnuCom1, &QAction::triggered, this, [this] { MnuCom1_Click(); });
    connect(MnuCom2, &QAction::triggered, this, [this] { MnuCom2_Click(); });
    connect(MnuDevice, &QAction::triggered, this, [this] { MnuDevice_Click(); });
    connect(MnuReadme, &QAction::triggered, this, [this] { MnuReadme_Click(); });

    client = new QWidget(this);
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, kBlue);
    client->setPalette(pal);
    client->setFixedSize(TWIPS::ToPxX(4800), TWIPS::ToPxY(2925));

    Picture1 = new QLabel(client);
    Picture1->setPixmap(QPixmap(QStringLiteral(":/orven/opening.png")));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TWIPS::Place(Picture1, 105, 105, 2325, 435);
    Picture1->installEventFilter(this);

    Cmd_RegInit = new QPushButton(QStringLiteral("Reset Registry"), client);
    TWIPS::Place(Cmd_RegInit, 3000, 120, 1590, 465);
    Cmd_RegInit->setVisible(false);
    Cmd_RegInit->setAutoDefault(false);
    connect(Cmd_RegInit, &QPushButton::clicked, this, [this] { Cmd_RegInit_Click(); });

    Lbl_Title = BoldLabel(client, QStringLiteral("ORVEN 5927 application"), Qt::cyan);
    TWIPS::Place(Lbl_Title, 825, 675, 3645, 405);
    Lbl_Version = BoldLabel(client, QString::fromLatin1(kVersionCaption), Qt::white);
    TWIPS::Place(Lbl_Version, 2175, 1050, 2040, 330);

    Cmd = new QPushButton(QStringLiteral("OK"), client);
    TWIPS::Place(Cmd, 1875, 2325, 975, 435);
    Cmd->setDefault(true);
    connect(Cmd, &QPushButton::clicked, this, [this] { Cmd_Click(); });

    // OK takes the focus first; the reset button follows once it is shown.
    setTabOrder(Cmd, Cmd_RegInit);
    Cmd->setFocus();
}

int Frm_Opening::designClientHeightPx() const { return TWIPS::ToPxY(2925); }

void Frm_Opening::SetVersionOnly() { VersionOnly = -1; }

void Frm_Opening::Form_Load() {
    // Designed size: the menu bar above the client area.
    Mnu->menuAction()->setVisible(true);
    MnuHelp->menuAction()->setVisible(true);
    menuBar->setVisible(true);
    ensurePolished();
    menuBar->ensurePolished();
    const int menuH = menuBar->heightForWidth(client->width()) > 0 ? menuBar->heightForWidth(client->width())
                                                                  : menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, client->width(), menuH);
    client->setFixedSize(client->width(), designClientHeightPx());
    client->move(0, menuH);
    setFixedSize(client->width(), menuH + designClientHeightPx());

    QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
    const double screenW = TWIPS::FromPxX(screen.width());
    const double screenH = TWIPS::FromPxY(screen.height());
    // Round to whole twips (halves to even), then halve dropping the fraction.
    const long left = std::lrint(screenW - TWIPS::Width(this)) / 2;
    const long top = std::lrint(screenH - TWIPS::Height(this)) / 2;
    move(TWIPS::ToPxX(double(left)) + screen.x(), TWIPS::ToPxY(double(top)) + screen.y());

    setWindowTitle(QStringLiteral("ORVEN 5927 Application"));
    // Every load starts from the window as designed: reset button hidden, and
    // the version label from its designed caption, so the number appears once.
    Cmd_RegInit->setVisible(false);
    Lbl_Version->setText(QString::fromLatin1(kVersionCaption) + QString::fromLatin1(SETTING::kProgramVersion));

    if (VersionOnly) {
        Mnu->menuAction()->setVisible(false);
        MnuHelp->menuAction()->setVisible(false);
        menuBar->setVisible(false);
        client->move(0, 0);
        // 3280 twips is the box's outer height, title bar included; the blue
        // panel fills everything inside it.
        const int decoration = qMax(0, frameGeometry().height() - geometry().height());
        client->setFixedSize(client->width(), qMax(designClientHeightPx(), TWIPS::ToPxY(3280) - decoration));
        setFixedSize(client->size());
    } else {
        SetPortChecks(StoredPort());
    }
    Cmd->setFocus();
}

void Frm_Opening::SetPortChecks(qint16 port) {
    MnuCom1->setChecked(port == 0);
    MnuCom2->setChecked(port != 0);
}

void Frm_Opening::ShowModeless() {
    Form_Load();
    show();
    raise();
    activateWindow();
}

int Frm_Opening::ShowModal() {
    Form_Load();
    return exec();
}

void Frm_Opening::Unload() {
    qint16 cancel = 0;
    Form_QueryUnload(cancel, 1);
    if (!cancel) done(QDialog::Accepted);
}

void Frm_Opening::Form_QueryUnload(qint16& /*cancel*/, qint16 unloadMode) {
    if (unloadMode != 1 && !VersionOnly) SETTING::EndProcess(0);
}

void Frm_Opening::reject() {
    qint16 cancel = 0;
    Form_QueryUnload(cancel, 0);
    if (!cancel) QDialog::reject();
}

void Frm_Opening::keyPressEvent(QKeyEvent* event) {
    // The window has no cancel button: Escape does not close it.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool Frm_Opening::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Picture1 && event->type() == QEvent::MouseButtonDblClick) {
        Picture1_DblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void Frm_Opening::Cmd_Click() {
    if (VersionOnly) {
        Unload();
        return;
    }
    RS_LIB32::Link& link = RS_LIB32::ProgramLink();
    FRAME::EndOnPortLoss();
    link.CommInit();
    if (link.CommOpen(StoredPort()) != 1) {
        if (link.LastOpenPermissionDenied()) MSG::Warn(link.LastOpenError());
        MSG::Warn(QString::fromLatin1(kOpenFailedText));
        SETTING::EndProcess(1);
    }
    if (link.CommSend(QString::fromLatin1(CMD::ConnectionCheck))) {
        Unload();
        APP::ShowMainWindow();
    } else {
        MSG::Warn(QString::fromLatin1(kNoResponseText));
        link.CommClose();
    }
}

void Frm_Opening::MnuCom1_Click() {
    RS_LIB32::SaveComPort(0);
    SetPortChecks(0);
}

void Frm_Opening::MnuCom2_Click() {
    RS_LIB32::SaveComPort(1);
    SetPortChecks(1);
}

void Frm_Opening::MnuDevice_Click() {
    DeviceDialog dialog(MnuCom2->isChecked() ? 1 : 0, this);
    dialog.exec();
}

void Frm_Opening::MnuReadme_Click() { APP::ShowReadme(); }

void Frm_Opening::Picture1_DblClick() { Cmd_RegInit->setVisible(true); }

void Frm_Opening::Cmd_RegInit_Click() {
    if (!MSG::AskYesNo(QStringLiteral("Initialise Registry, OK?"), true)) return;
    SETTING::ResetSettings();
    // Otherwise the next start finds no version and wipes what is chosen
    // from now on, positions written at shutdown included.
    SETTING::WriteSettingsVersion();
    SetPortChecks(0);
    MSG::Notice(QStringLiteral("Done."));
}

namespace APP {

namespace {
QPointer<Frm_Opening> gOpening;
}

Frm_Opening* OpeningForm() {
    if (!gOpening) gOpening = new Frm_Opening;
    return gOpening;
}

void Main() {
    SETTING::CheckSettingsVersion();
    OpeningForm()->ShowModeless();
}

void ResetOpeningForTests() {
    delete gOpening.data();
    gOpening = nullptr;
}

}  // namespace APP
