#pragma once
// The profile the operator chose for grading, as the settings name it.
#include <QString>
#include <optional>

#include "profile.h"

namespace GRADING {
// Empty with no message when grading is off; with a message (naming the line
// of a damaged file) when the chosen profile cannot be used, and then
// nothing is graded.
struct ActiveProfile {
    std::optional<Profile> profile;
    QString path;
    QString message;
};
ActiveProfile LoadActiveProfile();
}  // namespace GRADING
