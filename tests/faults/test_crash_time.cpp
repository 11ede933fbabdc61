// SIGKILL at random moments of a time-interval run at interval 0: the CSV
// file holds only whole lines and every row the program got past.
#include <QtTest>

#include "fault_child.h"
#include "fault_parent.h"
#include "test_env.h"

class TestCrashTime : public QObject {
    Q_OBJECT
private slots:
    void killedRunKeepsEveryWrittenRow() { FAULT::CrashRounds(QStringLiteral("time"), 20, 5927); }
};

int main(int argc, char** argv) {
    FAULT::RunChildIfAsked(argc, argv);
    TESTENV::UseTemporarySettings();
    QApplication app(argc, argv);
    TestCrashTime tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_crash_time.moc"
