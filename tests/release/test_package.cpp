// The Debian package, unpacked into a private folder (never the real system):
// its files, its desktop entry and icons, its declared dependencies, and the
// installed program itself, started against the installed simulator.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

#include "resources.h"
#include "sim_process.h"
#include "test_env.h"

namespace {

struct RunResult {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

RunResult Run(const QString& program, const QStringList& args, int timeoutMs = 60000) {
    QProcess p;
    p.start(program, args);
    RunResult r;
    if (!p.waitForStarted(timeoutMs) || !p.waitForFinished(timeoutMs)) {
        r.err = "did not run: " + program.toUtf8() + " " + p.errorString().toUtf8();
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// "a (>= 1), b | c, d" -> {a, b, c, d}
QSet<QString> PackageNames(const QString& field) {
    QSet<QString> names;
    for (const QString& part : field.split(QRegularExpression(QStringLiteral("[,|]")), Qt::SkipEmptyParts)) {
        const QString name = part.trimmed().section(QLatin1Char(' '), 0, 0).section(QLatin1Char(':'), 0, 0);
        if (!name.isEmpty()) names.insert(name);
    }
    return names;
}

QImage Argb(const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); }

const int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

}  // namespace

class TestPackage : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString deb_;
    QString root_;        // the unpacked package; a blank in it on purpose
    QString installed_;   // its private program folder

    QString controlField(const char* name) {
        const RunResult r = Run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb_, QLatin1String(name)});
        return QString::fromUtf8(r.out).simplified();
    }

private slots:
    void initTestCase() {
        APP::InitResources();
        QVERIFY(tmp_.isValid());
        const QString out = tmp_.filePath(QStringLiteral("pkg"));
        const RunResult made = Run(QStringLiteral(ORVEN_CPACK_COMMAND),
                                   {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                                    QStringLiteral(ORVEN_CPACK_CONFIG), QStringLiteral("-B"), out});
        QVERIFY2(made.code == 0, (made.out + made.err).constData());
        const QStringList debs = QDir(out).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        deb_ = out + QLatin1Char('/') + debs.first();
        root_ = tmp_.filePath(QStringLiteral("installed root"));
        const RunResult unpacked = Run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb_, root_});
        QVERIFY2(unpacked.code == 0, unpacked.err.constData());
        installed_ = root_ + QStringLiteral("/usr/lib/orven5927");
    }

    // Programs in a private folder with the readme beside them, reached
    // through relative links in usr/bin so any root works.
    void installedFiles() {
        QCOMPARE(controlField("Package"), QStringLiteral("orven5927"));
        for (const QString& prog :
             {QStringLiteral("orven5927"), QStringLiteral("orven5927-sim"), QStringLiteral("orven5927-log")}) {
            const QFileInfo real(installed_ + QLatin1Char('/') + prog);
            QVERIFY2(real.isFile() && real.isExecutable(), qPrintable(real.filePath()));
            const QString link = root_ + QStringLiteral("/usr/bin/") + prog;
            QVERIFY2(QFileInfo(link).isSymLink(), qPrintable(link));
            char target[4096] = {};
            const ssize_t n = ::readlink(QFile::encodeName(link).constData(), target, sizeof target - 1);
            QVERIFY(n > 0);
            QVERIFY2(target[0] != '/', target);
            QCOMPARE(QFileInfo(link).canonicalFilePath(), real.canonicalFilePath());
        }
        // The logger's example unit, with what it starts.
        const QByteArray unit = ReadAll(root_ + QStringLiteral("/usr/share/doc/orven5927/examples/orven5927-log.service"));
        QVERIFY(unit.contains("\nExecStart=/usr/bin/orven5927-log "));
        const QByteArray readme = ReadAll(installed_ + QStringLiteral("/readme.txt"));
        QVERIFY(!readme.isEmpty());
        QCOMPARE(readme, ReadAll(QStringLiteral(ORVEN_SOURCE_DIR "/app/readme.txt")));
        // What an operator needs before the first connection on Linux.
        for (const char* advice : {"usermod -aG dialout", "log out and log in", "ORVEN5927_COM1",
                                   "COM1%20Device", "/dev/ttyUSB0"})
            QVERIFY2(readme.contains(advice), advice);
    }

    void desktopEntryAndIcons() {
        const QString path = root_ + QStringLiteral("/usr/share/applications/orven5927.desktop");
        const QStringList lines = QString::fromUtf8(ReadAll(path)).split(QLatin1Char('\n'));
        QVERIFY2(lines.size() > 1, qPrintable(path));
        QCOMPARE(lines.first(), QStringLiteral("[Desktop Entry]"));
        QHash<QString, QString> entry;
        for (const QString& line : lines) {
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq > 0 && !line.startsWith(QLatin1Char('#'))) {
                QVERIFY2(!entry.contains(line.left(eq)), qPrintable(line));
                entry.insert(line.left(eq), line.mid(eq + 1));
            }
        }
        QCOMPARE(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
        QVERIFY(!entry.value(QStringLiteral("Name")).isEmpty());
        QCOMPARE(entry.value(QStringLiteral("Terminal")), QStringLiteral("false"));

        // Started from the menu through PATH: a bare name of an installed program.
        const QString exec = entry.value(QStringLiteral("Exec")).section(QLatin1Char(' '), 0, 0);
        QVERIFY2(!exec.isEmpty() && !exec.contains(QLatin1Char('/')), qPrintable(exec));
        QVERIFY2(QFileInfo(root_ + QStringLiteral("/usr/bin/") + exec).isExecutable(), qPrintable(exec));

        const QString categories = entry.value(QStringLiteral("Categories"));
        QVERIFY2(categories.endsWith(QLatin1Char(';')), qPrintable(categories));
        const QSet<QString> main{"AudioVideo", "Audio", "Video", "Development", "Education", "Game",
                                 "Graphics", "Network", "Office", "Science", "Settings", "System", "Utility"};
        const QStringList cats = categories.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        QVERIFY2(QSet<QString>(cats.begin(), cats.end()).intersects(main), qPrintable(categories));

        // A themed icon name, present in every size at that size.
        const QString icon = entry.value(QStringLiteral("Icon"));
        QVERIFY2(!icon.isEmpty() && !icon.contains(QLatin1Char('/')), qPrintable(icon));
        const QString hicolor = root_ + QStringLiteral("/usr/share/icons/hicolor/");
        for (int size : kIconSizes) {
            const QString png = hicolor + QStringLiteral("%1x%1/apps/").arg(size) + icon + QStringLiteral(".png");
            const QImage image(png);
            QVERIFY2(!image.isNull(), qPrintable(png));
            QCOMPARE(image.size(), QSize(size, size));
            QVERIFY(image.hasAlphaChannel());
        }
        QVERIFY(ReadAll(hicolor + QStringLiteral("scalable/apps/") + icon + QStringLiteral(".svg")).contains("<svg"));
        // The menu shows the picture the windows carry.
        const QImage windowIcon(QStringLiteral(":/orven/icon.png"));
        QVERIFY(!windowIcon.isNull());
        const QImage sameSize(hicolor + QStringLiteral("%1x%1/apps/").arg(windowIcon.width()) + icon +
                              QStringLiteral(".png"));
        QCOMPARE(Argb(sameSize), Argb(windowIcon));
    }

    // Debian's own checkers. Left open on purpose: a real maintainer
    // address, which waits for an owner.
    void debianCheckersAcceptThePackage() {
        const QString desktop = root_ + QStringLiteral("/usr/share/applications/orven5927.desktop");
        const RunResult valid = Run(QStringLiteral("desktop-file-validate"), {desktop});
        QVERIFY2(valid.code == 0 && valid.out.isEmpty(), (valid.out + valid.err).constData());

        const RunResult lint = Run(QStringLiteral("lintian"), {QStringLiteral("--pedantic"),
                                                               QStringLiteral("--show-overrides"), deb_});
        QVERIFY2(lint.code >= 0 && !lint.out.isEmpty(), lint.err.constData());
        const QSet<QString> open{"bogus-mail-host", "bogus-mail-host-in-debian-changelog"};
        const QRegularExpression tag(QStringLiteral("^([EWO]): orven5927: (\\S+)"),
                                     QRegularExpression::MultilineOption);
        QStringList complaints, overridden;
        for (auto it = tag.globalMatch(QString::fromUtf8(lint.out)); it.hasNext();) {
            const auto m = it.next();
            if (m.captured(1) == QLatin1String("O"))
                overridden << m.captured(2);
            else if (!open.contains(m.captured(2)))
                complaints << m.captured(0);
        }
        QVERIFY2(complaints.isEmpty(), qPrintable(complaints.join('\n') + "\n" + QString::fromUtf8(lint.out)));
        // The office's run path stays, with the reason beside the override.
        QVERIFY2(overridden.contains(QStringLiteral("custom-library-search-path")), lint.out.constData());

        // The manual pages say what a user looks for.
        for (const char* page : {"orven5927", "orven5927-sim", "orven5927-log"}) {
            const QString path = root_ + QStringLiteral("/usr/share/man/man1/%1.1.gz").arg(QLatin1String(page));
            const RunResult man = Run(QStringLiteral("man"), {QStringLiteral("-l"), path});
            QVERIFY2(man.code == 0, man.err.constData());
            for (const char* section : {"SYNOPSIS", "ENVIRONMENT", "FILES", "EXIT STATUS"})
                QVERIFY2(man.out.contains(section), page);
        }
    }

    // Every library the programs load comes from a declared package; fonts
    // are required, the office only recommended.
    void declaredDependencies() {
        const QSet<QString> depends = PackageNames(controlField("Depends"));
        const QSet<QString> recommends = PackageNames(controlField("Recommends"));
        QVERIFY(depends.contains(QStringLiteral("fonts-liberation")));
        QVERIFY(recommends.contains(QStringLiteral("libreoffice-calc")));
        for (const QString& office : {QStringLiteral("libreoffice-calc"), QStringLiteral("libreoffice-core"),
                                      QStringLiteral("libreoffice")})
            QVERIFY2(!depends.contains(office), qPrintable(office));

        for (const QString& prog :
             {QStringLiteral("orven5927"), QStringLiteral("orven5927-sim"), QStringLiteral("orven5927-log")}) {
            const QString bin = installed_ + QLatin1Char('/') + prog;
            const RunResult dyn = Run(QStringLiteral("objdump"), {QStringLiteral("-p"), bin});
            QVERIFY2(dyn.code == 0, dyn.err.constData());
            QStringList needed;
            for (const QString& l : QString::fromUtf8(dyn.out).split(QLatin1Char('\n')))
                if (l.trimmed().startsWith(QLatin1String("NEEDED")))
                    needed << l.trimmed().section(QLatin1Char(' '), -1);
            QVERIFY(needed.contains(QStringLiteral("libc.so.6")));
            if (prog == QLatin1String("orven5927-log")) {
                // The logger runs where there is no desktop and no office.
                for (const QString& lib : needed)
                    QVERIFY2(!lib.contains(QLatin1String("Gui")) && !lib.contains(QLatin1String("Widgets")) &&
                                 !lib.startsWith(QLatin1String("libuno")),
                             qPrintable(lib));
                QVERIFY2(!dyn.out.contains("RUNPATH") && !dyn.out.contains("RPATH"), dyn.out.constData());
            }

            const RunResult ldd = Run(QStringLiteral("ldd"), {bin});
            QVERIFY2(ldd.code == 0, ldd.err.constData());
            QHash<QString, QString> where;   // soname -> path the loader picks
            for (const QString& l : QString::fromUtf8(ldd.out).split(QLatin1Char('\n'))) {
                const QStringList w = l.simplified().split(QLatin1Char(' '));
                if (w.size() >= 3 && w[1] == QLatin1String("=>")) where.insert(w[0], w[2]);
            }
            for (const QString& lib : needed) {
                const QString path = where.value(lib);
                QVERIFY2(path.startsWith(QLatin1Char('/')), qPrintable(prog + ": " + lib + " not found"));
                // dpkg knows a file under the path its package ships it at.
                QStringList candidates{path, QStringLiteral("/usr") + path, QFileInfo(path).canonicalFilePath()};
                QSet<QString> owners;
                for (const QString& c : candidates) {
                    const RunResult s = Run(QStringLiteral("dpkg"), {QStringLiteral("-S"), c});
                    if (s.code == 0) owners = PackageNames(QString::fromUtf8(s.out).section(QLatin1Char(':'), 0, 0)
                                                               .replace(QLatin1Char(','), QLatin1Char('|')));
                    if (!owners.isEmpty()) break;
                }
                QVERIFY2(!owners.isEmpty(), qPrintable(path + " belongs to no package"));
                QVERIFY2(owners.intersects(depends),
                         qPrintable(prog + ": " + lib + " from " + QStringList(owners.values()).join(' ') +
                                    " is not in Depends"));
            }
        }
    }

    // The installed program, started through its link offscreen against the
    // installed simulator: Return in the opening window connects, F1 in the
    // main window shows the installed readme. Its windows carry our icon.
    void helpOpensTheInstalledReadme() {
        qputenv("ORVEN5927_SIM", QFile::encodeName(root_ + QStringLiteral("/usr/bin/orven5927-sim")));
        SimProcess sim;
        QVERIFY(sim.started());

        const QString out = tmp_.filePath(QStringLiteral("run"));
        const QString fakeBin = tmp_.filePath(QStringLiteral("fakebin"));
        QVERIFY(QDir().mkpath(out) && QDir().mkpath(fakeBin));
        const QString argsFile = out + QStringLiteral("/viewer-args");
        {
            // Stands in for the desktop's opener; records its arguments one per line.
            QFile viewer(fakeBin + QStringLiteral("/xdg-open"));
            QVERIFY(viewer.open(QIODevice::WriteOnly));
            viewer.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"" +
                         QFile::encodeName(argsFile) + "\"\n");
            viewer.close();
            viewer.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ORVEN5927_COM1"), sim.devicePath());
        env.insert(QStringLiteral("ORVEN5927_COM2"), sim.devicePath());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp_.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("PATH"), fakeBin + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ORVEN_DRIVER_LIB));
        env.insert(QStringLiteral("ORVEN5927_DRIVE_OUT"), out);
        // A sanitizer build's runtime must not insist on coming before the driver.
        const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) + QStringLiteral("verify_asan_link_order=0"));

        QProcess app;
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(root_ + QStringLiteral("/usr/bin/orven5927"), {});
        QVERIFY(app.waitForStarted(10000));
        const bool opened = QTest::qWaitFor([&] { return QFile::exists(argsFile) || app.state() != QProcess::Running; },
                                            40000);
        const QByteArray driverLog = ReadAll(out + QStringLiteral("/driver.log"));
        app.kill();
        app.waitForFinished(10000);
        QVERIFY2(opened && QFile::exists(argsFile), driverLog.constData());

        QVERIFY(sim.received().contains(":HOLD OFF;:HEAD OFF\r\n"));
        const QStringList args = QString::fromUtf8(ReadAll(argsFile)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(args.size(), 1);   // the blank in the path did not split it
        QCOMPARE(args.first(), QFileInfo(installed_ + QStringLiteral("/readme.txt")).canonicalFilePath());

        // The running program names the menu entry that was installed.
        QVERIFY2(driverLog.contains("desktop file orven5927\n"), driverLog.constData());
        QVERIFY(QFile::exists(root_ + QStringLiteral("/usr/share/applications/orven5927.desktop")));

        const QImage ours = Argb(QIcon(QStringLiteral(":/orven/icon.png")).pixmap(64, 64).toImage());
        for (const char* window : {"Frm_Opening", "MDIFrm_Main"}) {
            QVERIFY2(driverLog.contains(QByteArray("icon ") + window + " set"), driverLog.constData());
            QCOMPARE(Argb(QImage(out + QLatin1Char('/') + QLatin1String(window) + QStringLiteral(".png"))), ours);
        }
    }
};

ORVEN_TEST_MAIN(TestPackage)
#include "test_package.moc"
