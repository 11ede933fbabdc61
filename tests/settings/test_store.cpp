// The per-user store: names, defaults, fallbacks, version check, damaged files.
#include "errors.h"
#include "settings.h"
#include "test_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include <functional>
#include <memory>

using namespace SETTING;

namespace {

QSettings* rawStore() { return new QSettings(QStringLiteral("ORVEN"), QStringLiteral("ORVEN 5927 RS")); }

// Independent access by literal names, so a misspelt key constant shows up.
QString raw(const QString& path) {
    std::unique_ptr<QSettings> s(rawStore());
    return s->value(path).toString();
}
bool rawContains(const QString& path) {
    std::unique_ptr<QSettings> s(rawStore());
    return s->contains(path);
}
void rawSet(const QString& path, const QString& value) {
    std::unique_ptr<QSettings> s(rawStore());
    s->setValue(path, value);
    s->sync();
}

QString confPath() {
    std::unique_ptr<QSettings> s(rawStore());
    return s->fileName();
}

void writeConf(const QByteArray& bytes) {
    QFile f(confPath());
    QVERIFY(QDir().mkpath(QFileInfo(f).absolutePath()));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

constexpr int kChildTop = 2400;   // the display window's height passed to the child loaders

// Every number that falls back on its own, with its literal place in the
// store, its reader and its default. Window positions are 32-bit, the rest 16.
struct NumKey {
    const char* path;
    std::function<int()> load;
    int def;
    bool wide = true;
};

QList<NumKey> numberKeys() {
    auto top = [](void (*f)(qint32&, qint32&, int)) {
        return [f] { qint32 t = 0, l = 0; f(t, l, kChildTop); return t; };
    };
    auto left = [](void (*f)(qint32&, qint32&, int)) {
        return [f] { qint32 t = 0, l = 0; f(t, l, kChildTop); return l; };
    };
    return {
        {"Communications/Com Port", [] { return int(ReadComPort()); }, 0, false},
        {"Configuration/Single Meas Output Method", [] { return int(LoadSingleOutputMethod()); }, 1, false},
        {"Configuration/ExtIo Meas Output Method", [] { return int(LoadExtIoOutputMethod()); }, 1, false},
        {"Form Display/Top", [] { qint32 t = 0, l = 0; LoadDispPos(t, l); return t; }, 0},
        {"Form Display/Left", [] { qint32 t = 0, l = 0; LoadDispPos(t, l); return l; }, 0},
        {"Form Time/Top", top(LoadTimePos), kChildTop},
        {"Form Time/Left", left(LoadTimePos), 0},
        {"Form Single/Top", top(LoadSinglePos), kChildTop},
        {"Form Single/Left", left(LoadSinglePos), 0},
        {"Form ExtIo/Top", top(LoadExtIoPos), kChildTop},
        {"Form ExtIo/Left", left(LoadExtIoPos), 0},
    };
}

void verifyAllDefaults() {
    for (const NumKey& k : numberKeys()) QVERIFY2(k.load() == k.def, k.path);
    qint32 t = 0, l = 0, w = 0, h = 0;
    LoadMainPos(t, l, 19200, 14400);
    LoadMainSize(w, h);
    QCOMPARE(QList<int>({t, l, w, h}), QList<int>({3787, 7057, 5085, 6825}));
    QCOMPARE(LoadSingleMeasFile(), QString());
    QCOMPARE(LoadExtIoMeasFile(), QString());
    QCOMPARE(LoadGradingEnabled(), false);
    QCOMPARE(LoadGradingSounds(), true);
    QCOMPARE(LoadGradingProfile(), QString());
}

// The device keys are written by hand only; a wipe keeps them.
void verifyDevices(const QString& com1, const QString& com2) {
    QCOMPARE(StoredDevicePath(0), com1);
    QCOMPARE(StoredDevicePath(1), com2);
}

// Stores a value other than the default under every key.
void storeNonDefaults() {
    WriteComPort(1);
    SaveSingleOutputMethod(0);
    SaveExtIoOutputMethod(0);
    SaveMainGeometry(11, 12, 13, 14);
    SaveDispPos(21, 22);
    SaveTimePos(31, 32);
    SaveSinglePos(41, 42);
    SaveExtIoPos(51, 52);
    SaveSingleMeasFile(QStringLiteral("/data/single.csv"));
    SaveExtIoMeasFile(QStringLiteral("/data/extio.csv"));
    SaveGradingEnabled(true);
    SaveGradingSounds(false);
    SaveGradingProfile(QStringLiteral("/data/cells.grading"));
    rawSet(QStringLiteral("Communications/COM1 Device"), QStringLiteral("/dev/pts/7"));
    rawSet(QStringLiteral("Communications/COM2 Device"), QStringLiteral("/dev/pts/8"));
}

}  // namespace

class StoreTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyStoreGivesDefaults();
    void writersUseTheirNames();
    void readersUseTheirNames();

    void toInt16_data();
    void toInt16();

    void mainPositionCentresAndFallsBackTogether_data();
    void mainPositionCentresAndFallsBackTogether();
    void mainPositionDefaultForOddScreens();
    void mainSizeFallsBackTogether_data();
    void mainSizeFallsBackTogether();
    void otherNumbersFallBackPerKey_data();
    void otherNumbersFallBackPerKey();

    void versionCheck_data();
    void versionCheck();
    void resetRestoresEveryDefault();
    void onlyTheUsersOwnFileIsRead();

    void garbageFileIsSurvived();
    void foreignValueTypesAreIgnored();
    void storeThatCannotBeOpened_data();
    void storeThatCannotBeOpened();

    void windowOpenFlags();
    void gradingAsWrittenByHand_data();
    void gradingAsWrittenByHand();
};

void StoreTest::initTestCase() {
    // Everything here deletes settings: make sure it is a private folder.
    const QString home = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    QVERIFY(!home.isEmpty());
    QVERIFY2(confPath().startsWith(home + QLatin1Char('/')), qPrintable(confPath()));
}

void StoreTest::init() {
    // Leave no directory or damaged file behind from the previous case.
    const QString dir = QFileInfo(confPath()).absolutePath();
    QFileInfo di(dir);
    if (di.isDir()) {
        QFile(dir).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QDir(dir).removeRecursively();
    } else if (di.exists()) {
        QFile::remove(dir);
    }
    std::unique_ptr<QSettings> s(rawStore());
    s->clear();
    s->sync();
    QVERIFY(s->allKeys().isEmpty());
}

void StoreTest::cleanup() {
    SetFormTimeOpen(false);
    SetFormSingleOpen(false);
    SetFormExtIoOpen(false);
}

void StoreTest::emptyStoreGivesDefaults() {
    verifyAllDefaults();
    verifyDevices(QString(), QString());
}

void StoreTest::writersUseTheirNames() {
    storeNonDefaults();
    const QList<std::pair<const char*, const char*>> expected = {
        {"Communications/Com Port", "1"},
        {"Configuration/Single Meas Output Method", "0"},
        {"Configuration/ExtIo Meas Output Method", "0"},
        {"Configuration/Single Meas File", "/data/single.csv"},
        {"Configuration/ExtIo Meas File", "/data/extio.csv"},
        {"Form Main/Top", "11"}, {"Form Main/Left", "12"},
        {"Form Main/Width", "13"}, {"Form Main/Height", "14"},
        {"Form Display/Top", "21"}, {"Form Display/Left", "22"},
        {"Form Time/Top", "31"}, {"Form Time/Left", "32"},
        {"Form Single/Top", "41"}, {"Form Single/Left", "42"},
        {"Form ExtIo/Top", "51"}, {"Form ExtIo/Left", "52"},
        {"Grading/Enabled", "1"}, {"Grading/Sounds", "0"}, {"Grading/Profile", "/data/cells.grading"},
    };
    for (const auto& [path, value] : expected)
        QCOMPARE(raw(QString::fromLatin1(path)), QString::fromUtf8(value));
    // On disk, not only in memory.
    QFile f(confPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY(text.contains("[Form%20ExtIo]"));
    QVERIFY(text.contains("Com%20Port=1"));
}

void StoreTest::readersUseTheirNames() {
    // Each key alone, so a reader looking in a neighbour's place shows up.
    int i = 0;
    for (const NumKey& k : numberKeys()) {
        init();
        const int v = -300 - i++;
        rawSet(QString::fromLatin1(k.path), QString::number(v));
        for (const NumKey& other : numberKeys())
            QVERIFY2(other.load() == (other.path == k.path ? v : other.def), other.path);
    }
    rawSet(QStringLiteral("Configuration/Single Meas File"), QStringLiteral("/a b/s.csv"));
    rawSet(QStringLiteral("Configuration/ExtIo Meas File"), QStringLiteral("/a b/e.csv"));
    rawSet(QStringLiteral("Communications/COM2 Device"), QStringLiteral("/dev/pts/8"));
    QCOMPARE(LoadSingleMeasFile(), QStringLiteral("/a b/s.csv"));
    QCOMPARE(LoadExtIoMeasFile(), QStringLiteral("/a b/e.csv"));
    QCOMPARE(StoredDevicePath(0), QString());
    QCOMPARE(StoredDevicePath(1), QStringLiteral("/dev/pts/8"));
    QCOMPARE(StoredDevicePath(2), QString());
    // The extreme values come back unchanged.
    SaveTimePos(2147483647, -2147483647 - 1);
    qint32 t = 0, l = 0;
    LoadTimePos(t, l, kChildTop);
    QCOMPARE(QList<int>({t, l}), QList<int>({2147483647, -2147483647 - 1}));
}

void StoreTest::toInt16_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("error");   // 0 none, 1 not a number, 2 overflow
    QTest::newRow("plain") << "1234" << 1234 << 0;
    QTest::newRow("negative") << "-1234" << -1234 << 0;
    QTest::newRow("half down to even") << "2.5" << 2 << 0;
    QTest::newRow("half up to even") << "3.5" << 4 << 0;
    QTest::newRow("half to zero") << "0.5" << 0 << 0;
    QTest::newRow("negative half to even") << "-2.5" << -2 << 0;
    QTest::newRow("negative half away") << "-3.5" << -4 << 0;
    QTest::newRow("negative half to zero") << "-0.5" << 0 << 0;
    QTest::newRow("below half") << "2.4999" << 2 << 0;
    QTest::newRow("above half") << "2.5001" << 3 << 0;
    QTest::newRow("top of range") << "32767" << 32767 << 0;
    QTest::newRow("bottom of range") << "-32768" << -32768 << 0;
    QTest::newRow("rounds into range") << "32767.4" << 32767 << 0;
    QTest::newRow("negative half stays in range") << "-32768.5" << -32768 << 0;
    QTest::newRow("rounds out of range") << "32767.5" << 0 << 2;
    QTest::newRow("just below range") << "-32768.6" << 0 << 2;
    QTest::newRow("40000") << "40000" << 0 << 2;
    QTest::newRow("32768") << "32768" << 0 << 2;
    QTest::newRow("huge") << "1e300" << 0 << 2;
    QTest::newRow("exponent form") << "1.5E3" << 1500 << 0;
    QTest::newRow("plus sign") << "+17" << 17 << 0;
    QTest::newRow("blanks around") << "  42 " << 42 << 0;
    QTest::newRow("letters") << "abc" << 0 << 1;
    QTest::newRow("empty") << "" << 0 << 1;
    QTest::newRow("blank") << "   " << 0 << 1;
    QTest::newRow("trailing junk") << "12abc" << 0 << 1;
    QTest::newRow("two numbers") << "1 2" << 0 << 1;
    QTest::newRow("not a number value") << "nan" << 0 << 1;
}

void StoreTest::toInt16() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    QFETCH(int, error);
    int got = 0;
    bool overflow = false, other = false;
    try {
        got = ToInt16(text);
    } catch (const OverflowError&) {
        overflow = true;
    } catch (const AppError&) {
        other = true;
    }
    QCOMPARE(overflow, error == 2);
    QCOMPARE(other, error == 1);
    if (error == 0) QCOMPARE(got, expected);
}

void StoreTest::mainPositionCentresAndFallsBackTogether_data() {
    QTest::addColumn<QString>("top");    // "-" = not stored
    QTest::addColumn<QString>("left");
    QTest::addColumn<int>("wantTop");
    QTest::addColumn<int>("wantLeft");
    QTest::newRow("nothing stored") << "-" << "-" << 3787 << 7057;
    QTest::newRow("both stored") << "100" << "-200" << 100 << -200;
    QTest::newRow("only top stored") << "100" << "-" << 100 << 7057;
    QTest::newRow("wide desktop") << "100" << "40000" << 100 << 40000;
    QTest::newRow("left beyond range") << "100" << "3e9" << 3787 << 7057;
    QTest::newRow("top not a number") << "high" << "5" << 3787 << 7057;
    QTest::newRow("top empty") << "" << "5" << 3787 << 7057;
    QTest::newRow("halves to even") << "100.5" << "101.5" << 100 << 102;
}

void StoreTest::mainPositionCentresAndFallsBackTogether() {
    QFETCH(QString, top);
    QFETCH(QString, left);
    QFETCH(int, wantTop);
    QFETCH(int, wantLeft);
    if (top != QLatin1String("-")) rawSet(QStringLiteral("Form Main/Top"), top);
    if (left != QLatin1String("-")) rawSet(QStringLiteral("Form Main/Left"), left);
    qint32 t = 1, l = 1;
    LoadMainPos(t, l, 19200, 14400);
    QCOMPARE(int(t), wantTop);
    QCOMPARE(int(l), wantLeft);
}

void StoreTest::mainPositionDefaultForOddScreens() {
    struct Case { double w, h; int top, left; };
    const Case cases[] = {
        {19201, 14401, 3788, 7058},        // odd differences: the half is dropped
        {19200.5, 14400.5, 3788, 7058},    // 7575.5 and 14115.5 round to even first
        {19201.5, 14401.5, 3788, 7058},    // 7576.5 rounds down to even
        {4000, 6000, -412, -542},          // smaller than the window: towards zero
        {300000, 300000, 146587, 147457},  // far beyond 16 bits
        {1e10, 1e10, 2147483647, 2147483647},   // too large for 32 bits: held at the edge
    };
    for (const Case& c : cases) {
        qint32 t = 0, l = 0;
        LoadMainPos(t, l, c.w, c.h);
        QCOMPARE(int(t), c.top);
        QCOMPARE(int(l), c.left);
    }
}

void StoreTest::mainSizeFallsBackTogether_data() {
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<int>("wantW");
    QTest::addColumn<int>("wantH");
    QTest::newRow("nothing stored") << "-" << "-" << 5085 << 6825;
    QTest::newRow("both stored") << "8000" << "9000" << 8000 << 9000;
    QTest::newRow("only height stored") << "-" << "9000" << 5085 << 9000;
    QTest::newRow("width not a number") << "wide" << "9000" << 5085 << 6825;
    QTest::newRow("maximized on 2560 pixels") << "38400" << "20000" << 38400 << 20000;
    QTest::newRow("height beyond range") << "8000" << "-2147483649" << 5085 << 6825;
}

void StoreTest::mainSizeFallsBackTogether() {
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(int, wantW);
    QFETCH(int, wantH);
    if (width != QLatin1String("-")) rawSet(QStringLiteral("Form Main/Width"), width);
    if (height != QLatin1String("-")) rawSet(QStringLiteral("Form Main/Height"), height);
    qint32 w = 1, h = 1;
    LoadMainSize(w, h);
    QCOMPARE(int(w), wantW);
    QCOMPARE(int(h), wantH);
}

void StoreTest::otherNumbersFallBackPerKey_data() {
    QTest::addColumn<QString>("bad");
    QTest::addColumn<bool>("wideReadsIt");   // fits 32 bits: a position takes it
    QTest::newRow("not a number") << "junk" << false;
    QTest::newRow("beyond 16 bits") << "40000" << true;
    QTest::newRow("below 16 bits") << "-32769" << true;
    QTest::newRow("beyond 32 bits") << "2147483648" << false;
    QTest::newRow("empty") << "" << false;
}

// Keys without a fallback of their own: a bad value gives that key's default
// and leaves the good value beside it alone.
void StoreTest::otherNumbersFallBackPerKey() {
    QFETCH(QString, bad);
    QFETCH(bool, wideReadsIt);
    const QList<NumKey> keys = numberKeys();
    for (int i = 0; i < keys.size(); ++i) {
        init();
        const NumKey& k = keys[i];
        const NumKey& next = keys[(i + 1) % keys.size()];
        rawSet(QString::fromLatin1(k.path), bad);
        rawSet(QString::fromLatin1(next.path), QStringLiteral("15"));
        QVERIFY2(k.load() == (k.wide && wideReadsIt ? bad.toInt() : k.def), k.path);
        QVERIFY2(next.load() == 15, next.path);
    }
    // Ports other than 0/1 are numbers and come back as read; the windows decide.
    rawSet(QStringLiteral("Communications/Com Port"), QStringLiteral("3"));
    QCOMPARE(ReadComPort(), qint16(3));
}

void StoreTest::versionCheck_data() {
    QTest::addColumn<QString>("stored");   // "-" = not stored
    QTest::addColumn<bool>("wiped");
    QTest::newRow("missing") << "-" << true;
    QTest::newRow("119") << "119" << true;
    QTest::newRow("119.99") << "119.99" << true;
    QTest::newRow("zero") << "0" << true;
    QTest::newRow("negative") << "-500" << true;
    QTest::newRow("not a number") << "one twenty" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("nan") << "nan" << true;
    QTest::newRow("120") << "120" << false;
    QTest::newRow("120.0") << "120.0" << false;
    QTest::newRow("121") << "121" << false;
    QTest::newRow("1e3") << "1e3" << false;
}

void StoreTest::versionCheck() {
    QFETCH(QString, stored);
    QFETCH(bool, wiped);
    storeNonDefaults();
    if (stored != QLatin1String("-")) rawSet(QStringLiteral("Version/Number"), stored);
    CheckSettingsVersion();
    if (wiped) {
        QCOMPARE(raw(QStringLiteral("Version/Number")), QStringLiteral("120"));
        std::unique_ptr<QSettings> s(rawStore());
        QStringList keys = s->allKeys();
        keys.sort();
        QCOMPARE(keys, QStringList({QStringLiteral("Communications/COM1 Device"),
                                    QStringLiteral("Communications/COM2 Device"),
                                    QStringLiteral("Version/Number")}));
        verifyAllDefaults();
    } else {
        QCOMPARE(raw(QStringLiteral("Version/Number")), stored);
        QCOMPARE(ReadComPort(), qint16(1));
        QCOMPARE(LoadSingleMeasFile(), QStringLiteral("/data/single.csv"));
        QCOMPARE(LoadGradingEnabled(), true);
        QCOMPARE(LoadGradingProfile(), QStringLiteral("/data/cells.grading"));
    }
    verifyDevices(QStringLiteral("/dev/pts/7"), QStringLiteral("/dev/pts/8"));
    // A second start changes nothing more.
    const QString before = raw(QStringLiteral("Version/Number"));
    WriteComPort(1);
    CheckSettingsVersion();
    QCOMPARE(raw(QStringLiteral("Version/Number")), before);
    QCOMPARE(ReadComPort(), qint16(1));
}

void StoreTest::resetRestoresEveryDefault() {
    storeNonDefaults();
    rawSet(QStringLiteral("Version/Number"), QStringLiteral("120"));
    rawSet(QStringLiteral("Some Other Section/Key"), QStringLiteral("x"));
    ResetSettings();
    std::unique_ptr<QSettings> s(rawStore());
    QStringList keys = s->allKeys();   // the version too: the next start writes it
    keys.sort();
    QCOMPARE(keys, QStringList({QStringLiteral("Communications/COM1 Device"),
                                QStringLiteral("Communications/COM2 Device")}));
    s.reset();
    verifyAllDefaults();
    verifyDevices(QStringLiteral("/dev/pts/7"), QStringLiteral("/dev/pts/8"));
    QCOMPARE(ReadComPort(), qint16(0));                 // COM1
    QCOMPARE(LoadSingleOutputMethod(), qint16(1));      // spreadsheet
    QCOMPARE(LoadExtIoOutputMethod(), qint16(1));
    init();
    ResetSettings();   // nothing stored: no error
    verifyAllDefaults();
    verifyDevices(QString(), QString());
}

// An organisation-wide file beside ours (or one under /etc/xdg) is never
// read, so nothing outlives a reset or the version check.
void StoreTest::onlyTheUsersOwnFileIsRead() {
    const QString orgWide = QFileInfo(confPath()).absolutePath() + QStringLiteral(".conf");
    const auto removeIt = qScopeGuard([&] { QFile::remove(orgWide); });
    QFile f(orgWide);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Version]\nNumber=120\n"
            "[Communications]\nCom%20Port=1\nCOM1%20Device=/dev/ttyUSB9\n"
            "[Form%20Main]\nWidth=9999\n[Form%20Time]\nLeft=77\n");
    f.close();
    verifyAllDefaults();
    verifyDevices(QString(), QString());
    CheckSettingsVersion();
    QCOMPARE(raw(QStringLiteral("Version/Number")), QStringLiteral("120"));
    verifyAllDefaults();
}

void StoreTest::garbageFileIsSurvived() {
    QByteArray junk;
    for (int i = 0; i < 4096; ++i) junk.append(char((i * 131 + 7) % 256));
    junk.insert(100, QByteArray(50, '\0'));
    junk.append("\n[Form%20Main\nTop\n=\n\\\n");
    writeConf(junk);
    verifyAllDefaults();
    CheckSettingsVersion();
    QCOMPARE(raw(QStringLiteral("Version/Number")), QStringLiteral("120"));
    // The store works normally again afterwards.
    SaveSingleMeasFile(QStringLiteral("/x.csv"));
    SaveTimePos(7, 8);
    QCOMPARE(LoadSingleMeasFile(), QStringLiteral("/x.csv"));
    qint32 t = 0, l = 0;
    LoadTimePos(t, l, 0);
    QCOMPARE(t, 7);
    QCOMPARE(l, 8);
}

void StoreTest::foreignValueTypesAreIgnored() {
    writeConf("[Form%20Main]\n"
              "Top=@Rect(1 2 3 4)\n"
              "Left=5\n"
              "Width=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5zzzzz)\n"
              "Height=7000\n"
              "[Form%20Time]\n"
              "Top=@Point(3 4)\n"
              "Left=@ByteArray(250)\n"
              "[Configuration]\n"
              "Single%20Meas%20File=first, second\n"
              "ExtIo%20Meas%20File=@Size(1 2)\n"
              "Single%20Meas%20Output%20Method=@Invalid()\n"
              "[Version]\n"
              "Number=@Rect(500 500 1 1)\n");
    qint32 t = 0, l = 0, w = 0, h = 0;
    LoadMainPos(t, l, 19200, 14400);
    QCOMPARE(t, 3787);
    QCOMPARE(l, 7057);
    LoadMainSize(w, h);
    QCOMPARE(w, 5085);
    QCOMPARE(h, 6825);
    LoadTimePos(t, l, 1500);
    QCOMPARE(t, 1500);
    QCOMPARE(l, 250);   // bytes are text
    QCOMPARE(LoadSingleMeasFile(), QString());
    QCOMPARE(LoadExtIoMeasFile(), QString());
    QCOMPARE(LoadSingleOutputMethod(), qint16(1));
    CheckSettingsVersion();   // a rectangle is no version: wiped
    QCOMPARE(raw(QStringLiteral("Version/Number")), QStringLiteral("120"));
    QVERIFY(!rawContains(QStringLiteral("Form Main/Height")));
}

void StoreTest::storeThatCannotBeOpened_data() {
    QTest::addColumn<bool>("folderIsFile");
    QTest::newRow("settings file is a folder") << false;
    QTest::newRow("settings folder is a file") << true;
}

// Neither readable nor writable, whoever runs the test: defaults, and writes
// that go nowhere without an error.
void StoreTest::storeThatCannotBeOpened() {
    QFETCH(bool, folderIsFile);
    storeNonDefaults();
    const QString conf = confPath();
    const QString dir = QFileInfo(conf).absolutePath();
    QVERIFY(QDir(dir).removeRecursively());
    if (folderIsFile) {
        QFile f(dir);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a folder");
    } else {
        QVERIFY(QDir().mkpath(conf + QStringLiteral("/inner")));
    }
    verifyAllDefaults();
    storeNonDefaults();
    CheckSettingsVersion();
    ResetSettings();
    SyncSettings();
    QVERIFY(folderIsFile ? QFileInfo(dir).isFile() : QFileInfo(conf).isDir());
}

void StoreTest::windowOpenFlags() {
    QVERIFY(!GetFormTimeOpen());
    QVERIFY(!GetFormSingleOpen());
    QVERIFY(!GetFormExtIoOpen());
    SetFormSingleOpen(true);
    QVERIFY(!GetFormTimeOpen());
    QVERIFY(GetFormSingleOpen());
    QVERIFY(!GetFormExtIoOpen());
    SetFormTimeOpen(true);
    SetFormExtIoOpen(true);
    SetFormSingleOpen(false);
    QVERIFY(GetFormTimeOpen());
    QVERIFY(!GetFormSingleOpen());
    QVERIFY(GetFormExtIoOpen());
    // Flags live for the run only; they are not settings.
    std::unique_ptr<QSettings> s(rawStore());
    QVERIFY(s->allKeys().isEmpty());
}

// [Grading] as a user writes it with an editor: 1/0 switch, anything else is
// the default (grading stays off), a path with blanks comes back whole.
void StoreTest::gradingAsWrittenByHand_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("sounds");
    QTest::addColumn<QString>("profile");
    QTest::newRow("on") << QByteArray("[Grading]\nEnabled=1\nSounds=0\nProfile=/home/op/my profiles/a.grading\n")
                        << true << false << "/home/op/my profiles/a.grading";
    QTest::newRow("off") << QByteArray("[Grading]\nEnabled=0\nSounds=1\n") << false << true << "";
    QTest::newRow("words are not switches") << QByteArray("[Grading]\nEnabled=yes\nSounds=off\n") << false << true << "";
    QTest::newRow("blank around") << QByteArray("[Grading]\nEnabled= 1 \n") << true << true << "";
}

void StoreTest::gradingAsWrittenByHand() {
    QFETCH(QByteArray, file);
    QFETCH(bool, enabled);
    QFETCH(bool, sounds);
    QFETCH(QString, profile);
    writeConf(QByteArray("[Version]\nNumber=120\n") + file);
    CheckSettingsVersion();   // the current version: a start keeps the section
    QCOMPARE(LoadGradingEnabled(), enabled);
    QCOMPARE(LoadGradingSounds(), sounds);
    QCOMPARE(LoadGradingProfile(), profile);
    SaveGradingProfile(QString());
    QVERIFY(!rawContains(QStringLiteral("Grading/Profile")));

    const QByteArray before = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", "/srv/station data");
    QCOMPARE(GradingProfilesFolder(), QStringLiteral("/srv/station data/ORVEN/profiles"));
    qputenv("XDG_DATA_HOME", before);
}

int main(int argc, char** argv) {
    TESTENV::UseTemporarySettings();
    // Qt's test mode would move the store to ~/.qttest, shared by every test
    // process on the machine; the temporary XDG folder is private.
    QStandardPaths::setTestModeEnabled(false);
    QCoreApplication app(argc, argv);
    StoreTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_store.moc"
