// The trend window: its statistics and the reduced series as plain units,
// then the window in the real main window, opened and closed with F8,
// following time-interval runs against the simulator.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QScreen>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QValueAxis>
#include <cmath>

#include "../logging/logging_fixture.h"
#include "envelope.h"
#include "format.h"
#include "frm_disp.h"
#include "frm_single.h"
#include "frm_time.h"
#include "mdifrm_main.h"
#include "process.h"
#include "readings.h"
#include "statistics.h"
#include "trend_form.h"
#include "trend_window.h"
#include "twips.h"
#include "rs_lib32.h"
#include "frame.h"
#include "profile_file.h"
#include "runs.h"
#include <QtCharts/QLineSeries>

using namespace TREND;

namespace {
READINGS::Reading At(int second, QStringList fields, qint16 mode = 1, qint16 comp = 1) {
    return {QTime(10, 0).addSecs(second), fields, mode, comp};
}

QString Shown(TrendWindow* w, const QString& name) {
    QLabel* l = w->findChild<QLabel*>(name);
    return l ? l->text() : QStringLiteral("<no %1>").arg(name);
}

bool Activate(QWidget* w) {
    w->activateWindow();
    return QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }, 10000);
}

// A key as the keyboard delivers it: to whatever has the focus in the active window.
void Press(QWidget* window, Qt::Key key) {
    QVERIFY(Activate(window));
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
    QTest::keyClick(target, key);
}

// The key's line in the window's own section, changed as a text editor would.
// The file also ends in one more blank line: the settings reader takes a file
// of the same size and time stamp for the one it read before.
void EditStored(const QString& conf, const QByteArray& key, const QByteArray& value) {
    QByteArray text = LT::readFile(conf);
    const qsizetype section = text.indexOf("[Form%20Trend]");
    const qsizetype at = text.indexOf("\n" + key + "=", section);
    QVERIFY(section >= 0 && at > section);
    const qsizetype end = text.indexOf('\n', at + 1);
    text.replace(at + 1, end - at - 1, key + "=" + value);
    LT::writeFile(conf, text + "\n");
}

QString Stored(const char* key) {
    return SETTING::GetSetting(QStringLiteral("Form Trend"), QString::fromLatin1(key), QStringLiteral("<none>"));
}
}  // namespace

class TestTrend : public QObject {
    Q_OBJECT

private slots:
    // A failed run must not leave its window open for the next test.
    void cleanup() {
        if (Frm_Time* t = LOGGING::TimeWindow()) LOGGING::CloseForm(t);
        if (Frm_Single* s = LOGGING::SingleWindow()) LOGGING::CloseForm(s);
        RS_LIB32::ProgramLink().CommClose();
        APP::ResetMainForTests();
    }
    void statisticsOfAKnownSeries();
    void runningSumsKeepTheirPrecision();
    void valuesTakeTheShapeOfTheReadings();
    void envelopeKeepsShortSeriesAndGaps();
    void envelopeOfAVeryLongSeriesStaysSmall();
    void windowFollowsTimeIntervalRuns();
    void windowCountsAResistanceRunFromItsStart();
    void gradedRunShowsBinsYieldAndCapability();
};

void TestTrend::statisticsOfAKnownSeries() {
    ActivityStats s;
    s.add(At(0, {"010.00E-3", "+03.000E+0", "IN"}));
    s.add(At(1, {"020.00E-3", "+03.500E+0", "HI"}));
    s.add(At(2, {"1.0000E+8", "+04.000E+0", "LO"}));
    s.add(At(3, {"030.00E-3", "+1.0000E+9", "IN"}));
    s.add(At(4, {"abc", "", "XX"}));
    const ActivityStats::Added last = s.add(At(5, {"040.00E-3", "+04.500E+0", ""}));
    QCOMPARE(s.readings, qint64(6));
    QVERIFY(last.resistance && *last.resistance == 0.040);
    QCOMPARE(last.judgement, JudgeOther);

    const Quantity& r = s.resistance;
    QCOMPARE(r.stats.count(), qint64(4));
    QCOMPARE(r.stats.mean(), 0.025);
    QVERIFY(qAbs(r.stats.stdDev() - std::sqrt(0.0005 / 3)) < 1e-12);
    QCOMPARE(r.stats.min(), 0.010);
    QCOMPARE(r.stats.max(), 0.040);
    QCOMPARE(r.minText, QString("010.00E-3"));
    QCOMPARE(r.maxText, QString("040.00E-3"));
    QCOMPARE(r.overRange, qint64(1));
    QCOMPARE(r.noMeasurement, qint64(0));
    QCOMPARE(r.notNumber, qint64(1));
    QCOMPARE(r.last, QString("040.00E-3"));

    const Quantity& v = s.voltage;
    QCOMPARE(v.stats.count(), qint64(4));
    QCOMPARE(v.stats.mean(), 3.75);
    QVERIFY(qAbs(v.stats.stdDev() - std::sqrt(1.25 / 3)) < 1e-12);
    QCOMPARE(v.overRange, qint64(0));
    QCOMPARE(v.noMeasurement, qint64(1));
    QCOMPARE(v.notNumber, qint64(1));   // the empty field
    QCOMPARE(s.judgements, (std::array<qint64, 4>{2, 1, 1, 2}));

    // Resistance only, comparator off: no voltage, no judgement is counted,
    // whatever the fields carry; a special value's sign does not matter.
    ActivityStats plain;
    plain.add(At(0, {"012.34E-3", "+01.000E+0", "HI"}, 0, 0));
    plain.add(At(1, {" 1.0000E+9", "", ""}, 0, 0));
    QCOMPARE(plain.voltage.stats.count(), qint64(0));
    QCOMPARE(plain.voltage.gaps(), qint64(0));
    QCOMPARE(plain.judgements, (std::array<qint64, 4>{0, 0, 0, 0}));
    QCOMPARE(plain.resistance.noMeasurement, qint64(1));
    QCOMPARE(ClassifyField("-1.0000E+8").kind, FieldKind::OverRange);
    QCOMPARE(ClassifyField("nan").kind, FieldKind::NotNumber);
    QCOMPARE(ClassifyField("inf").kind, FieldKind::NotNumber);
    QCOMPARE(ClassifyField("12,5").kind, FieldKind::NotNumber);
    QVERIFY(std::isnan(plain.voltage.stats.mean()));
    QVERIFY(std::isnan(RunningStats().stdDev()));
}

void TestTrend::runningSumsKeepTheirPrecision() {
    // A long run of close values far from zero: sums of squares would lose
    // the spread entirely.
    RunningStats s;
    for (int i = 0; i < 1000000; ++i) s.add(1000.0 + ((i & 1) ? 0.001 : -0.001));
    QCOMPARE(s.count(), qint64(1000000));
    QVERIFY(qAbs(s.mean() - 1000.0) < 1e-9);
    QVERIFY2(qAbs(s.stdDev() - 0.001) < 1e-9, qPrintable(QString::number(s.stdDev(), 'g', 12)));
}

void TestTrend::valuesTakeTheShapeOfTheReadings() {
    QCOMPARE(ShapedLike(0.025, "040.00E-3"), QString("025.00E-3"));
    QCOMPARE(ShapedLike(0.0129099, "040.00E-3"), QString("012.91E-3"));
    QCOMPARE(ShapedLike(3.75, "+04.500E+0"), QString("+03.750E+0"));
    QCOMPARE(ShapedLike(-0.5, "+03.991E+0"), QString("-00.500E+0"));
    QCOMPARE(ShapedLike(1500, "1.234E+3"), QString("1.500E+3"));
    QCOMPARE(ShapedLike(12.5, "016.24E-3"), QString("12500.00E-3"));   // wider, never cut
    QCOMPARE(ShapedLike(std::nan(""), "016.24E-3"), QString());
    // What the statistics show goes through the display's own formatting.
    QString mean = ShapedLike(0.025, "040.00E-3");
    SETTING::FormatResistance(mean);
    QCOMPARE(mean, QString(" 25.00m"));
}

void TestTrend::envelopeKeepsShortSeriesAndGaps() {
    Envelope e(16);
    QVERIFY(e.isEmpty());
    QVERIFY(e.runs().isEmpty());
    e.addValue(0, 1.0, 1);
    e.addValue(1000, 2.0, 2);
    e.addGap(2000);
    e.addValue(3000, 3.0, 0);
    e.addValue(10000, 4.0, 3);   // a long wait without readings is no gap
    const auto runs = e.runs();
    QCOMPARE(runs.size(), 2);
    auto points = [](const QList<EnvelopePoint>& run) {
        QStringList out;
        for (const EnvelopePoint& p : run) out << QStringLiteral("%1:%2:%3").arg(p.t).arg(p.v).arg(p.tag);
        return out;
    };
    QCOMPARE(points(runs[0]), (QStringList{"0:1:1", "1000:2:2"}));
    QCOMPARE(points(runs[1]), (QStringList{"3000:3:0", "10000:4:3"}));
    // A clock that steps back lands at the start instead of before it.
    e.addValue(-5000, 9.0, 0);
    QCOMPARE(e.runs().first().first().v, 9.0);
    e.clear();
    QVERIFY(e.runs().isEmpty());
}

void TestTrend::envelopeOfAVeryLongSeriesStaysSmall() {
    Envelope e(64);
    constexpr int kReadings = 200000;
    for (int i = 0; i < kReadings; ++i) {
        const qint64 t = qint64(i) * 70;
        if (i == 150001)
            e.addGap(t);
        else if (i == 77777)
            e.addValue(t, 100.0, 1);   // one spike
        else if (i == 123456)
            e.addValue(t, -100.0, 2);  // one dip
        else
            e.addValue(t, std::sin(i * 0.001));
    }
    const qint64 span = qint64(kReadings - 1) * 70;
    QVERIFY(span / e.bucketMs() < 64);
    QVERIFY(span / e.bucketMs() >= 32);   // the buckets in use fill at least half of them
    int n = 0;
    double top = -1e9, bottom = 1e9;
    qint64 previous = -1;
    for (const auto& run : e.runs()) {
        for (const EnvelopePoint& p : run) {
            QVERIFY(p.t >= previous);
            previous = p.t;
            top = qMax(top, p.v);
            bottom = qMin(bottom, p.v);
            if (p.v == 100.0) QCOMPARE(p.t, qint64(77777) * 70);
            ++n;
        }
    }
    QVERIFY2(n <= 128, qPrintable(QString::number(n)));
    QCOMPARE(top, 100.0);
    QCOMPARE(bottom, -100.0);
    // One gap among values in a merged bucket is narrower than a column: no break.
    QCOMPARE(e.runs().size(), 1);
}

void TestTrend::windowFollowsTimeIntervalRuns() {
    // Where the operator left the window last time, as the settings file says.
    const QString conf = qEnvironmentVariable("XDG_CONFIG_HOME") + "/ORVEN/ORVEN 5927 RS.conf";
    QDir().mkpath(QFileInfo(conf).absolutePath());
    LT::writeFile(conf, "[Version]\nNumber=120\n");
    SETTING::SetProcessEnder([](int) {});
    QTemporaryDir dir;
    SimProcess sim({"--mode", "RV", "--comp", "1", "--comp-result", "HI"});
    QVERIFY(sim.started());
    qputenv("ORVEN5927_COM1", QFile::encodeName(sim.devicePath()));
    RS_LIB32::ProgramLink().CommInit();
    QCOMPARE(RS_LIB32::ProgramLink().CommOpen(0), 1);
    MDIFrm_Main* m = APP::ShowMainWindow();
    QVERIFY(m);
    LT::Modals modals;
    const QSize mainBefore = m->size();

    // F8 opens it beside the display window at its default size; the main
    // window grows for it as far as the screen allows.
    Press(m, Qt::Key_F8);
    QMdiSubWindow* form = APP::TrendForm();
    QVERIFY(form);
    TrendWindow* w = APP::TrendWindowObject();
    QCOMPARE(w->windowTitle(), QString("Trend"));
    QVERIFY(m->MnuWindowTrend->isChecked());
    QCOMPARE(TWIPS::Top(form), 0);
    QVERIFY(qAbs(TWIPS::Left(form) - TWIPS::Width(FRAME::DispForm())) <= 15);
    QCOMPARE(form->size(), QSize(TWIPS::ToPxX(9600), TWIPS::ToPxY(5400)));
    const QRect avail = m->screen()->availableGeometry();
    QVERIFY(m->width() > mainBefore.width());
    QVERIFY(avail.contains(m->frameGeometry()));
    const QSize client = m->mdiArea->viewport()->size();
    QVERIFY(client.width() >= form->geometry().right() + 1 ||
            m->frameGeometry().width() == avail.width());
    QCOMPARE(Shown(w, "progress"), QString("No readings yet."));

    // A counted run at interval 0 to a CSV file fills chart and statistics.
    Press(m, Qt::Key_F5);
    Frm_Time* t = LOGGING::TimeWindow();
    QVERIFY(t);
    modals.fileAnswers << dir.filePath("orven-trend-run1.csv");
    t->Text_Time->setText("0");
    t->Text_Count->setText("5");
    t->OpnMethod[0]->setChecked(true);
    t->Cmd[1]->click();   // returns when the run has ended
    QCOMPARE(modals.last().text, QString("Measurement ended."));
    QCOMPARE(t->ReadingsLogged(), qint64(5));
    QTRY_COMPARE(Shown(w, "readings"), QString("Readings: 5"));
    QCOMPARE(w->statistics().readings, qint64(5));
    QCOMPARE(Shown(w, "resistance.0"), QString("12.34m"));   // last
    QCOMPARE(Shown(w, "resistance.3"), QString("12.34m"));   // mean
    QCOMPARE(Shown(w, "resistance.4"), QString("0.00m"));    // std dev
    QCOMPARE(Shown(w, "voltage.1"), QString("+12.345"));     // min
    QCOMPARE(Shown(w, "judgement.HI"), QString("HI: 5"));
    QCOMPARE(Shown(w, "progress"), QString("Reading 5 of 5   Output: orven-trend-run1.csv   (ended)"));
    QVERIFY(w->resistancePointsDrawn() >= 1);
    QVERIFY(w->voltagePointsDrawn() >= 1);
    auto* rAxis = qobject_cast<QValueAxis*>(w->chart()->axes(Qt::Vertical).value(0));
    QVERIFY(rAxis);
    QVERIFY(rAxis->min() < 12.34 && rAxis->max() > 12.34);   // in milliohms
    QVERIFY(rAxis->labelFormat().endsWith("m"));
    QVERIFY(w->chart()->axes(Qt::Vertical).value(1)->isVisible());

    // The next run clears them: seen during its wait, after its first reading.
    QVERIFY(sim.control("set res 1.0000E+8"));
    modals.fileAnswers << dir.filePath("orven-trend-run2.csv");
    t->Text_Time->setText("2");
    t->Text_Count->setText("2");
    QString during;
    qint64 readingsDuring = -1;
    LT::Script s([t] { t->Cmd[2]->click(); });
    s.when([t] { return t->ReadingsLogged() == 1 && t->Timer1->isActive(); },
           [&] {
               w->refresh();
               readingsDuring = w->statistics().readings;
               during = Shown(w, "progress");
           });
    s.start();
    t->Cmd[1]->click();
    QVERIFY(!s.failed());
    QCOMPARE(readingsDuring, qint64(1));
    static const QRegularExpression progress(
        "^Reading 1 of 2   next reading in [12] s   ends about \\d\\d:\\d\\d:\\d\\d   Output: orven-trend-run2.csv$");
    QVERIFY2(progress.match(during).hasMatch(), qPrintable(during));
    w->refresh();
    QCOMPARE(w->statistics().readings, qint64(2));
    QCOMPARE(Shown(w, "resistance.0"), QString("O.F"));
    QCOMPARE(Shown(w, "resistance.5"), QString("2"));   // over range
    QCOMPARE(Shown(w, "resistance.3"), QString());      // no mean of gaps
    QCOMPARE(w->resistancePointsDrawn(), 0);
    QCOMPARE(Shown(w, "voltage.3"), QString("+12.345"));

    // Save Image... during a 1-second run: the run keeps its pace while the
    // dialog is open, and the dialog is answered through its own field; a
    // name typed without an extension becomes a PNG file. Copy gives the
    // same picture.
    QVERIFY(sim.control("set res 012.34E-3"));
    const QString run3 = dir.filePath("orven-trend-run3.csv");
    const QString image = dir.filePath("orven-trend-picture");
    modals.fileAnswers << run3;
    t->Text_Time->setText("1");
    t->Text_Count->setText("6");
    bool stillOpen = false;
    QString proposed;
    // Before a dialog that holds the run gives up: reject it, so the test ends.
    LT::Script answer([] {
        if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) d->reject();
    }, 15000);
    answer.when([t] { return t->ReadingsLogged() >= 4; },
                [&] {
                    auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                    stillOpen = d && d->isVisible();
                    if (!stillOpen) return;
                    proposed = d->selectedFiles().value(0);
                    TESTENV::PressKey(Qt::Key_A, Qt::ControlModifier);
                    TESTENV::TypeText(image);
                    TESTENV::PressKey(Qt::Key_Return);
                });
    LT::Script click;
    click.when([t] { return t->ReadingsLogged() == 1 && t->Timer1->isActive(); },
               [&] {
                   modals.fileDialogsByHand = true;
                   answer.start();
                   QTest::mouseClick(w->saveButton, Qt::LeftButton);
               });
    click.start();
    t->Cmd[1]->click();
    modals.fileDialogsByHand = false;
    QVERIFY(!click.failed());
    QVERIFY(!answer.failed());
    QVERIFY(stillOpen);
    QCOMPARE(QFileInfo(proposed).fileName(), QString("orven-trend-run3-trend.png"));
    QCOMPARE(modals.last().text, QString("Measurement ended."));
    const QList<QByteArray> rows = LT::readFile(run3).trimmed().split('\n').mid(1);
    QCOMPARE(rows.size(), 6);
    QList<int> stamps;
    for (const QByteArray& row : rows)
        stamps << QTime::fromString(QString::fromLatin1(row.left(8)), "HH:mm:ss").msecsSinceStartOfDay() / 1000;
    // A second apart, give or take the second boundary the stamps are cut at.
    for (int i = 1; i < stamps.size(); ++i)
        QVERIFY2(stamps[i] - stamps[i - 1] >= 1 && stamps[i] - stamps[i - 1] <= 2, rows[i].constData());
    QVERIFY2(stamps.last() - stamps.first() <= 6, rows.last().constData());
    QImage saved(image + ".png");
    QVERIFY(!saved.isNull());
    w->copyButton->click();
    const QImage copied = QGuiApplication::clipboard()->image();
    QCOMPARE(copied.size(), saved.size());
    QVERIFY(saved.height() > 200);

    // Arrange leaves it where it is; F8 from inside it closes it and stores
    // its place, F8 again brings it back there with the last activity.
    form->move(90, 60);
    form->resize(500, 300);
    m->MnuWindowArrange_Click();
    QCOMPARE(form->pos(), QPoint(90, 60));
    w->saveButton->setFocus();
    Press(m, Qt::Key_F8);
    QVERIFY(!APP::TrendForm());
    QVERIFY(!m->MnuWindowTrend->isChecked());
    QCOMPARE(Stored("Top"), QString::number(TWIPS::Top(form)));
    QCOMPARE(Stored("Left"), QString::number(TWIPS::Left(form)));
    QCOMPARE(Stored("Width"), QString::number(TWIPS::Width(form)));
    QCOMPARE(Stored("Height"), QString::number(TWIPS::Height(form)));
    EditStored(conf, "Left", "1500");
    QCOMPARE(Stored("Left"), QString("1500"));
    Press(m, Qt::Key_F8);
    QCOMPARE(APP::TrendForm(), form);
    QCOMPARE(form->pos(), QPoint(TWIPS::ToPxX(1500), 60));
    QCOMPARE(form->size(), QSize(500, 300));
    QCOMPARE(w->statistics().readings, qint64(6));

    // Shutdown keeps the place of an open window.
    form->move(30, 45);
    QVERIFY_EXCEPTION_THROWN(m->MnuFileExit_Click(), ProcessEnded);
    QCOMPARE(Stored("Left"), QString::number(TWIPS::Left(form)));
    QCOMPARE(Stored("Top"), QString::number(TWIPS::Top(form)));

    LOGGING::CloseForm(t);
    RS_LIB32::ProgramLink().CommClose();
    APP::ResetMainForTests();
}

void TestTrend::windowCountsAResistanceRunFromItsStart() {
    // Resistance only with the comparator on: the instrument answers "R,Comp",
    // so the comparator is the second field of a logged row.
    SETTING::SetProcessEnder([](int) {});
    QTemporaryDir dir;
    SimProcess sim({"--mode", "R", "--comp", "1", "--comp-result", "HI"});
    QVERIFY(sim.started());
    qputenv("ORVEN5927_COM1", QFile::encodeName(sim.devicePath()));
    RS_LIB32::ProgramLink().CommInit();
    QCOMPARE(RS_LIB32::ProgramLink().CommOpen(0), 1);
    MDIFrm_Main* m = APP::ShowMainWindow();
    QVERIFY(m);
    LT::Modals modals;
    APP::ResetTrendForTests();

    // The return-key window: F8 first pressed after two rows counts them too.
    const QString loaded = dir.filePath("orven-trend-loaded.csv");
    SETTING::SaveSetting("Configuration", "Single Meas Output Method", "0");
    SETTING::SaveSetting("Configuration", "Single Meas File", loaded);
    Press(m, Qt::Key_F6);
    Frm_Single* single = LOGGING::SingleWindow();
    QVERIFY(single);
    single->Cmd_Ok->click();
    single->Cmd_Trig->click();
    single->Cmd_Trig->click();
    QCOMPARE(LT::readFile(loaded), QByteArray("012.34E-3,HI\r\n012.34E-3,HI\r\n"));
    Press(m, Qt::Key_F8);
    TrendWindow* w = APP::TrendWindowObject();
    QVERIFY(w);
    QCOMPARE(Shown(w, "progress"), QString("2 rows logged since OK   Output: orven-trend-loaded.csv"));
    single->Cmd_Trig->click();
    w->refresh();
    QCOMPARE(Shown(w, "progress"), QString("3 rows logged since OK   Output: orven-trend-loaded.csv"));
    QCOMPARE(Shown(w, "readings"), QString("Readings: 1 (opened after reading 2)"));
    QCOMPARE(Shown(w, "judgement.HI"), QString("HI: 1"));
    single->Cmd_End->click();
    QVERIFY(!LOGGING::SingleWindow());
    APP::ResetTrendForTests();

    // Counted 1-second runs whose readings are judged HI, HI, LO, IN.
    Press(m, Qt::Key_F5);
    Frm_Time* t = LOGGING::TimeWindow();
    QVERIFY(t);
    auto judged = [&](LT::Script& s) {
        s.when([t] { return t->ReadingsLogged() == 2; }, [&] { QVERIFY(sim.control("set comp-result LO")); })
            .when([t] { return t->ReadingsLogged() == 3; }, [&] { QVERIFY(sim.control("set comp-result IN")); });
    };
    auto run = [&](const QString& file, LT::Script& s) {
        QVERIFY(sim.control("set comp-result HI"));
        modals.fileAnswers << dir.filePath(file);
        t->Text_Time->setText("1");
        t->Text_Count->setText("4");
        t->OpnMethod[0]->setChecked(true);
        s.start();
        t->Cmd[1]->click();   // returns when the run has ended
        QVERIFY(!s.failed());
        QCOMPARE(modals.last().text, QString("Measurement ended."));
    };

    // F8 first pressed after two readings: the window goes on from the
    // run's own count, and estimates the end from the run's own pace.
    QString opened;
    QTime openedAt;
    LT::Script late;
    late.when([t] { return t->ReadingsLogged() == 2 && t->Timer1->isActive(); },
              [&] {
                  Press(m, Qt::Key_F8);
                  openedAt = QTime::currentTime();
                  if (APP::TrendWindowObject()) opened = Shown(APP::TrendWindowObject(), "progress");
              });
    judged(late);
    run("orven-trend-late.csv", late);
    w = APP::TrendWindowObject();
    QVERIFY(w);
    static const QRegularExpression progress(
        "^Reading 2 of 4   next reading in 1 s   ends about (\\d\\d:\\d\\d:\\d\\d)   Output: orven-trend-late.csv$");
    const QRegularExpressionMatch match = progress.match(opened);
    QVERIFY2(match.hasMatch(), qPrintable(opened));
    // Two more readings a second apart are still to come.
    const int ends = openedAt.secsTo(QTime::fromString(match.captured(1), "HH:mm:ss"));
    QVERIFY2(ends >= 1 && ends <= 3, qPrintable(QString::number(ends)));
    w->refresh();
    QCOMPARE(Shown(w, "progress"), QString("Reading 4 of 4   Output: orven-trend-late.csv   (ended)"));
    QCOMPARE(Shown(w, "readings"), QString("Readings: 2 (opened after reading 2)"));
    QCOMPARE(Shown(w, "judgement.LO"), QString("LO: 1"));
    QCOMPARE(Shown(w, "judgement.IN"), QString("IN: 1"));

    // With the window open from the start every judgement is counted and
    // coloured: the rows carry "R,Comp", the window reads the comparator.
    LT::Script open;
    judged(open);
    run("orven-trend-judged.csv", open);
    QCOMPARE(LT::readFile(dir.filePath("orven-trend-judged.csv")).count(",LO\r\n"), 1);
    w->refresh();
    QCOMPARE(Shown(w, "readings"), QString("Readings: 4"));
    QCOMPARE(Shown(w, "judgement.IN"), QString("IN: 1"));
    QCOMPARE(Shown(w, "judgement.HI"), QString("HI: 2"));
    QCOMPARE(Shown(w, "judgement.LO"), QString("LO: 1"));
    QCOMPARE(Shown(w, "judgement.Other"), QString("Other: 0"));
    QCOMPARE(Shown(w, "resistance.3"), QString("12.34m"));   // mean
    QVERIFY(!w->chart()->axes(Qt::Vertical).value(1)->isVisible());
    // Points by colour: green IN, red HI, purple LO, grey any other text.
    QMap<QRgb, int> points;
    for (QAbstractSeries* series : w->chart()->series())
        if (auto* marks = qobject_cast<QScatterSeries*>(series)) points[marks->color().rgb()] += marks->count();
    QCOMPARE(points.value(QColor(0x2e, 0x9d, 0x3a).rgb()), 1);
    QCOMPARE(points.value(QColor(0xd6, 0x27, 0x28).rgb()), 2);
    QCOMPARE(points.value(QColor(0x7b, 0x3f, 0xbf).rgb()), 1);
    QCOMPARE(points.value(QColor(0x80, 0x80, 0x80).rgb()), 0);

    LOGGING::CloseForm(t);
    RS_LIB32::ProgramLink().CommClose();
    APP::ResetMainForTests();
}

void TestTrend::gradedRunShowsBinsYieldAndCapability() {
    const GRADING::ReadResult read = GRADING::ParseProfile(
        "name = cells\n"
        "[limits]\nresistance low = 10m\nresistance high = 25m\nvoltage low = 3.5\nvoltage high = *\n"
        "[bin]\nname = A\ncolour = #00a000\nresistance low = 15m\nresistance high = 18.5m\n"
        "[bin]\nname = B\ncolour = #a0a000\nresistance low = 18.5m\nresistance high = 22m\n"
        "voltage low = 3.6\nvoltage high = 3.7\n");
    QVERIFY2(read.profile, qPrintable(read.error));
    SimProcess sim({"--mode", "RV", "--comp", "1", "--res", "016.00E-3", "--volt", "+03.650E+0"});
    QVERIFY(sim.started());
    qputenv("ORVEN5927_COM1", QFile::encodeName(sim.devicePath()));
    RS_LIB32::ProgramLink().CommInit();
    QCOMPARE(RS_LIB32::ProgramLink().CommOpen(0), 1);
    TrendWindow w;

    // Readings (mOhm, V) 16/3.65 -> A, 20/3.65 -> B, 20/3.80 -> Reject (B's
    // voltage), 12/3.65 -> Reject (no bin). The next value is set a second
    // before it is asked for.
    const QStringList next[3] = {{"020.00E-3", "+03.650E+0"}, {"020.00E-3", "+03.800E+0"},
                                 {"012.00E-3", "+03.650E+0"}};
    qint16 stop = 0;
    ACQ::IntervalRun run(RS_LIB32::ProgramLink(), stop);
    run.SetGrading(read.profile);
    ACQ::Published published({.kind = READINGS::Kind::TimeInterval, .count = 4});
    run.AddOutput(&published);
    int taken = 0;
    connect(&run, &ACQ::Run::readingTaken, &run, [&](const ACQ::Sample&) {
        if (taken < 3) {
            sim.control("set res " + next[taken][0]);
            sim.control("set volt " + next[taken][1]);
        }
        ++taken;
    });
    QVERIFY(run.Start(1.0f, 4).ok());
    w.refresh();
    QCOMPARE(w.statistics().readings, qint64(4));

    QCOMPARE(Shown(&w, "bin.0"), QString("A: 1 (25.0 %)"));
    QCOMPARE(Shown(&w, "bin.1"), QString("B: 1 (25.0 %)"));
    QCOMPARE(Shown(&w, "bin.reject"), QString("Reject: 2 (50.0 %)"));
    QCOMPARE(Shown(&w, "yield"), QString("Yield: 50.0 %"));
    // R = 16, 20, 20, 12 mOhm: mean 17, squares 1+9+9+25 = 44, sigma = sqrt(44/3) = 3.8297;
    // Cp = 15 / (6 * 3.8297) = 0.653, Cpk = min(25-17, 17-10) / (3 * 3.8297) = 0.609.
    QCOMPARE(Shown(&w, "cp.resistance"), QString("Cp R: 0.65"));
    QCOMPARE(Shown(&w, "cpk.resistance"), QString("Cpk R: 0.61"));
    // V = 3.65, 3.65, 3.80, 3.65: mean 3.6875, sigma = sqrt(0.016875/3) = 0.075;
    // only the low limit: Cpk = (3.6875 - 3.5) / 0.225 = 0.833, no Cp.
    QCOMPARE(Shown(&w, "cpk.voltage"), QString("Cpk V: 0.83"));
    QCOMPARE(Shown(&w, "cp.voltage"), QString("Cp V: \u2013"));
    QVERIFY(w.findChild<QLabel*>("cp.voltage")->toolTip().contains("both acceptance limits"));
    QVERIFY(w.findChild<QLabel*>("cp.resistance")->toolTip().isEmpty());

    // The limits as lines at their values (resistance in mOhm); the open side has none.
    auto limit = [&](const QString& name) -> QList<QPointF> {
        for (QAbstractSeries* a : w.chart()->series())
            if (a->objectName() == name) return qobject_cast<QLineSeries*>(a)->points();
        return {};
    };
    auto level = [&](const QString& name) {
        const QList<QPointF> p = limit(name);
        return p.size() == 2 && p[0].y() == p[1].y() && p[0].x() < p[1].x() ? p[0].y() : -1.0;
    };
    QCOMPARE(level("limit.resistance.low"), 10.0);
    QCOMPARE(level("limit.resistance.high"), 25.0);
    QCOMPARE(level("limit.voltage.low"), 3.5);
    QVERIFY(limit("limit.voltage.high").isEmpty());
    auto* rAxis = qobject_cast<QValueAxis*>(w.chart()->axes(Qt::Vertical).value(0));
    QVERIFY(rAxis->min() < 10.0 && rAxis->max() > 25.0);
    // Points in their bin's colour, none in the comparator's.
    QMap<QRgb, int> points;
    for (QAbstractSeries* series : w.chart()->series())
        if (auto* marks = qobject_cast<QScatterSeries*>(series)) points[marks->color().rgb()] += marks->count();
    QCOMPARE(points.value(QColor("#00a000").rgb()), 1);
    QCOMPARE(points.value(QColor("#a0a000").rgb()), 1);
    QCOMPARE(points.value(QColor(GRADING::kRejectColour).rgb()), 2);
    QCOMPARE(points.value(QColor(0x2e, 0x9d, 0x3a).rgb()), 0);

    // The next activity without a profile has none of it.
    {
        READINGS::ActivityScope plain({.kind = READINGS::Kind::TestMeasurement, .mode = 1});
        READINGS::Publish(At(0, {"016.00E-3", "+03.650E+0", ""}, 1, 0));
        w.refresh();
        QVERIFY(w.findChild<QWidget*>("grading")->isHidden());
        QVERIFY(limit("limit.resistance.low").isEmpty());
        QVERIFY(!w.capability());
        int scatter = 0;
        for (QAbstractSeries* series : w.chart()->series()) scatter += qobject_cast<QScatterSeries*>(series) != nullptr;
        QCOMPARE(scatter, 5);   // the comparator's marks only
    }
    RS_LIB32::ProgramLink().CommClose();
}

ORVEN_TEST_MAIN(TestTrend)
#include "test_trend.moc"
