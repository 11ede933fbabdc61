// CSV names that cannot be opened, odd names that must be used unchanged, and
// a file that stops growing in the middle of a loading run: the window's
// message, no crash, and rows written before the fault intact.
#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <sys/resource.h>

#include <csignal>

#include "in_process.h"
#include "frm_extio.h"
#include "frm_single.h"
#include "frm_time.h"

using namespace LT;

namespace {
const QByteArray kRow = "012.34E-3,+12.345E+0\r\n";
const QByteArray kEarlier = "kept,from,before\r\n";

// Caps the size of files this process writes until it goes out of scope.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit lim = old_;
        lim.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~FileSizeCap() { setrlimit(RLIMIT_FSIZE, &old_); }
    bool ok() const { return ok_; }

private:
    struct rlimit old_ {};
    bool ok_ = false;
};
}  // namespace

class TestCsvFiles : public QObject, FAULT::InProcess {
    Q_OBJECT

    bool inSetup(LOGGING::LoadingForm* w) { return w->Picture1[0]->isVisible() && !w->Picture1[1]->isVisible(); }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void unopenablePathsKeepTheWindowInSetup_data() {
        QTest::addColumn<bool>("trigger");
        QTest::addColumn<QString>("where");
        for (bool trigger : {false, true}) {
            const char* w = trigger ? "trigger" : "return key";
            QTest::addRow("%s: missing folder", w) << trigger << "missing";
            QTest::addRow("%s: under a regular file", w) << trigger << "under-file";
            QTest::addRow("%s: in /proc", w) << trigger << "proc";
        }
    }
    void unopenablePathsKeepTheWindowInSetup() {
        QFETCH(bool, trigger);
        QFETCH(QString, where);
        b.up({});
        const QString plain = path("plain.txt");
        writeFile(plain, "not a folder\r\n");
        QString bad;
        if (where == QLatin1String("missing")) bad = path("no such folder/out.csv");
        if (where == QLatin1String("under-file")) bad = plain + QStringLiteral("/out.csv");
        if (where == QLatin1String("proc")) bad = QStringLiteral("/proc/orven-out.csv");
        LOGGING::LoadingForm* w = openLoading(trigger, bad);
        QVERIFY(w);
        w->Cmd_Ok->click();
        QCOMPARE(modals->texts(), QStringList{"The error occurred."});
        QCOMPARE(modals->last().icon, int(QMessageBox::Warning));
        QVERIFY(inSetup(w));
        QVERIFY(!QFileInfo::exists(bad));
        QCOMPARE(readFile(plain), QByteArray("not a folder\r\n"));
        QCOMPARE(OUTFILES::FreeFile(), 1);
        QVERIFY(!LOGGING::AnsInExtIoMeasMode());
        // The window is still good for a name that works.
        if (!trigger) {
            const QString good = path("good.csv");
            w->Txt_File->setText(good);
            w->Cmd_Ok->click();
            QVERIFY(!inSetup(w));
            static_cast<Frm_Single*>(static_cast<QWidget*>(w))->Cmd_Trig->click();
            QCOMPARE(readFile(good), kRow);
        }
        QCOMPARE(modals->count(), 1);
    }

    // Quotes, shell characters, blanks at both ends and non-ASCII letters:
    // the name is a file name and nothing else.
    void oddNamesAreTakenAsTheyAre_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("quotes") << QString("\"quoted\" 'and' `ticks`.csv");
        QTest::newRow("shell") << QString("a;b $(touch pwned) && |x| >y.csv");
        QTest::newRow("blanks at the ends") << QString("  padded name .csv  ");
        QTest::newRow("non-ASCII") << QString::fromUtf8("Messung Ünïcødé 測定 ✓.csv");
    }
    void oddNamesAreTakenAsTheyAre() {
        QFETCH(QString, name);
        b.up({});
        const QString file = path(name);
        writeFile(file, kEarlier);
        LOGGING::LoadingForm* w = openLoading(false, file);
        QVERIFY(w);
        w->Cmd_Ok->click();
        QVERIFY(!inSetup(w));
        auto* single = static_cast<Frm_Single*>(static_cast<QWidget*>(w));
        single->Cmd_Trig->click();
        single->Cmd_Trig->click();
        QCOMPARE(modals->count(), 0);
        QCOMPARE(readFile(file), kEarlier + kRow + kRow);
        // Nothing else appeared beside it: no command ran, no name was split.
        QCOMPARE(QDir(tmp->path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{QFileInfo(file).fileName()});
    }

    // The time-interval window gets its name from the file dialog.
    void oddNameThroughTheDialog() {
        b.up({});
        const QString file = path(QString::fromUtf8("Zeit Ü; $(id) 'x'.csv"));
        modals->fileAnswers << file;
        LOGGING::MnuMeasTime_Click();
        Frm_Time* w = LOGGING::TimeWindow();
        QVERIFY(w);
        w->OpnMethod[0]->setChecked(true);
        w->Text_Count->setText("2");
        w->Cmd[1]->click();
        QCOMPARE(modals->texts(), (QStringList{"", "Measurement ended."}));
        QCOMPARE(readFile(file), "Time,Resistance,Voltage\r\n09:05:30," + kRow + "09:05:30," + kRow);
        QCOMPARE(QDir(tmp->path()).entryList(QDir::Files), QStringList{QFileInfo(file).fileName()});
    }

    // The file cannot grow past its earlier content and two rows (and a bit).
    void fileStopsGrowingReturnKey() {
        b.up({});
        const QString file = path("full.csv");
        writeFile(file, kEarlier);
        LOGGING::LoadingForm* w = openLoading(false, file);
        w->Cmd_Ok->click();
        auto* single = static_cast<Frm_Single*>(static_cast<QWidget*>(w));
        {
            FileSizeCap cap(rlim_t(kEarlier.size() + 2 * kRow.size() + 5));
            QVERIFY(cap.ok());
            for (int i = 0; i < 3; ++i) single->Cmd_Trig->click();
        }
        // The third row is dropped whole; the window stays ready and
        // writes again once there is room.
        QCOMPARE(modals->texts(), QStringList{"The error occurred."});
        QCOMPARE(readFile(file), kEarlier + kRow + kRow);
        QVERIFY(!inSetup(w) && single->Cmd_Trig->isEnabled());
        single->Cmd_Trig->click();
        QCOMPARE(readFile(file), kEarlier + kRow + kRow + kRow);
        QCOMPARE(modals->count(), 1);
    }

    void fileStopsGrowingTriggerLoop() {
        b.up({"--trigger-interval", "2"});
        const QString file = path("full trig.csv");
        writeFile(file, kEarlier);
        LOGGING::LoadingForm* w = openLoading(true, file);
        {
            FileSizeCap cap(rlim_t(kEarlier.size() + 3 * kRow.size() + 5));
            QVERIFY(cap.ok());
            w->Cmd_Ok->click();   // runs the loop until the write fails
        }
        QCOMPARE(modals->texts(), QStringList{"The error occurred."});
        QCOMPARE(readFile(file), kEarlier + kRow + kRow + kRow);
        QVERIFY(!LOGGING::ExtIoWindow());   // the loop's failure closes the window
        QCOMPARE(OUTFILES::FreeFile(), 1);
        QVERIFY(b.received(":HOLD OFF\r\n").endsWith(":HOLD OFF\r\n"));
    }
};

ORVEN_TEST_MAIN(TestCsvFiles)
#include "test_csv_files.moc"
