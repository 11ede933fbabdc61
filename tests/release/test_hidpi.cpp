// The windows on a screen of 144 logical DPI with no scaling by Qt (a
// desktop set to 150 %): twips must follow the screen's DPI, as the fonts in
// points do, or the text no longer fits its controls.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "frm_disp.h"
#include "frm_opening.h"
#include "process.h"
#include "test_env.h"
#include "twips.h"

namespace {

constexpr double kDpi = 144.0;

// Every label and button showing one line of text: the text's width fits
// the control (a pixel of rounding allowed).
QStringList TooNarrow(QWidget* window, int* checked) {
    QStringList bad;
    *checked = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        QString text;
        int room = 0;
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap() && label->pixmap().isNull()) {
            text = label->text();
            room = label->contentsRect().width() - 2 * label->margin();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text();
            room = button->width();
        }
        text.remove(QLatin1Char('&'));
        if (text.trimmed().isEmpty() || text.contains(QLatin1Char('\n'))) continue;
        ++*checked;
        const int need = w->fontMetrics().horizontalAdvance(text.trimmed());
        if (need > room + 1)
            bad << QStringLiteral("%1 \"%2\": %3 px of text in %4 px").arg(w->metaObject()->className(), text)
                       .arg(need).arg(room);
    }
    return bad;
}

}  // namespace

class TestHiDpi : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // An ending process would look like a passed test.
        SETTING::SetProcessEnder([](int code) { qFatal("the program ended (code %d) during the test", code); });
    }

    void twipsFollowTheScreen() {
        QScreen* screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        QCOMPARE(screen->devicePixelRatio(), 1.0);
        QCOMPARE(screen->logicalDotsPerInchX(), kDpi);
        QCOMPARE(TWIPS::DpiX(), kDpi);
        QCOMPARE(TWIPS::DpiY(), kDpi);
        QCOMPARE(TWIPS::ToPxX(1440), 144);
        QCOMPARE(TWIPS::ToPxY(720), 72);
        QCOMPARE(TWIPS::FromPxX(144), 1440.0);
        // A font in points takes the same share of an inch on any screen.
        QFont f;
        f.setPointSizeF(36);
        QCOMPARE(QFontInfo(f).pixelSize(), 72);
    }

    void openingWindowTextFits() {
        APP::Main();
        Frm_Opening* f = APP::OpeningForm();
        QVERIFY(f && f->isVisible());
        int checked = 0;
        const QStringList bad = TooNarrow(f, &checked);
        QVERIFY2(bad.isEmpty(), qPrintable(bad.join(QStringLiteral("; "))));
        QVERIFY(checked >= 3);   // title, version, OK
        // The designed client area is 2925 twips high: about two inches here.
        QVERIFY(qAbs(f->height() - TWIPS::ToPxY(2925)) < TWIPS::ToPxY(2925) / 2);
        f->hide();
    }

    void displayReadingsFit() {
        Frm_Disp disp;
        disp.Form_Load();
        disp.show();
        // The widest texts the two readings can show.
        disp.DisplayR(QStringLiteral("888.88E-3"));
        disp.DisplayV(QStringLiteral("-88.888E+0"));
        QVERIFY(QTest::qWaitForWindowExposed(&disp));
        int checked = 0;
        const QStringList bad = TooNarrow(&disp, &checked);
        QVERIFY2(bad.isEmpty(), qPrintable(bad.join(QStringLiteral("; "))));
        QVERIFY(checked >= 4);   // both readings and their units
    }
};

int main(int argc, char** argv) {
    TESTENV::UseTemporarySettings();
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("screens.json")));
    if (!dir.isValid() || !config.open(QIODevice::WriteOnly)) return 2;
    config.write(R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 2560, "height": 1440,
                    "logicalDpi": 144, "logicalBaseDpi": 144, "dpr": 1}]})");
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
    QApplication app(argc, argv);
    TestHiDpi tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_hidpi.moc"
