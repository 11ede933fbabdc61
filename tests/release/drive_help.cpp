// Loaded into the installed program with LD_PRELOAD by the package test. It
// works the program as an operator would from the keyboard: Return in the
// opening window (OK is its default button), then F1 in the main window. It
// also saves each window's icon. Steps go to driver.log in the folder named
// by ORVEN5927_DRIVE_OUT; nothing here decides pass or fail.
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace {

QString OutDir() { return qEnvironmentVariable("ORVEN5927_DRIVE_OUT"); }

void Log(const QString& line) {
    QFile f(OutDir() + QStringLiteral("/driver.log"));
    if (f.open(QIODevice::Append | QIODevice::Text)) f.write((line + QLatin1Char('\n')).toUtf8());
}

QWidget* VisibleTopLevel(const char* className) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && qstrcmp(w->metaObject()->className(), className) == 0) return w;
    return nullptr;
}

void SaveIcon(QWidget* w, const char* name) {
    const QIcon icon = w->windowIcon();
    Log(QStringLiteral("icon %1 %2").arg(QLatin1String(name), icon.isNull() ? "none" : "set"));
    if (!icon.isNull())
        icon.pixmap(64, 64).toImage().save(OutDir() + QLatin1Char('/') + QLatin1String(name) +
                                            QStringLiteral(".png"));
}

// Presses key on w once it is the active window (shortcuts need that).
bool PressWhenActive(QWidget* w, Qt::Key key) {
    w->activateWindow();
    if (!QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }, 10000)) return false;
    // As a keyboard delivers it: to the focused widget of the active window.
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : w, key);
    return true;
}

void Step() {
    enum { Opening, Main, Done };
    static int state = Opening;
    if (state == Done) return;
    // A box means the run went somewhere else; record it and stop driving.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            Log(QStringLiteral("box %1").arg(box->text()));
            state = Done;
            return;
        }
    }
    if (state == Opening) {
        if (QWidget* w = VisibleTopLevel("Frm_Opening")) {
            Log(QStringLiteral("desktop file %1").arg(QGuiApplication::desktopFileName()));
            SaveIcon(w, "Frm_Opening");
            state = Main;
            Log(PressWhenActive(w, Qt::Key_Return) ? QStringLiteral("return pressed")
                                                   : QStringLiteral("opening window never active"));
        }
    } else if (state == Main) {
        if (QWidget* w = VisibleTopLevel("MDIFrm_Main")) {
            SaveIcon(w, "MDIFrm_Main");
            state = Done;
            Log(PressWhenActive(w, Qt::Key_F1) ? QStringLiteral("f1 pressed")
                                               : QStringLiteral("main window never active"));
        }
    }
}

void Start() {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, timer, [] { Step(); });
    timer->start(50);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
