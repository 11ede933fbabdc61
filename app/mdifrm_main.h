#pragma once
// The main window: an MDI frame whose menus reach every function.
#include <QMainWindow>
#include <QtGlobal>

class QAction;
class QMdiArea;
class QMenu;

class MDIFrm_Main : public QMainWindow {
    Q_OBJECT
public:
    explicit MDIFrm_Main(QWidget* parent = nullptr);

    QMdiArea* mdiArea = nullptr;
    QMenu* MnuFile = nullptr;
    QAction* MnuFileExit = nullptr;
    QMenu* MnuMeas = nullptr;
    QAction* MnuMeasTime = nullptr;
    QAction* bar2 = nullptr;
    QAction* MnuMeasSingle = nullptr;
    QAction* MnuMeasIo = nullptr;
    QAction* bar0 = nullptr;
    QAction* MnuMeasTest = nullptr;
    QAction* bar3 = nullptr;
    QAction* MnuMeasGrading = nullptr;
    QMenu* MnuWindow = nullptr;
    QAction* MnuWindowArrange = nullptr;
    QAction* MnuWindowTrend = nullptr;
    QMenu* MnuHelp = nullptr;
    QAction* MnuDispHelp = nullptr;
    QAction* bar1 = nullptr;
    QAction* MnuDispVer = nullptr;

    qint16 TestMeasRunning = 0;
    qint16 TestMeasStopRequest = 0;

    // Geometry, caption, the window shown, then the setup query and the display window.
    void MDIForm_Load();
    // Ends the program through ShutdownApp unless the operator answers No.
    void MDIForm_QueryUnload(qint16& cancel, qint16 unloadMode);

    void MnuFileExit_Click();
    void MnuMeas_Click();
    void MnuMeasTime_Click();
    void MnuMeasSingle_Click();
    void MnuMeasIo_Click();
    void MnuMeasTest_Click();
    void MnuMeasGrading_Click();
    void MnuWindowArrange_Click();
    void MnuWindowTrend_Click();
    void MnuDispHelp_Click();
    void MnuDispVer_Click();

    static constexpr char kEndQuestion[] =
        "Make sure to follow these instructions. Otherwise, it may be necessary to re-start the unit.\r\n"
        "May I end software? ";
    static constexpr char kEndTitle[] = "End of 5927 application";

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RunTestMeasurement();
    // True while the load's setup query waits: nothing else may talk to the
    // instrument meanwhile, so the measurement entries stay disabled.
    bool loading_ = false;
};

namespace APP {
// Where Arrange puts the logging window, all in twips: side by side when the
// main window has room for both (equality counts as room), else below.
struct Placement {
    int top;
    int left;
};
Placement ArrangePlacement(int mainWidth, int logWidth, int dispWidth, int dispHeight);

// Creates, registers and loads the main window (after a good connection check).
MDIFrm_Main* ShowMainWindow();
MDIFrm_Main* MainForm();
void ResetMainForTests();
}  // namespace APP
