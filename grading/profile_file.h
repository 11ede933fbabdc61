#pragma once
// Grading profiles as small text files (see FORMAT.md).
#include <QByteArray>
#include <QString>

#include <optional>

#include "profile.h"

namespace GRADING {

struct ReadResult {
    std::optional<Profile> profile;   // empty on error
    int line = 0;                     // the line of the error; 0 when the file cannot be read
    QString error;                    // "Line 7: ..." or why the file cannot be read
};

// Reading stops at the first fault; nothing is guessed or repaired.
ReadResult ParseProfile(const QByteArray& bytes);
ReadResult ReadProfile(const QString& path);

// The file text of a profile; reading it back gives the same profile.
QByteArray ProfileText(const Profile& profile);
// Writes the file whole or not at all. Empty on success, else why not
// (a profile that does not validate is not written).
QString WriteProfile(const Profile& profile, const QString& path);

inline constexpr char kProfileSuffix[] = "grading";

}  // namespace GRADING
