#pragma once
// "Meas Display": the latest resistance and voltage readings in large type.
#include <QWidget>

class QLabel;

class Frm_Disp : public QWidget {
    Q_OBJECT
public:
    explicit Frm_Disp(QWidget* parent = nullptr);

    void RefreshDisplay();
    void DisplayR(const QString& text);
    void DisplayV(const QString& text);

    QWidget* Pic_R = nullptr;
    QLabel* Lbl_MeasR = nullptr;
    QLabel* Lbl_Ohm = nullptr;
    QWidget* Pic_V = nullptr;
    QLabel* Lbl_MeasV = nullptr;
    QLabel* Lbl_V = nullptr;

    void Form_Load();
    // The form whose geometry counts: the MDI subwindow, or the widget itself.
    QWidget* Form();
};
