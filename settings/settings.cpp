#include "settings.h"

#include "errors.h"

#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>

namespace SETTING {

namespace {

// A fresh QSettings per operation: Qt shares the parsed file between
// instances and re-reads it when it changed on disk, so nothing stale is kept.
// Only the user's own file: an organisation-wide or system file (/etc/xdg)
// would outlive a reset and the version check.
struct Store : QSettings {
    Store() : QSettings(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication)) {
        setFallbacksEnabled(false);
    }
};

// Only text-like values are ours. Anything else in the file (a rectangle, a
// list, an unknown variant) reads as empty text: present but unusable, so a
// number reader falls back exactly as for a value that is not a number.
QString storedText(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString();
    case QMetaType::QByteArray:
        return QString::fromUtf8(v.toByteArray());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
        return v.toString();
    default:
        return QString();
    }
}

// Text -> finite double; false when the text is not a number.
bool textToDouble(const QString& text, double& out) {
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d)) return false;
    out = d;
    return true;
}

qint32 clamp32(long long v) {
    if (v < std::numeric_limits<qint32>::min()) return std::numeric_limits<qint32>::min();
    if (v > std::numeric_limits<qint32>::max()) return std::numeric_limits<qint32>::max();
    return qint32(v);
}

// Text -> integer of type T, rounded half to even; OverflowError outside T.
template <typename T>
T toInteger(const QString& text) {
    double d = 0;
    if (!textToDouble(text, d)) throw AppError("Type mismatch");
    // rint follows the default rounding mode: nearest, halves to even.
    const double r = std::rint(d);
    if (r < double(std::numeric_limits<T>::min()) || r > double(std::numeric_limits<T>::max()))
        throw OverflowError();
    return T(r);
}

// Reads a number key; a value that does not convert gives `def`.
template <typename T>
T readNumber(const char* section, const char* key, T def) {
    try {
        return toInteger<T>(GetSetting(QString::fromLatin1(section), QString::fromLatin1(key),
                                       QString::number(def)));
    } catch (const AppError&) {
        return def;
    }
}
qint16 readInt16(const char* section, const char* key, qint16 def) { return readNumber<qint16>(section, key, def); }
qint32 readInt32(const char* section, const char* key, qint32 def) { return readNumber<qint32>(section, key, def); }

void writeNumber(const char* section, const char* key, long long value) {
    SaveSetting(QString::fromLatin1(section), QString::fromLatin1(key), QString::number(value));
}

// Several keys of one section in one file write.
void writeNumbers(const char* section, std::initializer_list<std::pair<const char*, long long>> values) {
    Store s;
    s.beginGroup(QString::fromLatin1(section));
    for (const auto& [key, value] : values) s.setValue(QString::fromLatin1(key), QString::number(value));
    s.endGroup();
    s.sync();
}

void loadChildPos(const char* section, qint32& top, qint32& left, int defaultTop) {
    top = readInt32(section, Key::Top, defaultTop);
    left = readInt32(section, Key::Left, 0);
}

void saveChildPos(const char* section, qint32 top, qint32 left) {
    writeNumbers(section, {{Key::Top, top}, {Key::Left, left}});
}

qint16 formTimeOpen = 0;
qint16 formSingleOpen = 0;
qint16 formExtIoOpen = 0;

}  // namespace

QString GetSetting(const QString& section, const QString& key, const QString& def) {
    Store s;
    const QString path = section + QLatin1Char('/') + key;
    if (!s.contains(path)) return def;
    return storedText(s.value(path));
}

void SaveSetting(const QString& section, const QString& key, const QString& value) {
    Store s;
    s.setValue(section + QLatin1Char('/') + key, value);
    s.sync();   // a store that cannot be written is ignored
}

void ResetSettings() {
    Store s;
    // The device mapping is written only by hand (or in the device dialog):
    // a wipe that dropped it would silently open the built-in port.
    QList<std::pair<QString, QVariant>> kept;
    for (const char* key : {Key::Com1Device, Key::Com2Device}) {
        const QString path = QString::fromLatin1(Key::SecComm) + QLatin1Char('/') + QString::fromLatin1(key);
        if (s.contains(path)) kept.append({path, s.value(path)});
    }
    s.clear();
    for (const auto& [path, value] : kept) s.setValue(path, value);
    s.sync();
}

void SyncSettings() {
    Store s;
    s.sync();
}

qint16 ToInt16(const QString& text) { return toInteger<qint16>(text); }
qint32 ToInt32(const QString& text) { return toInteger<qint32>(text); }

void CheckSettingsVersion() {
    double version = 0;
    const QString stored = GetSetting(QString::fromLatin1(Key::SecVersion),
                                      QString::fromLatin1(Key::Number), QStringLiteral("0"));
    if (!textToDouble(stored, version)) version = 0;   // unreadable counts as missing
    if (version < SettingsVersion) {
        ResetSettings();
        WriteSettingsVersion();
    }
}

void WriteSettingsVersion() { writeNumber(Key::SecVersion, Key::Number, SettingsVersion); }

qint16 ReadComPort() { return readInt16(Key::SecComm, Key::ComPort, 0); }

void WriteComPort(qint16 port) { writeNumber(Key::SecComm, Key::ComPort, port); }

namespace {
const char* deviceKey(int port) { return port == 0 ? Key::Com1Device : port == 1 ? Key::Com2Device : nullptr; }
}  // namespace

QString StoredDevicePath(int port) {
    const char* key = deviceKey(port);
    if (!key) return QString();
    return GetSetting(QString::fromLatin1(Key::SecComm), QString::fromLatin1(key), QString());
}

void SaveDevicePath(int port, const QString& path) {
    const char* key = deviceKey(port);
    if (!key) return;
    Store s;
    const QString where = QString::fromLatin1(Key::SecComm) + QLatin1Char('/') + QString::fromLatin1(key);
    if (path.isEmpty())
        s.remove(where);
    else
        s.setValue(where, path);
    s.sync();
}

QString LoadSingleMeasFile() {
    return GetSetting(QString::fromLatin1(Key::SecConfig), QString::fromLatin1(Key::SingleMeasFile),
                      QString());
}

QString LoadExtIoMeasFile() {
    return GetSetting(QString::fromLatin1(Key::SecConfig), QString::fromLatin1(Key::ExtIoMeasFile),
                      QString());
}

void SaveSingleMeasFile(const QString& path) {
    SaveSetting(QString::fromLatin1(Key::SecConfig), QString::fromLatin1(Key::SingleMeasFile), path);
}

void SaveExtIoMeasFile(const QString& path) {
    SaveSetting(QString::fromLatin1(Key::SecConfig), QString::fromLatin1(Key::ExtIoMeasFile), path);
}

qint16 LoadSingleOutputMethod() { return readInt16(Key::SecConfig, Key::SingleOutputMethod, 1); }
qint16 LoadExtIoOutputMethod() { return readInt16(Key::SecConfig, Key::ExtIoOutputMethod, 1); }

void SaveSingleOutputMethod(qint16 method) {
    writeNumber(Key::SecConfig, Key::SingleOutputMethod, method);
}

void SaveExtIoOutputMethod(qint16 method) {
    writeNumber(Key::SecConfig, Key::ExtIoOutputMethod, method);
}

void LoadMainPos(qint32& top, qint32& left, double screenWidthTwips, double screenHeightTwips) {
    // Centre a window of the default size; integer division drops the fraction.
    // A screen too large for the coordinates gets the nearest representable default.
    auto centred = [](double screen, int size) -> qint32 {
        const double r = std::rint(screen - size);
        if (!std::isfinite(r)) return 0;
        const double bounded = std::clamp(r, -1e12, 1e12);
        return clamp32(static_cast<long long>(bounded) / 2);
    };
    const qint32 defTop = centred(screenHeightTwips, 6825);
    const qint32 defLeft = centred(screenWidthTwips, 5085);
    try {
        const QString sec = QString::fromLatin1(Key::SecFormMain);
        const qint32 t = ToInt32(GetSetting(sec, QString::fromLatin1(Key::Top), QString::number(defTop)));
        const qint32 l = ToInt32(GetSetting(sec, QString::fromLatin1(Key::Left), QString::number(defLeft)));
        top = t;
        left = l;
    } catch (const AppError&) {
        top = defTop;
        left = defLeft;
    }
}

void LoadMainSize(qint32& width, qint32& height) {
    try {
        const QString sec = QString::fromLatin1(Key::SecFormMain);
        const qint32 w = ToInt32(GetSetting(sec, QString::fromLatin1(Key::Width), QStringLiteral("5085")));
        const qint32 h = ToInt32(GetSetting(sec, QString::fromLatin1(Key::Height), QStringLiteral("6825")));
        width = w;
        height = h;
    } catch (const AppError&) {
        width = 5085;
        height = 6825;
    }
}

void LoadDispPos(qint32& top, qint32& left) {
    top = readInt32(Key::SecFormDisplay, Key::Top, 0);
    left = readInt32(Key::SecFormDisplay, Key::Left, 0);
}

void LoadTimePos(qint32& top, qint32& left, int defaultTop) {
    loadChildPos(Key::SecFormTime, top, left, defaultTop);
}
void LoadSinglePos(qint32& top, qint32& left, int defaultTop) {
    loadChildPos(Key::SecFormSingle, top, left, defaultTop);
}
void LoadExtIoPos(qint32& top, qint32& left, int defaultTop) {
    loadChildPos(Key::SecFormExtIo, top, left, defaultTop);
}
void SaveTimePos(qint32 top, qint32 left) { saveChildPos(Key::SecFormTime, top, left); }
void SaveSinglePos(qint32 top, qint32 left) { saveChildPos(Key::SecFormSingle, top, left); }
void SaveExtIoPos(qint32 top, qint32 left) { saveChildPos(Key::SecFormExtIo, top, left); }

void SaveMainGeometry(int top, int left, int width, int height) {
    writeNumbers(Key::SecFormMain,
                 {{Key::Top, top}, {Key::Left, left}, {Key::Width, width}, {Key::Height, height}});
}

void SaveDispPos(int top, int left) {
    writeNumbers(Key::SecFormDisplay, {{Key::Top, top}, {Key::Left, left}});
}

void SetFormTimeOpen(bool open) { formTimeOpen = open ? -1 : 0; }
bool GetFormTimeOpen() { return formTimeOpen != 0; }
void SetFormSingleOpen(bool open) { formSingleOpen = open ? -1 : 0; }
bool GetFormSingleOpen() { return formSingleOpen != 0; }
void SetFormExtIoOpen(bool open) { formExtIoOpen = open ? -1 : 0; }
bool GetFormExtIoOpen() { return formExtIoOpen != 0; }

void LoadTrendGeometry(qint32& top, qint32& left, qint32& width, qint32& height, int defaultLeft) {
    top = readInt32(Key::SecFormTrend, Key::Top, 0);
    left = readInt32(Key::SecFormTrend, Key::Left, defaultLeft);
    width = readInt32(Key::SecFormTrend, Key::Width, 9600);
    height = readInt32(Key::SecFormTrend, Key::Height, 5400);
    if (width <= 0) width = 9600;
    if (height <= 0) height = 5400;
}

void SaveTrendGeometry(int top, int left, int width, int height) {
    writeNumbers(Key::SecFormTrend,
                 {{Key::Top, top}, {Key::Left, left}, {Key::Width, width}, {Key::Height, height}});
}

namespace {
// A switch: 1 on, 0 off; text that is neither gives the default, so a
// hand-edited "yes" cannot switch grading on by accident.
bool readSwitch(const char* key, bool def) {
    const QString v = GetSetting(QString::fromLatin1(Key::SecGrading), QString::fromLatin1(key), QString()).trimmed();
    if (v == QLatin1String("1")) return true;
    if (v == QLatin1String("0")) return false;
    return def;
}
void writeSwitch(const char* key, bool on) { writeNumber(Key::SecGrading, key, on ? 1 : 0); }
}  // namespace

bool LoadGradingEnabled() { return readSwitch(Key::GradingEnabled, false); }
void SaveGradingEnabled(bool on) { writeSwitch(Key::GradingEnabled, on); }
bool LoadGradingSounds() { return readSwitch(Key::GradingSounds, true); }
void SaveGradingSounds(bool on) { writeSwitch(Key::GradingSounds, on); }

QString LoadGradingProfile() {
    return GetSetting(QString::fromLatin1(Key::SecGrading), QString::fromLatin1(Key::GradingProfile), QString());
}

void SaveGradingProfile(const QString& path) {
    Store s;
    const QString where = QString::fromLatin1(Key::SecGrading) + QLatin1Char('/') + QString::fromLatin1(Key::GradingProfile);
    if (path.isEmpty())
        s.remove(where);
    else
        s.setValue(where, path);
    s.sync();
}

namespace {
bool readSingleSwitch(const char* key) {
    const QString v =
        GetSetting(QString::fromLatin1(Key::SecFormSingle), QString::fromLatin1(key), QString()).trimmed();
    return v == QLatin1String("1");
}
double readSingleNumber(const char* key, double def, double lo, double hi) {
    bool ok = false;
    const double v = GetSetting(QString::fromLatin1(Key::SecFormSingle), QString::fromLatin1(key), QString())
                         .trimmed()
                         .toDouble(&ok);
    return ok && v >= lo && v <= hi ? v : def;
}
}  // namespace

bool LoadSingleCellIds() { return readSingleSwitch(Key::SingleCellIds); }
void SaveSingleCellIds(bool on) { writeNumber(Key::SecFormSingle, Key::SingleCellIds, on ? 1 : 0); }
bool LoadSingleHandsFree() { return readSingleSwitch(Key::SingleHandsFree); }
void SaveSingleHandsFree(bool on) { writeNumber(Key::SecFormSingle, Key::SingleHandsFree, on ? 1 : 0); }

int LoadCaptureCount() {
    const double v = readSingleNumber(Key::CaptureCount, 3, 1, 100);
    return v == std::floor(v) ? int(v) : 3;
}

double LoadCaptureTolerance() { return readSingleNumber(Key::CaptureTolerance, 1, 0, 100); }

QString GradingProfilesFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/ORVEN/profiles");
}

}  // namespace SETTING
