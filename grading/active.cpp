#include "active.h"

#include <QDir>

#include "profile_file.h"
#include "settings.h"

namespace GRADING {

ActiveProfile LoadActiveProfile() {
    ActiveProfile out;
    if (!SETTING::LoadGradingEnabled()) return out;
    out.path = SETTING::LoadGradingProfile();
    if (out.path.isEmpty()) {
        out.message = QStringLiteral("Grading is switched on, but no profile is chosen: readings are not graded.\n"
                                     "Choose one in Measurement > Grading.");
        return out;
    }
    const ReadResult r = ReadProfile(out.path);
    if (!r.profile) {
        out.message = QStringLiteral("The grading profile %1 cannot be used: readings are not graded.\n%2")
                          .arg(QDir::toNativeSeparators(out.path), r.error);
        return out;
    }
    out.profile = r.profile;
    return out;
}

}  // namespace GRADING
