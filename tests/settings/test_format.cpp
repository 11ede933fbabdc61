// Display forms of resistance and voltage fields.
#include "format.h"
#include "test_env.h"

#include <QCoreApplication>
#include <QtTest>

using SETTING::FormatResistance;
using SETTING::FormatVoltage;

class FormatTest : public QObject {
    Q_OBJECT
private slots:
    void resistance_data();
    void resistance();
    void voltage_data();
    void voltage();
    void longTextsStayInRange();
};

void FormatTest::resistance_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    // Markers of the two out-of-range states.
    QTest::newRow("overflow marker") << "1.0000E+8" << "  O.F  ";
    QTest::newRow("dash marker") << "1.0000E+9" << " ----- ";
    // Unit prefixes and zero blanking.
    QTest::newRow("milli") << "333.33E-3" << "333.33m";
    QTest::newRow("two zeros blanked") << "003.45E-3" << "  3.45m";
    QTest::newRow("zero before point kept") << "000.12E-3" << "  0.12m";
    QTest::newRow("E+0 becomes a blank") << "012.34E+0" << " 12.34 ";
    QTest::newRow("kilo") << "1.2345E+3" << "1.2345k";
    QTest::newRow("sign stops blanking") << "+123.45E-3" << "+123.45m";
    QTest::newRow("other exponent stays") << "0.1234E+6" << "0.1234E+6";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("zero reading") << "0.0000E+0" << "0.0000 ";
    QTest::newRow("zeros only keep the last") << "0000" << "   0";
    QTest::newRow("single zero") << "0" << "0";
    QTest::newRow("blanking stops at first non-zero") << "0102E+0" << " 102 ";
    QTest::newRow("zero pair before point") << "00.5E+3" << " 0.5k";
    QTest::newRow("exponent only") << "E-3" << "m";
    QTest::newRow("two characters") << "00" << " 0";
    // Near misses of the markers are ordinary readings.
    QTest::newRow("marker with leading blank") << " 1.0000E+8" << " 1.0000E+8";
    QTest::newRow("marker with trailing CR") << "1.0000E+9\r" << "1.0000E+9\r";
    QTest::newRow("marker lower case e") << "1.0000e+8" << "1.0000e+8";
    QTest::newRow("lower case milli not a prefix") << "012.00e-3" << " 12.00e-3";
    QTest::newRow("marker after a zero") << "01.0000E+8" << " 1.0000E+8";
}

void FormatTest::resistance() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    QString text = in;
    FormatResistance(text);
    QCOMPARE(text, out);
}

void FormatTest::voltage_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("overflow marker") << "+1.0000E+8" << "+ O.F  ";
    QTest::newRow("dash marker") << "-1.0000E+9" << "------ ";
    QTest::newRow("negative zero") << "-0.0000E+0" << "-0.0000";
    QTest::newRow("leading zero blanked") << "+01.234E+0" << "+ 1.234";
    QTest::newRow("no zero") << "+12.345E+0" << "+12.345";
    QTest::newRow("exponent dropped unread") << "+1.2345E-3" << "+1.2345";
    QTest::newRow("marker without sign") << "1.0000E+8" << "1.0000";
    QTest::newRow("marker with trailing CR") << "+1.0000E+8\r" << "+1.0000E";
    QTest::newRow("marker with blank after sign") << "+ 1.0000E+9" << "+ 1.0000";
    QTest::newRow("two zeros") << "+00.00E+0" << "+ 0.00";
    QTest::newRow("three zeros") << "-000.0E+0" << "-  0.0";
    QTest::newRow("sign is any first character") << "001.5E+0" << "0 1.5";
    QTest::newRow("just sign and exponent") << "+E+0" << "+";
    // Shorter than a reading: shown as received.
    QTest::newRow("empty") << "" << "";
    QTest::newRow("sign only") << "+" << "+";
    QTest::newRow("two chars") << "+0" << "+0";
    QTest::newRow("three chars") << "-00" << "-00";
}

void FormatTest::voltage() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    QString text = in;
    FormatVoltage(text);
    QCOMPARE(text, out);
}

// Fields longer than 16-bit counts are not readings, but must not break anything.
void FormatTest::longTextsStayInRange() {
    const int zeros = 40000;
    QString r = QString(zeros, QLatin1Char('0')) + QStringLiteral("1E-3");
    FormatResistance(r);
    QCOMPARE(r, QString(zeros, QLatin1Char(' ')) + QStringLiteral("1m"));

    QString v = QStringLiteral("-") + QString(zeros, QLatin1Char('0')) + QStringLiteral("E+0");
    FormatVoltage(v);
    // The last zero is followed by the exponent, not by the end, so it goes too.
    QCOMPARE(v, QStringLiteral("-") + QString(zeros, QLatin1Char(' ')));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    FormatTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_format.moc"
