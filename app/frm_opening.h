#pragma once
// The opening window: port choice, connection check, and later the version box.
#include <QDialog>
#include <QtGlobal>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;

class Frm_Opening : public QDialog {
    Q_OBJECT
public:
    explicit Frm_Opening(QWidget* parent = nullptr);

    // From here on the window is the version box (never reset).
    void SetVersionOnly();
    qint16 VersionOnly = 0;

    // Load, then show: modeless at start, modal as the version box.
    void ShowModeless();
    int ShowModal();

    QMenuBar* menuBar = nullptr;
    QMenu* Mnu = nullptr;
    QAction* MnuCom1 = nullptr;
    QAction* MnuCom2 = nullptr;
    QAction* MnuDevice = nullptr;   // the device file behind the checked COM name
    QMenu* MnuHelp = nullptr;
    QAction* MnuReadme = nullptr;
    QWidget* client = nullptr;
    QLabel* Picture1 = nullptr;
    QPushButton* Cmd_RegInit = nullptr;
    QLabel* Lbl_Title = nullptr;
    QLabel* Lbl_Version = nullptr;
    QPushButton* Cmd = nullptr;

    void Form_Load();
    // unloadMode 1: the program unloads the window itself.
    void Form_QueryUnload(qint16& cancel, qint16 unloadMode);
    void Cmd_Click();
    void MnuCom1_Click();
    void MnuCom2_Click();
    void MnuDevice_Click();
    void MnuReadme_Click();
    void Picture1_DblClick();
    void Cmd_RegInit_Click();

    // The operator's close (close box): ends the program unless a version box.
    void reject() override;

    static constexpr char kNoResponseText[] =
        "There is not a response from the 5927. Please confirm the next item.\r\n"
        "\r\n"
        "    Is the power supply of the 5927 included?\r\n"
        "    Is the cable connected neatly?\r\n"
        "    Is the cable cross cable?";
    static constexpr char kOpenFailedText[] = "Because the COM port does not open it, it ends.";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Unload();
    void SetPortChecks(qint16 port);
    int designClientHeightPx() const;
};

namespace APP {
// The one opening-window object of the run (created on first use).
Frm_Opening* OpeningForm();
// Entry: settings version check, then the opening window, modeless.
void Main();
// Forget the opening window (tests that start over).
void ResetOpeningForTests();
}  // namespace APP
