#pragma once
// "Meas Display": the latest resistance and voltage readings in large type.
#include <QElapsedTimer>
#include <QWidget>

#include "readings.h"

class QLabel;
class QTimer;
class VerdictSound;

// It follows the readings: a setup read lays it out, a reading is shown. A
// reading that comes within one screen frame of the last one shown waits for
// that frame, so a fast run redraws once a frame, not once a reading.
// While readings are graded a third panel beneath the two gives the verdict
// on the last reading shown, in its bin's colour; it goes with the next
// activity that grades nothing, and the window is as designed again.
class Frm_Disp : public QWidget, public READINGS::Subscriber {
    Q_OBJECT
public:
    explicit Frm_Disp(QWidget* parent = nullptr);
    ~Frm_Disp() override;

    void RefreshDisplay();
    void DisplayR(const QString& text);
    void DisplayV(const QString& text);

    QWidget* Pic_R = nullptr;
    QLabel* Lbl_MeasR = nullptr;
    QLabel* Lbl_Ohm = nullptr;
    QWidget* Pic_V = nullptr;
    QLabel* Lbl_MeasV = nullptr;
    QLabel* Lbl_V = nullptr;
    QWidget* Pic_Grade = nullptr;   // while grading is on
    QLabel* Lbl_Grade = nullptr;    // the bin's name
    QLabel* Lbl_Reason = nullptr;   // why a reading is rejected

    // The verdict as the panel words it: the bin's name, and for a reject
    // the reason ("over range", ..., "outside every bin").
    static QString VerdictName(const GRADING::Grade& grade);
    static QString VerdictReason(const GRADING::Grade& grade);
    bool GradingShown() const { return grading_; }
    VerdictSound* Sounds() const { return sound_; }

    void Form_Load();
    // The form whose geometry counts: the MDI subwindow, or the widget itself.
    QWidget* Form();

    // Shows a reading that still waits for its frame.
    void ShowPending();

    void activityStarted(const READINGS::Activity& activity) override;
    void readingTaken(const READINGS::Reading& reading) override;
    void activityEnded() override;
    void setupRead(qint16 mode, qint16 comp) override;

private:
    void Show(const READINGS::Reading& reading);
    void ShowGrading(bool on);
    void ShowVerdict(const GRADING::Grade& grade);

    QTimer* frame_ = nullptr;
    QElapsedTimer lastShown_;
    READINGS::Reading pending_;
    bool hasPending_ = false;
    bool grading_ = false;
    bool soundsOn_ = false;
    VerdictSound* sound_ = nullptr;
};
