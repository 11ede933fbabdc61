#include "frm_disp.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QMdiSubWindow>
#include <QTimer>

#include "format.h"
#include "rs_lib32.h"
#include "settings.h"
#include "twips.h"
#include "verdict_sound.h"

namespace {
// Times New Roman on the instrument's original platform; metric-compatible here.
constexpr char kDisplayFont[] = "Liberation Serif";
// The designed height, and the height with the verdict panel beneath.
constexpr int kWidth = 4815;
constexpr int kHeight = 2190;
constexpr int kGradedHeight = 3240;

QLabel* MakeLabel(QWidget* parent, const QString& text, double pt, Qt::Alignment align) {
    auto* l = new QLabel(text, parent);
    QFont f(kDisplayFont);
    f.setPointSizeF(pt);
    l->setFont(f);
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(align | Qt::AlignTop);
    return l;
}

QFrame* MakePanel(QWidget* parent) {
    auto* p = new QFrame(parent);
    p->setFrameShape(QFrame::Box);
    p->setFrameShadow(QFrame::Plain);
    p->setAutoFillBackground(true);
    QPalette pal = p->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    p->setPalette(pal);
    return p;
}
}  // namespace

Frm_Disp::Frm_Disp(QWidget* parent) : QWidget(parent) {
    setFixedSize(TWIPS::ToPxX(kWidth), TWIPS::ToPxY(kHeight));

    Pic_R = MakePanel(this);
    TWIPS::Place(Pic_R, 75, 75, 4665, 990);
    Lbl_MeasR = MakeLabel(Pic_R, QStringLiteral("333.33m"), 48, Qt::AlignRight);
    TWIPS::Place(Lbl_MeasR, 0, 0, 3500, 990);
    Lbl_Ohm = MakeLabel(Pic_R, QStringLiteral("ohm"), 27.75, Qt::AlignLeft);
    TWIPS::Place(Lbl_Ohm, 3525, 375, 1020, 540);

    Pic_V = MakePanel(this);
    TWIPS::Place(Pic_V, 75, 1125, 4665, 990);
    Lbl_MeasV = MakeLabel(Pic_V, QStringLiteral("-0.0000"), 48, Qt::AlignRight);
    TWIPS::Place(Lbl_MeasV, 0, 0, 3400, 915);
    Lbl_V = MakeLabel(Pic_V, QStringLiteral("V"), 27.75, Qt::AlignHCenter);
    TWIPS::Place(Lbl_V, 3675, 375, 645, 540);

    Pic_Grade = MakePanel(this);
    TWIPS::Place(Pic_Grade, 75, 2175, 4665, 990);
    Lbl_Grade = MakeLabel(Pic_Grade, QString(), 48, Qt::AlignLeft);
    TWIPS::Place(Lbl_Grade, 105, 0, 2625, 990);
    Lbl_Reason = MakeLabel(Pic_Grade, QString(), 14.25, Qt::AlignLeft);
    Lbl_Reason->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Lbl_Reason->setWordWrap(true);
    TWIPS::Place(Lbl_Reason, 2775, 0, 1830, 990);
    Pic_Grade->setVisible(false);
    sound_ = new VerdictSound(this);

    frame_ = new QTimer(this);
    frame_->setSingleShot(true);
    connect(frame_, &QTimer::timeout, this, &Frm_Disp::ShowPending);
    READINGS::Subscribe(this);
}

Frm_Disp::~Frm_Disp() = default;

namespace {
constexpr int kFrameMs = 16;
}  // namespace

void Frm_Disp::activityStarted(const READINGS::Activity& activity) {
    ShowGrading(activity.profile.has_value());
    if (!grading_) return;
    Lbl_Grade->setText(QString());
    Lbl_Reason->setText(QString());
    soundsOn_ = SETTING::LoadGradingSounds();
    // The sound system is asked for its device here, not while readings come.
    if (soundsOn_) sound_->Prepare();
}

void Frm_Disp::ShowGrading(bool on) {
    if (on == grading_) return;
    grading_ = on;
    const int before = height();
    setFixedSize(TWIPS::ToPxX(kWidth), TWIPS::ToPxY(on ? kGradedHeight : kHeight));
    Pic_Grade->setVisible(on);
    // The frame follows by the same amount; its top and left stay.
    QWidget* form = Form();
    if (form == this) return;
    const int grown = height() - before;
    const int oldBottom = form->geometry().bottom();
    form->resize(form->width(), form->height() + grown);
    // A window that sat right below the display would hide the verdict:
    // it moves down with the display's bottom edge.
    if (grown <= 0 || !form->parentWidget()) return;
    for (QObject* o : form->parentWidget()->children()) {
        auto* sibling = qobject_cast<QMdiSubWindow*>(o);
        if (!sibling || sibling == form || !sibling->isVisible()) continue;
        const int top = sibling->y();
        if (top > oldBottom - grown && top <= oldBottom + grown && sibling->x() < form->geometry().right())
            sibling->move(sibling->x(), top + grown);
    }
}

QString Frm_Disp::VerdictName(const GRADING::Grade& grade) { return grade.name; }

QString Frm_Disp::VerdictReason(const GRADING::Grade& grade) {
    if (grade.accepted) return QString();
    if (!grade.reason.isEmpty()) return grade.reason;
    return QStringLiteral("outside every bin");
}

void Frm_Disp::ShowVerdict(const GRADING::Grade& grade) {
    ShowGrading(true);
    Lbl_Grade->setText(VerdictName(grade));
    Lbl_Reason->setText(VerdictReason(grade));
    const QColor colour(grade.colour);
    QPalette pal = Pic_Grade->palette();
    pal.setColor(QPalette::WindowText, colour.isValid() ? colour : QColor(Qt::black));
    Lbl_Grade->setPalette(pal);
    Lbl_Reason->setPalette(pal);
    if (soundsOn_) sound_->Play(grade.accepted);
}

void Frm_Disp::activityEnded() { ShowPending(); }

void Frm_Disp::setupRead(qint16, qint16) {
    hasPending_ = false;
    frame_->stop();
    RefreshDisplay();
}

void Frm_Disp::readingTaken(const READINGS::Reading& reading) {
    if (!lastShown_.isValid() || lastShown_.elapsed() >= kFrameMs) {
        Show(reading);
        return;
    }
    pending_ = reading;
    hasPending_ = true;
    if (!frame_->isActive()) frame_->start(int(qMax<qint64>(1, kFrameMs - lastShown_.elapsed())));
}

void Frm_Disp::ShowPending() {
    frame_->stop();
    if (!hasPending_) return;
    hasPending_ = false;
    Show(pending_);
}

void Frm_Disp::Show(const READINGS::Reading& reading) {
    lastShown_.start();
    DisplayR(reading.fields.value(0));
    if (reading.mode == 1) DisplayV(reading.fields.value(1));
    if (reading.grade) ShowVerdict(*reading.grade);
}

QWidget* Frm_Disp::Form() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) return sub;
    return this;
}

void Frm_Disp::Form_Load() {
    qint32 top = 0, left = 0;
    SETTING::LoadDispPos(top, left);
    QWidget* form = Form();
    form->setWindowTitle(QStringLiteral("Meas Display"));
    setWindowTitle(QStringLiteral("Meas Display"));
    TWIPS::SetTop(form, top);
    TWIPS::SetLeft(form, left);
    RefreshDisplay();
}

void Frm_Disp::RefreshDisplay() {
    Lbl_MeasR->setText(QString());
    Lbl_MeasV->setText(QString());
    Lbl_Grade->setText(QString());
    Lbl_Reason->setText(QString());
    if (RS_LIB32::ProgramLink().InstrumentSetup.MeasMode != 0) {
        TWIPS::SetTop(Pic_R, 75);
        Pic_R->setVisible(true);
        TWIPS::SetTop(Pic_V, 1125);
        Pic_V->setVisible(true);
    } else {
        TWIPS::SetTop(Pic_R, 550);
        Pic_R->setVisible(true);
        Pic_V->setVisible(false);
    }
}

void Frm_Disp::DisplayR(const QString& text) {
    QString shown = text;
    SETTING::FormatResistance(shown);
    Lbl_MeasR->setText(shown);
}

void Frm_Disp::DisplayV(const QString& text) {
    QString shown = text;
    SETTING::FormatVoltage(shown);
    Lbl_MeasV->setText(shown);
}
