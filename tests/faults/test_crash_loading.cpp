// SIGKILL at random moments while the two loading windows append to one CSV
// file, run after run: what earlier runs wrote is never damaged, and every
// row the program got past is there.
#include <QtTest>

#include "fault_child.h"
#include "fault_parent.h"
#include "test_env.h"

class TestCrashLoading : public QObject {
    Q_OBJECT
private slots:
    void returnKeyWindow() { FAULT::CrashRounds(QStringLiteral("single"), 12, 20261207); }
    void triggerWindow() { FAULT::CrashRounds(QStringLiteral("extio"), 12, 4242); }
};

int main(int argc, char** argv) {
    FAULT::RunChildIfAsked(argc, argv);
    TESTENV::UseTemporarySettings();
    QApplication app(argc, argv);
    TestCrashLoading tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_crash_loading.moc"
