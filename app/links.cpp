#include "links.h"

#include "logging.h"

namespace APP {

namespace {
LoggingLinks Defaults() {
    LoggingLinks l;
    l.openTime = [] { LOGGING::MnuMeasTime_Click(); };
    l.openSingle = [] { LOGGING::MnuMeasSingle_Click(); };
    l.openExtIo = [] { LOGGING::MnuMeasIo_Click(); };
    l.inExtIoMeasMode = [] { return LOGGING::AnsInExtIoMeasMode(); };
    l.timeForm = [] { return LOGGING::TimeForm(); };
    l.singleForm = [] { return LOGGING::SingleForm(); };
    l.extIoForm = [] { return LOGGING::ExtIoForm(); };
    return l;
}
}  // namespace

LoggingLinks& Logging() {
    static LoggingLinks links = Defaults();
    return links;
}

void RestoreLoggingLinks() { Logging() = Defaults(); }

}  // namespace APP
