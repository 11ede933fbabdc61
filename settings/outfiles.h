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
// Settles the file's lines on disk and closes it; the number is free either
// way. False when that final sync or the close failed: lines reported as
// written may then be lost. A number that is not open is no failure.
bool Close(int fileNo);
// Closes every open file; false when any of them failed as in Close.
bool CloseAll();
bool IsOpen(int fileNo);

// Tests only: the calls Close makes in place of fdatasync and close (each
// takes the descriptor and returns 0 or -1 with errno set). nullptr restores
// the system's. A replacement close must still release the descriptor.
using FinalCall = int (*)(int fd);
void SetFinalCallsForTests(FinalCall sync, FinalCall close);

}  // namespace OUTFILES
