#pragma once
// "Loading Measurement Data (by return key)": one reading per Load click or
// return key, appended to a CSV file or written at the spreadsheet's active cell.
#include "frm_loading.h"

class QCloseEvent;

class Frm_Single : public LOGGING::LoadingForm {
    Q_OBJECT
public:
    explicit Frm_Single(QWidget* parent = nullptr);

    QLabel* Lbl_Title = nullptr;
    QPushButton* Cmd_Trig = nullptr;
    QPushButton* Cmd_End = nullptr;

    void Form_Load();
    void Form_Unload(bool& cancel);
    void Cmd_Ok_Click();
    void Cmd_Trig_Click();
    void Cmd_End_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SingleMeas();
};
