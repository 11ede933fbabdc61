#include "reading.h"

#include <QFile>

#include "commands.h"
#include "errors.h"
#include "rs_lib32.h"

namespace ACQ {

QString Sample::comparator() const {
    if (setup.CompState == 0) return {};
    return fields.value(setup.MeasMode == 1 ? 2 : 1);
}

QStringList TakeReading(RS_LIB32::Link& link, const Setup& setup) {
    link.CommSend(QString::fromLatin1(setup.MeasMode == 1 ? CMD::MeasBatt : CMD::MeasRes));
    QStringList fields = FreshFields();
    link.CommReceive(fields);
    ClearUndeliveredFields(fields, setup.MeasMode, setup.CompState);
    return fields;
}

void ClearUndeliveredFields(QStringList& fields, qint16 mode, qint16 comp) {
    while (fields.size() < 3) fields.append(QString());
    if (mode == 0) fields[2].clear();
    if (comp == 0) {
        if (mode == 1)
            fields[2].clear();
        else
            fields[1].clear();
    }
}

QString LoadedLine(const QStringList& f) {
    QString line = f.value(0);
    if (!f.value(1).isEmpty()) {
        line += QLatin1Char(',') + f.value(1);
        if (!f.value(2).isEmpty()) line += QLatin1Char(',') + f.value(2);
    }
    return line;
}

QStringList FreshFields() { return QStringList{QString(), QString(), QString()}; }

QStringList HeaderNames(const Setup& setup) {
    QStringList names{QStringLiteral("Resistance")};
    if (setup.MeasMode == 1) names << QStringLiteral("Voltage");
    if (setup.CompState != 0) names << QStringLiteral("Comp");
    return names;
}

QStringList ColumnNames(const Setup& setup, bool extra) {
    QStringList names = HeaderNames(setup);
    if (extra) names << QString::fromLatin1(kBinColumn) << QString::fromLatin1(kCellIdColumn);
    return names;
}

QStringList RowCells(const Sample& sample, bool extra) {
    // The fields under the header's columns: resistance, then voltage and
    // comparator where the configuration delivers them.
    QStringList cells{sample.fields.value(0)};
    if (sample.setup.MeasMode == 1) cells << sample.fields.value(1);
    if (sample.setup.CompState != 0) cells << sample.comparator();
    if (extra) cells << (sample.grade ? sample.grade->name : QString()) << sample.cellId;
    return cells;
}

bool IsSafeCellId(const QString& id) {
    if (id.size() > kMaxCellId) return false;
    if (!id.isEmpty() && QStringLiteral("=+-@").contains(id.front())) return false;
    for (const QChar c : id)
        if (!c.isPrint() || c == u',' || c == u';' || c == u'"') return false;
    return true;
}

QStringList CellIdsInLoadedFile(const QString& path, const Setup& setup) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const qsizetype columns = ColumnNames(setup, true).size();
    QStringList ids;
    for (QByteArray line : file.readAll().split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        const QStringList cells = QString::fromUtf8(line).split(QLatin1Char(','));
        if (cells.size() == columns && !cells.last().isEmpty() &&
            cells.last() != QLatin1String(kCellIdColumn))
            ids << cells.last();
    }
    return ids;
}

QString CsvHeader(const Setup& setup, bool extra) {
    return QStringLiteral("Time,") + ColumnNames(setup, extra).join(QLatin1Char(','));
}

QString LoadedRow(const Sample& sample, bool extra) {
    if (!extra) return LoadedLine(sample.fields);
    return RowCells(sample, true).join(QLatin1Char(','));
}

QString CsvRow(const Sample& sample, bool extra) {
    return sample.time.toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(',') + LoadedRow(sample, extra);
}

void DiscardRestOfLine(RS_LIB32::Link& link) {
    QStringList scratch;
    for (int i = 0; i < 64; ++i) scratch.append(QString());
    for (int tries = 0; tries < 8; ++tries) {
        try {
            link.CommReceive(scratch, 2000);
            return;
        } catch (const FieldOverflowError&) {
            continue;   // a very long line: keep reading to its end
        } catch (const AppError&) {
            return;
        }
    }
}

}  // namespace ACQ
