#pragma once
// Creates and edits grading profiles, opens and saves their files, and
// chooses the active one. Everything works from the keyboard: Tab reaches
// every control, each has an access key, Return is OK and Escape Cancel;
// in the bin table the arrows move, typing edits and Tab goes to the next cell.
#include <QDialog>
#include <QString>

#include <optional>

#include "active.h"
#include "profile.h"

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class GradingDialog : public QDialog {
    Q_OBJECT
public:
    explicit GradingDialog(QWidget* parent = nullptr);

    // Makes the shown profile the active one: checked, saved to its file when
    // changed, and its path remembered with the two switches.
    void accept() override;

    // Columns: 0 Name, 1 Colour, 2 R low, 3 R high, 4 V low, 5 V high
    QTableWidget* bins = nullptr;
    QLineEdit* name = nullptr;
    QPushButton* addBin = nullptr;
    QPushButton* removeBin = nullptr;
    QPushButton* moveUp = nullptr;
    QPushButton* moveDown = nullptr;
    // Acceptance limits of the capability figures.
    QLineEdit* rLow = nullptr;
    QLineEdit* rHigh = nullptr;
    QLineEdit* vLow = nullptr;
    QLineEdit* vHigh = nullptr;
    QCheckBox* enabled = nullptr;   // "Grade readings"
    QCheckBox* sounds = nullptr;
    QPushButton* newButton = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* saveAsButton = nullptr;
    QPushButton* checkButton = nullptr;
    QLabel* fileLabel = nullptr;
    QDialogButtonBox* buttons = nullptr;

    QString path() const { return path_; }
    bool isModified() const { return modified_; }
    // Shows a profile file; a damaged one gets a box naming its line.
    bool openFile(const QString& path);

private:
    void showProfile(const GRADING::Profile& profile, const QString& path);
    // The shown profile, checked; a box names the first fault otherwise.
    std::optional<GRADING::Profile> collect();
    void checkClicked();
    bool save();
    bool saveAs();
    void newClicked();
    void openClicked();
    bool mayDiscard();
    void addRow();
    void swapRows(int a, int b);
    void setModified(bool on);
    void warn(const QString& text);
    void paintColour(int row);

    QString path_;
    bool modified_ = false;
    bool filling_ = false;   // the table is being filled, not edited
};

namespace APP {
// GRADING::LoadActiveProfile, and a box with its message if there is one.
GRADING::ActiveProfile LoadActiveProfileWithWarning(QWidget* parent = nullptr);
}  // namespace APP
