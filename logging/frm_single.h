#pragma once
// "Loading Measurement Data (by return key)": one reading per Load click or
// return key, appended to a CSV file or written at the spreadsheet's active cell.
// Switched on in its set-up panel: a cell ID per row (a scanner's burst and
// Return), and hands-free capture that takes a row whenever the probes settle.
#include <QSet>

#include "frm_loading.h"

class QCheckBox;
class QCloseEvent;

class Frm_Single : public LOGGING::LoadingForm {
    Q_OBJECT
public:
    explicit Frm_Single(QWidget* parent = nullptr);

    QLabel* Lbl_Title = nullptr;
    QPushButton* Cmd_Trig = nullptr;
    QPushButton* Cmd_End = nullptr;
    // Set-up panel: the cell ID field and hands-free capture, off by default.
    QCheckBox* Chk_CellIds = nullptr;
    QCheckBox* Chk_HandsFree = nullptr;
    // Load panel: the scanned or typed ID of the next cell, and what happens.
    QLabel* Lbl_CellId = nullptr;
    QLineEdit* Txt_CellId = nullptr;
    QLabel* Lbl_Status = nullptr;

    void Form_Load();
    void Form_Unload(bool& cancel);
    void Cmd_Ok_Click();
    void Cmd_Trig_Click();
    void Cmd_End_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The ID the next row is for; false (after a beep and a word) when none
    // is given or the operator declines to measure a cell again.
    bool AdmitCell(const QString& id);
    // Whether `typed` may replace the field's selection (or go in at the cursor).
    bool IdAccepts(const QString& typed) const;
    void HandsFree();
    void FocusNext();

    bool cellIds_ = false;    // as chosen at OK
    bool handsFree_ = false;
    bool inLoop_ = false;     // the capture loop runs: the window must stay
    QSet<QString> measured_;  // IDs already in this output
};
