// A settings file that was damaged, holds numbers beyond their range or values of
// the wrong kind, cannot be written, or cannot even be a file: the whole
// program still starts, measures, and ends cleanly, in a child process.
#include <QRandomGenerator>
#include <QSettings>
#include <QtTest>

#include <sys/stat.h>

#include "fault_child.h"
#include "fault_parent.h"
#include "test_env.h"

using namespace FAULT;

namespace {
const QByteArray kMeasRes = ":MEAS:RES?\r\n";

QByteArray Noise(quint32 seed, int n) {
    QRandomGenerator rng(seed);
    QByteArray b(n, '\0');
    for (char& c : b) c = char(rng.bounded(256u));
    return b;
}

bool InInt32(const QVariant& v) {
    bool ok = false;
    v.toString().toInt(&ok);
    return ok;
}

// What makes a child able to open files as uid 65534: the folders on the way
// and the simulator's device.
void OpenUpFor65534(const QString& dir, const SimProcess& sim) {
    ::chmod(QFile::encodeName(dir).constData(), 0755);
    ::chmod(QFile::encodeName(sim.devicePath()).constData(), 0666);
    ClearStaleLock(sim.devicePath());
}
}  // namespace

class TestSettingsFaults : public QObject {
    Q_OBJECT

    // Starts the program on the given store, runs the test measurement and
    // closes the main window.
    void runOnStore(Child& child, SimProcess& sim) {
        child.start(QStringLiteral("test"), sim);
        QVERIFY2(child.waitLine("MAIN"), qPrintable(child.output()));
        QVERIFY2(PollUntil([&] { return Count(sim.received(), kMeasRes) >= 3; }), qPrintable(child.output()));
        child.askToClose();
        QVERIFY2(child.waitFinished(), qPrintable(child.output()));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QVERIFY2(child.boxes().isEmpty(), qPrintable(child.boxes().join('\n')));
    }

private slots:
    void damagedStoreStillRuns_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("keepsVersion");
        QTest::newRow("binary garbage") << Noise(1, 4096) << false;
        QTest::newRow("garbage after the version")
            << QByteArray("[Version]\nNumber=120\n") + Noise(2, 2048) << true;
        QTest::newRow("numbers beyond their range")
            << QByteArray("[Version]\nNumber=120\n[Communications]\nCom%20Port=70000\n"
                          "[Form%20Main]\nTop=2147483648\nLeft=-3e9\nWidth=1e10\nHeight=-2147483649\n"
                          "[Form%20Display]\nTop=2147483648\nLeft=-2147483649\n")
            << true;
        QTest::newRow("values of the wrong kind")
            << QByteArray("[Version]\nNumber=120\n[Communications]\nCom%20Port=\"0, 1\"\n"
                          "[Form%20Main]\nTop=@ByteArray(12)\nLeft=true\nWidth=@Point(1 2)\nHeight=1e99\n"
                          "[Form%20Display]\nTop=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)\nLeft=\n"
                          "[Configuration]\nSingle%20Meas%20Output%20Method=@Rect(1 2 3 4)\n")
            << true;
    }
    void damagedStoreStillRuns() {
        QFETCH(QByteArray, content);
        QFETCH(bool, keepsVersion);
        SimProcess sim({"--mode", "R"});
        QVERIFY(sim.started());
        Child child;
        QVERIFY(QDir().mkpath(QFileInfo(child.settingsFile()).path()));
        {
            QFile f(child.settingsFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        runOnStore(child, sim);
        // Shutdown left a store that reads back whole, with positions the
        // readers take.
        QSettings s(child.settingsFile(), QSettings::IniFormat);
        QCOMPARE(s.status(), QSettings::NoError);
        QCOMPARE(s.value("Version/Number").toString(), QStringLiteral("120"));
        for (const char* key : {"Form Main/Top", "Form Main/Left", "Form Main/Width", "Form Main/Height",
                                "Form Display/Top", "Form Display/Left"})
            QVERIFY2(InInt32(s.value(key)), key);
        if (!keepsVersion) QVERIFY(!s.contains("Communications/Com Port") || s.value("Communications/Com Port") == "0");
        if (QByteArray(QTest::currentDataTag()) == "numbers beyond their range") {
            // Each bad number fell back to its default, and the windows were
            // placed by those defaults.
            QCOMPARE(s.value("Form Display/Top").toString(), QStringLiteral("0"));
            QCOMPARE(s.value("Form Display/Left").toString(), QStringLiteral("0"));
            QVERIFY2(qAbs(s.value("Form Main/Width").toInt() - 5085) <= 30, qPrintable(s.value("Form Main/Width").toString()));
            QVERIFY2(qAbs(s.value("Form Main/Height").toInt() - 6825) <= 30, qPrintable(s.value("Form Main/Height").toString()));
        }
    }

    // The store cannot be written: as a file that this user may only read,
    // or because its folder is a plain file.
    void unwritableStoreStillRuns_data() {
        QTest::addColumn<bool>("folderIsFile");
        QTest::newRow("read-only file") << false;
        QTest::newRow("folder is a file") << true;
    }
    void unwritableStoreStillRuns() {
        QFETCH(bool, folderIsFile);
        SimProcess sim({"--mode", "R"});
        QVERIFY(sim.started());
        Child child;
        const QString folder = QFileInfo(child.settingsFile()).path();
        const QByteArray content = "[Version]\nNumber=120\n[Form%20Main]\nWidth=6000\nHeight=7000\n";
        const QString target = folderIsFile ? folder : child.settingsFile();
        if (!folderIsFile) QVERIFY(QDir().mkpath(folder));
        {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        if (!folderIsFile) {
            ::chmod(QFile::encodeName(target).constData(), 0444);
            // Root writes anyway: the program runs as another user then.
            if (::geteuid() == 0) {
                child.setEnv(QStringLiteral("ORVEN_FAULT_NOBODY"), QStringLiteral("1"));
                OpenUpFor65534(child.configDir(), sim);
            }
        }
        runOnStore(child, sim);
        if (!folderIsFile && ::geteuid() == 0) QVERIFY(child.hasLine("UID 65534"));
        QCOMPARE(ReadAll(target), content);
        QVERIFY(QFileInfo(target).isFile());
    }
};

int main(int argc, char** argv) {
    FAULT::RunChildIfAsked(argc, argv);
    TESTENV::UseTemporarySettings();
    QApplication app(argc, argv);
    TestSettingsFaults tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_settings_faults.moc"
