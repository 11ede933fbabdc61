// Cost of one loaded row in a running Calc, against the same rows to a CSV
// file in the same run. The row is what a loading window writes: the active
// cell read once, three cells from it, then the cell below selected.
// Prints "name: value" lines; with no office to start it says so and exits 0.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

#include "outfiles.h"
#include "sheet.h"

#ifdef ORVEN_HAVE_CALC
#include "calc_provider.h"
#endif

#ifdef ORVEN_HAVE_CALC
namespace {

constexpr int kRows = 400;
const QStringList kFields{QStringLiteral("012.34E-3"), QStringLiteral("+12.345E+0"), QStringLiteral("IN")};

double MedianMs(std::vector<qint64> ns) {
    std::sort(ns.begin(), ns.end());
    return ns.empty() ? 0.0 : ns[ns.size() / 2] / 1e6;
}

}  // namespace
#endif

int main(int argc, char** argv) {
    QCoreApplication qapp(argc, argv);
#ifndef ORVEN_HAVE_CALC
    std::printf("# calc: built without the LibreOffice SDK, nothing measured\n");
    return 0;
#else
    QTemporaryDir tmp;
    SHEET::CALC::Options o;
    o.pipe = QStringLiteral("orven5927_bench_%1").arg(QCoreApplication::applicationPid());
    o.extraArgs = {QStringLiteral("--headless"),
                   QStringLiteral("-env:UserInstallation=file://%1/profile").arg(tmp.path())};
    auto provider = SHEET::CALC::MakeCalcProvider(o);
    auto app = provider->Create();
    if (!app || !app->WorkbooksAdd() || !app->SelectCell(2, 1)) {
        std::printf("# calc: no office could be started (soffice missing or not answering), nothing measured\n");
        SHEET::CALC::KillProcessTree(provider->StartedPid());
        return 0;
    }

    // CSV baseline: the same fields through the program's output files.
    const int fileNo = OUTFILES::FreeFile();
    if (!OUTFILES::OpenForAppend(fileNo, tmp.filePath(QStringLiteral("rows.csv")))) {
        std::printf("# calc: the CSV file could not be opened\n");
        return 1;
    }
    std::vector<qint64> csv, calc, prepared;
    QElapsedTimer t;
    for (int i = 0; i < kRows; ++i) {
        t.start();
        OUTFILES::PrintLine(fileNo, kFields.join(QLatin1Char(',')));
        csv.push_back(t.nsecsElapsed());
    }
    OUTFILES::Close(fileNo);

    bool ok = true;
    for (int i = 0; i < kRows && ok; ++i) {
        t.start();
        const auto at = app->ActiveCell();
        ok = at.has_value();
        for (int k = 0; ok && k < 3; ++k) ok = app->SetCellValue(at->first, at->second + k, kFields[k]);
        ok = ok && app->SelectCell(at->first + 1, at->second);
        calc.push_back(t.nsecsElapsed());
    }
    // The return-key window also finds the office and checks for a sheet before every row.
    for (int i = 0; i < kRows && ok; ++i) {
        t.start();
        auto found = provider->Attach();
        ok = found && found->WorkbooksCount().value_or(0) > 0 && found->WorksheetsCount().value_or(0) > 0;
        const auto at = ok ? found->ActiveCell() : std::nullopt;
        ok = ok && at.has_value();
        for (int k = 0; ok && k < 3; ++k) ok = found->SetCellValue(at->first, at->second + k, kFields[k]);
        ok = ok && found->SelectCell(at->first + 1, at->second);
        prepared.push_back(t.nsecsElapsed());
    }
    if (!ok) std::printf("# calc: a call into the office failed, figures cover the rows before it\n");

    const double csvMs = MedianMs(csv), calcMs = MedianMs(calc), preparedMs = MedianMs(prepared);
    std::printf("calc_row_ms: %.4f\n", calcMs);
    std::printf("csv_row_ms: %.4f\n", csvMs);
    std::printf("calc_row_vs_csv_row: %.1f\n", csvMs > 0 ? calcMs / csvMs : 0.0);
    std::printf("calc_prepared_row_ms: %.4f\n", preparedMs);
    std::printf("calc_prepared_row_vs_calc_row: %.2f\n", calcMs > 0 ? preparedMs / calcMs : 0.0);

    // The office was started for this measurement only.
    SHEET::CALC::OperatorProbe(o).MarkAllUnmodified();
    const long long pid = provider->StartedPid();
    app.reset();
    provider.reset();
    SHEET::CALC::KillProcessTree(pid);
    QFile::remove(QStringLiteral("/tmp/OSL_PIPE_%1_%2").arg(::getuid()).arg(o.pipe));
    return 0;
#endif
}
