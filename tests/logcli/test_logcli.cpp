// orven5927-log end to end against the simulator: the rows it writes, how it
// stops, and the exit status of each way a run can fail.
#include <QtTest>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>

#include "sim_process.h"

namespace {

const QByteArray kMeasBatt = ":MEAS:BATT?\r\n";
const QByteArray kWaitTrigger = ":HOLD ON;*TRG;*WAI;:SAMP?\r\n";
const QByteArray kHoldOff = ":HOLD OFF\r\n";

QString LoggerPath() { return qEnvironmentVariable("ORVEN5927_LOG"); }

int Count(const QByteArray& hay, const QByteArray& needle) { return int(hay.count(needle)); }

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The rows of a CSV file after its first line, each without its CR LF;
// empty when a line does not end in CR LF.
QList<QByteArray> CsvRows(const QByteArray& file, QByteArray* header = nullptr) {
    if (!file.endsWith("\r\n")) return {};
    QList<QByteArray> lines = file.chopped(2).split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].endsWith('\r')) return {};
        lines[i].chop(1);
    }
    if (header) *header = lines.value(0);
    lines.removeFirst();
    return lines;
}

struct Logger {
    QProcess p;
    explicit Logger(const QStringList& args) {
        p.start(LoggerPath(), args);
        p.waitForStarted(10000);
    }
    ~Logger() {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
    bool end(int timeoutMs = 30000) { return p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit; }
    void signal(int sig) { ::kill(pid_t(p.processId()), sig); }
    QByteArray err() { return p.readAllStandardError(); }
};

// One line on stderr, in the program's name.
bool OneComplaint(const QByteArray& err) {
    return err.startsWith("orven5927-log: ") && err.endsWith('\n') && err.count('\n') == 1;
}

}  // namespace

class TestLogcli : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (LoggerPath().isEmpty()) QSKIP("ORVEN5927_LOG not set");
    }

    // The time-interval window's CSV, byte for byte; --append adds rows
    // without a second header, a run without it replaces the file.
    void csvAsTheWindowWritesIt_data() {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("row");
        QTest::newRow("resistance and voltage, comparator")
            << QStringList{"--comp", "1"} << QByteArray("Time,Resistance,Voltage,Comp")
            << QStringLiteral("012\\.34E-3,\\+12\\.345E\\+0,IN");
        QTest::newRow("resistance only") << QStringList{"--mode", "R"} << QByteArray("Time,Resistance")
                                         << QStringLiteral("012\\.34E-3");
    }
    void csvAsTheWindowWritesIt() {
        QFETCH(QStringList, simArgs);
        QFETCH(QByteArray, header);
        QFETCH(QString, row);
        SimProcess sim(simArgs);
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString file = dir.filePath("run 1.csv");
        {
            QFile old(file);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("an older file that is longer than the new one will be\r\n");
        }
        const QRegularExpression rowRe(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d,") + row + QLatin1Char('$'));
        auto check = [&](int rows) {
            QByteArray head;
            const QList<QByteArray> got = CsvRows(ReadAll(file), &head);
            QCOMPARE(head, header);
            QCOMPARE(got.size(), rows);
            for (const QByteArray& r : got) QVERIFY2(rowRe.match(QString::fromLatin1(r)).hasMatch(), r.constData());
        };
        {
            Logger log({"--device", sim.devicePath(), "--interval", "0", "--count", "20", "--output", file});
            QVERIFY(log.end());
            QCOMPARE(log.p.exitCode(), 0);
            QVERIFY(log.err().isEmpty());
            check(20);
        }
        {
            Logger log({"-d", sim.devicePath(), "-i", "0", "-n", "3", "--append", "-o", file});
            QVERIFY(log.end());
            QCOMPARE(log.p.exitCode(), 0);
            check(23);
        }
    }

    // Standard output redirected with >> is added to, never emptied, and a
    // CSV file there gets no second header.
    void stdoutAppendedToByTheShell() {
        SimProcess sim;
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString file = dir.filePath("shell.csv");
        for (int run = 0; run < 2; ++run) {
            QProcess shell;
            shell.start("bash", {"-c", "\"$0\" -d \"$1\" -i 0 -n 2 >> \"$2\"", LoggerPath(), sim.devicePath(), file});
            QVERIFY(shell.waitForFinished(30000));
            QCOMPARE(shell.exitCode(), 0);
        }
        QByteArray header;
        QCOMPARE(CsvRows(ReadAll(file), &header).size(), 4);
        QCOMPARE(header, QByteArray("Time,Resistance,Voltage"));
    }

    // One JSON object a line, whatever the line delivered: special values
    // marked, numbers as numbers, bytes that are no text still valid JSON.
    void jsonLines() {
        SimProcess sim({"--comp", "1", "--res", "of", "--volt", "dash"});
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString file = dir.filePath("run.jsonl");
        Logger log({"-d", sim.devicePath(), "-i", "0", "-n", "20", "-f", "jsonl", "-o", file});
        QVERIFY(log.end());
        QCOMPARE(log.p.exitCode(), 0);
        const QByteArray text = ReadAll(file);
        QVERIFY(text.endsWith('\n'));
        const QList<QByteArray> lines = text.trimmed().split('\n');
        QCOMPARE(lines.size(), 20);
        const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"));
        for (const QByteArray& line : lines) {
            QJsonParseError e;
            const QJsonObject o = QJsonDocument::fromJson(line, &e).object();
            QVERIFY2(e.error == QJsonParseError::NoError, line.constData());
            QVERIFY(iso.match(o["time"].toString()).hasMatch());
            QVERIFY(o["resistance"].isNull());
            QCOMPARE(o["resistance_status"].toString(), QStringLiteral("over_range"));
            QCOMPARE(o["resistance_text"].toString(), QStringLiteral("1.0000E+8"));
            QVERIFY(o["voltage"].isNull());
            QCOMPARE(o["voltage_status"].toString(), QStringLiteral("no_measurement"));
            QCOMPARE(o["voltage_text"].toString(), QStringLiteral("+1.0000E+9"));
            QCOMPARE(o["comparator"].toString(), QStringLiteral("IN"));
        }

        // A plain reading, then one line of quotes, a backslash, DEL and
        // bytes that are no UTF-8, slipped in while the run waits (the link
        // drops the other control bytes).
        sim.control("set res 051.10E-3");
        sim.control("set volt +3.701E+0");
        Logger odd({"-d", sim.devicePath(), "-i", "3", "-n", "2", "-f", "jsonl"});
        const int before = Count(sim.received(), kMeasBatt);
        QVERIFY(QTest::qWaitFor([&] { return Count(sim.received(), kMeasBatt) > before; }, 10000));
        const QByteArray garbage("\"q\\\x01\xff\t,+1.0000E+8,\xe9IN\x7f\r\n");
        QVERIFY(sim.control("send " + QString::fromLatin1(garbage.toHex())));
        QVERIFY(odd.end());
        QCOMPARE(odd.p.exitCode(), 0);
        const QList<QByteArray> out = odd.p.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(out.size(), 2);
        const QJsonObject plain = QJsonDocument::fromJson(out[0]).object();
        QCOMPARE(plain["resistance"].toDouble(), 0.0511);
        QCOMPARE(plain["resistance_status"].toString(), QStringLiteral("ok"));
        QCOMPARE(plain["voltage"].toDouble(), 3.701);
        QJsonParseError e;
        const QJsonObject o = QJsonDocument::fromJson(out[1], &e).object();
        QVERIFY2(e.error == QJsonParseError::NoError, out[1].constData());
        for (const char c : out[1]) QVERIFY2(c >= 0x20 && c < 0x7F, out[1].constData());
        QCOMPARE(o["resistance_text"].toString(), QString::fromLatin1("\"q\\\xff"));
        QCOMPARE(o["resistance_status"].toString(), QStringLiteral("not_a_number"));
        QVERIFY(o["resistance"].isNull());
        QCOMPARE(o["voltage_status"].toString(), QStringLiteral("over_range"));
        QCOMPARE(o["comparator"].toString(), QString::fromLatin1("\xe9IN\x7f"));
    }

    // --profile: the Bin and Cell ID columns, the grade in JSON, and the
    // bins' tally on stderr however the run ends; a damaged profile is one
    // line naming its line, and the port is never opened.
    void profileGradesEveryReading() {
        SimProcess sim({"--res", "016.00E-3"});
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString profile = dir.filePath("cells.grading");
        {
            QFile f(profile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("name = cells\n[bin]\nname = A\nresistance low = 15m\nresistance high = 18.5m\n"
                    "[bin]\nname = Grade B\nresistance low = 18.5m\nresistance high = 22m\n");
        }
        const QString csv = dir.filePath("graded.csv");
        {
            Logger log({"-d", sim.devicePath(), "-i", "0", "-n", "3", "--profile", profile, "-o", csv});
            QVERIFY(log.end());
            QCOMPARE(log.p.exitCode(), 0);
            QCOMPARE(log.err(), QByteArray("bin        count    share\n"
                                           "A              3  100.0 %\n"
                                           "Grade B        0    0.0 %\n"
                                           "Reject         0    0.0 %\n"
                                           "yield 100.0 % of 3 graded\n"));
            QByteArray header;
            const QList<QByteArray> rows = CsvRows(ReadAll(csv), &header);
            QCOMPARE(header, QByteArray("Time,Resistance,Voltage,Bin,Cell ID"));
            QCOMPARE(rows.size(), 3);
            for (const QByteArray& r : rows) QVERIFY2(r.endsWith(",016.00E-3,+12.345E+0,A,"), r.constData());
        }
        {
            Logger log({"-d", sim.devicePath(), "-i", "0", "-n", "1", "-p", profile, "-f", "jsonl"});
            QVERIFY(log.end());
            const QJsonObject o = QJsonDocument::fromJson(log.p.readAllStandardOutput()).object();
            QCOMPARE(o["bin"].toString(), QStringLiteral("A"));
            QCOMPARE(o["accepted"].toBool(false), true);
            QVERIFY(o.contains("reject_reason") && o["reject_reason"].isNull());
        }

        // Stopped by SIGTERM: every row a reject, and still the tally.
        sim.control("set res of");
        const QString jsonl = dir.filePath("graded.jsonl");
        Logger stopped({"-d", sim.devicePath(), "-i", "0", "-p", profile, "-f", "jsonl", "-o", jsonl});
        QVERIFY(QTest::qWaitFor([&] { return Count(sim.received(), kMeasBatt) >= 5; }, 20000));
        stopped.signal(SIGTERM);
        QVERIFY(stopped.end());
        QCOMPARE(stopped.p.exitCode(), 0);
        const QList<QByteArray> lines = ReadAll(jsonl).trimmed().split('\n');
        QVERIFY(lines.size() >= 5);
        for (const QByteArray& line : lines) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            QCOMPARE(o["bin"].toString(), QStringLiteral("Reject"));
            QCOMPARE(o["accepted"].toBool(true), false);
            QCOMPARE(o["reject_reason"].toString(), QStringLiteral("over range"));
        }
        const QByteArray n = QByteArray::number(lines.size());
        const QByteArray err = stopped.err();
        QVERIFY2(err.contains("\nReject" + QByteArray(10 - n.size(), ' ') + n + "  100.0 %\n"), err.constData());
        QVERIFY2(err.endsWith("yield 0.0 % of " + n + " graded\n"), err.constData());

        // A damaged profile: nothing is sent to the instrument.
        const QString damaged = dir.filePath("damaged.grading");
        {
            QFile f(damaged);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("name = cells\n[bin]\nname = A\nresistance low = 15 mOhm\n");
        }
        const qsizetype sent = sim.received().size();
        Logger bad({"-d", sim.devicePath(), "-n", "1", "-p", damaged});
        QVERIFY(bad.end());
        QCOMPARE(bad.p.exitCode(), 2);
        const QByteArray complaint = bad.err();
        QVERIFY2(OneComplaint(complaint), complaint.constData());
        QVERIFY2(complaint.contains("damaged.grading") && complaint.contains("Line 4"), complaint.constData());
        QVERIFY(bad.p.readAllStandardOutput().isEmpty());
        QCOMPARE(sim.received().size(), sent);
    }

    // SIGTERM in an unbounded run: the reading in flight is finished and
    // written, so every answered query is a whole row on disk.
    void sigtermKeepsEveryAnsweredReading() {
        SimProcess sim({"--delay", "20"});
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString file = dir.filePath("run.csv");
        Logger log({"-d", sim.devicePath(), "-i", "0", "-o", file});
        QVERIFY(QTest::qWaitFor([&] { return Count(sim.received(), kMeasBatt) >= 10; }, 20000));
        log.signal(SIGTERM);
        QVERIFY(log.end());
        QCOMPARE(log.p.exitCode(), 0);
        QVERIFY(log.err().isEmpty());
        const QList<QByteArray> rows = CsvRows(ReadAll(file));
        QCOMPARE(rows.size(), Count(sim.received(), kMeasBatt));
        const QRegularExpression rowRe(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d,012\\.34E-3,\\+12\\.345E\\+0$"));
        for (const QByteArray& r : rows) QVERIFY2(rowRe.match(QString::fromLatin1(r)).hasMatch(), r.constData());
    }

    // However a trigger run ends, the instrument is released last.
    void triggerRunReleasesTheInstrument_data() {
        QTest::addColumn<int>("signal");   // 0: --count 2 ends it
        QTest::newRow("SIGINT while waiting") << int(SIGINT);
        QTest::newRow("SIGHUP while waiting") << int(SIGHUP);
        QTest::newRow("count reached") << 0;
    }
    void triggerRunReleasesTheInstrument() {
        QFETCH(int, signal);
        SimProcess sim;
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString file = dir.filePath("trigger.csv");
        QStringList args{"-d", sim.devicePath(), "--trigger", "-o", file};
        if (!signal) args << "--count" << "2";
        Logger log(args);
        for (int n = 1; n <= 2; ++n) {
            QVERIFY(QTest::qWaitFor([&] { return Count(sim.received(), kWaitTrigger) >= n; }, 10000));
            sim.trigger();
        }
        if (signal) {
            QVERIFY(QTest::qWaitFor([&] { return Count(sim.received(), kWaitTrigger) >= 3; }, 10000));
            log.signal(signal);
        }
        QVERIFY(log.end());
        QCOMPARE(log.p.exitCode(), 0);
        QVERIFY(sim.waitReceived(kHoldOff));
        QVERIFY2(sim.received().endsWith(kHoldOff), sim.received().right(80).constData());
        QByteArray header;
        const QList<QByteArray> rows = CsvRows(ReadAll(file), &header);
        QCOMPARE(header, QByteArray("Time,Resistance,Voltage"));
        QCOMPARE(rows.size(), 2);
    }

    // Each failure: one line on stderr and its own exit status; whole rows.
    void unplugGivesDeviceLost() {
        SimProcess sim;
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString file = dir.filePath("run.csv");
        Logger log({"-d", sim.devicePath(), "-i", "0.5", "-o", file});
        QVERIFY(QTest::qWaitFor([&] { return Count(sim.received(), kMeasBatt) >= 2; }, 10000));
        sim.control("unplug");
        QVERIFY(log.end());
        QCOMPARE(log.p.exitCode(), 4);
        QVERIFY(OneComplaint(log.err()));
        const QList<QByteArray> rows = CsvRows(ReadAll(file));
        QVERIFY(rows.size() >= 2);
    }

    void failuresHaveTheirStatus_data() {
        QTest::addColumn<QStringList>("args");   // %DEV% is the simulator's device
        QTest::addColumn<int>("status");
        QTest::newRow("no such device") << QStringList{"-d", "/dev/orven5927-none"} << 3;
        QTest::newRow("output folder missing") << QStringList{"-d", "%DEV%", "-o", "/nonexistent/run.csv"} << 1;
        QTest::newRow("output full") << QStringList{"-d", "%DEV%", "-i", "0", "-o", "/dev/full"} << 1;
        QTest::newRow("interval too long") << QStringList{"-i", "3601"} << 2;
        QTest::newRow("unknown format") << QStringList{"--format", "xml"} << 2;
        QTest::newRow("unknown option") << QStringList{"--colour"} << 2;
    }
    void failuresHaveTheirStatus() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        SimProcess sim;
        QVERIFY(sim.started());
        args.replaceInStrings("%DEV%", sim.devicePath());
        Logger log(args);
        QVERIFY(log.end());
        QCOMPARE(log.p.exitCode(), status);
        QVERIFY(OneComplaint(log.err()));
        QVERIFY(log.p.readAllStandardOutput().isEmpty());
    }

    // A silent instrument: status 5 after the answer time, and the file it
    // would have replaced is still whole.
    void silentInstrumentKeepsTheOldFile() {
        SimProcess sim({"--silent"});
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString file = dir.filePath("kept.csv");
        const QByteArray old = "Time,Resistance\r\n10:00:00,012.34E-3\r\n";
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        Logger log({"-d", sim.devicePath(), "-o", file});
        QVERIFY(log.end(60000));
        QCOMPARE(log.p.exitCode(), 5);
        QVERIFY(OneComplaint(log.err()));
        QCOMPARE(ReadAll(file), old);
    }

    // A reader that stops reading (| head) ends the run quietly.
    void readerGoneEndsQuietly() {
        SimProcess sim;
        QVERIFY(sim.started());
        QProcess shell;
        shell.start("bash", {"-c", "set -o pipefail; \"$0\" -d \"$1\" -i 0 | head -c 300 >/dev/null",
                             LoggerPath(), sim.devicePath()});
        QVERIFY(shell.waitForFinished(30000));
        QCOMPARE(shell.exitCode(), 0);
        QVERIFY(shell.readAllStandardError().isEmpty());
        QVERIFY(sim.waitReceived(kMeasBatt));
    }

    void helpAndVersion() {
        Logger help({"--help"});
        QVERIFY(help.end());
        QCOMPARE(help.p.exitCode(), 0);
        const QByteArray usage = help.p.readAllStandardOutput();
        QVERIFY(usage.startsWith("Usage: orven5927-log"));
        for (const char* option : {"--device", "--interval", "--count", "--trigger", "--output", "--format",
                                   "--append", "--quiet"})
            QVERIFY2(usage.contains(option), option);
        QVERIFY(help.err().isEmpty());
        Logger version({"-V"});
        QVERIFY(version.end());
        QCOMPARE(version.p.exitCode(), 0);
        QVERIFY(version.p.readAllStandardOutput().startsWith("orven5927-log "));
    }

    // The progress line only on a terminal, and not with --quiet.
    void progressOnATerminalOnly() {
        SimProcess sim;
        QVERIFY(sim.started());
        QTemporaryDir dir;
        const QString file = dir.filePath("run.csv");
        auto underPty = [&](const QString& extra) {
            QProcess script;
            const QString cmd = QStringLiteral("'%1' -d '%2' -i 1 -n 3 -o '%3' %4")
                                    .arg(LoggerPath(), sim.devicePath(), file, extra);
            script.start("script", {"-qec", cmd, "/dev/null"});
            script.waitForFinished(30000);
            return std::make_pair(script.exitCode(), script.readAllStandardOutput());
        };
        const auto [rc, shown] = underPty({});
        QCOMPARE(rc, 0);
        QVERIFY2(shown.contains("\rreading 1 of 3"), shown.constData());
        QVERIFY2(shown.contains(", next in 1 s, ends about "), shown.constData());
        QVERIFY2(shown.contains("\rreading 3 of 3"), shown.constData());
        const auto [quietRc, quiet] = underPty("--quiet");
        QCOMPARE(quietRc, 0);
        QVERIFY2(!quiet.contains("reading"), quiet.constData());

        Logger piped({"-d", sim.devicePath(), "-i", "0", "-n", "3", "-o", file});
        QVERIFY(piped.end());
        QCOMPARE(piped.p.exitCode(), 0);
        QVERIFY(piped.err().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLogcli)
#include "test_logcli.moc"
