#pragma once
// Table of open sequential output files by number. Every line written reaches
// the operating system before PrintLine returns, so a killed program keeps it.
#include <QString>

namespace OUTFILES {

int FreeFile();                                  // next unused number (>= 1)
// Opens for output (truncate) or append. Returns false on failure.
bool OpenForOutput(int fileNo, const QString& path);
bool OpenForAppend(int fileNo, const QString& path);
// Writes text (Latin-1) + CR LF. Throws AppError when the write fails.
void PrintLine(int fileNo, const QString& line);
// False when the last lines may not have reached the disk (sync or close failed).
bool Close(int fileNo);
bool CloseAll();
bool IsOpen(int fileNo);

}  // namespace OUTFILES
