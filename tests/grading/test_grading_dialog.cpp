// The grading dialog driven from the keyboard: every control reached by Tab,
// a profile typed in and confirmed with Return lands in its file and comes
// back the same, and Check names a bin that can never be reached.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "grading_dialog.h"
#include "profile_file.h"
#include "settings.h"
#include "test_env.h"

namespace {

std::unique_ptr<GradingDialog> OpenDialog() {
    auto d = std::make_unique<GradingDialog>();
    d->show();
    d->activateWindow();
    if (!QTest::qWaitForWindowActive(d.get())) return nullptr;
    return d;
}

bool Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) { return TESTENV::PressKey(key, mods); }
bool Type(const QString& text) { return TESTENV::TypeText(text); }

// An access key of a button clicks it after a short animation: wait for
// what the click does.
bool Accel(int key, const std::function<bool()>& done) {
    return Key(key, Qt::AltModifier) && QTest::qWaitFor(done, 3000);
}

// Return ends the edit of a cell (not the dialog); the view takes the text
// and the focus back through the event queue.
void EndEdit(GradingDialog* d) {
    QVERIFY(Key(Qt::Key_Return));
    QVERIFY(QTest::qWaitFor([d] { return QApplication::focusWidget() == d->bins; }, 3000));
}

// Adds a bin with Alt+A and fills its cells from left to right with Tab.
void TypeBin(GradingDialog* d, const QStringList& cells) {
    QVERIFY(Accel(Qt::Key_A, [d] {
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        return editor && d->bins->isAncestorOf(editor);
    }));
    for (int i = 0; i < cells.size(); ++i) {
        if (i > 0) QVERIFY(Key(Qt::Key_Tab));
        QVERIFY(Type(cells[i]));
    }
    EndEdit(d);
}

// Types a name into the save dialog once it is the active modal window.
void AnswerSaveDialog(const QString& name, bool* answered) {
    QTimer::singleShot(0, [name, answered] {
        QFileDialog* fd = nullptr;
        const bool up = QTest::qWaitFor([&] {
            fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (fd) fd->activateWindow();
            return fd && QApplication::activeWindow() == fd;
        }, 5000);
        if (!up) {
            if (fd) fd->reject();
            return;
        }
        Key(Qt::Key_A, Qt::ControlModifier);
        Type(name);
        Key(Qt::Key_Return);
        *answered = true;
    });
}

QString Cell(GradingDialog* d, int row, int col) {
    QTableWidgetItem* item = d->bins->item(row, col);
    return item ? item->text() : QStringLiteral("<none>");
}

}  // namespace

class TestGradingDialog : public QObject {
    Q_OBJECT
private slots:
    void init() {
        SETTING::ResetSettings();
        qputenv("XDG_DATA_HOME", (QDir::tempPath() + QStringLiteral("/data")).toLocal8Bit());
    }

    void tabReachesEveryControl() {
        auto d = OpenDialog();
        QVERIFY(d);
        QList<QWidget*> wanted = {d->name, d->bins, d->addBin, d->removeBin, d->moveUp, d->moveDown,
                                  d->rLow, d->rHigh, d->vLow, d->vHigh, d->enabled, d->sounds,
                                  d->newButton, d->openButton, d->saveButton, d->saveAsButton, d->checkButton,
                                  d->buttons->button(QDialogButtonBox::Ok),
                                  d->buttons->button(QDialogButtonBox::Cancel)};
        QList<QWidget*> reached;
        for (int i = 0; i < wanted.size(); ++i) {
            reached << QApplication::focusWidget();
            QVERIFY(Key(Qt::Key_Tab));
        }
        QCOMPARE(reached, wanted);
        QCOMPARE(QApplication::focusWidget(), d->name);   // and round again
        // Escape cancels and leaves the settings alone.
        QVERIFY(Key(Qt::Key_Escape));
        QVERIFY(!d->isVisible());
        QCOMPARE(d->result(), int(QDialog::Rejected));
        QCOMPARE(SETTING::GetSetting(QStringLiteral("Grading"), QStringLiteral("Enabled"), QStringLiteral("none")),
                 QStringLiteral("none"));
    }

    void typedProfileRoundTrip() {
        auto d = OpenDialog();
        QVERIFY(d);
        QVERIFY(Type(QStringLiteral("Cells")));
        TypeBin(d.get(), {QStringLiteral("A"), QStringLiteral("#00a000"), QStringLiteral("15m"), QStringLiteral("18.5m")});
        TypeBin(d.get(), {QStringLiteral("B"), QString(), QStringLiteral("0.0185"), QStringLiteral("22 m"),
                 QStringLiteral("3.6"), QStringLiteral("3700m")});
        TypeBin(d.get(), {QStringLiteral("Z"), QString(), QStringLiteral("1k")});
        // Z first, then back down below B: Move up twice, Move down once.
        QVERIFY(Accel(Qt::Key_U, [&] { return Cell(d.get(), 1, 0) == QLatin1String("Z"); }));
        QVERIFY(Accel(Qt::Key_U, [&] { return Cell(d.get(), 0, 0) == QLatin1String("Z"); }));
        QVERIFY(Accel(Qt::Key_D, [&] { return Cell(d.get(), 1, 0) == QLatin1String("Z"); }));
        QVERIFY(Accel(Qt::Key_D, [&] { return Cell(d.get(), 2, 0) == QLatin1String("Z"); }));
        QVERIFY(Key(Qt::Key_L, Qt::AltModifier));
        QVERIFY(Type(QStringLiteral("10m")));
        QVERIFY(Key(Qt::Key_H, Qt::AltModifier));
        QVERIFY(Type(QStringLiteral("25m")));
        QVERIFY(Key(Qt::Key_O, Qt::AltModifier));
        QVERIFY(Type(QStringLiteral("3.5")));
        QVERIFY(Accel(Qt::Key_R, [&] { return d->enabled->isChecked(); }));   // Grade readings
        QVERIFY(Accel(Qt::Key_S, [&] { return !d->sounds->isChecked(); }));   // Sounds off

        bool answered = false;
        AnswerSaveDialog(QStringLiteral("station cells"), &answered);
        QVERIFY(Key(Qt::Key_Return));   // OK: a new profile asks where to save it
        QVERIFY(answered);
        QVERIFY(!d->isVisible());
        QCOMPARE(d->result(), int(QDialog::Accepted));

        const QString file = SETTING::GradingProfilesFolder() + QStringLiteral("/station cells.grading");
        QCOMPARE(SETTING::LoadGradingProfile(), file);
        QCOMPARE(SETTING::LoadGradingEnabled(), true);
        QCOMPARE(SETTING::LoadGradingSounds(), false);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY2(text.contains("[bin]\nname = B\nresistance low = 18.5m\nresistance high = 22m\n"
                               "voltage low = 3.6\nvoltage high = 3.7\n"),
                 text.constData());
        const GRADING::ReadResult r = GRADING::ParseProfile(text);
        QVERIFY2(r.profile, qPrintable(r.error));
        QCOMPARE(r.profile->bins.size(), 3);
        QCOMPARE(*r.profile->bins[2].resistance.low, 1000.0);

        // Opened again, the dialog shows the active profile as typed.
        auto again = OpenDialog();
        QVERIFY(again);
        QCOMPARE(again->name->text(), QStringLiteral("Cells"));
        QCOMPARE(again->path(), file);
        QCOMPARE(again->bins->rowCount(), 3);
        const QStringList rows[] = {{"A", "#00a000", "15m", "18.5m", "", ""},
                                    {"B", "", "18.5m", "22m", "3.6", "3.7"},
                                    {"Z", "", "1k", "", "", ""}};
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 6; ++col) QCOMPARE(Cell(again.get(), row, col), rows[row][col]);
        QCOMPARE(again->rLow->text(), QStringLiteral("10m"));
        QCOMPARE(again->rHigh->text(), QStringLiteral("25m"));
        QCOMPARE(again->vLow->text(), QStringLiteral("3.5"));
        QCOMPARE(again->vHigh->text(), QString());
        QVERIFY(again->enabled->isChecked());
        QVERIFY(!again->sounds->isChecked());
        QVERIFY(!again->isModified());
        // Unchanged: OK writes nothing and asks nothing.
        const QDateTime written = QFileInfo(file).lastModified();
        QVERIFY(Key(Qt::Key_Return));
        QVERIFY(!again->isVisible());
        QCOMPARE(QFileInfo(file).lastModified(), written);
    }

    void checkNamesTheFault() {
        auto d = OpenDialog();
        QVERIFY(d);
        TypeBin(d.get(), {QStringLiteral("Wide"), QString(), QStringLiteral("10m"), QStringLiteral("20m")});
        TypeBin(d.get(), {QStringLiteral("Narrow"), QString(), QStringLiteral("12m"), QStringLiteral("18m")});
        TESTENV::BoxAnswerer boxes;
        QVERIFY(Accel(Qt::Key_C, [&] { return boxes.count() == 1; }));
        QVERIFY2(boxes.last().text.contains(
                     QStringLiteral("Bin 2 (Narrow): never fits, as bin 1 (Wide) comes first and covers all of it.")),
                 qPrintable(boxes.last().text));
        QCOMPARE(d->bins->currentRow(), 1);
        QVERIFY(d->isVisible());

        // A value that is no number is named with its bin and column; OK stays.
        // Once the box is gone (the offscreen platform does not hand the
        // activation back by itself) the focus is on the bin's cell.
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        QCOMPARE(QApplication::focusWidget(), d->bins);
        d->bins->setCurrentCell(1, 2);
        QVERIFY(Type(QStringLiteral("12,5m")));
        EndEdit(d.get());
        QCOMPARE(Cell(d.get(), 1, 2), QStringLiteral("12,5m"));
        QVERIFY(Key(Qt::Key_Return));   // OK
        QVERIFY(boxes.waitFor(2));
        QCOMPARE(boxes.last().text, QStringLiteral("Bin 2 (Narrow), R low: \"12,5m\" is not a number."));
        QVERIFY(d->isVisible());
        QCOMPARE(SETTING::LoadGradingProfile(), QString());
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        QCOMPARE(QApplication::focusWidget(), d->bins);

        // Fixed, Check is content.
        d->bins->setCurrentCell(1, 2);
        QVERIFY(Type(QStringLiteral("5m")));
        EndEdit(d.get());
        QVERIFY(Accel(Qt::Key_C, [&] { return boxes.count() == 3; }));
        QCOMPARE(boxes.last().text, QStringLiteral("The profile has no problems."));
    }

    // The active profile damaged since: the dialog says where, shows an empty
    // profile and leaves the file and the settings as they are.
    void damagedActiveProfile() {
        const QString file = QDir::tempPath() + QStringLiteral("/hand.grading");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[bin]\nname = A\nresistance low = 20m\nresistance high = 10m\n");
        f.close();
        SETTING::SaveGradingProfile(file);
        TESTENV::BoxAnswerer boxes;
        auto d = std::make_unique<GradingDialog>();
        d->show();
        QVERIFY(boxes.waitFor(1));
        QVERIFY2(boxes.last().text.contains(
                     QStringLiteral("Line 4: bin 1 (A): resistance low 20m is above resistance high 10m.")),
                 qPrintable(boxes.last().text));
        QCOMPARE(d->bins->rowCount(), 0);
        QCOMPARE(d->path(), QString());
        QCOMPARE(SETTING::LoadGradingProfile(), file);
    }
};

ORVEN_TEST_MAIN(TestGradingDialog)
#include "test_grading_dialog.moc"
