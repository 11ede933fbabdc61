#pragma once
// Pieces the three logging windows share.
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <QtGlobal>
#include <functional>

class QFileDialog;
class QInputMethodEvent;
class QKeyEvent;
class QLineEdit;
class QMdiSubWindow;

namespace LOGGING {

inline constexpr char kNoSpreadsheet[] = "There is not Excel in this personal computer.";
inline constexpr char kCsvDialogTitle[] = "Output CSV Filename";
inline constexpr char kCsvFilterCsv[] = "CSV File(*.csv)";
inline constexpr char kCsvFilterAll[] = "All Files(*.*)";
inline constexpr char kFontFamily[] = "Liberation Sans";

// Leading number of a text as the operator typed it ("12abc" -> 12, "" -> 0).
double LeadingValue(const QString& text);
void Beep();
void FocusMainWindow();

// Digit-only filter: digits and the editing keys and shortcuts pass; any
// other typed text, and a paste of anything but digits, is dropped with a
// beep. Returns true when the key was dropped.
bool FilterDigitKey(QKeyEvent* event);
// The same for text committed by an input method.
bool FilterDigitInput(QInputMethodEvent* event);
// Refuses non-digit text that comes another way (the context menu's Paste, a drop).
void KeepDigitsOnly(QLineEdit* box);

// The CSV file dialog: a save dialog, or an open dialog that takes a name
// not yet on disk. A new one each time, so no earlier choice carries over.
// It starts in CsvDialogStartFolder() and adds ".csv" to a name typed
// without an extension.
QFileDialog* MakeCsvDialog(QWidget* parent, bool save);
// The chooser installed in place of the dialog, if any.
const std::function<QString(bool)>& FileChooser();
// The folder of the last file accepted in a CSV dialog during this run, else
// the documents folder, else home.
QString CsvDialogStartFolder();
void RememberCsvFolder(const QString& chosenFile);

// Unload through the frame so the subwindow closes with the form.
void CloseForm(QWidget* form);
QMdiSubWindow* SubWindowOf(const QWidget* form);

// Return presses this form's default button unless a focused button takes it.
class FormBase : public QWidget {
public:
    using QWidget::QWidget;
    void SetDefaultButton(QPushButton* button);
    QPushButton* DefaultButton() const { return default_; }
    // Between load and an accepted unload.
    bool Loaded() const { return loaded_; }
    void SetLoaded(bool loaded) { loaded_ = loaded; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPushButton* default_ = nullptr;
    bool loaded_ = false;
};

}  // namespace LOGGING
