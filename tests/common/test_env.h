#pragma once
// Shared helpers of the Qt tests: a private settings location and answering
// modal boxes that nobody would otherwise click.
#include <QString>
#include <Qt>
#include <functional>

class QWidget;

namespace TESTENV {
// Points the settings store at a fresh temporary folder, and TMPDIR at a
// folder that is removed when the test ends. Call first in main() (before any
// QSettings exists); ORVEN_TEST_MAIN does it.
void UseTemporarySettings();

// Answers the next modal QMessageBox (or any modal dialog) that appears within
// timeoutMs: records its text, title and icon, then presses `button`
// (a QMessageBox::StandardButton; 0 = the default/escape button).
struct BoxSeen {
    QString text;
    QString title;
    int icon = 0;   // QMessageBox::Icon
    bool seen = false;
};
// Installs a repeating watcher; every box that appears is answered with
// `button` and recorded. Stop() removes it. Safe inside nested loops.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int button = 0);
    ~BoxAnswerer();
    void setButton(int button);
    int count() const;
    BoxSeen at(int i) const;
    BoxSeen last() const;
    bool waitFor(int n, int timeoutMs = 5000);   // spins the event loop
private:
    struct Impl;
    Impl* d;
};

// A modal box or dialog still open after limitMs was met by nobody: it is
// reported by its title and text and closed (escape button, else rejected),
// so the test goes on to fail on what it expected instead of waiting for ever.
// ORVEN_TEST_MAIN installs it; answerers act within milliseconds.
void CloseUnansweredBoxes(int limitMs = 10000);

// Keys as a keyboard delivers them: to QApplication::focusWidget() of the
// active window (the window itself when nothing in it has the focus), once a
// window is really active, with the text a PC keyboard gives them. False, with nothing sent, when no window becomes
// active within timeoutMs.
QWidget* KeyTarget(int timeoutMs = 2000);
bool PressKey(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, int timeoutMs = 2000);
bool TypeText(const QString& text, int timeoutMs = 2000);
}  // namespace TESTENV

// main() for QTest classes: temporary settings, then QApplication + QTest::qExec.
#define ORVEN_TEST_MAIN(TestClass)                              \
    int main(int argc, char** argv) {                          \
        TESTENV::UseTemporarySettings();                       \
        QApplication app(argc, argv);                          \
        TESTENV::CloseUnansweredBoxes();                       \
        TestClass tc;                                          \
        return QTest::qExec(&tc, argc, argv);                  \
    }
