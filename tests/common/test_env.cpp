#include "test_env.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdlib>

namespace TESTENV {

void UseTemporarySettings() {
    // Leaked on purpose: the folder must outlive every QSettings of the test.
    static QTemporaryDir* dir = new QTemporaryDir();
    // Not QStandardPaths' test mode: that sends every test to one shared
    // ~/.qttest folder, so tests running side by side would clobber each other.
    qputenv("XDG_CONFIG_HOME", dir->path().toLocal8Bit());
}

struct BoxAnswerer::Impl {
    int button = 0;
    QList<BoxSeen> seen;
    QTimer timer;
};

BoxAnswerer::BoxAnswerer(int button) : d(new Impl) {
    d->button = button;
    d->timer.setInterval(10);
    QObject::connect(&d->timer, &QTimer::timeout, [this] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) return;
        BoxSeen s;
        s.seen = true;
        s.title = w->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            s.text = box->text();
            s.icon = box->icon();
            d->seen.append(s);
            QAbstractButton* b = nullptr;
            if (d->button) b = box->button(QMessageBox::StandardButton(d->button));
            if (!b) b = box->defaultButton();
            if (!b) b = box->escapeButton();
            if (b) b->click();
            else box->done(0);
        } else if (auto* dlg = qobject_cast<QDialog*>(w)) {
            d->seen.append(s);
            dlg->reject();
        } else {
            d->seen.append(s);
            w->close();
        }
    });
    d->timer.start();
}

BoxAnswerer::~BoxAnswerer() { delete d; }
void BoxAnswerer::setButton(int button) { d->button = button; }
int BoxAnswerer::count() const { return d->seen.size(); }
BoxSeen BoxAnswerer::at(int i) const { return d->seen.value(i); }
BoxSeen BoxAnswerer::last() const { return d->seen.isEmpty() ? BoxSeen{} : d->seen.last(); }

bool BoxAnswerer::waitFor(int n, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (d->seen.size() < n && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return d->seen.size() >= n;
}

QWidget* KeyTarget(int timeoutMs) {
    if (!QTest::qWaitFor([] { return QApplication::activeWindow() != nullptr; }, timeoutMs)) return nullptr;
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus : QApplication::activeWindow();
}

bool PressKey(int key, Qt::KeyboardModifiers mods, int timeoutMs) {
    QWidget* target = KeyTarget(timeoutMs);
    if (!target) return false;
    QTest::keyClick(target, static_cast<Qt::Key>(key), mods);
    return true;
}

bool TypeText(const QString& text, int timeoutMs) {
    // Each character goes where the focus is at that moment.
    for (const QChar c : text) {
        QWidget* target = KeyTarget(timeoutMs);
        if (!target) return false;
        QTest::keyClicks(target, QString(c));
    }
    return true;
}

}  // namespace TESTENV
