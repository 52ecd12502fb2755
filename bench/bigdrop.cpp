// A drop of many files on the real program, as from a file manager's "select all": a real GTK
// drag on a private Xvfb, with a stand-in converter that runs until the benchmark ends, so that
// all but a turn's worth of files wait. Times the drop pass from the first trace line to the
// last and measures how much the program's resident memory grew by the pass.

#include "stats.h"
#include "support/xserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

struct Sample
{
    double passMs = 0;
    double growthKiB = 0;
};

// One drop of count files on a freshly started program; a zero sample where anything failed.
Sample dropOnce(const XServer &x, const QString &application, const QString &dragSource,
    const QString &configHome, int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i)
        files << QStringLiteral("/tmp/zorv bench/holiday clip %1.mp4")
                     .arg(i, 5, 10, QLatin1Char('0'));

    // A state folder of the run's own: the program is killed with its files waiting, which the
    // next start would offer.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    QProcess app;
    QProcess source;
    const auto stop = qScopeGuard([&] {
        stopProcess(source);
        app.kill();
        app.waitForFinished();
    });
    const QString window
        = x.startClient(app, application, {}, configHome, QStringLiteral("Zorv Video Converter"));
    if (window.isEmpty() || !x.xdotool({ "windowmove", "--sync", window, "0", "0" }))
        return {};
    QThread::msleep(500); // settled
    const qint64 before = processStatusKiB(app.processId(), "VmRSS");

    if (x.startClient(source, dragSource, files, configHome, QStringLiteral("Zorv drag source"))
            .isEmpty()
        || !x.dragFromSourceTo(200))
        return {};
    QElapsedTimer clock;
    qint64 first = -1;
    int lines = 0;
    while (lines < 6 * count && app.waitForReadyRead(30000)) {
        if (first < 0)
            first = clock.isValid() ? clock.nsecsElapsed() : (clock.start(), 0);
        lines += app.readAllStandardOutput().count('\n');
    }
    if (lines < 6 * count)
        return {};
    Sample sample;
    sample.passMs = (clock.nsecsElapsed() - first) / 1e6;
    QThread::msleep(1000); // the pass's last paint and frees
    sample.growthKiB = double(processStatusKiB(app.processId(), "VmRSS") - before);
    return sample;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: %s APPLICATION GTK_DRAG_SOURCE [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = arguments.value(3, QStringLiteral("3")).toInt();

    // A converter that runs until the benchmark has ended: the first files keep their turns.
    QTemporaryDir bin;
    QTemporaryDir configHome;
    QFile standIn(bin.filePath(QStringLiteral("ffmpeg")));
    if (!standIn.open(QIODevice::WriteOnly)
        || standIn.write("#!/bin/sh\nwhile [ -d \"$(dirname \"$0\")\" ]; do sleep 1; done\n") < 0)
        return 1;
    standIn.close();
    standIn.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + qgetenv("PATH"));

    XServer x;
    if (!x.isRunning())
        return 1;
    std::printf("| drop of N files, real GTK drag, X11 (median of %d) | pass | per 1000 files | "
                "resident memory growth |\n",
        runs);
    std::printf("|---|---|---|---|\n");
    QList<double> passMs;
    QList<double> growthKiB;
    for (const int count : { 1000, 10000 }) {
        QList<double> passes;
        QList<double> growths;
        for (int run = 0; run < runs; ++run) {
            const Sample sample = dropOnce(x, arguments[1], arguments[2], configHome.path(), count);
            if (sample.passMs <= 0)
                return 1;
            passes << sample.passMs;
            growths << sample.growthKiB;
        }
        std::printf("| %d files | %.2f s | %.3f s | %+.1f MB (%.2f KB a file) |\n", count,
            median(passes) / 1000, median(passes) / count, median(growths) / 1024,
            median(growths) / count);
        passMs << median(passes);
        growthKiB << median(growths);
    }
    // What the 9 000 files more cost: the per-file cost that a larger drop adds.
    std::printf("| each further 1000 files | | %.3f s | %+.2f MB |\n",
        (passMs[1] - passMs[0]) / 9000, (growthKiB[1] - growthKiB[0]) / 9 / 1024);
    return 0;
}
