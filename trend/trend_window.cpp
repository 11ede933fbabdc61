#include "trend_window.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <QtGlobal>
#include <algorithm>
#include <cmath>

#include "format.h"

namespace {
constexpr qint64 kDayMs = 24LL * 3600 * 1000;
// Readings put aside before they are counted in one go: few enough to keep
// memory small, many enough that counting runs over warm data.
constexpr int kBatch = 256;
constexpr int kMarkSize = 5;

// Columns of the statistics.
constexpr int kColumnCount = 8;
const char* const kColumns[kColumnCount] = {"Last", "Min", "Max", "Mean", "Std dev", "Over range", "No meas.",
                                            "Not a number"};

const QColor kResistanceColor(0x1f, 0x5f, 0xbf);
const QColor kVoltageColor(0xc8, 0x6a, 0x00);
// Marks: IN, HI, LO, any other text, comparator off.
const QColor kMarkColors[5] = {QColor(0x2e, 0x9d, 0x3a), QColor(0xd6, 0x27, 0x28), QColor(0x7b, 0x3f, 0xbf),
                               QColor(0x80, 0x80, 0x80), kResistanceColor};
const char* const kJudgementNames[4] = {"IN", "HI", "LO", "Other"};
// Envelope tags of graded points: kGradeTag + the bin, then Reject.
constexpr int kGradeTag = 8;
constexpr int kMaxGradeSeries = 255 - kGradeTag;
const QColor kNoBinColour(0x60, 0x60, 0x60);
const QColor kLimitColour(0x30, 0x30, 0x30);
// Object names of the limit lines: resistance low, high, voltage low, high.
const char* const kLimitNames[4] = {"limit.resistance.low", "limit.resistance.high", "limit.voltage.low",
                                    "limit.voltage.high"};
const char* const kCapabilityNames[4] = {"cp.resistance", "cpk.resistance", "cp.voltage", "cpk.voltage"};
const char* const kCapabilityTitles[4] = {"Cp R", "Cpk R", "Cp V", "Cpk V"};
const QString kUndefined = QStringLiteral("\u2013");

QString Percent(std::optional<double> share) {
    return share ? QString::number(*share * 100.0, 'f', 1) + QStringLiteral(" %") : kUndefined;
}

// Why Cp or Cpk is not given, for the tooltip.
QString WhyUndefined(const GRADING::ProcessFigures& f, const GRADING::Range& limits, bool cpk) {
    if (cpk ? (!limits.low && !limits.high) : (!limits.low || !limits.high))
        return cpk ? QStringLiteral("No acceptance limit in the profile")
                   : QStringLiteral("Needs both acceptance limits; the profile leaves one open");
    if (f.n < 2) return QStringLiteral("Needs two numeric readings at least (%1 so far)").arg(f.n);
    return QStringLiteral("All values are equal: no spread");
}

QImage Dot(const QColor& color) {
    QImage img(kMarkSize, kMarkSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(0, 0, kMarkSize, kMarkSize));
    return img;
}

// A resistance axis in the display's units: values scaled, labels with m or k.
struct Unit {
    double factor;
    const char* prefix;
};
Unit ResistanceUnit(double largest) {
    if (largest < 1.0) return {1e3, "m"};
    if (largest >= 1e3) return {1e-3, "k"};
    return {1.0, ""};
}

// Decimals for labels a tenth of the range apart.
int DecimalsFor(double span) {
    if (!(span > 0)) return 2;
    return std::clamp(int(std::ceil(-std::log10(span / 10.0))), 0, 6);
}

// A value range that shows a flat series and keeps points off the edges.
void Padded(double& low, double& high) {
    if (!(high > low)) {
        const double pad = std::fabs(low) > 0 ? std::fabs(low) * 0.01 : 1.0;
        low -= pad;
        high += pad;
        return;
    }
    const double pad = (high - low) * 0.05;
    low -= pad;
    high += pad;
}

QString Trimmed(QString text) { return text.trimmed(); }

QString ShownResistance(const QString& reading) {
    QString t = reading;
    SETTING::FormatResistance(t);
    return t.trimmed();
}

QString ShownVoltage(const QString& reading) {
    QString t = reading;
    SETTING::FormatVoltage(t);
    return t.trimmed();
}

QString Count(qint64 n) { return QString::number(n); }
}  // namespace

// Times its own painting, so the window can space its redraws by what they cost.
class TrendChartView : public QChartView {
public:
    using QChartView::QChartView;
    qint64 lastPaintNs = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        QElapsedTimer t;
        t.start();
        QChartView::paintEvent(event);
        lastPaintNs = t.nsecsElapsed();
    }
};

TrendWindow::TrendWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QString::fromLatin1(kCaption));
    setMinimumSize(420, 260);

    picture_ = new QWidget(this);
    picture_->setAutoFillBackground(true);
    QPalette pal = picture_->palette();
    pal.setColor(QPalette::Window, Qt::white);
    picture_->setPalette(pal);

    chart_ = new QChart;
    chart_->legend()->hide();
    chart_->setMargins(QMargins(2, 2, 2, 2));
    chart_->setBackgroundRoundness(0);
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setFormat(QStringLiteral("HH:mm:ss"));
    timeAxis_->setTickCount(5);
    resistanceAxis_ = new QValueAxis;
    resistanceAxis_->setTitleText(QStringLiteral("Resistance (ohm)"));
    resistanceAxis_->setTitleBrush(kResistanceColor);
    voltageAxis_ = new QValueAxis;
    voltageAxis_->setTitleText(QStringLiteral("Voltage (V)"));
    voltageAxis_->setTitleBrush(kVoltageColor);
    voltageAxis_->setLabelFormat(QStringLiteral("%.3f"));
    for (QAbstractAxis* a : {static_cast<QAbstractAxis*>(timeAxis_), static_cast<QAbstractAxis*>(resistanceAxis_),
                             static_cast<QAbstractAxis*>(voltageAxis_)}) {
        QFont f = a->labelsFont();
        f.setPointSizeF(8);
        a->setLabelsFont(f);
        a->setTitleFont(f);
    }
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(resistanceAxis_, Qt::AlignLeft);
    chart_->addAxis(voltageAxis_, Qt::AlignRight);
    for (int i = 0; i < int(marks_.size()); ++i) {
        auto* s = new QScatterSeries;
        s->setMarkerSize(kMarkSize);
        s->setLightMarker(Dot(kMarkColors[i]));
        s->setColor(kMarkColors[i]);
        chart_->addSeries(s);
        s->attachAxis(timeAxis_);
        s->attachAxis(resistanceAxis_);
        marks_[size_t(i)] = s;
    }
    view_ = new TrendChartView(chart_, picture_);
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setFrameShape(QFrame::NoFrame);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(1);
    for (int c = 0; c < kColumnCount; ++c) {
        auto* head = new QLabel(QString::fromLatin1(kColumns[c]), picture_);
        head->setAlignment(Qt::AlignRight);
        grid->addWidget(head, 0, c + 1);
    }
    const char* rowNames[2] = {"resistance", "voltage"};
    rowTitle_[0] = new QLabel(QStringLiteral("Resistance (ohm)"), picture_);
    rowTitle_[1] = new QLabel(QStringLiteral("Voltage (V)"), picture_);
    for (int r = 0; r < 2; ++r) {
        grid->addWidget(rowTitle_[r], r + 1, 0);
        for (int c = 0; c < kColumnCount; ++c) {
            auto* cell = new QLabel(picture_);
            cell->setObjectName(QStringLiteral("%1.%2").arg(QLatin1String(rowNames[r]), QString::number(c)));
            cell->setAlignment(Qt::AlignRight);
            grid->addWidget(cell, r + 1, c + 1);
            cells_[r].append(cell);
        }
    }
    auto* counts = new QHBoxLayout;
    readingsLabel_ = new QLabel(picture_);
    readingsLabel_->setObjectName(QStringLiteral("readings"));
    counts->addWidget(readingsLabel_);
    for (int j = 0; j < 4; ++j) {
        auto* l = new QLabel(picture_);
        l->setObjectName(QStringLiteral("judgement.%1").arg(QLatin1String(kJudgementNames[j])));
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, j < 3 ? kMarkColors[j] : QColor(Qt::black));
        l->setPalette(p);
        counts->addWidget(l);
        judgementLabels_[size_t(j)] = l;
    }
    counts->addStretch(1);

    grading_ = new QWidget(picture_);
    grading_->setObjectName(QStringLiteral("grading"));
    auto* gradingLayout = new QVBoxLayout(grading_);
    gradingLayout->setContentsMargins(0, 0, 0, 0);
    gradingLayout->setSpacing(1);
    binsRow_ = new QWidget(grading_);
    auto* binsLayout = new QHBoxLayout(binsRow_);
    binsLayout->setContentsMargins(0, 0, 0, 0);
    binsLayout->setSpacing(14);
    binsLayout->addStretch(1);
    gradingLayout->addWidget(binsRow_);
    auto* figures = new QHBoxLayout;
    figures->setSpacing(14);
    yieldLabel_ = new QLabel(grading_);
    yieldLabel_->setObjectName(QStringLiteral("yield"));
    figures->addWidget(yieldLabel_);
    for (int i = 0; i < 4; ++i) {
        auto* l = new QLabel(grading_);
        l->setObjectName(QString::fromLatin1(kCapabilityNames[i]));
        figures->addWidget(l);
        capabilityLabels_[size_t(i)] = l;
    }
    figures->addStretch(1);
    gradingLayout->addLayout(figures);
    grading_->hide();

    progress_ = new QLabel(picture_);
    progress_->setObjectName(QStringLiteral("progress"));

    auto* pictureLayout = new QVBoxLayout(picture_);
    pictureLayout->setContentsMargins(4, 0, 4, 4);
    pictureLayout->setSpacing(2);
    pictureLayout->addWidget(view_, 1);
    pictureLayout->addLayout(grid);
    pictureLayout->addLayout(counts);
    pictureLayout->addWidget(grading_);
    pictureLayout->addWidget(progress_);

    saveButton = new QPushButton(QStringLiteral("Save Image..."), this);
    copyButton = new QPushButton(QStringLiteral("Copy"), this);
    connect(saveButton, &QPushButton::clicked, this, &TrendWindow::saveImage);
    connect(copyButton, &QPushButton::clicked, this, &TrendWindow::copyImage);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 0, 4, 4);
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    buttons->addWidget(copyButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(picture_, 1);
    layout->addLayout(buttons);

    refreshTimer_.setSingleShot(true);
    connect(&refreshTimer_, &QTimer::timeout, this, &TrendWindow::refresh);
    progressTimer_.setInterval(1000);
    connect(&progressTimer_, &QTimer::timeout, this, &TrendWindow::updateProgress);

    READINGS::Subscribe(this);
    // Opened during an activity: follow it from here on, its count from its start.
    if (const READINGS::Activity* current = READINGS::CurrentActivity()) {
        activityStarted(*current);
        followLate(READINGS::PublishedSoFar());
    }
    refresh();
}

TrendWindow::~TrendWindow() { READINGS::Unsubscribe(this); }

void TrendWindow::activityStarted(const READINGS::Activity& activity) {
    activity_ = activity;
    haveActivity_ = true;
    running_ = true;
    pending_.clear();
    pending_.reserve(kBatch);
    stats_.clear();
    setUpGrading();
    resistance_.clear();
    voltage_.clear();
    dayOffset_ = 0;
    firstTime_ = lastTime_ = -1;
    earlier_ = 0;
    firstArrival_ = lastArrival_ = -1;
    scheduleRefresh();
}

void TrendWindow::followLate(const READINGS::Published& published) {
    earlier_ = published.readings;
    firstArrival_ = published.firstMs;
    lastArrival_ = published.lastMs;
}

void TrendWindow::readingTaken(const READINGS::Reading& reading) {
    if (!haveActivity_) return;
    pending_.append(reading);
    lastArrival_ = READINGS::MonotonicMs();
    if (firstArrival_ < 0) firstArrival_ = lastArrival_;
    if (pending_.size() >= kBatch) absorbPending();
    scheduleRefresh();
}

const TREND::ActivityStats& TrendWindow::statistics() {
    absorbPending();
    return stats_;
}

const GRADING::Capability* TrendWindow::capability() {
    absorbPending();
    return capability_ ? &*capability_ : nullptr;
}

// A series per bin and Reject in the bins' colours, the limit lines and the
// labels of the figures; none of them without a profile.
void TrendWindow::setUpGrading() {
    for (QScatterSeries* s : std::as_const(gradeMarks_)) {
        chart_->removeSeries(s);
        delete s;
    }
    gradeMarks_.clear();
    for (QLineSeries*& l : limits_) {
        if (!l) continue;
        chart_->removeSeries(l);
        delete l;
        l = nullptr;
    }
    qDeleteAll(binLabels_);
    binLabels_.clear();
    capability_.reset();
    if (!haveActivity_ || !activity_.profile) {
        grading_->hide();
        return;
    }
    const GRADING::Profile& profile = *activity_.profile;
    capability_.emplace(profile);

    const GRADING::Range* ranges[2] = {&profile.resistanceLimits, &profile.voltageLimits};
    for (int i = 0; i < 4; ++i) {
        const GRADING::Range& r = *ranges[i / 2];
        if (!((i % 2) ? r.high : r.low)) continue;
        auto* line = new QLineSeries;
        line->setObjectName(QString::fromLatin1(kLimitNames[i]));
        QPen pen(i < 2 ? kLimitColour : kVoltageColor);
        pen.setWidthF(1.0);
        pen.setStyle(Qt::DashLine);
        line->setPen(pen);
        chart_->addSeries(line);
        line->attachAxis(timeAxis_);
        line->attachAxis(i < 2 ? resistanceAxis_ : voltageAxis_);
        limits_[size_t(i)] = line;
    }

    auto* binsLayout = static_cast<QHBoxLayout*>(binsRow_->layout());
    const int series = int(qMin<qsizetype>(profile.bins.size(), kMaxGradeSeries - 1)) + 1;
    for (int i = 0; i < series; ++i) {
        const bool reject = i == series - 1;
        QColor colour = reject ? QColor(QString::fromLatin1(GRADING::kRejectColour))
                               : QColor(profile.bins[i].colour);
        if (!colour.isValid()) colour = kNoBinColour;
        auto* s = new QScatterSeries;
        s->setObjectName(reject ? QStringLiteral("marks.reject") : QStringLiteral("marks.%1").arg(i));
        s->setMarkerSize(kMarkSize);
        s->setLightMarker(Dot(colour));
        s->setColor(colour);
        chart_->addSeries(s);
        s->attachAxis(timeAxis_);
        s->attachAxis(resistanceAxis_);
        gradeMarks_.append(s);

        auto* l = new QLabel(binsRow_);
        l->setObjectName(reject ? QStringLiteral("bin.reject") : QStringLiteral("bin.%1").arg(i));
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, colour);
        l->setPalette(p);
        binsLayout->insertWidget(i, l);
        binLabels_.append(l);
    }
    raiseMarks();
    grading_->show();
}

void TrendWindow::absorbPending() {
    for (const READINGS::Reading& r : std::as_const(pending_)) absorb(r);
    pending_.clear();
}

void TrendWindow::absorb(const READINGS::Reading& reading) {
    const TREND::ActivityStats::Added added = stats_.add(reading);
    const qint64 t = chartTime(reading.time);
    quint8 tag = added.judged ? quint8(added.judgement) : quint8(4);
    if (capability_ && reading.grade) {
        const GRADING::Grade& g = *reading.grade;
        capability_->add(g, added.resistance, added.voltage);
        const int rejectIndex = int(gradeMarks_.size()) - 1;
        const int index = g.accepted && g.bin >= 0 ? qMin(g.bin, rejectIndex) : rejectIndex;
        tag = quint8(kGradeTag + index);
    }
    if (added.resistance)
        resistance_.addValue(t, *added.resistance, tag);
    else
        resistance_.addGap(t);
    if (reading.mode == 1) {
        if (added.voltage)
            voltage_.addValue(t, *added.voltage);
        else
            voltage_.addGap(t);
    }
}

void TrendWindow::activityEnded() {
    absorbPending();
    running_ = false;
    scheduleRefresh();
}

qint64 TrendWindow::chartTime(const QTime& time) {
    const QTime t = time.isValid() ? time : QTime::currentTime();
    qint64 x = dayOffset_ + t.msecsSinceStartOfDay();
    // A time of day far behind the last one has passed midnight.
    if (lastTime_ >= 0 && x < lastTime_ - kDayMs / 2) {
        dayOffset_ += kDayMs;
        x += kDayMs;
    }
    if (firstTime_ < 0) {
        firstTime_ = x;
        epochBase_ = QDateTime(QDate::currentDate(), t).toMSecsSinceEpoch() - x;
    }
    lastTime_ = qMax(lastTime_, x);
    return x;
}

void TrendWindow::scheduleRefresh() {
    dirty_ = true;
    if (!isVisible() || refreshTimer_.isActive()) return;
    refreshTimer_.start(refreshIntervalMs_);
}

void TrendWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (dirty_) refresh();
    updateProgress();
}

void TrendWindow::refresh() {
    QElapsedTimer cost;
    cost.start();
    refreshTimer_.stop();
    dirty_ = false;
    absorbPending();
    refreshChart();
    refreshStatistics();
    updateProgress();
    // Redraws take at most about a hundredth of the time, however many the
    // points and slow the machine: a logging run keeps its pace.
    const qint64 spentNs = cost.nsecsElapsed() + view_->lastPaintNs;
    refreshIntervalMs_ = int(std::clamp<qint64>(spentNs * 100 / 1000000, 500, 5000));
    ++refreshes_;
    refreshNs_ += spentNs;
}

QLineSeries* TrendWindow::lineAt(QList<QLineSeries*>& pool, int index, QValueAxis* axis, const QColor& color) {
    if (index < pool.size()) return pool[index];
    auto* s = new QLineSeries;
    QPen pen(color);
    pen.setWidthF(1.5);
    s->setPen(pen);
    chart_->addSeries(s);
    s->attachAxis(timeAxis_);
    s->attachAxis(axis);
    pool.append(s);
    raiseMarks();
    return s;
}

// Series are drawn in the order added: the marks go back on top.
void TrendWindow::raiseMarks() {
    QList<QScatterSeries*> all(marks_.begin(), marks_.end());
    all += gradeMarks_;
    for (QScatterSeries* m : std::as_const(all)) {
        chart_->removeSeries(m);
        chart_->addSeries(m);
        m->attachAxis(timeAxis_);
        m->attachAxis(resistanceAxis_);
    }
}

void TrendWindow::refreshChart() {
    const bool both = haveActivity_ && activity_.mode == 1;
    voltageAxis_->setVisible(both);

    // Time: from the first reading to the newest, at least ten seconds wide.
    if (firstTime_ >= 0) {
        const qint64 end = qMax(lastTime_, firstTime_ + 10000);
        timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(epochBase_ + firstTime_),
                            QDateTime::fromMSecsSinceEpoch(epochBase_ + end));
    } else {
        const QDateTime now = QDateTime::currentDateTime();
        timeAxis_->setRange(now, now.addSecs(10));
    }

    const TREND::RunningStats& r = stats_.resistance.stats;
    double low = r.count() ? r.min() : 0, high = r.count() ? r.max() : 1;
    // The acceptance limits stay in sight, however far the readings are from them.
    const GRADING::Profile* profile = capability_ ? &*activity_.profile : nullptr;
    auto include = [](double& lo, double& hi, bool any, const GRADING::Range& limits) {
        for (const std::optional<double>& edge : {limits.low, limits.high}) {
            if (!edge) continue;
            lo = any ? qMin(lo, *edge) : *edge;
            hi = any ? qMax(hi, *edge) : *edge;
            any = true;
        }
    };
    if (profile) include(low, high, r.count() > 0, profile->resistanceLimits);
    const Unit unit = ResistanceUnit(qMax(std::fabs(low), std::fabs(high)));
    low *= unit.factor;
    high *= unit.factor;
    Padded(low, high);
    resistanceAxis_->setRange(low, high);
    resistanceAxis_->setLabelFormat(
        QStringLiteral("%.%1f%2").arg(DecimalsFor(high - low)).arg(QLatin1String(unit.prefix)));

    const TREND::RunningStats& v = stats_.voltage.stats;
    double vlow = v.count() ? v.min() : 0, vhigh = v.count() ? v.max() : 1;
    if (profile && both) include(vlow, vhigh, v.count() > 0, profile->voltageLimits);
    Padded(vlow, vhigh);
    voltageAxis_->setRange(vlow, vhigh);
    voltageAxis_->setLabelFormat(QStringLiteral("%.%1f").arg(DecimalsFor(vhigh - vlow)));

    std::array<QList<QPointF>, 5> marks;
    QList<QList<QPointF>> graded(gradeMarks_.size());
    const QList<QList<TREND::EnvelopePoint>> rRuns = resistance_.runs();
    for (int i = 0; i < rRuns.size(); ++i) {
        QList<QPointF> points;
        points.reserve(rRuns[i].size());
        for (const TREND::EnvelopePoint& p : rRuns[i]) {
            const QPointF at(double(epochBase_ + p.t), p.v * unit.factor);
            points.append(at);
            if (p.tag >= kGradeTag && p.tag - kGradeTag < graded.size())
                graded[p.tag - kGradeTag].append(at);
            else
                marks[qMin<size_t>(p.tag, 4)].append(at);
        }
        lineAt(resistanceLines_, i, resistanceAxis_, kResistanceColor)->replace(points);
    }
    for (int i = int(rRuns.size()); i < resistanceLines_.size(); ++i)
        if (resistanceLines_[i]->count()) resistanceLines_[i]->clear();
    for (size_t k = 0; k < marks.size(); ++k) marks_[k]->replace(marks[k]);
    for (int k = 0; k < graded.size(); ++k) gradeMarks_[k]->replace(graded[k]);
    refreshLimits(unit.factor);

    const QList<QList<TREND::EnvelopePoint>> vRuns = both ? voltage_.runs() : QList<QList<TREND::EnvelopePoint>>();
    for (int i = 0; i < vRuns.size(); ++i) {
        QList<QPointF> points;
        points.reserve(vRuns[i].size());
        for (const TREND::EnvelopePoint& p : vRuns[i]) points.append(QPointF(double(epochBase_ + p.t), p.v));
        lineAt(voltageLines_, i, voltageAxis_, kVoltageColor)->replace(points);
    }
    for (int i = int(vRuns.size()); i < voltageLines_.size(); ++i)
        if (voltageLines_[i]->count()) voltageLines_[i]->clear();
}

// Each limit as a line across the whole time axis.
void TrendWindow::refreshLimits(double resistanceFactor) {
    if (!capability_) return;
    const GRADING::Profile& profile = *activity_.profile;
    const bool both = activity_.mode == 1;
    const double from = double(timeAxis_->min().toMSecsSinceEpoch());
    const double to = double(timeAxis_->max().toMSecsSinceEpoch());
    const std::optional<double> values[4] = {profile.resistanceLimits.low, profile.resistanceLimits.high,
                                             profile.voltageLimits.low, profile.voltageLimits.high};
    for (int i = 0; i < 4; ++i) {
        QLineSeries* line = limits_[size_t(i)];
        if (!line) continue;
        const bool shown = i < 2 || both;
        line->setVisible(shown);
        const double y = *values[i] * (i < 2 ? resistanceFactor : 1.0);
        line->replace(QList<QPointF>{QPointF(from, y), QPointF(to, y)});
    }
}

void TrendWindow::refreshGrading() {
    if (!capability_) return;
    const GRADING::Profile& profile = *activity_.profile;
    const GRADING::Capability& c = *capability_;
    for (int i = 0; i < binLabels_.size(); ++i) {
        const bool reject = i == binLabels_.size() - 1;
        const int n = reject ? c.rejects() : c.count(i);
        const QString share = c.graded() ? Percent(double(n) / c.graded()) : kUndefined;
        binLabels_[i]->setText(QStringLiteral("%1: %2 (%3)")
                                   .arg(reject ? QString::fromLatin1(GRADING::kRejectName) : profile.bins[i].name)
                                   .arg(n)
                                   .arg(share));
    }
    yieldLabel_->setText(QStringLiteral("Yield: %1").arg(Percent(c.yield())));
    yieldLabel_->setToolTip(c.graded() ? QString() : QStringLiteral("No graded reading yet"));
    const bool both = activity_.mode == 1;
    const GRADING::ProcessFigures figures[2] = {c.resistance(), c.voltage()};
    const GRADING::Range* limits[2] = {&profile.resistanceLimits, &profile.voltageLimits};
    for (int i = 0; i < 4; ++i) {
        QLabel* l = capabilityLabels_[size_t(i)];
        const bool shown = i < 2 || both;
        l->setVisible(shown);
        const GRADING::ProcessFigures& f = figures[i / 2];
        const bool cpk = i % 2;
        const std::optional<double> value = cpk ? f.cpk : f.cp;
        l->setText(QStringLiteral("%1: %2").arg(QLatin1String(kCapabilityTitles[i]),
                                                value ? QString::number(*value, 'f', 2) : kUndefined));
        l->setToolTip(value ? QString() : WhyUndefined(f, *limits[i / 2], cpk));
    }
}

void TrendWindow::refreshStatistics() {
    const bool both = haveActivity_ && activity_.mode == 1;
    const TREND::Quantity* quantities[2] = {&stats_.resistance, &stats_.voltage};
    for (int row = 0; row < 2; ++row) {
        const TREND::Quantity& q = *quantities[row];
        const bool shown = row == 0 || both;
        rowTitle_[row]->setVisible(shown);
        for (QLabel* cell : cells_[row]) cell->setVisible(shown);
        auto shownText = row == 0 ? ShownResistance : ShownVoltage;
        QStringList texts;
        const bool any = q.stats.count() > 0;
        texts << (q.last.isEmpty() && stats_.readings == 0 ? QString() : shownText(q.last));
        texts << (any ? shownText(q.minText) : QString());
        texts << (any ? shownText(q.maxText) : QString());
        texts << (any ? shownText(TREND::ShapedLike(q.stats.mean(), q.lastNumber)) : QString());
        QString spread;
        if (q.stats.count() >= 2) {
            spread = shownText(TREND::ShapedLike(q.stats.stdDev(), q.lastNumber));
            // A spread has no sign.
            if (spread.startsWith(QLatin1Char('+'))) spread = spread.mid(1).trimmed();
        }
        texts << spread;
        texts << Count(q.overRange) << Count(q.noMeasurement) << Count(q.notNumber);
        for (int c = 0; c < kColumnCount; ++c) cells_[row][c]->setText(Trimmed(texts[c]));
    }
    QString readings = QStringLiteral("Readings: %1").arg(stats_.readings);
    // The statistics cannot cover what was taken before the window opened.
    if (earlier_ > 0) readings += QStringLiteral(" (opened after reading %1)").arg(earlier_);
    readingsLabel_->setText(readings);
    const bool judged = haveActivity_ && activity_.comp != 0;
    for (int j = 0; j < 4; ++j) {
        judgementLabels_[size_t(j)]->setVisible(judged);
        judgementLabels_[size_t(j)]->setText(
            QStringLiteral("%1: %2").arg(QLatin1String(kJudgementNames[j])).arg(stats_.judgements[size_t(j)]));
    }
    refreshGrading();
}

QString TrendWindow::progressText() const {
    if (!haveActivity_) return QStringLiteral("No readings yet.");
    const qint64 n = readingsOfActivity();
    QStringList parts;
    switch (activity_.kind) {
    case READINGS::Kind::TestMeasurement:
        parts << QStringLiteral("Test measurement: %1 readings, not logged").arg(n);
        break;
    case READINGS::Kind::ReturnKey:
    case READINGS::Kind::ExternalTrigger:
        parts << QStringLiteral("%1 rows logged since OK").arg(n);
        break;
    case READINGS::Kind::TimeInterval: {
        const bool counted = activity_.count > 0;
        parts << (counted ? QStringLiteral("Reading %1 of %2").arg(n).arg(activity_.count)
                          : QStringLiteral("Reading %1, until Stop").arg(n));
        if (!running_ || lastArrival_ < 0 || (counted && n >= activity_.count)) break;
        const qint64 since = READINGS::MonotonicMs() - lastArrival_;
        const qint64 intervalMs = qint64(std::llround(activity_.interval * 1000.0));
        if (intervalMs >= 1000) {
            const qint64 left = intervalMs - since;
            if (left > 0) parts << QStringLiteral("next reading in %1 s").arg((left + 999) / 1000);
        }
        if (counted) {
            const double period = n >= 2 ? double(lastArrival_ - firstArrival_) / double(n - 1) : double(intervalMs);
            const qint64 remaining = qMax<qint64>(0, qint64(double(activity_.count - n) * period) - since);
            parts << QStringLiteral("ends about %1")
                         .arg(QTime::currentTime().addMSecs(int(qMin<qint64>(remaining, kDayMs)))
                                  .toString(QStringLiteral("HH:mm:ss")));
        }
        break;
    }
    }
    if (!activity_.output.isEmpty())
        parts << (activity_.toSheet ? QStringLiteral("Output: sheet %1").arg(activity_.output)
                                    : QStringLiteral("Output: %1").arg(QFileInfo(activity_.output).fileName()));
    if (!running_) parts << QStringLiteral("(ended)");
    return parts.join(QStringLiteral("   "));
}

void TrendWindow::updateProgress() {
    absorbPending();
    progress_->setText(progressText());
    // The countdown moves by itself only while a run waits between readings.
    const bool ticking = isVisible() && running_ && activity_.kind == READINGS::Kind::TimeInterval &&
                         activity_.interval >= 1.0;
    if (ticking && !progressTimer_.isActive())
        progressTimer_.start();
    else if (!ticking)
        progressTimer_.stop();
}

int TrendWindow::resistancePointsDrawn() const {
    int n = 0;
    for (QLineSeries* s : resistanceLines_) n += s->count();
    return n;
}

int TrendWindow::voltagePointsDrawn() const {
    int n = 0;
    for (QLineSeries* s : voltageLines_) n += s->count();
    return n;
}

QImage TrendWindow::picture() {
    refresh();
    return picture_->grab().toImage();
}

QString TrendWindow::defaultImageName() const {
    if (haveActivity_ && !activity_.toSheet && !activity_.output.isEmpty())
        return QFileInfo(activity_.output).completeBaseName() + QStringLiteral("-trend.png");
    return QStringLiteral("trend.png");
}

void TrendWindow::saveImage() {
    QString folder = lastImageFolder_;
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    // Opened, not run: a dialog with a loop of its own would hold a logging
    // run's wait, which can only end once that loop does.
    auto* dialog = new QFileDialog(this, QString::fromLatin1(kSaveTitle), folder);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // A name typed without an extension still becomes a PNG file.
    dialog->setDefaultSuffix(QStringLiteral("png"));
    dialog->setNameFilters({QStringLiteral("PNG Image(*.png) (*.png)"), QStringLiteral("All Files(*.*) (*)")});
    dialog->selectFile(defaultImageName());
    connect(dialog, &QFileDialog::fileSelected, this, &TrendWindow::saveImageAs);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
}

void TrendWindow::saveImageAs(const QString& file) {
    if (file.isEmpty()) return;
    lastImageFolder_ = QFileInfo(file).absolutePath();
    if (!QFileInfo::exists(file)) {
        writeImage(file);
        return;
    }
    // The dialog's own question would run a loop of its own; this one is opened too.
    auto* ask = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(kSaveTitle),
                                QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                    .arg(QFileInfo(file).fileName()),
                                QMessageBox::Yes | QMessageBox::No, this);
    ask->setDefaultButton(QMessageBox::No);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    ask->setWindowModality(Qt::WindowModal);
    connect(ask, &QMessageBox::buttonClicked, this, [this, ask, file](QAbstractButton* button) {
        if (ask->standardButton(button) == QMessageBox::Yes) writeImage(file);
    });
    ask->open();
}

void TrendWindow::writeImage(const QString& file) {
    if (picture().save(file, "PNG")) return;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("ORVEN 5927 Application"),
                                QStringLiteral("The image could not be saved."), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void TrendWindow::copyImage() { QApplication::clipboard()->setImage(picture()); }
