#include "msgbox.h"

#include <QApplication>
#include <QWidget>

namespace MSG {

namespace {
// The program's texts separate lines with CR LF; a label wants LF alone.
QString ForDisplay(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

int Run(QMessageBox::Icon icon, const QString& text, const QString& title,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton def) {
    QMessageBox box(icon, title, ForDisplay(text), buttons, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    if (def != QMessageBox::NoButton) box.setDefaultButton(def);
    return box.exec();
}
}  // namespace

void Warn(const QString& text, const QString& title) {
    Run(QMessageBox::Warning, text, title, QMessageBox::Ok, QMessageBox::Ok);
}

void Notice(const QString& text, const QString& title) {
    Run(QMessageBox::NoIcon, text, title, QMessageBox::Ok, QMessageBox::Ok);
}

bool AskYesNo(const QString& text, bool yesIsDefault, const QString& title) {
    int r = Run(QMessageBox::NoIcon, text, title, QMessageBox::Yes | QMessageBox::No,
                yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    return r == QMessageBox::Yes;
}

}  // namespace MSG
