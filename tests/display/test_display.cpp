// The display window without an instrument: twips, design, layouts, the
// formatted readings, its stored position and that it cannot be closed;
// and the message boxes' titles, icons and default buttons; the verdict
// panel while readings are graded, and the window as designed without it.
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QFile>
#include <QTest>

#include "frame.h"
#include "frm_disp.h"
#include "profile_file.h"
#include "verdict_sound.h"
#include "msgbox.h"
#include "settings.h"
#include "setup.h"
#include "test_env.h"
#include "twips.h"
#include "rs_lib32.h"

namespace {
void SetMode(const char* modeAnswer) {
    SETTING::ApplySetupAnswer({QString::fromLatin1(modeAnswer), QStringLiteral("FAST"), QStringLiteral("0")}, RS_LIB32::ProgramLink().InstrumentSetup);
}

// Bins as an operator types them into a profile file.
GRADING::Profile Profile18650() {
    const QByteArray text = "name = 18650\n"
                            "[bin]\nname = A\ncolour = #00a000\nresistance low = 15m\nresistance high = 18.5m\n"
                            "voltage low = 3.6\nvoltage high = 3.7\n"
                            "[bin]\nname = B\ncolour = #a0a000\nresistance low = 18.5m\nresistance high = 22m\n";
    const GRADING::ReadResult r = GRADING::ParseProfile(text);
    return r.profile.value_or(GRADING::Profile{});
}

// One activity with these readings, as a run publishes them (graded when a
// profile is given), ended so the last one is on screen.
void PublishRun(const std::optional<GRADING::Profile>& profile, const QList<QStringList>& readings) {
    READINGS::Activity a;
    a.kind = READINGS::Kind::TimeInterval;
    a.mode = 1;
    a.profile = profile;
    const quint64 id = READINGS::StartActivity(a);
    for (const QStringList& f : readings) {
        READINGS::Reading r{QTime(9, 5, 30), {f.value(0), f.value(1), QString()}, 1, 0};
        if (profile) r.grade = GRADING::GradeReading(*profile, f.value(0), f.value(1), false);
        READINGS::Publish(r);
    }
    READINGS::EndActivity(id);
}
}  // namespace

class TestDisplay : public QObject {
    Q_OBJECT
    QMainWindow* main_ = nullptr;
    QMdiArea* area_ = nullptr;

private slots:
    void init() {
        SETTING::ResetSettings();
        RS_LIB32::ProgramLink().InstrumentSetup = {};
        main_ = new QMainWindow;
        area_ = new QMdiArea;
        main_->setCentralWidget(area_);
        main_->resize(800, 600);
        main_->show();
        FRAME::SetMainWindow(main_, area_);
    }
    void cleanup() {
        FRAME::ResetForTests();
        delete main_;
        main_ = nullptr;
    }

    void twipsFollowTheLogicalDpi() {
        // An inch is 1440 twips at the screen's logical DPI.
        QCOMPARE(TWIPS::ToPxX(1440), qRound(TWIPS::DpiX()));
        QCOMPARE(TWIPS::ToPxY(2880), qRound(2 * TWIPS::DpiY()));
        QWidget w;
        TWIPS::Place(&w, 150, 300, 1500, 750);
        const QSize size = w.size();
        // Moving keeps the size, resizing keeps the place.
        TWIPS::SetTop(&w, 1440);
        TWIPS::SetLeft(&w, 720);
        QCOMPARE(w.size(), size);
        QCOMPARE(TWIPS::Top(&w), 1440);
        QCOMPARE(TWIPS::Left(&w), qRound(TWIPS::FromPxX(TWIPS::ToPxX(720))));
        TWIPS::SetWidth(&w, 2880);
        QCOMPARE(w.pos(), QPoint(TWIPS::ToPxX(720), TWIPS::ToPxY(1440)));
        QCOMPARE(TWIPS::Width(&w), 2880);
    }

    void designedWindow() {
        Frm_Disp* d = FRAME::Disp();
        QCOMPARE(FRAME::Disp(), d);   // one window for the whole program
        QMdiSubWindow* form = FRAME::DispForm();
        QCOMPARE(form->widget(), d);
        QCOMPARE(form->windowTitle(), QStringLiteral("Meas Display"));
        QCOMPARE(d->size(), QSize(TWIPS::ToPxX(4815), TWIPS::ToPxY(2190)));
        // Design texts never show: emptied by the load.
        QCOMPARE(d->Lbl_MeasR->text(), QString());
        QCOMPARE(d->Lbl_MeasV->text(), QString());
        QCOMPARE(d->Lbl_Ohm->text(), QStringLiteral("ohm"));
        QCOMPARE(d->Lbl_V->text(), QStringLiteral("V"));
        for (QLabel* l : {d->Lbl_MeasR, d->Lbl_MeasV}) {
            QCOMPARE(l->font().family(), QStringLiteral("Liberation Serif"));
            QCOMPARE(l->font().pointSizeF(), 48.0);
            QVERIFY(l->alignment() & Qt::AlignRight);
        }
        for (QLabel* l : {d->Lbl_Ohm, d->Lbl_V}) QCOMPARE(l->font().pointSizeF(), 27.75);
        QVERIFY(d->Lbl_Ohm->alignment() & Qt::AlignLeft);
        QVERIFY(d->Lbl_V->alignment() & Qt::AlignHCenter);
        QCOMPARE(d->Lbl_MeasR->geometry(), QRect(0, 0, TWIPS::ToPxX(3500), TWIPS::ToPxY(990)));
        QCOMPARE(d->Lbl_MeasV->geometry(), QRect(0, 0, TWIPS::ToPxX(3400), TWIPS::ToPxY(915)));
        QCOMPARE(d->Lbl_Ohm->geometry(), QRect(TWIPS::ToPxX(3525), TWIPS::ToPxY(375), TWIPS::ToPxX(1020), TWIPS::ToPxY(540)));
        QCOMPARE(d->Lbl_V->geometry(), QRect(TWIPS::ToPxX(3675), TWIPS::ToPxY(375), TWIPS::ToPxX(645), TWIPS::ToPxY(540)));
        // The widest readings fit their boxes in the chosen font.
        for (const char* t : {"333.33m", "  O.F  ", " ----- "})
            QVERIFY(d->Lbl_MeasR->fontMetrics().horizontalAdvance(QLatin1String(t)) <= d->Lbl_MeasR->width());
        for (const char* t : {"-0.0000", "+ O.F  ", "------ "})
            QVERIFY(d->Lbl_MeasV->fontMetrics().horizontalAdvance(QLatin1String(t)) <= d->Lbl_MeasV->width());
    }

    void storedPositionIsApplied() {
        SETTING::SaveSetting(QString::fromLatin1(SETTING::Key::SecFormDisplay), QString::fromLatin1(SETTING::Key::Top),
                             QStringLiteral("1500"));
        SETTING::SaveSetting(QString::fromLatin1(SETTING::Key::SecFormDisplay), QString::fromLatin1(SETTING::Key::Left),
                             QStringLiteral("3000"));
        FRAME::Disp();
        QCOMPARE(FRAME::DispForm()->pos(), QPoint(TWIPS::ToPxX(3000), TWIPS::ToPxY(1500)));
    }

    void operatorCannotCloseIt() {
        FRAME::Disp();
        QMdiSubWindow* form = FRAME::DispForm();
        QVERIFY(!(form->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(FRAME::DispForm(), form);
        QVERIFY(FRAME::Disp());
    }

    void layoutFollowsTheMode_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("both");
        QTest::newRow("R") << "R" << false;
        QTest::newRow("RV") << "RV" << true;
        QTest::newRow("R with a blank") << "R " << true;
    }
    void layoutFollowsTheMode() {
        QFETCH(QString, answer);
        QFETCH(bool, both);
        Frm_Disp* d = FRAME::Disp();
        // From the other layout, with readings on screen.
        SetMode(both ? "R" : "RV");
        d->RefreshDisplay();
        d->DisplayR(QStringLiteral("333.33E-3"));
        d->DisplayV(QStringLiteral("-0.0000E+0"));
        SETTING::ApplySetupAnswer({answer, QStringLiteral("FAST"), QStringLiteral("0")}, RS_LIB32::ProgramLink().InstrumentSetup);
        d->RefreshDisplay();
        QCOMPARE(d->Lbl_MeasR->text(), QString());
        QCOMPARE(d->Lbl_MeasV->text(), QString());
        QVERIFY(d->Pic_R->isVisibleTo(d));
        QCOMPARE(d->Pic_V->isVisibleTo(d), both);
        QCOMPARE(d->Pic_R->y(), TWIPS::ToPxY(both ? 75 : 550));
        if (both) QCOMPARE(d->Pic_V->y(), TWIPS::ToPxY(1125));
        QCOMPARE(d->Pic_R->x(), TWIPS::ToPxX(75));
        QCOMPARE(d->Pic_V->geometry().size(), QSize(TWIPS::ToPxX(4665), TWIPS::ToPxY(990)));
    }

    void readingsAreFormattedForShow_data() {
        QTest::addColumn<QString>("res");
        QTest::addColumn<QString>("resShown");
        QTest::addColumn<QString>("volt");
        QTest::addColumn<QString>("voltShown");
        QTest::newRow("milliohm") << "003.45E-3" << "  3.45m" << "+01.234E+0" << "+ 1.234";
        QTest::newRow("ohm and kilo") << "012.34E+0" << " 12.34 " << "-0.0000E+0" << "-0.0000";
        QTest::newRow("over range") << "1.0000E+8" << "  O.F  " << "+1.0000E+8" << "+ O.F  ";
        QTest::newRow("dash") << "1.0000E+9" << " ----- " << "-1.0000E+9" << "------ ";
    }
    void readingsAreFormattedForShow() {
        QFETCH(QString, res);
        QFETCH(QString, resShown);
        QFETCH(QString, volt);
        QFETCH(QString, voltShown);
        SetMode("RV");
        Frm_Disp* d = FRAME::Disp();
        const QString resCopy = res, voltCopy = volt;
        d->DisplayR(res);
        d->DisplayV(volt);
        QCOMPARE(d->Lbl_MeasR->text(), resShown);
        QCOMPARE(d->Lbl_MeasV->text(), voltShown);
        QCOMPARE(res, resCopy);   // the caller's field is left alone
        QCOMPARE(volt, voltCopy);
    }

    void shortOrEmptyFieldsKeepTheWindowUsable() {
        Frm_Disp* d = FRAME::Disp();
        d->DisplayR(QString());
        d->DisplayV(QString());
        d->DisplayV(QStringLiteral("+1"));
        QCOMPARE(d->Lbl_MeasR->text(), QString());
        QVERIFY(d->Lbl_MeasV->text().size() <= 7);
        d->DisplayV(QStringLiteral("+12.345E+0"));
        QCOMPARE(d->Lbl_MeasV->text(), QStringLiteral("+12.345"));
    }

    void withoutMainWindowItStillExists() {
        FRAME::ResetForTests();
        QVERIFY(!FRAME::MainWindow());
        Frm_Disp* d = FRAME::Disp();
        QVERIFY(d);
        QVERIFY(FRAME::DispForm());
        QVERIFY(TWIPS::Height(FRAME::DispForm()) > 2190);   // its frame adds a caption
    }

    void verdictPanelOnlyWhileGrading() {
        SetMode("RV");
        Frm_Disp* d = FRAME::Disp();
        QMdiSubWindow* form = FRAME::DispForm();
        const QSize designed = d->size(), framed = form->size();
        const QPoint at = form->pos();
        const QList<QStringList> plain{{"017.00E-3", "+3.6500E+0"}};
        PublishRun(std::nullopt, plain);
        const QImage before = d->grab().toImage();
        QVERIFY(!d->GradingShown());
        // A logging window right below the display, and one beside it.
        auto* below = area_->addSubWindow(new QWidget);
        below->setGeometry(at.x(), form->geometry().bottom() + 1, 200, 100);
        below->show();
        auto* beside = area_->addSubWindow(new QWidget);
        beside->setGeometry(form->geometry().right() + 10, form->geometry().bottom() + 1, 200, 100);
        beside->show();
        const QPoint belowAt = below->pos(), besideAt = beside->pos();

        const GRADING::Profile p = Profile18650();
        QCOMPARE(p.bins.size(), 2);
        PublishRun(p, {{"020.00E-3", "+3.6500E+0"}, {"017.00E-3", "+3.6500E+0"}});
        QVERIFY(d->Pic_Grade->isVisibleTo(d));
        QCOMPARE(d->Lbl_Grade->text(), QStringLiteral("A"));   // the last reading's
        QCOMPARE(d->Lbl_Reason->text(), QString());
        QCOMPARE(d->Lbl_Grade->palette().color(QPalette::WindowText), QColor("#00a000"));
        QCOMPARE(d->Lbl_Grade->font().pointSizeF(), 48.0);
        // The window grows by the panel; the frame keeps its place.
        QCOMPARE(d->height(), TWIPS::ToPxY(3240));
        QCOMPARE(form->size(), framed + QSize(0, d->height() - designed.height()));
        QCOMPARE(form->pos(), at);
        QCOMPARE(d->Pic_Grade->geometry(), QRect(TWIPS::ToPxX(75), TWIPS::ToPxY(2175), TWIPS::ToPxX(4665), TWIPS::ToPxY(990)));
        // The window below moves with the display's edge, so the verdict shows.
        QCOMPARE(below->pos(), belowAt + QPoint(0, d->height() - designed.height()));
        QCOMPARE(beside->pos(), besideAt);
        delete below;
        delete beside;
        // The verdict's pixels are in the bin's colour.
        const QImage graded = d->grab().toImage();
        const QRect name = d->Lbl_Grade->geometry().translated(d->Pic_Grade->pos());
        bool coloured = false;
        for (int y = name.top(); y <= name.bottom() && !coloured; ++y)
            for (int x = name.left(); x <= name.right() && !coloured; ++x)
                coloured = graded.pixelColor(x, y) == QColor("#00a000");
        QVERIFY(coloured);

        // The next run without grading: the window is as designed, pixel for pixel.
        PublishRun(std::nullopt, plain);
        QVERIFY(!d->Pic_Grade->isVisibleTo(d));
        QCOMPARE(d->size(), designed);
        QCOMPARE(form->size(), framed);
        QCOMPARE(d->grab().toImage(), before);
    }

    void verdictTexts_data() {
        QTest::addColumn<QString>("res");
        QTest::addColumn<QString>("volt");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("colour");
        QTest::newRow("A") << "017.00E-3" << "+3.6500E+0" << "A" << "" << "#00a000";
        QTest::newRow("B, voltage open") << "020.00E-3" << "+4.1000E+0" << "B" << "" << "#a0a000";
        QTest::newRow("outside every bin") << "030.00E-3" << "+3.6500E+0" << "Reject" << "outside every bin" << "#c00000";
        QTest::newRow("A's resistance, voltage too low") << "017.00E-3" << "+3.5000E+0" << "Reject" << "outside every bin" << "#c00000";
        QTest::newRow("over range") << "1.0000E+8" << "+3.6500E+0" << "Reject" << "over range" << "#c00000";
        QTest::newRow("voltage over range") << "017.00E-3" << "+1.0000E+8" << "Reject" << "over range" << "#c00000";
        QTest::newRow("no measurement") << "1.0000E+9" << "+3.6500E+0" << "Reject" << "no measurement" << "#c00000";
        QTest::newRow("not a number") << "#####" << "+3.6500E+0" << "Reject" << "not a number" << "#c00000";
    }
    void verdictTexts() {
        QFETCH(QString, res);
        QFETCH(QString, volt);
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QFETCH(QString, colour);
        SetMode("RV");
        Frm_Disp* d = FRAME::Disp();
        PublishRun(Profile18650(), {{res, volt}});
        QCOMPARE(d->Lbl_Grade->text(), name);
        QCOMPARE(d->Lbl_Reason->text(), reason);
        QCOMPARE(d->Lbl_Grade->palette().color(QPalette::WindowText), QColor(colour));
        // The longest words fit their labels.
        QVERIFY(d->Lbl_Grade->fontMetrics().horizontalAdvance(name) <= d->Lbl_Grade->width());
        QVERIFY(d->Lbl_Reason->heightForWidth(d->Lbl_Reason->width()) <= d->Lbl_Reason->height());
    }

    void verdictSoundsBySetting() {
        // No sound device here: playing must stay quiet, and no box appears.
        TESTENV::BoxAnswerer boxes;
        Frm_Disp* d = FRAME::Disp();
        const GRADING::Profile p = Profile18650();
        const int before = d->Sounds()->Played();
        PublishRun(p, {{"017.00E-3", "+3.6500E+0"}});
        QCOMPARE(d->Sounds()->Played(), before + 1);   // on by default
        SETTING::SaveGradingSounds(false);
        PublishRun(p, {{"017.00E-3", "+3.6500E+0"}});
        QCOMPARE(d->Sounds()->Played(), before + 1);
        SETTING::SaveGradingSounds(true);
        PublishRun(p, {{"1.0000E+8", "+3.6500E+0"}});
        QCOMPARE(d->Sounds()->Played(), before + 2);
        QCoreApplication::processEvents();
        QCOMPARE(boxes.count(), 0);
        // The sounds a device would play are in the program, as WAV.
        for (const char* name : {":/orven/sounds/accept.wav", ":/orven/sounds/reject.wav"}) {
            QFile f(QString::fromLatin1(name));
            QVERIFY2(f.open(QIODevice::ReadOnly), name);
            const QByteArray head = f.read(12);
            QVERIFY(head.startsWith("RIFF") && head.endsWith("WAVE"));
        }
    }

    void messageBoxes() {
        TESTENV::BoxAnswerer boxes;
        MSG::Warn(QStringLiteral("first line\r\nsecond line"));
        QCOMPARE(boxes.last().text, QStringLiteral("first line\nsecond line"));
        QCOMPARE(boxes.last().title, QStringLiteral("ORVEN 5927 Application"));
        QCOMPARE(boxes.last().icon, int(QMessageBox::Warning));
        MSG::Notice(QStringLiteral("Done."), QStringLiteral("Other title"));
        QCOMPARE(boxes.last().title, QStringLiteral("Other title"));
        QCOMPARE(boxes.last().icon, int(QMessageBox::NoIcon));
        // The default button answers: Yes or No as asked.
        QVERIFY(MSG::AskYesNo(QStringLiteral("Go?"), true));
        QVERIFY(!MSG::AskYesNo(QStringLiteral("Go?"), false));
        QCOMPARE(boxes.last().icon, int(QMessageBox::NoIcon));
        boxes.setButton(QMessageBox::Yes);
        QVERIFY(MSG::AskYesNo(QStringLiteral("Go?"), false));
        QCOMPARE(boxes.count(), 5);
    }
};

ORVEN_TEST_MAIN(TestDisplay)
#include "test_display.moc"
