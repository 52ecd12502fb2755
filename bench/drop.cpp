// GUI-thread time of one drop of many files on the real window, against the same number of
// bare QProcess::startDetached calls of the same stand-in converter with the same arguments.
// Runs alternate between the two; prints medians and the ratio.

#include "stats.h"
#include "convert/converterqueue.h"
#include "support/windowparts.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <fstream>
#include <iostream>

namespace {

// The drop pass alone; then waits until every converter it asked for has started and ended,
// so that one run does not queue behind the last.
double timeDrop(DropLabel *dropArea, QMimeData *data)
{
    const QPoint centre = dropArea->rect().center();
    QDragEnterEvent entry(centre, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dropArea, &entry);
    QDropEvent drop(centre, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QElapsedTimer timer;
    timer.start();
    QCoreApplication::sendEvent(dropArea, &drop);
    const double elapsed = timer.nsecsElapsed() / 1e6;
    while (!ConverterQueue::of(dropArea)->isIdle())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return elapsed;
}

double timeBareSpawns(const QStringList &paths)
{
    QElapsedTimer timer;
    timer.start();
    for (const QString &path : paths) {
        QString output = path;
        output.replace(QStringLiteral(".mp4"), QStringLiteral("_output.mp4"));
        QProcess::startDetached(QStringLiteral("ffmpeg"),
            { QStringLiteral("-y"), QStringLiteral("-i"), path, QStringLiteral("-b:v"),
                QStringLiteral("10M"), QStringLiteral("-vf"),
                QStringLiteral("eq=gamma_r=1:gamma_g=0.676458:gamma_b=0.347868"), output });
    }
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    // Offscreen by default; with --xcb on the X server in DISPLAY, whose shared-memory backing
    // store is what users on X11 get.
    const bool xcb = argc > 3 && qstrcmp(argv[3], "--xcb") == 0;
    qputenv("QT_QPA_PLATFORM", xcb ? "xcb" : "offscreen");
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    QApplication app(argc, argv);
    const int files = app.arguments().value(1, QStringLiteral("200")).toInt();
    const int runs = app.arguments().value(2, QStringLiteral("7")).toInt();

    // A stand-in converter that does nothing, first on PATH, for both sides alike.
    QTemporaryDir bin;
    QFile standIn(bin.filePath(QStringLiteral("ffmpeg")));
    if (!standIn.open(QIODevice::WriteOnly) || standIn.write("#!/bin/sh\nexit 0\n") < 0)
        return 1;
    standIn.close();
    standIn.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + qgetenv("PATH"));

    QStringList paths;
    QList<QUrl> urls;
    for (int i = 0; i < files; ++i) {
        paths << QStringLiteral("/tmp/zorv bench/clip %1.mp4").arg(i);
        urls << QUrl::fromLocalFile(paths.last());
    }
    QMimeData data;
    data.setUrls(urls);

    MainWindow window;
    window.show();
    DropLabel *dropArea = WindowParts(window).dropArea;

    // The trace goes where a GUI process's standard output goes when nobody reads it.
    std::ofstream nowhere("/dev/null");
    std::streambuf *standardOutput = std::cout.rdbuf(nowhere.rdbuf());
    QList<double> drops, spawns;
    timeDrop(dropArea, &data); // warm-up
    for (int run = 0; run < runs; ++run) {
        if (run % 2) {
            spawns << timeBareSpawns(paths);
            drops << timeDrop(dropArea, &data);
        } else {
            drops << timeDrop(dropArea, &data);
            spawns << timeBareSpawns(paths);
        }
    }
    std::cout.rdbuf(standardOutput);
    // The last detached stand-ins may still be starting; keep their script until they have.
    QThread::sleep(1);

    std::printf("| drop of %d files, %s (%d runs each) | application | bare spawns | ratio |\n",
        files, xcb ? "xcb" : "offscreen", runs);
    std::printf("|---|---|---|---|\n");
    std::printf("| GUI-thread time, median | %.1f ms | %.1f ms | %.2f |\n", median(drops),
        median(spawns), median(drops) / median(spawns));
    return 0;
}
