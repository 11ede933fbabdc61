// Folders the program cannot or must not trust: a CSV folder this user may
// not write to, and a program folder whose name holds shell syntax.
#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>

#include "fault_child.h"
#include "fault_parent.h"
#include "test_env.h"

using namespace FAULT;

class TestFolders : public QObject {
    Q_OBJECT

private slots:
    // Root may write anywhere, so under root the program runs as uid 65534
    // against a folder owned by root with mode 0555.
    void readOnlyCsvFolder_data() {
        QTest::addColumn<QString>("run");
        QTest::newRow("return-key window") << "single";
        QTest::newRow("trigger window") << "extio";
    }
    void readOnlyCsvFolder() {
        QFETCH(QString, run);
        SimProcess sim;
        QVERIFY(sim.started());
        QTemporaryDir tmp;
        const QString folder = tmp.filePath("read only");
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + "/out.csv";
        ::chmod(QFile::encodeName(folder).constData(), 0555);
        Child child;
        if (::geteuid() == 0) {
            child.setEnv("ORVEN_FAULT_NOBODY", "1");
            for (const QString& d : {tmp.path(), child.configDir()}) ::chmod(QFile::encodeName(d).constData(), 0755);
            ::chmod(QFile::encodeName(sim.devicePath()).constData(), 0666);
            ClearStaleLock(sim.devicePath());
        }
        child.start(run, sim, file);
        QVERIFY2(child.waitLine("BOX|"), qPrintable(child.output()));
        if (::geteuid() == 0) QVERIFY(child.hasLine("UID 65534"));
        QCOMPARE(child.boxes(), QStringList{"2|ORVEN 5927 Application|The error occurred."});
        QVERIFY(!QFileInfo::exists(file));
        // The window stayed in set-up: no reading was asked for.
        QVERIFY(!sim.received().contains(kMeasBatt));
        QVERIFY(!sim.received().contains(kWaitTrigger));
        child.askToClose();
        QVERIFY2(child.waitFinished(), qPrintable(child.output()));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.boxes().size(), 1);
    }

    // A named pipe nobody reads from, given as the CSV name: opening it must
    // not wait for a reader, which would freeze every window for good.
    void namedPipeAsCsvName() {
        SimProcess sim;
        QVERIFY(sim.started());
        QTemporaryDir tmp;
        const QString fifo = tmp.filePath("pipe.csv");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0666), 0);
        Child child;
        child.start("single", sim, fifo);
        QVERIFY2(child.waitLine("BOX|", 15000), qPrintable(child.output()));
        QCOMPARE(child.boxes(), QStringList{"2|ORVEN 5927 Application|The error occurred."});
        QVERIFY(!sim.received().contains(kMeasBatt));
        child.askToClose();
        QVERIFY2(child.waitFinished(), qPrintable(child.output()));
        QCOMPARE(child.exitCode(), 0);
    }

    // The readme is found beside the program, whatever that folder is called,
    // and reaches the viewer as one argument: nothing in the name runs.
    void readmeInAFolderNamedLikeCommands() {
        QTemporaryDir tmp;
        const QString folder = tmp.filePath("lab; $(touch CANARY1) `touch CANARY2` \"q\" 'a' & touch CANARY3 |x");
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + "/orven-copy";
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
        {
            QFile readme(folder + "/readme.txt");
            QVERIFY(readme.open(QIODevice::WriteOnly));
            readme.write("readme\r\n");
        }
        const QString record = tmp.filePath("viewer args");
        const QString viewer = tmp.filePath("viewer.sh");
        {
            QFile script(viewer);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"$0.part\" && mv \"$0.part\" \"$0 args\"\n");
        }
        QFile::setPermissions(viewer, QFile::ReadOwner | QFile::ExeOwner);
        QVERIFY(QFile::rename(viewer, tmp.filePath("viewer")));
        SimProcess sim;
        QVERIFY(sim.started());
        Child child;
        child.setProgram(program);
        child.setWorkingDirectory(tmp.path());
        child.setEnv("ORVEN_FAULT_VIEWER", tmp.filePath("viewer"));
        child.start("readme", sim);
        QVERIFY2(child.waitLine("README ASKED"), qPrintable(child.output()));
        QVERIFY(PollUntil([&] { return QFile::exists(record); }));
        QCOMPARE(QString::fromLocal8Bit(ReadAll(record)), "1|" + folder + "/readme.txt");
        QVERIFY(child.boxes().isEmpty());
        child.terminate();
        for (const QString& where : {tmp.path(), folder, QDir::currentPath()})
            QCOMPARE(QDir(where).entryList({"CANARY*"}), QStringList());
    }
};

int main(int argc, char** argv) {
    FAULT::RunChildIfAsked(argc, argv);
    TESTENV::UseTemporarySettings();
    QApplication app(argc, argv);
    TestFolders tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_folders.moc"
