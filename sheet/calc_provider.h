#pragma once
// LibreOffice Calc as the program's spreadsheet, reached through UNO over a
// named pipe. The office is found by its pipe name (the counterpart of a class
// name) and keeps running when the program ends.
#include "sheet.h"

#include <QString>
#include <QStringList>

namespace SHEET::CALC {

struct Options {
    QString pipe = QStringLiteral("orven5927");
    // soffice to start; empty: look for "soffice" on PATH.
    QString soffice;
    // Added to the office's command line (tests: --headless and a throw-away profile).
    QStringList extraArgs;
    int callLimitMs = 10000;    // one UNO call; past it the call failed
    int startLimitMs = 60000;   // a started office must answer within this
};

// Defaults, overridden by ORVEN5927_CALC_PIPE, ORVEN5927_SOFFICE,
// ORVEN5927_CALC_ARGS, ORVEN5927_CALC_CALL_MS and ORVEN5927_CALC_START_MS.
Options OptionsFromEnvironment();

// Extra view of the provider for tests and diagnostics.
class CalcProvider : public Provider {
public:
    // Process id of the last office this provider started, 0 if none.
    virtual long long StartedPid() const = 0;
    // Workers given up on a call past the limit.
    virtual int TimedOutCalls() const = 0;
};

std::shared_ptr<CalcProvider> MakeCalcProvider(const Options& options);

// Kills a process and everything it started, and removes the socket files of
// the office pipes they held. Only for an office that the program never got
// an answer from, or that the tests or the benchmark started themselves; the
// program never ends an office that answered.
void KillProcessTree(long long pid);

}  // namespace SHEET::CALC

namespace SHEET::CALC {

// A second, independent client of the office. It does what an operator does
// by hand (select cells, switch or close documents) and reads back what the
// office holds; the tests use it to check the provider from outside.
class OperatorProbe {
public:
    explicit OperatorProbe(const Options& options);
    ~OperatorProbe();
    bool Connected();

    struct Cell {
        enum Kind { Empty, Value, Text, Formula, Unreadable } kind = Empty;
        double value = 0;
        QString shown;   // as the office displays it
    };
    std::optional<Cell> ReadCell(int row, int column);   // on the active sheet
    Cell At(int row, int column);                         // kind Unreadable when that failed
    std::optional<QStringList> SheetNames();              // of the active workbook
    bool ActivateSheet(const QString& name);
    bool SelectRange(int top, int left, int bottom, int right);
    // Types text into a cell as the operator would, in the office's locale.
    bool Type(int row, int column, const QString& text);
    std::optional<int> FirstVisibleRow();                 // 1-based
    bool CloseActiveWorkbook();
    // Marks every document unmodified so that ending the office asks nothing.
    bool MarkAllUnmodified();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace SHEET::CALC
