#include "readme.h"

#include <QCoreApplication>
#include <QProcess>

#include "msgbox.h"

namespace APP {

namespace {
QString& Viewer() {
    static QString viewer = QStringLiteral("xdg-open");
    return viewer;
}
}  // namespace

QString ReadmePath(const QString& folder) {
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path + QStringLiteral("readme.txt");
}

void SetReadmeViewer(const QString& program) { Viewer() = program; }
QString ReadmeViewer() { return Viewer(); }

bool OpenReadmeIn(const QString& folder) {
    if (folder.isEmpty()) return false;
    return QProcess::startDetached(Viewer(), {ReadmePath(folder)});
}

bool OpenReadme() { return OpenReadmeIn(QCoreApplication::applicationDirPath()); }

void ShowReadme() {
    if (!OpenReadme()) MSG::Warn(QStringLiteral("cannot open readme.txt"));
}

}  // namespace APP
