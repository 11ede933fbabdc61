#pragma once
// One reading off the instrument, and the rules every output shares: which
// fields a configuration delivers, how a row is laid out, the header by mode.
#include <QStringList>
#include <QTime>
#include <QtGlobal>

#include <optional>

#include "profile.h"
#include "setup.h"

namespace RS_LIB32 {
class Link;
}

namespace ACQ {

using Setup = SETTING::InstrumentSetupRecord;

// A reading as the instrument sent it. `fields` is the row as received:
// resistance, then voltage (resistance-and-voltage mode), then the
// comparator (when it is on); the positions the configuration does not
// deliver are empty.
struct Sample {
    QTime time;
    QStringList fields;
    Setup setup;
    // While grading is on: the reading's grade. The cell's ID where the
    // operator gave one.
    std::optional<GRADING::Grade> grade;
    QString cellId;

    QString resistance() const { return fields.value(0); }
    QString voltage() const { return setup.MeasMode == 1 ? fields.value(1) : QString(); }
    QString comparator() const;
};

// The measuring command for the mode, a receive into fresh fields (a short
// answer must not keep fields of an earlier one), and the undelivered
// positions emptied. Errors of the link travel up.
QStringList TakeReading(RS_LIB32::Link& link, const Setup& setup);

// The fields a configuration never delivers are emptied: field 2 in
// resistance-only mode, and the comparator's field when it is off.
void ClearUndeliveredFields(QStringList& fields, qint16 mode, qint16 comp);
// "R[,V[,C]]": a field is added only after a non-empty one.
QString LoadedLine(const QStringList& fields);
// Three empty fields for one response.
QStringList FreshFields();
// Column names of a reading for the configuration: Resistance, then Voltage
// and Comp where the configuration delivers them.
QStringList HeaderNames(const Setup& setup);

// The columns a run adds after the reading's own while grading or cell IDs
// are on: "Bin" and "Cell ID". Off, rows and headers are as they always were.
inline constexpr char kBinColumn[] = "Bin";
inline constexpr char kCellIdColumn[] = "Cell ID";
// A cell ID every output holds as typed: up to kMaxCellId printable
// characters, none of the separators or quote (, ; "), and no leading
// = + - @ that a spreadsheet opening the CSV would take for a formula.
inline constexpr int kMaxCellId = 64;
bool IsSafeCellId(const QString& id);
// The cell IDs in the last column of the loaded rows of a CSV file that
// carry the added columns for this configuration (rows of another layout
// are skipped). Empty when the file cannot be read.
QStringList CellIdsInLoadedFile(const QString& path, const Setup& setup);

// The row's texts: the reading's fields under HeaderNames(), then the bin
// and the cell ID when `extra`.
QStringList RowCells(const Sample& sample, bool extra);
// HeaderNames() with the two added columns when `extra`.
QStringList ColumnNames(const Setup& setup, bool extra);
// The CSV form of a time-stamped run: the header line and a row
// ("HH:mm:ss,R[,V[,C]]"), without the line end.
QString CsvHeader(const Setup& setup, bool extra = false);
QString CsvRow(const Sample& sample, bool extra = false);
// A loaded row ("R[,V[,C]]", then the added columns when `extra`).
QString LoadedRow(const Sample& sample, bool extra = false);

// After an answer with too many fields the rest of its line still waits at
// the port; read it away so it cannot pose as the next answer.
void DiscardRestOfLine(RS_LIB32::Link& link);

}  // namespace ACQ
