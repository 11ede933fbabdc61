#include "settings.h"

#include "errors.h"

#include <QSettings>
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
struct Store : QSettings {
    Store() : QSettings(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication)) {}
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

qint16 clamp16(long long v) {
    if (v < std::numeric_limits<qint16>::min()) return std::numeric_limits<qint16>::min();
    if (v > std::numeric_limits<qint16>::max()) return std::numeric_limits<qint16>::max();
    return qint16(v);
}

// Reads a 16-bit key; a value that does not convert gives `def`.
qint16 readInt16(const char* section, const char* key, qint16 def) {
    try {
        return ToInt16(GetSetting(QString::fromLatin1(section), QString::fromLatin1(key),
                                  QString::number(def)));
    } catch (const AppError&) {
        return def;
    }
}

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

void loadChildPos(const char* section, qint16& top, qint16& left, int defaultTop) {
    top = readInt16(section, Key::Top, clamp16(defaultTop));
    left = readInt16(section, Key::Left, 0);
}

void saveChildPos(const char* section, qint16 top, qint16 left) {
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
    s.clear();
    s.sync();
}

void SyncSettings() {
    Store s;
    s.sync();
}

qint16 ToInt16(const QString& text) {
    double d = 0;
    if (!textToDouble(text, d)) throw AppError("Type mismatch");
    // rint follows the default rounding mode: nearest, halves to even.
    const double r = std::rint(d);
    if (r < std::numeric_limits<qint16>::min() || r > std::numeric_limits<qint16>::max())
        throw OverflowError();
    return qint16(r);
}

void CheckSettingsVersion() {
    double version = 0;
    const QString stored = GetSetting(QString::fromLatin1(Key::SecVersion),
                                      QString::fromLatin1(Key::Number), QStringLiteral("0"));
    if (!textToDouble(stored, version)) version = 0;   // unreadable counts as missing
    if (version < SettingsVersion) {
        ResetSettings();
        writeNumber(Key::SecVersion, Key::Number, SettingsVersion);
    }
}

qint16 ReadComPort() { return readInt16(Key::SecComm, Key::ComPort, 0); }

void WriteComPort(qint16 port) { writeNumber(Key::SecComm, Key::ComPort, port); }

QString StoredDevicePath(int port) {
    const char* key = port == 0 ? Key::Com1Device : port == 1 ? Key::Com2Device : nullptr;
    if (!key) return QString();
    return GetSetting(QString::fromLatin1(Key::SecComm), QString::fromLatin1(key), QString());
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

void LoadMainPos(qint16& top, qint16& left, double screenWidthTwips, double screenHeightTwips) {
    // Centre a window of the default size; integer division drops the fraction.
    // A screen too large for 16-bit coordinates gets the nearest representable default.
    auto centred = [](double screen, int size) -> qint16 {
        const double r = std::rint(screen - size);
        if (!std::isfinite(r)) return 0;
        const double bounded = std::clamp(r, -1e9, 1e9);
        return clamp16(static_cast<long long>(bounded) / 2);
    };
    const qint16 defTop = centred(screenHeightTwips, 6825);
    const qint16 defLeft = centred(screenWidthTwips, 5085);
    try {
        const QString sec = QString::fromLatin1(Key::SecFormMain);
        const qint16 t = ToInt16(GetSetting(sec, QString::fromLatin1(Key::Top), QString::number(defTop)));
        const qint16 l = ToInt16(GetSetting(sec, QString::fromLatin1(Key::Left), QString::number(defLeft)));
        top = t;
        left = l;
    } catch (const AppError&) {
        top = defTop;
        left = defLeft;
    }
}

void LoadMainSize(qint16& width, qint16& height) {
    try {
        const QString sec = QString::fromLatin1(Key::SecFormMain);
        const qint16 w = ToInt16(GetSetting(sec, QString::fromLatin1(Key::Width), QStringLiteral("5085")));
        const qint16 h = ToInt16(GetSetting(sec, QString::fromLatin1(Key::Height), QStringLiteral("6825")));
        width = w;
        height = h;
    } catch (const AppError&) {
        width = 5085;
        height = 6825;
    }
}

void LoadDispPos(qint16& top, qint16& left) {
    top = readInt16(Key::SecFormDisplay, Key::Top, 0);
    left = readInt16(Key::SecFormDisplay, Key::Left, 0);
}

void LoadTimePos(qint16& top, qint16& left, int defaultTop) {
    loadChildPos(Key::SecFormTime, top, left, defaultTop);
}
void LoadSinglePos(qint16& top, qint16& left, int defaultTop) {
    loadChildPos(Key::SecFormSingle, top, left, defaultTop);
}
void LoadExtIoPos(qint16& top, qint16& left, int defaultTop) {
    loadChildPos(Key::SecFormExtIo, top, left, defaultTop);
}
void SaveTimePos(qint16 top, qint16 left) { saveChildPos(Key::SecFormTime, top, left); }
void SaveSinglePos(qint16 top, qint16 left) { saveChildPos(Key::SecFormSingle, top, left); }
void SaveExtIoPos(qint16 top, qint16 left) { saveChildPos(Key::SecFormExtIo, top, left); }

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

void LoadTrendGeometry(qint16& top, qint16& left, qint16& width, qint16& height, int defaultLeft) {
    top = readInt16(Key::SecFormTrend, Key::Top, 0);
    left = readInt16(Key::SecFormTrend, Key::Left, clamp16(defaultLeft));
    width = readInt16(Key::SecFormTrend, Key::Width, 9600);
    height = readInt16(Key::SecFormTrend, Key::Height, 5400);
    if (width <= 0) width = 9600;
    if (height <= 0) height = 5400;
}

void SaveTrendGeometry(int top, int left, int width, int height) {
    writeNumbers(Key::SecFormTrend, {{Key::Top, clamp16(top)},
                                     {Key::Left, clamp16(left)},
                                     {Key::Width, clamp16(width)},
                                     {Key::Height, clamp16(height)}});
}

}  // namespace SETTING
