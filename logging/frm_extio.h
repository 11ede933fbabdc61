#pragma once
// "Loading Measurement Data (by external I/O trigger)": one reading per
// trigger at the instrument's I/O input, until Close and one more trigger.
#include "frm_loading.h"

class QCloseEvent;

class Frm_ExtIo : public LOGGING::LoadingForm {
    Q_OBJECT
public:
    explicit Frm_ExtIo(QWidget* parent = nullptr);

    QLabel* Lbl_Title = nullptr;
    QLabel* Lbl_End = nullptr;
    QLabel* Lbl_Trig = nullptr;
    QPushButton* Cmd_End = nullptr;

    qint16& FlagStop;

    void Form_Load();
    void Form_Unload(bool& cancel);
    void Cmd_Ok_Click();
    void Cmd_End_Click();
    void ExtIoMeas();
    bool AnsInExtIoMeasMode() const { return FlagMeasuring != 0; }
    bool LoopRunning() const { return inLoop_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool inLoop_ = false;
};
