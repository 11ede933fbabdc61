#pragma once
// Grading as the windows switch it on for a run: the profile chosen in the
// settings, or a warning box when it cannot be used and a run without grading.
#include <QString>

#include "active.h"

namespace ACQ {
class Run;
}

namespace GRADED {
inline constexpr char kBoxTitle[] = "Grading";

// GRADING::LoadActiveProfile, and a warning box with its message if it has one.
GRADING::ActiveProfile LoadActiveWithWarning();

// Right before a run starts: the run grades by the active profile, or not at
// all (grading off, or after the box).
void ApplyActiveProfile(ACQ::Run& run);
}  // namespace GRADED
