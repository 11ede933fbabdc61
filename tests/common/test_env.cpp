#include "test_env.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
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
    // One folder for everything temporary of this test, removed when it ends
    // (a static made before any QSettings outlives them all). It becomes the
    // temporary folder of the test and of every child and office started
    // from it: a child that ends without cleaning up, as the program's
    // shutdown does on purpose, leaves its folders here, and they go with it.
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/orven-test-XXXXXX"));
    // Others may pass through, as through /tmp, to what a test opens up for
    // a child that runs as another user; listing stays the owner's.
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ExeGroup | QFile::ExeOther);
    const QString config = dir.path() + QStringLiteral("/config");
    QDir().mkpath(config);
    // Not QStandardPaths' test mode: that sends every test to one shared
    // ~/.qttest folder, so tests running side by side would clobber each other.
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("TMPDIR", dir.path().toLocal8Bit());
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

void CloseUnansweredBoxes(int limitMs) {
    auto* timer = new QTimer(qApp);
    auto* since = new QElapsedTimer;
    auto* seen = new QPointer<QWidget>;
    timer->setInterval(100);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* w = QApplication::activeModalWidget();
        if (w != seen->data()) {
            *seen = w;
            since->start();
            return;
        }
        if (!w || since->elapsed() < limitMs) return;
        auto* box = qobject_cast<QMessageBox*>(w);
        qWarning("TESTENV: closing a modal %s that nobody answered within %d ms: title \"%s\", text \"%s\"",
                 box ? "message box" : "window", limitMs, qPrintable(w->windowTitle()),
                 qPrintable(box ? box->text() : QString()));
        since->start();
        if (box) {
            if (QAbstractButton* b = box->escapeButton())
                b->click();
            else
                box->done(0);
        } else if (auto* dlg = qobject_cast<QDialog*>(w)) {
            dlg->reject();
        } else {
            w->close();
        }
    });
    timer->start();
}

QWidget* KeyTarget(int timeoutMs) {
    if (!QTest::qWaitFor([] { return QApplication::activeWindow() != nullptr; }, timeoutMs)) return nullptr;
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus : QApplication::activeWindow();
}

bool PressKey(int key, Qt::KeyboardModifiers mods, int timeoutMs) {
    QWidget* target = KeyTarget(timeoutMs);
    if (!target) return false;
    // The text an X server gives the key where QTest's differs: Delete types
    // DEL, and Control with a letter its control character.
    QString text;
    if (key == Qt::Key_Delete)
        text = QString(QChar(0x7f));
    else if (mods == Qt::ControlModifier && key >= Qt::Key_A && key <= Qt::Key_Z)
        text = QString(QChar(key - Qt::Key_A + 1));
    if (!text.isEmpty())
        QTest::sendKeyEvent(QTest::Click, target, static_cast<Qt::Key>(key), text, mods);
    else
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
