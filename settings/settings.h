#pragma once
// Per-user settings store of the "ORVEN 5927 RS" application and the
// SETTING module's read/write operations. Every section and key name lives here.
#include <QString>
#include <QtGlobal>

namespace SETTING {

inline constexpr char kOrganisation[] = "ORVEN";
inline constexpr char kApplication[] = "ORVEN 5927 RS";
inline constexpr int SettingsVersion = 120;
inline constexpr char kProgramVersion[] = "1.20";

// Section and key names.
namespace Key {
inline constexpr char SecVersion[] = "Version";
inline constexpr char Number[] = "Number";
inline constexpr char SecComm[] = "Communications";
inline constexpr char ComPort[] = "Com Port";
inline constexpr char Com1Device[] = "COM1 Device";
inline constexpr char Com2Device[] = "COM2 Device";
inline constexpr char SecConfig[] = "Configuration";
inline constexpr char SingleMeasFile[] = "Single Meas File";
inline constexpr char ExtIoMeasFile[] = "ExtIo Meas File";
inline constexpr char SingleOutputMethod[] = "Single Meas Output Method";
inline constexpr char ExtIoOutputMethod[] = "ExtIo Meas Output Method";
inline constexpr char SecFormMain[] = "Form Main";
inline constexpr char SecFormDisplay[] = "Form Display";
inline constexpr char SecFormTime[] = "Form Time";
inline constexpr char SecFormSingle[] = "Form Single";
inline constexpr char SecFormExtIo[] = "Form ExtIo";
inline constexpr char SecFormTrend[] = "Form Trend";
inline constexpr char Top[] = "Top";
inline constexpr char Left[] = "Left";
inline constexpr char Width[] = "Width";
inline constexpr char Height[] = "Height";
inline constexpr char SecGrading[] = "Grading";
inline constexpr char GradingEnabled[] = "Enabled";
inline constexpr char GradingProfile[] = "Profile";
inline constexpr char GradingSounds[] = "Sounds";
// [Form Single]: cell IDs and hands-free capture of the return-key window.
inline constexpr char SingleCellIds[] = "Cell IDs";
inline constexpr char SingleHandsFree[] = "Hands-free Capture";
inline constexpr char CaptureCount[] = "Capture Count";
inline constexpr char CaptureTolerance[] = "Capture Tolerance";
}  // namespace Key

// Raw store: text values by section and key.
QString GetSetting(const QString& section, const QString& key, const QString& def);
void SaveSetting(const QString& section, const QString& key, const QString& value);
// Deletes every section but the two device keys of [Communications];
// errors ignored. [Grading] goes too: grading off is the safe start, and the
// profile files themselves stay in their folder.
void ResetSettings();
void SyncSettings();    // pushes pending writes to disk

// Text -> 16-bit integer, rounded half to even. Throws OverflowError when out
// of range, AppError when the text is not a number.
qint16 ToInt16(const QString& text);
// The same for window positions and sizes, which need more than 16 bits on a
// wide desktop (32767 twips are 2184 pixels at 96 dpi).
qint32 ToInt32(const QString& text);

// Start-up version check: below 120 (or missing) wipes everything, then writes "120".
void CheckSettingsVersion();
// Writes the current layout version (after a reset, so the next start keeps
// what is chosen from now on).
void WriteSettingsVersion();

// Port number and device mapping for COM1/COM2 (port 0/1).
qint16 ReadComPort();
void WriteComPort(qint16 port);
QString StoredDevicePath(int port);   // empty when not stored
void SaveDevicePath(int port, const QString& path);   // empty removes the key

QString LoadSingleMeasFile();
QString LoadExtIoMeasFile();
void SaveSingleMeasFile(const QString& path);
void SaveExtIoMeasFile(const QString& path);
qint16 LoadSingleOutputMethod();
qint16 LoadExtIoOutputMethod();
void SaveSingleOutputMethod(qint16 method);
void SaveExtIoOutputMethod(qint16 method);

// Window geometry in twips, as 32-bit integers (same decimal text as ever).
// Screen size in twips gives the centred default.
void LoadMainPos(qint32& top, qint32& left, double screenWidthTwips, double screenHeightTwips);
void LoadMainSize(qint32& width, qint32& height);
void LoadDispPos(qint32& top, qint32& left);
// defaultTop: the display window's current height in twips.
void LoadTimePos(qint32& top, qint32& left, int defaultTop);
void LoadSinglePos(qint32& top, qint32& left, int defaultTop);
void LoadExtIoPos(qint32& top, qint32& left, int defaultTop);
void SaveTimePos(qint32 top, qint32 left);
void SaveSinglePos(qint32 top, qint32 left);
void SaveExtIoPos(qint32 top, qint32 left);
// Shutdown writes: decimal text of the current values.
void SaveMainGeometry(int top, int left, int width, int height);
void SaveDispPos(int top, int left);

// Window-open flags.
void SetFormTimeOpen(bool open);
bool GetFormTimeOpen();
void SetFormSingleOpen(bool open);
bool GetFormSingleOpen();
void SetFormExtIoOpen(bool open);
bool GetFormExtIoOpen();

// Trend window geometry in twips; a size that is not stored or not positive
// gives 9600 x 5400 (640 x 360 pixels at 96 dpi).
void LoadTrendGeometry(qint32& top, qint32& left, qint32& width, qint32& height, int defaultLeft);
void SaveTrendGeometry(int top, int left, int width, int height);

// [Grading]: whether readings are graded (default off), the active profile
// file (default none) and whether grades sound (default on). Stored as 1/0;
// anything else reads as the default.
bool LoadGradingEnabled();
void SaveGradingEnabled(bool on);
QString LoadGradingProfile();
void SaveGradingProfile(const QString& path);   // empty removes the key
bool LoadGradingSounds();
void SaveGradingSounds(bool on);
// [Form Single]: whether the return-key window asks for cell IDs and whether
// it captures hands-free (both default off, stored as 1/0); the readings that
// must agree before a capture (default 3, 1..100) and how closely, in percent
// of the reading (default 1, 0..100). Anything else reads as the default.
bool LoadSingleCellIds();
void SaveSingleCellIds(bool on);
bool LoadSingleHandsFree();
void SaveSingleHandsFree(bool on);
int LoadCaptureCount();
double LoadCaptureTolerance();

// The program's folder of profile files: $XDG_DATA_HOME/ORVEN/profiles
// (~/.local/share/ORVEN/profiles). Not created here.
QString GradingProfilesFolder();

}  // namespace SETTING
