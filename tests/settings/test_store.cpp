// The per-user store: names, defaults, fallbacks, version check, damaged files.
#include "errors.h"
#include "settings.h"
#include "test_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include <memory>
#include <unistd.h>

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

struct Everything {
    qint16 port, single, extio, mainTop, mainLeft, mainW, mainH, dispTop, dispLeft;
    qint16 timeTop, timeLeft, singleTop, singleLeft, extTop, extLeft;
    QString singleFile, extFile, dev1, dev2;
};

Everything readEverything(int childDefaultTop) {
    Everything e{};
    e.port = ReadComPort();
    e.single = LoadSingleOutputMethod();
    e.extio = LoadExtIoOutputMethod();
    LoadMainPos(e.mainTop, e.mainLeft, 19200, 14400);
    LoadMainSize(e.mainW, e.mainH);
    LoadDispPos(e.dispTop, e.dispLeft);
    LoadTimePos(e.timeTop, e.timeLeft, childDefaultTop);
    LoadSinglePos(e.singleTop, e.singleLeft, childDefaultTop);
    LoadExtIoPos(e.extTop, e.extLeft, childDefaultTop);
    e.singleFile = LoadSingleMeasFile();
    e.extFile = LoadExtIoMeasFile();
    e.dev1 = StoredDevicePath(0);
    e.dev2 = StoredDevicePath(1);
    return e;
}

void verifyAllDefaults(int childDefaultTop) {
    const Everything e = readEverything(childDefaultTop);
    QCOMPARE(e.port, qint16(0));
    QCOMPARE(e.single, qint16(1));
    QCOMPARE(e.extio, qint16(1));
    QCOMPARE(e.mainTop, qint16(3787));
    QCOMPARE(e.mainLeft, qint16(7057));
    QCOMPARE(e.mainW, qint16(5085));
    QCOMPARE(e.mainH, qint16(6825));
    QCOMPARE(e.dispTop, qint16(0));
    QCOMPARE(e.dispLeft, qint16(0));
    QCOMPARE(e.timeTop, qint16(childDefaultTop));
    QCOMPARE(e.timeLeft, qint16(0));
    QCOMPARE(e.singleTop, qint16(childDefaultTop));
    QCOMPARE(e.singleLeft, qint16(0));
    QCOMPARE(e.extTop, qint16(childDefaultTop));
    QCOMPARE(e.extLeft, qint16(0));
    QCOMPARE(e.singleFile, QString());
    QCOMPARE(e.extFile, QString());
    QCOMPARE(e.dev1, QString());
    QCOMPARE(e.dev2, QString());
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
    void valuesPersistUnderTheirNames();
    void pathsKeepEveryCharacter();
    void sectionsDoNotMix();

    void toInt16_data();
    void toInt16();

    void mainPositionCentresAndFallsBackTogether_data();
    void mainPositionCentresAndFallsBackTogether();
    void mainPositionDefaultForOddScreens();
    void mainSizeFallsBackTogether_data();
    void mainSizeFallsBackTogether();
    void otherNumbersFallBackPerKey();

    void versionCheck_data();
    void versionCheck();
    void resetRestoresEveryDefault();

    void garbageFileIsSurvived();
    void foreignValueTypesAreIgnored();
    void storeThatCannotBeOpened_data();
    void storeThatCannotBeOpened();
    void readOnlyStore();

    void windowOpenFlags();
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

void StoreTest::emptyStoreGivesDefaults() { verifyAllDefaults(2400); }

void StoreTest::valuesPersistUnderTheirNames() {
    storeNonDefaults();
    QCOMPARE(raw(QStringLiteral("Communications/Com Port")), QStringLiteral("1"));
    QCOMPARE(raw(QStringLiteral("Configuration/Single Meas Output Method")), QStringLiteral("0"));
    QCOMPARE(raw(QStringLiteral("Configuration/ExtIo Meas Output Method")), QStringLiteral("0"));
    QCOMPARE(raw(QStringLiteral("Configuration/Single Meas File")), QStringLiteral("/data/single.csv"));
    QCOMPARE(raw(QStringLiteral("Configuration/ExtIo Meas File")), QStringLiteral("/data/extio.csv"));
    QCOMPARE(raw(QStringLiteral("Form Main/Top")), QStringLiteral("11"));
    QCOMPARE(raw(QStringLiteral("Form Main/Left")), QStringLiteral("12"));
    QCOMPARE(raw(QStringLiteral("Form Main/Width")), QStringLiteral("13"));
    QCOMPARE(raw(QStringLiteral("Form Main/Height")), QStringLiteral("14"));
    QCOMPARE(raw(QStringLiteral("Form Display/Top")), QStringLiteral("21"));
    QCOMPARE(raw(QStringLiteral("Form Display/Left")), QStringLiteral("22"));
    QCOMPARE(raw(QStringLiteral("Form Time/Top")), QStringLiteral("31"));
    QCOMPARE(raw(QStringLiteral("Form Time/Left")), QStringLiteral("32"));
    QCOMPARE(raw(QStringLiteral("Form Single/Top")), QStringLiteral("41"));
    QCOMPARE(raw(QStringLiteral("Form Single/Left")), QStringLiteral("42"));
    QCOMPARE(raw(QStringLiteral("Form ExtIo/Top")), QStringLiteral("51"));
    QCOMPARE(raw(QStringLiteral("Form ExtIo/Left")), QStringLiteral("52"));

    // Written to disk, not only held in memory: the file text has them.
    QFile f(confPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY(text.contains("[Form%20ExtIo]"));
    QVERIFY(text.contains("Com%20Port=1"));

    const Everything e = readEverything(2400);
    QCOMPARE(e.port, qint16(1));
    QCOMPARE(e.single, qint16(0));
    QCOMPARE(e.extio, qint16(0));
    QCOMPARE(e.mainTop, qint16(11));
    QCOMPARE(e.mainLeft, qint16(12));
    QCOMPARE(e.mainW, qint16(13));
    QCOMPARE(e.mainH, qint16(14));
    QCOMPARE(e.dispTop, qint16(21));
    QCOMPARE(e.dispLeft, qint16(22));
    QCOMPARE(e.timeTop, qint16(31));
    QCOMPARE(e.timeLeft, qint16(32));
    QCOMPARE(e.singleTop, qint16(41));
    QCOMPARE(e.singleLeft, qint16(42));
    QCOMPARE(e.extTop, qint16(51));
    QCOMPARE(e.extLeft, qint16(52));
    QCOMPARE(e.dev1, QStringLiteral("/dev/pts/7"));
    QCOMPARE(e.dev2, QStringLiteral("/dev/pts/8"));
    QCOMPARE(StoredDevicePath(2), QString());
    QCOMPARE(StoredDevicePath(-1), QString());

    // Negative coordinates (a window left of the screen) come back too.
    SaveTimePos(-300, -32768);
    qint16 t = 0, l = 0;
    LoadTimePos(t, l, 2400);
    QCOMPARE(t, qint16(-300));
    QCOMPARE(l, qint16(-32768));
}

void StoreTest::pathsKeepEveryCharacter() {
    const QStringList paths = {
        QStringLiteral("/home/lab/run 1, cell \"A\"; 5%.csv"),
        QStringLiteral("/tmp/Zelle=Ω/µΩ-Messung.csv"),
        QStringLiteral("  leading and trailing  "),
        QStringLiteral("C:\\data\\[x]\\file.csv"),
        QStringLiteral("#not a comment"),
    };
    for (const QString& p : paths) {
        SaveSingleMeasFile(p);
        SaveExtIoMeasFile(p + QStringLiteral("2"));
        QCOMPARE(LoadSingleMeasFile(), p);
        QCOMPARE(LoadExtIoMeasFile(), p + QStringLiteral("2"));
    }
    SaveSingleMeasFile(QString());
    QCOMPARE(LoadSingleMeasFile(), QString());
}

void StoreTest::sectionsDoNotMix() {
    SaveSinglePos(100, 200);
    qint16 t = 0, l = 0;
    LoadTimePos(t, l, 777);
    QCOMPARE(t, qint16(777));
    QCOMPARE(l, qint16(0));
    LoadExtIoPos(t, l, 888);
    QCOMPARE(t, qint16(888));
    QCOMPARE(l, qint16(0));
    LoadSinglePos(t, l, 999);
    QCOMPARE(t, qint16(100));
    QCOMPARE(l, qint16(200));

    SaveExtIoOutputMethod(0);
    QCOMPARE(LoadSingleOutputMethod(), qint16(1));
    QCOMPARE(LoadExtIoOutputMethod(), qint16(0));

    SaveDispPos(5, 6);
    qint16 mt = 0, ml = 0;
    LoadMainPos(mt, ml, 19200, 14400);
    QCOMPARE(mt, qint16(3787));
    QCOMPARE(ml, qint16(7057));
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
    QTest::newRow("left beyond range") << "100" << "40000" << 3787 << 7057;
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
    qint16 t = 1, l = 1;
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
        {300000, 300000, 32767, 32767},    // too large for 16 bits: held at the edge
    };
    for (const Case& c : cases) {
        qint16 t = 0, l = 0;
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
    QTest::newRow("height beyond range") << "8000" << "-40000" << 5085 << 6825;
}

void StoreTest::mainSizeFallsBackTogether() {
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(int, wantW);
    QFETCH(int, wantH);
    if (width != QLatin1String("-")) rawSet(QStringLiteral("Form Main/Width"), width);
    if (height != QLatin1String("-")) rawSet(QStringLiteral("Form Main/Height"), height);
    qint16 w = 1, h = 1;
    LoadMainSize(w, h);
    QCOMPARE(int(w), wantW);
    QCOMPARE(int(h), wantH);
}

// Keys without a fallback of their own: a bad value gives that key's default
// and leaves its neighbour alone.
void StoreTest::otherNumbersFallBackPerKey() {
    for (const QString& bad : {QStringLiteral("junk"), QStringLiteral("40000"), QString()}) {
        init();
        rawSet(QStringLiteral("Communications/Com Port"), bad);
        rawSet(QStringLiteral("Configuration/Single Meas Output Method"), bad);
        rawSet(QStringLiteral("Configuration/ExtIo Meas Output Method"), bad);
        rawSet(QStringLiteral("Form Display/Top"), bad);
        rawSet(QStringLiteral("Form Display/Left"), QStringLiteral("15"));
        rawSet(QStringLiteral("Form Time/Top"), QStringLiteral("25"));
        rawSet(QStringLiteral("Form Time/Left"), bad);
        rawSet(QStringLiteral("Form Single/Top"), bad);
        rawSet(QStringLiteral("Form ExtIo/Left"), bad);
        QCOMPARE(ReadComPort(), qint16(0));
        QCOMPARE(LoadSingleOutputMethod(), qint16(1));
        QCOMPARE(LoadExtIoOutputMethod(), qint16(1));
        qint16 t = 1, l = 1;
        LoadDispPos(t, l);
        QCOMPARE(t, qint16(0));
        QCOMPARE(l, qint16(15));
        LoadTimePos(t, l, 3000);
        QCOMPARE(t, qint16(25));
        QCOMPARE(l, qint16(0));
        LoadSinglePos(t, l, 3000);
        QCOMPARE(t, qint16(3000));
        LoadExtIoPos(t, l, 3000);
        QCOMPARE(t, qint16(3000));
        QCOMPARE(l, qint16(0));
    }
    // Values outside 0/1 are numbers and come back as read; the windows decide.
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
        QCOMPARE(s->allKeys(), QStringList{QStringLiteral("Version/Number")});
        verifyAllDefaults(1234);
    } else {
        QCOMPARE(raw(QStringLiteral("Version/Number")), stored);
        QCOMPARE(ReadComPort(), qint16(1));
        QCOMPARE(LoadSingleMeasFile(), QStringLiteral("/data/single.csv"));
    }
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
    QVERIFY(s->allKeys().isEmpty());   // the version too: the next start writes it
    s.reset();
    verifyAllDefaults(500);
    QCOMPARE(ReadComPort(), qint16(0));                 // COM1
    QCOMPARE(LoadSingleOutputMethod(), qint16(1));      // spreadsheet
    QCOMPARE(LoadExtIoOutputMethod(), qint16(1));
    ResetSettings();   // nothing stored: no error
    verifyAllDefaults(500);
}

void StoreTest::garbageFileIsSurvived() {
    QByteArray junk;
    for (int i = 0; i < 4096; ++i) junk.append(char((i * 131 + 7) % 256));
    junk.insert(100, QByteArray(50, '\0'));
    junk.append("\n[Form%20Main\nTop\n=\n\\\n");
    writeConf(junk);
    verifyAllDefaults(900);
    CheckSettingsVersion();
    QCOMPARE(raw(QStringLiteral("Version/Number")), QStringLiteral("120"));
    // The store works normally again afterwards.
    SaveSingleMeasFile(QStringLiteral("/x.csv"));
    SaveTimePos(7, 8);
    QCOMPARE(LoadSingleMeasFile(), QStringLiteral("/x.csv"));
    qint16 t = 0, l = 0;
    LoadTimePos(t, l, 0);
    QCOMPARE(t, qint16(7));
    QCOMPARE(l, qint16(8));
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
    qint16 t = 0, l = 0, w = 0, h = 0;
    LoadMainPos(t, l, 19200, 14400);
    QCOMPARE(t, qint16(3787));
    QCOMPARE(l, qint16(7057));
    LoadMainSize(w, h);
    QCOMPARE(w, qint16(5085));
    QCOMPARE(h, qint16(6825));
    LoadTimePos(t, l, 1500);
    QCOMPARE(t, qint16(1500));
    QCOMPARE(l, qint16(250));   // bytes are text
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
    verifyAllDefaults(300);
    storeNonDefaults();
    CheckSettingsVersion();
    ResetSettings();
    SyncSettings();
    QVERIFY(folderIsFile ? QFileInfo(dir).isFile() : QFileInfo(conf).isDir());
}

void StoreTest::readOnlyStore() {
    if (geteuid() == 0) QSKIP("file modes do not bind the superuser");
    WriteComPort(1);
    QFile f(confPath());
    QVERIFY(f.setPermissions(QFileDevice::ReadOwner));
    const QString dir = QFileInfo(confPath()).absolutePath();
    QVERIFY(QFile(dir).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QCOMPARE(ReadComPort(), qint16(1));
    SaveSinglePos(1, 2);      // cannot reach the disk: ignored
    CheckSettingsVersion();
    ResetSettings();
    SyncSettings();
    QFile back(confPath());
    QVERIFY(back.open(QIODevice::ReadOnly));
    QVERIFY(back.readAll().contains("Com%20Port=1"));
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
