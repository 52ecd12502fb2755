// The tint preview on a real window: how long a step of the slider takes to show, re-tinted and
// repainted, for a 1280x720 picture, over the slider's whole range, alone and beside the
// original; how long the first picture of a 1080p H.264 clip takes to show once the file is
// handed in, with the real ffmpeg; and how long a move to another moment of it takes.

#include "stats.h"
#include "ui/tintpreview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// A clip made by the real converter; false where it could not be.
bool makeClip(const QString &path, const QString &size, int seconds)
{
    return QProcess::execute(QStringLiteral("ffmpeg"),
               { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                   QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                   QStringLiteral("testsrc2=size=%1:rate=25:duration=%2").arg(size).arg(seconds),
                   QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:v"),
                   QStringLiteral("libx264"), QStringLiteral("-g"), QStringLiteral("25"), path })
        == 0;
}

// Hands the file to the preview and waits until its picture is shown; the time that took, in
// milliseconds, or below 0 where none came.
double showOnce(TintPreview &preview, const QString &file)
{
    QElapsedTimer clock;
    clock.start();
    preview.showFile(file);
    const QString shown = QFileInfo(file).fileName() + QStringLiteral(" at ");
    while (!preview.caption().startsWith(shown) && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QCoreApplication::processEvents(); // its paint
    return preview.caption().startsWith(shown) ? clock.nsecsElapsed() / 1e6 : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir folder;
    const QString hd = folder.filePath(QStringLiteral("hd.mp4"));
    const QString fullHd = folder.filePath(QStringLiteral("full hd.mp4"));
    const QString again = folder.filePath(QStringLiteral("full hd again.mp4"));
    if (!makeClip(hd, QStringLiteral("1280x720"), 3)
        || !makeClip(fullHd, QStringLiteral("1920x1080"), 10) || !QFile::copy(fullHd, again)) {
        std::fprintf(stderr, "ffmpeg could not make the clips\n");
        return 1;
    }

    // Large enough that the 720p picture is shown at its own size.
    TintPreview preview(2700, nullptr);
    preview.resize(1280, 720 + preview.fontMetrics().height() + 6);
    preview.show();
    QCoreApplication::processEvents();
    if (showOnce(preview, hd) < 0 || preview.pictureRect().size() != QSize(1280, 720)) {
        std::fprintf(stderr, "no 1280x720 picture was shown\n");
        return 1;
    }
    std::printf("| tint preview, %s | median | slowest | target |\n",
        qPrintable(QGuiApplication::platformName()));
    std::printf("|---|---|---|---|\n");
    for (const bool comparing : { false, true }) {
        preview.setComparing(comparing);
        QList<double> steps;
        for (int round = 0; round < 3; ++round) {
            for (int kelvin = 0; kelvin <= 6500; kelvin += 100) {
                QElapsedTimer clock;
                clock.start();
                preview.setTemperature(kelvin); // re-tints and repaints at once
                steps << clock.nsecsElapsed() / 1e6;
            }
        }
        std::sort(steps.begin(), steps.end());
        std::printf("| a slider step, 1280x720 picture re-tinted and repainted%s (%d steps) | "
                    "%.1f ms | %.1f ms | <= 16 ms |\n",
            comparing ? ", beside the original" : "", int(steps.size()), median(steps),
            steps.last());
    }
    preview.setComparing(false);

    // A picture box as the window has; two files in turn, so that none is shown already.
    preview.resize(480, 478);
    QList<double> firsts;
    for (int run = 0; run < 7; ++run) {
        const double shown = showOnce(preview, run % 2 ? again : fullHd);
        if (shown < 0) {
            std::fprintf(
                stderr, "no picture of the 1080p clip: %s\n", qPrintable(preview.caption()));
            return 1;
        }
        firsts << shown;
    }
    std::sort(firsts.begin(), firsts.end());
    std::printf("| first picture of a 1080p H.264 clip, handed in to shown (%d runs) | %.0f ms | "
                "%.0f ms | <= 1000 ms |\n",
        int(firsts.size()), median(firsts), firsts.last());

    // A tenth on, four times, then back: Right and Left as the user presses them.
    QList<double> moves;
    for (int move = 0; move < 8; ++move) {
        const QString before = preview.caption();
        QKeyEvent key(QEvent::KeyPress, move < 4 ? Qt::Key_Right : Qt::Key_Left, Qt::NoModifier);
        QElapsedTimer clock;
        clock.start();
        QCoreApplication::sendEvent(&preview, &key);
        while (preview.caption() == before && clock.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        QCoreApplication::processEvents(); // its paint
        if (preview.caption() == before) {
            std::fprintf(stderr, "no other moment of the 1080p clip was shown\n");
            return 1;
        }
        moves << clock.nsecsElapsed() / 1e6;
    }
    std::sort(moves.begin(), moves.end());
    std::printf("| another moment of it, a key pressed to shown (%d moves) | %.0f ms | %.0f ms | "
                "<= 1000 ms |\n",
        int(moves.size()), median(moves), moves.last());
    return 0;
}
