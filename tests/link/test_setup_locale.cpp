// Instrument answers read the same whatever the user's locale. Qt switches
// the C library to the user's locale at start-up, so under a locale with a
// decimal comma anything that parses through that locale reads "1.5" as 1.
#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <cstdlib>

#include "errors.h"
#include "settings.h"
#include "setup.h"
#include "test_env.h"
#include "rs_lib32.h"

class TestSetupLocale : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void leadingNumberUsesThePoint_data();
    void leadingNumberUsesThePoint();
    void comparatorStateUnderCommaLocale();
};

void TestSetupLocale::initTestCase() {
    QVERIFY(dir.isValid());
    // The machine may have no such locale installed: build one privately.
    QProcess p;
    p.start(QStringLiteral("localedef"),
            {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"), QStringLiteral("UTF-8"),
             dir.filePath(QStringLiteral("de_DE.UTF-8"))});
    if (!p.waitForStarted(10000)) QSKIP("localedef is not installed (Debian package locales)");
    QVERIFY(p.waitForFinished(120000));
    qputenv("LOCPATH", QFile::encodeName(dir.path()));
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        QSKIP("no de_DE locale source to build from (Debian package locales)");
    // The locale really is in force: the C library now stops at the point.
    QCOMPARE(std::strtod("1.5", nullptr), 1.0);
}

void TestSetupLocale::cleanupTestCase() { std::setlocale(LC_ALL, "C"); }

void TestSetupLocale::leadingNumberUsesThePoint_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("value");
    QTest::newRow("fraction") << "1.5" << 1.5;
    QTest::newRow("signed, blanks first") << "  -2.25" << -2.25;
    QTest::newRow("exponent after a fraction") << "0.5E+1" << 5.0;
    QTest::newRow("reading form") << "333.33E-3" << 0.33333;
    // A comma is no decimal mark for the instrument, whatever the locale.
    QTest::newRow("comma ends the number") << "12,5" << 12.0;
}

void TestSetupLocale::leadingNumberUsesThePoint() {
    QFETCH(QString, field);
    QFETCH(double, value);
    QCOMPARE(SETTING::LeadingNumber(field), value);
}

void TestSetupLocale::comparatorStateUnderCommaLocale() {
    RS_LIB32::ProgramLink().InstrumentSetup = {};
    SETTING::ApplySetupAnswer({QStringLiteral("R"), QStringLiteral("FAST"), QStringLiteral("1.5")}, RS_LIB32::ProgramLink().InstrumentSetup);
    QCOMPARE(RS_LIB32::ProgramLink().InstrumentSetup.CompState, qint16(2));
    SETTING::ApplySetupAnswer({QStringLiteral("R"), QStringLiteral("FAST"), QStringLiteral("0.4E+1")}, RS_LIB32::ProgramLink().InstrumentSetup);
    QCOMPARE(RS_LIB32::ProgramLink().InstrumentSetup.CompState, qint16(4));
    // Out of range only because the fraction and exponent are read.
    QVERIFY_THROWS_EXCEPTION(OverflowError,
                             SETTING::ApplySetupAnswer({QStringLiteral("R"), QStringLiteral("FAST"),
                                                        QStringLiteral("3.3E+4")}, RS_LIB32::ProgramLink().InstrumentSetup));
    // Stored numbers go through Qt's own conversion, which ignores the locale too.
    QCOMPARE(SETTING::ToInt16(QStringLiteral("2.5")), qint16(2));
    QCOMPARE(SETTING::ToInt16(QStringLiteral("3.5")), qint16(4));
}

ORVEN_TEST_MAIN(TestSetupLocale)
#include "test_setup_locale.moc"
