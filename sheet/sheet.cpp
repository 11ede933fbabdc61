#include "sheet.h"

#include <charconv>
#include <cmath>

namespace SHEET {

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// [+-]digits[.digits][E[+-]digits], ASCII only, at least one digit before
// the exponent; nothing before or after it.
bool NumberNotation(const QString& t) {
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (i < n && (t[i] == u'+' || t[i] == u'-')) ++i;
    qsizetype digits = 0;
    while (i < n && IsDigit(t[i].unicode())) ++i, ++digits;
    if (i < n && t[i] == u'.') {
        ++i;
        while (i < n && IsDigit(t[i].unicode())) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (t[i] == u'E' || t[i] == u'e')) {
        ++i;
        if (i < n && (t[i] == u'+' || t[i] == u'-')) ++i;
        qsizetype exp = 0;
        while (i < n && IsDigit(t[i].unicode())) ++i, ++exp;
        if (exp == 0) return false;
    }
    return i == n;
}

int TwoDigits(const QString& t, qsizetype at) {
    return (t[at].unicode() - u'0') * 10 + (t[at + 1].unicode() - u'0');
}

}  // namespace

CellContent ContentOf(const QString& text) {
    if (text.isEmpty()) return {};
    if (NumberNotation(text)) {
        // Only ASCII is left, so Latin-1 is exact; from_chars reads the C
        // locale whatever the program's locale is, and takes no leading '+'.
        const QByteArray ascii = text.toLatin1();
        const char* first = ascii.constData() + (ascii.startsWith('+') ? 1 : 0);
        double v = 0;
        const auto r = std::from_chars(first, ascii.constData() + ascii.size(), v);
        if (r.ec == std::errc() && std::isfinite(v) && std::fabs(v) != 1e8 && std::fabs(v) != 1e9)
            return {CellContent::Number, v};
        return {CellContent::Text, 0};
    }
    if (text.size() == 8 && text[2] == u':' && text[5] == u':') {
        bool digits = true;
        for (qsizetype i : {0, 1, 3, 4, 6, 7}) digits = digits && IsDigit(text[i].unicode());
        if (digits) {
            const int h = TwoDigits(text, 0), m = TwoDigits(text, 3), s = TwoDigits(text, 6);
            if (h < 24 && m < 60 && s < 60) return {CellContent::Time, (h * 3600 + m * 60 + s) / 86400.0};
        }
    }
    return {CellContent::Text, 0};
}

bool Application::SetRowValues(int row, int column, const QStringList& texts, bool scrollDown) {
    bool ok = true;
    for (int k = 0; k < texts.size(); ++k) ok = SetCellValue(row, column + k, texts[k]) && ok;
    if (scrollDown) ok = SmallScrollDown(1) && ok;
    return ok;
}

void Application::QueueRowValues(int row, int column, const QStringList& texts, bool scrollDown) {
    SetRowValues(row, column, texts, scrollDown);
}

int Application::PrepareLoadRow(int) { return 0; }

bool Application::LoadRowAtActiveCell(const QStringList& texts, int) {
    const auto cell = ActiveCell();
    if (!cell) return false;
    const auto [row, column] = *cell;
    for (int k = 0; k < texts.size(); ++k)
        if (!SetCellValue(row, column + k, texts[k])) return false;
    return SelectCell(row + 1, column);
}

namespace {
std::shared_ptr<Provider>& Slot() {
    static std::shared_ptr<Provider> provider;
    return provider;
}
}  // namespace

Provider& CurrentProvider() {
    if (!Slot()) Slot() = MakeDefaultProvider();
    return *Slot();
}

void SetProvider(std::shared_ptr<Provider> provider) { Slot() = std::move(provider); }

bool WaitForQueued() { return Slot() ? Slot()->WaitForQueued() : true; }

Obtained Obtain() {
    Obtained o;
    o.app = CurrentProvider().Attach();
    if (!o.app) {
        o.app = CurrentProvider().Create();
        o.started = static_cast<bool>(o.app);
    }
    return o;
}

}  // namespace SHEET
