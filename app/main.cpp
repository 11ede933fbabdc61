// The ORVEN 5927 application: entry point.
#include <QApplication>
#include <QIcon>

#include "frm_opening.h"
#include "resources.h"

int main(int argc, char** argv) {
    // The program reads no command-line arguments, Qt's own options included.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    APP::InitResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/orven/icon.png")));
    // Lets a Wayland desktop match the windows to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("orven5927"));
    // Every way out is explicit (opening window, ShutdownApp, the fatal paths).
    QApplication::setQuitOnLastWindowClosed(false);
    APP::Main();
    return app.exec();
}
