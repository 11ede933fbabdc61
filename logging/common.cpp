#include "common.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>

#include "frame.h"
#include "logging.h"

namespace LOGGING {

double LeadingValue(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^\\s*([+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?)"));
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch()) return 0.0;
    bool ok = false;
    const double v = m.captured(1).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

void FocusMainWindow() {
    QWidget* main = FRAME::MainWindow();
    if (!main) return;
    // The frame becomes the active window as an MDI parent does: the active
    // child keeps its focused control, so Return still reaches that child's
    // buttons. Focusing the frame itself would leave no key for the child.
    main->raise();
    main->activateWindow();
    QWidget* focus = main->focusWidget();
    if (QMdiArea* area = FRAME::MdiArea()) {
        QMdiSubWindow* sub = area->activeSubWindow();
        if (sub && sub->widget() && (!focus || !sub->isAncestorOf(focus))) {
            QWidget* inner = sub->widget()->focusWidget();
            if (inner && inner->isVisible() && inner->isEnabled()) focus = inner;
        }
    }
    if (focus && focus != main && focus->isVisible() && focus->isEnabled())
        focus->setFocus(Qt::ActiveWindowFocusReason);
}

namespace {
bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
}  // namespace

bool FilterDigitKey(QKeyEvent* event) {
    // Pasted text is held to the same rule as typed text.
    if (event->matches(QKeySequence::Paste)) {
        const QString pasted = QGuiApplication::clipboard()->text();
        if (std::all_of(pasted.begin(), pasted.end(), IsDigit)) return false;
        Beep();
        return true;
    }
    // Shortcuts (select all, copy, cut, undo) type nothing, whatever text they carry.
    const Qt::KeyboardModifiers mods = event->modifiers();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier)) return false;
    const QString text = event->text();
    // Editing keys carry control characters (Delete, Backspace) or nothing
    // (arrows, Home, End); Return, Tab and Escape drive the window.
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); })) return false;
    // A compose sequence may type several characters at once ("é5"): the
    // whole text must be digits, or none of it goes in.
    if (std::all_of(text.begin(), text.end(), IsDigit)) return false;
    Beep();
    return true;
}

void KeepDigitsOnly(QLineEdit* box) {
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
}

bool FilterDigitInput(QInputMethodEvent* event) {
    const QString text = event->commitString();
    if (std::all_of(text.begin(), text.end(), IsDigit)) return false;
    Beep();
    return true;
}

QMdiSubWindow* SubWindowOf(const QWidget* form) {
    for (QWidget* p = form ? form->parentWidget() : nullptr; p; p = p->parentWidget())
        if (auto* sub = qobject_cast<QMdiSubWindow*>(p)) return sub;
    return nullptr;
}

void CloseForm(QWidget* form) {
    if (QMdiSubWindow* sub = SubWindowOf(form))
        sub->close();
    else
        form->close();
}

namespace {
QString& LastCsvFolder() {
    static QString folder;
    return folder;
}
}  // namespace

QString CsvDialogStartFolder() {
    const QString last = LastCsvFolder();
    if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
    return QDir::homePath();
}

void RememberCsvFolder(const QString& chosenFile) {
    if (!chosenFile.isEmpty()) LastCsvFolder() = QFileInfo(chosenFile).absolutePath();
}

QFileDialog* MakeCsvDialog(QWidget* parent, bool save) {
    auto* dlg = new QFileDialog(parent, QString::fromLatin1(kCsvDialogTitle), CsvDialogStartFolder());
    // A name typed without an extension still ends up as a CSV file.
    dlg->setDefaultSuffix(QStringLiteral("csv"));
    QObject::connect(dlg, &QFileDialog::fileSelected, dlg, [](const QString& f) { RememberCsvFolder(f); });
    dlg->setOption(QFileDialog::DontUseNativeDialog);
    dlg->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg->setFileMode(QFileDialog::AnyFile);
    dlg->setNameFilters({QString::fromLatin1(kCsvFilterCsv) + QStringLiteral(" (*.csv)"),
                         QString::fromLatin1(kCsvFilterAll) + QStringLiteral(" (*)")});
    return dlg;
}

void FormBase::SetDefaultButton(QPushButton* button) {
    if (default_) default_->setDefault(false);
    default_ = button;
    if (default_) default_->setDefault(true);
}

void FormBase::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && default_ &&
        default_->isVisible() && default_->isEnabled()) {
        default_->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace LOGGING
