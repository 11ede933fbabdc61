#include "graded.h"

#include "msgbox.h"
#include "runs.h"

namespace GRADED {

GRADING::ActiveProfile LoadActiveWithWarning() {
    GRADING::ActiveProfile active = GRADING::LoadActiveProfile();
    if (!active.message.isEmpty()) MSG::Warn(active.message, QString::fromLatin1(kBoxTitle));
    return active;
}

void ApplyActiveProfile(ACQ::Run& run) {
    // Always set: a loading window's run lives on from one OK to the next.
    run.SetGrading(LoadActiveWithWarning().profile);
}

}  // namespace GRADED
