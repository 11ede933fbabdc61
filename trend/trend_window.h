#pragma once
// The trend window: the readings of the current activity as a chart of
// resistance (left axis) and voltage (right axis) against the time of day,
// the activity's statistics, and its progress. It follows READINGS; no window
// calls it. A reading is only put aside; they are added to the sums and the
// envelope in batches, and the chart is redrawn from a timer, so a logging
// run never waits for a picture.
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <optional>

#include "capability.h"
#include "envelope.h"
#include "readings.h"
#include "statistics.h"

class QChart;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QValueAxis;
class TrendChartView;

class TrendWindow : public QWidget, public READINGS::Subscriber {
    Q_OBJECT
public:
    explicit TrendWindow(QWidget* parent = nullptr);
    ~TrendWindow() override;

    void activityStarted(const READINGS::Activity& activity) override;
    void readingTaken(const READINGS::Reading& reading) override;
    void activityEnded() override;

    // The statistics with every reading taken so far.
    const TREND::ActivityStats& statistics();
    // The figures of grading while the activity grades its readings.
    const GRADING::Capability* capability();
    bool activityRunning() const { return running_; }
    QChart* chart() const { return chart_; }
    // Points on the chart now: resistance, voltage (markers not counted).
    int resistancePointsDrawn() const;
    int voltagePointsDrawn() const;
    QString progressText() const;
    // Time between redraws: a hundred times what the last one cost, half a second at least.
    int refreshIntervalMs() const { return refreshIntervalMs_; }
    qint64 refreshes() const { return refreshes_; }
    double refreshMsAverage() const { return refreshes_ ? refreshNs_ / 1e6 / double(refreshes_) : 0; }

    // Chart, statistics and progress brought up to date at once.
    void refresh();
    // The chart with its statistics and progress, as saved and copied.
    QImage picture();

    QPushButton* saveButton = nullptr;   // "Save Image..."
    QPushButton* copyButton = nullptr;   // "Copy"
    void saveImage();   // opens the file dialog and returns at once
    void copyImage();

    static constexpr char kCaption[] = "Trend";
    static constexpr char kSaveTitle[] = "Save Image";

protected:
    void showEvent(QShowEvent* event) override;

private:
    void followLate(const READINGS::Published& published);
    qint64 readingsOfActivity() const { return earlier_ + stats_.readings; }
    void scheduleRefresh();
    void absorbPending();
    void absorb(const READINGS::Reading& reading);
    void refreshChart();
    void refreshStatistics();
    void updateProgress();
    qint64 chartTime(const QTime& time);
    QLineSeries* lineAt(QList<QLineSeries*>& pool, int index, QValueAxis* axis, const QColor& color);
    void raiseMarks();
    void setUpGrading();
    void refreshLimits(double resistanceFactor);
    void refreshGrading();
    QString defaultImageName() const;
    void saveImageAs(const QString& file);
    void writeImage(const QString& file);

    // Chart
    QWidget* picture_ = nullptr;   // what the image shows
    TrendChartView* view_ = nullptr;
    QChart* chart_ = nullptr;
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* resistanceAxis_ = nullptr;
    QValueAxis* voltageAxis_ = nullptr;
    QList<QLineSeries*> resistanceLines_;   // one per stretch between gaps
    QList<QLineSeries*> voltageLines_;
    std::array<QScatterSeries*, 5> marks_{};   // by TREND::Judgement, then 4: comparator off
    // While grading: a series per bin, then Reject (points tagged kGradeTag + index),
    // and the acceptance limits: resistance low, high, voltage low, high.
    QList<QScatterSeries*> gradeMarks_;
    std::array<QLineSeries*, 4> limits_{};

    // Statistics: rows 0 resistance, 1 voltage; columns as in kColumns.
    QList<QLabel*> cells_[2];
    QLabel* rowTitle_[2] = {};
    QLabel* readingsLabel_ = nullptr;
    std::array<QLabel*, 4> judgementLabels_{};
    QLabel* progress_ = nullptr;
    QWidget* grading_ = nullptr;   // hidden without a profile
    QWidget* binsRow_ = nullptr;
    QList<QLabel*> binLabels_;     // by bin, then Reject
    QLabel* yieldLabel_ = nullptr;
    std::array<QLabel*, 4> capabilityLabels_{};   // Cp R, Cpk R, Cp V, Cpk V

    // The activity
    READINGS::Activity activity_;
    bool haveActivity_ = false;
    bool running_ = false;
    TREND::ActivityStats stats_;
    std::optional<GRADING::Capability> capability_;
    TREND::Envelope resistance_;
    TREND::Envelope voltage_;
    qint64 dayOffset_ = 0;   // ms added after the time of day passed midnight
    qint64 firstTime_ = -1;
    qint64 lastTime_ = -1;
    qint64 epochBase_ = 0;   // chart time 0 as ms since the epoch
    QList<READINGS::Reading> pending_;   // taken, not yet counted
    qint64 earlier_ = 0;     // readings of the activity published before the window followed it
    qint64 firstArrival_ = -1;   // READINGS::MonotonicMs() of the activity's first and last reading
    qint64 lastArrival_ = -1;

    // Drawing
    QTimer refreshTimer_;
    QTimer progressTimer_;
    bool dirty_ = false;
    int refreshIntervalMs_ = 500;
    qint64 refreshes_ = 0;
    qint64 refreshNs_ = 0;
    QString lastImageFolder_;
};
