// Desktop conventions of the CSV file dialogs: where they start and the
// ".csv" a typed name gets.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "common.h"
#include "test_env.h"

namespace {

// Types `name` into the dialog's name box and presses Return, as an operator
// would; returns what the dialog hands back ("" when it was not accepted).
QString TypeAndAccept(QFileDialog* dlg, const QString& name) {
    QTimer::singleShot(0, dlg, [dlg, name] {
        auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!edit) {
            dlg->reject();
            return;
        }
        edit->setText(name);
        if (!TESTENV::PressKey(Qt::Key_Return)) dlg->reject();
        // Still open (the dialog refused the name): end it so the test goes on.
        QTimer::singleShot(2000, dlg, [dlg] { if (dlg->isVisible()) dlg->reject(); });
    });
    if (dlg->exec() != QDialog::Accepted || dlg->selectedFiles().isEmpty()) return QString();
    return dlg->selectedFiles().first();
}

QString Canonical(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

}  // namespace

class TestDesktop : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() {
        QVERIFY(home_.isValid());
        // Documents and home are looked up from HOME (no user-dirs file in
        // the test's own config folder).
        qputenv("HOME", QFile::encodeName(home_.path()));
    }

    // Both kinds of dialog, from a first start to a remembered folder.
    void csvDialogStartsInDocumentsThenInTheLastFolder() {
        // No documents folder yet: home.
        {
            std::unique_ptr<QFileDialog> dlg(LOGGING::MakeCsvDialog(nullptr, true));
            QCOMPARE(Canonical(dlg->directory().absolutePath()), Canonical(home_.path()));
        }
        QVERIFY(QDir(home_.path()).mkpath(QStringLiteral("Documents")));
        const QString documents = home_.filePath(QStringLiteral("Documents"));
        for (bool save : {true, false}) {
            std::unique_ptr<QFileDialog> dlg(LOGGING::MakeCsvDialog(nullptr, save));
            QCOMPARE(Canonical(dlg->directory().absolutePath()), Canonical(documents));
        }

        // A file accepted elsewhere moves the start of every later dialog there.
        const QString runs = home_.filePath(QStringLiteral("bench runs"));
        QVERIFY(QDir().mkpath(runs));
        {
            std::unique_ptr<QFileDialog> dlg(LOGGING::MakeCsvDialog(nullptr, true));
            QCOMPARE(TypeAndAccept(dlg.get(), runs + QStringLiteral("/cell 7.csv")),
                     runs + QStringLiteral("/cell 7.csv"));
        }
        for (bool save : {false, true}) {
            std::unique_ptr<QFileDialog> dlg(LOGGING::MakeCsvDialog(nullptr, save));
            QCOMPARE(Canonical(dlg->directory().absolutePath()), Canonical(runs));
        }
        // A cancelled dialog changes nothing.
        {
            std::unique_ptr<QFileDialog> dlg(LOGGING::MakeCsvDialog(nullptr, true));
            dlg->setDirectory(documents);
            QTimer::singleShot(0, dlg.get(), [d = dlg.get()] { d->reject(); });
            QCOMPARE(dlg->exec(), int(QDialog::Rejected));
        }
        std::unique_ptr<QFileDialog> after(LOGGING::MakeCsvDialog(nullptr, true));
        QCOMPARE(Canonical(after->directory().absolutePath()), Canonical(runs));

        // A remembered folder that has gone: back to the documents folder.
        QVERIFY(QDir(runs).removeRecursively());
        std::unique_ptr<QFileDialog> gone(LOGGING::MakeCsvDialog(nullptr, false));
        QCOMPARE(Canonical(gone->directory().absolutePath()), Canonical(documents));
    }

    // A name typed without an extension becomes a .csv file; one typed with
    // an extension keeps it.
    void typedNamesGetTheCsvExtension() {
        const QString documents = home_.filePath(QStringLiteral("Documents"));
        QVERIFY(QDir().mkpath(documents));
        LOGGING::RememberCsvFolder(documents + QStringLiteral("/earlier.csv"));
        for (bool save : {true, false}) {
            std::unique_ptr<QFileDialog> dlg(LOGGING::MakeCsvDialog(nullptr, save));
            QCOMPARE(TypeAndAccept(dlg.get(), QStringLiteral("morning")), documents + QStringLiteral("/morning.csv"));
        }
        std::unique_ptr<QFileDialog> dlg(LOGGING::MakeCsvDialog(nullptr, true));
        QCOMPARE(TypeAndAccept(dlg.get(), QStringLiteral("evening.txt")), documents + QStringLiteral("/evening.txt"));
    }
};

ORVEN_TEST_MAIN(TestDesktop)
#include "test_desktop.moc"
