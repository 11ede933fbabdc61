#include "resources.h"

#include <QtGlobal>

static void InitAppResources() { Q_INIT_RESOURCE(app); }

namespace APP {
void InitResources() {
    static bool done = false;
    if (!done) {
        InitAppResources();
        done = true;
    }
}
}  // namespace APP
