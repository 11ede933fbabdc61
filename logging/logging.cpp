#include "logging.h"

// Placeholder until the logging windows land: no window exists yet.
namespace LOGGING {
void MnuMeasTime_Click() {}
void MnuMeasSingle_Click() {}
void MnuMeasIo_Click() {}
bool AnsInExtIoMeasMode() { return false; }
QWidget* TimeForm() { return nullptr; }
QWidget* SingleForm() { return nullptr; }
QWidget* ExtIoForm() { return nullptr; }
}  // namespace LOGGING
