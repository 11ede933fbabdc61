#pragma once
// "Time Interval Measurement": readings at a fixed interval to a CSV file or
// a new worksheet, for a count of readings or until Stop.
#include <QStringList>
#include <QtGlobal>
#include <memory>

#include "common.h"

class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTimer;

namespace ACQ {
class IntervalRun;
}

class Frm_Time : public LOGGING::FormBase {
    Q_OBJECT
public:
    explicit Frm_Time(QWidget* parent = nullptr);
    ~Frm_Time() override;

    // Label1: 0 "Time Interval", 1 "(s)", 2 "Range: 0 - 3600", 3 "Measurement Number", 4 "times"
    QLabel* Label1[5] = {};
    QLineEdit* Text_Time = nullptr;
    QLineEdit* Text_Count = nullptr;
    QGroupBox* Frame1 = nullptr;
    // OpnMethod: 0 text file (CSV), 1 Microsoft Excel; the index is the output method
    QRadioButton* OpnMethod[2] = {};
    // Cmd: 0 Close, 1 Start, 2 Stop
    QPushButton* Cmd[3] = {};
    QTimer* Timer1 = nullptr;
    QFileDialog* C_Dialog1 = nullptr;   // while it is shown

    float MeasInterval = 0;
    qint16 FlagStop = 0;
    qint16 FlagMeasuring = 0;
    void Form_Load();
    void Form_Unload(bool& cancel);
    void Cmd_Click(int index);
    void Timer1_Timer();
    void StartMeas(qint16& flagOutputMethod, qint16& fileNo);
    qint16 AnsSaveFileNumber();

    // Readings logged by the current or last run (the benchmark watches it).
    qint64 ReadingsLogged() const { return readings_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetMeasuringState(bool m);

    ACQ::IntervalRun* run_ = nullptr;   // while StartMeas runs
    qint64 readings_ = 0;
    QString outputFile_;   // the CSV file of the run
};
