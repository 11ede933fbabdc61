#include "profile_file.h"

#include "units.h"

#include <QFile>
#include <QMap>
#include <QSaveFile>
#include <QStringDecoder>

namespace GRADING {

namespace {

enum class Section { Top, Limits, Bin };

// Where each item of a section was read, for messages about it.
struct Lines {
    int header = 0, name = 0, colour = 0, rLow = 0, rHigh = 0, vLow = 0, vHigh = 0;
};

int lineOf(const Lines& l, Problem::Field f) {
    using F = Problem::Field;
    int at = 0;
    switch (f) {
    case F::Name: at = l.name; break;
    case F::Colour: at = l.colour; break;
    case F::ResistanceLow: at = l.rLow; break;
    case F::ResistanceHigh: at = std::max(l.rLow, l.rHigh); break;   // where the pair became wrong
    case F::VoltageLow: at = l.vLow; break;
    case F::VoltageHigh: at = std::max(l.vLow, l.vHigh); break;
    case F::None: break;
    }
    return at ? at : l.header;
}

QString quoted(const QString& s) { return QLatin1Char('"') + s + QLatin1Char('"'); }

struct Reader {
    Profile profile;
    Section section = Section::Top;
    Lines lines;             // of the section being read
    Lines limitLines;
    int limitsHeader = 0;    // 0: no [limits] yet
    QMap<QString, int> seen; // keys of the section -> their line
    ReadResult result;

    bool fail(int line, const QString& text) {
        result.profile.reset();
        result.line = line;
        result.error = QStringLiteral("Line %1: %2.").arg(line).arg(text);
        return false;
    }
    bool failAt(const Lines& l, const Problem& p) { return fail(lineOf(l, p.field), p.text); }

    // Checks the section that ends here.
    bool close() {
        if (section == Section::Bin) {
            if (auto p = CheckBin(profile, int(profile.bins.size()) - 1)) return failAt(lines, *p);
        } else if (section == Section::Limits) {
            limitLines = lines;
            if (auto p = CheckLimits(profile)) return failAt(lines, *p);
        }
        return true;
    }

    bool header(int line, const QString& t) {
        if (!t.endsWith(QLatin1Char(']')))
            return fail(line, QStringLiteral("a section line must end with \"]\""));
        const QString name = t.mid(1, t.size() - 2).simplified().toLower();
        if (name != QLatin1String("bin") && name != QLatin1String("limits"))
            return fail(line, QStringLiteral("unknown section %1 (expected [bin] or [limits])").arg(quoted(t)));
        if (!close()) return false;
        seen.clear();
        lines = Lines{};
        lines.header = line;
        if (name == QLatin1String("bin")) {
            section = Section::Bin;
            profile.bins.append(Bin{});
        } else {
            if (limitsHeader)
                return fail(line, QStringLiteral("a second [limits] section (the first is on line %1)").arg(limitsHeader));
            limitsHeader = line;
            section = Section::Limits;
        }
        return true;
    }

    bool side(int line, const QString& key, const QString& value, std::optional<double>& out, int& where) {
        where = line;
        if (value.isEmpty() || value == QLatin1String("*")) {
            out.reset();
            return true;
        }
        const auto v = ParseValue(value);
        if (!v) return fail(line, QStringLiteral("%1 is not a number (%2)").arg(quoted(value), key));
        out = v;
        return true;
    }

    bool item(int line, const QString& raw) {
        const qsizetype eq = raw.indexOf(QLatin1Char('='));
        if (eq < 0) return fail(line, QStringLiteral("expected \"key = value\", a [section] or a # comment"));
        QString key = raw.left(eq).simplified().toLower();
        if (key == QLatin1String("color")) key = QStringLiteral("colour");
        const QString value = raw.mid(eq + 1).trimmed();
        const char* where = section == Section::Top ? "before the first section"
                            : section == Section::Limits ? "in [limits]" : "in [bin]";
        if (seen.contains(key))
            return fail(line, QStringLiteral("%1 given twice in this section (first on line %2)")
                                  .arg(quoted(key)).arg(seen.value(key)));
        Range* range = nullptr;
        if (section == Section::Limits) {
            if (key.startsWith(QLatin1String("resistance "))) range = &profile.resistanceLimits;
            if (key.startsWith(QLatin1String("voltage "))) range = &profile.voltageLimits;
        } else if (section == Section::Bin) {
            Bin& b = profile.bins.last();
            if (key == QLatin1String("name")) {
                b.name = value;
                lines.name = line;
                seen.insert(key, line);
                // Checked here rather than at the end of the section, so the
                // message points at this line.
                if (b.name.isEmpty()) return fail(line, BinLabel(profile, int(profile.bins.size()) - 1) + QStringLiteral(": has no name"));
                return true;
            }
            if (key == QLatin1String("colour")) {
                b.colour = value;
                lines.colour = line;
                seen.insert(key, line);
                return true;
            }
            if (key.startsWith(QLatin1String("resistance "))) range = &b.resistance;
            if (key.startsWith(QLatin1String("voltage "))) range = &b.voltage;
        } else if (key == QLatin1String("name")) {
            profile.name = value;
            seen.insert(key, line);
            return true;
        }
        if (range) {
            const bool isR = key.startsWith(QLatin1String("resistance "));
            const QString end = key.section(QLatin1Char(' '), 1);
            seen.insert(key, line);
            if (end == QLatin1String("low")) return side(line, key, value, range->low, isR ? lines.rLow : lines.vLow);
            if (end == QLatin1String("high")) return side(line, key, value, range->high, isR ? lines.rHigh : lines.vHigh);
        }
        return fail(line, QStringLiteral("unknown key %1 %2").arg(quoted(key), QLatin1String(where)));
    }
};

}  // namespace

ReadResult ParseProfile(const QByteArray& bytes) {
    Reader r;
    const QList<QByteArray> rawLines = bytes.split('\n');
    int lineNo = 0;
    for (QByteArray raw : rawLines) {
        ++lineNo;
        if (raw.endsWith('\r')) raw.chop(1);
        if (lineNo == 1 && raw.startsWith("\xEF\xBB\xBF")) raw.remove(0, 3);   // editors' byte-order mark
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(raw);
        if (utf8.hasError()) {
            r.fail(lineNo, QStringLiteral("not UTF-8 text"));
            return r.result;
        }
        const QString t = text.trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char('#'))) continue;
        const bool ok = t.startsWith(QLatin1Char('[')) ? r.header(lineNo, t) : r.item(lineNo, t);
        if (!ok) return r.result;
    }
    // A file ending in a line break has an empty last piece; it is not a line.
    const int lastLine = std::max(1, int(rawLines.size()) - (bytes.endsWith('\n') ? 1 : 0));
    if (!r.close()) return r.result;
    if (auto p = CheckHasBins(r.profile)) {
        r.fail(lastLine, p->text + QStringLiteral(" (a bin starts with a line [bin])"));
        return r.result;
    }
    r.result.profile = r.profile;
    return r.result;
}

ReadResult ReadProfile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        ReadResult r;
        r.error = QStringLiteral("Cannot read %1: %2.").arg(path, f.errorString());
        return r;
    }
    return ParseProfile(f.readAll());
}

namespace {
QString side(const std::optional<double>& v) { return v ? FormatValue(*v) : QStringLiteral("*"); }

void writeRange(QString& out, const char* quantity, const Range& r) {
    out += QStringLiteral("%1 low = %2\n").arg(QLatin1String(quantity), side(r.low));
    out += QStringLiteral("%1 high = %2\n").arg(QLatin1String(quantity), side(r.high));
}
}  // namespace

QByteArray ProfileText(const Profile& p) {
    QString out;
    out += QStringLiteral("# ORVEN 5927 grading profile\n"
                          "# Bins are tried from the top; a reading takes the first it fits, else Reject.\n"
                          "# Values in ohms and volts, with prefixes p n u m k M G; * is an open side.\n");
    if (!p.name.isEmpty()) out += QStringLiteral("name = %1\n").arg(p.name);
    out += QStringLiteral("\n[limits]\n");
    writeRange(out, "resistance", p.resistanceLimits);
    writeRange(out, "voltage", p.voltageLimits);
    for (const Bin& b : p.bins) {
        out += QStringLiteral("\n[bin]\nname = %1\n").arg(b.name);
        if (!b.colour.isEmpty()) out += QStringLiteral("colour = %1\n").arg(b.colour);
        writeRange(out, "resistance", b.resistance);
        writeRange(out, "voltage", b.voltage);
    }
    return out.toUtf8();
}

QString WriteProfile(const Profile& profile, const QString& path) {
    const QList<Problem> problems = Validate(profile);
    if (!problems.isEmpty()) return problems.first().text;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return QStringLiteral("Cannot write %1: %2.").arg(path, f.errorString());
    const QByteArray text = ProfileText(profile);
    if (f.write(text) != text.size() || !f.commit())
        return QStringLiteral("Cannot write %1: %2.").arg(path, f.errorString());
    return QString();
}

}  // namespace GRADING
