// A batch of real conversions, as a folder of clips dropped at once: the program's rule of a few
// converters at a time against all of them at once. Generates 1080p clips (three for each core,
// six at least), converts them with the real ffmpeg and the program's arguments, and prints the
// mean wall time and the highest peak of the encoders' summed resident memory for each way.

#include "stats.h"
#include "convert/converterqueue.h"
#include "convert/gammatable.h"
#include "convert/conversion.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Resident memory, in kB, summed over the processes whose command line names folder.
qint64 residentUnder(const QString &folder)
{
    qint64 total = 0;
    const QByteArray marker = QFile::encodeName(folder);
    for (const QString &pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile commandLine("/proc/" + pid + "/cmdline");
        if (pid.toInt() == 0 || !commandLine.open(QIODevice::ReadOnly)
            || !commandLine.readAll().contains(marker))
            continue;
        total += processStatusKiB(pid.toLongLong(), "VmRSS");
    }
    return total;
}

struct Result
{
    double seconds = 0;
    qint64 peakKb = 0;
};

// Converts every clip through a queue of the given limit; waits for the last converter to end.
Result convertAll(const QStringList &clips, int limit)
{
    ConverterQueue queue(nullptr, limit);
    const QString folder = QFileInfo(clips.first()).absolutePath();

    Result result;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
        [&] { result.peakKb = std::max(result.peakKb, residentUnder(folder)); });
    sampler.start(100);
    QElapsedTimer timer;
    timer.start();
    for (const QString &clip : clips)
        queue.add({ clip, gammaTableIndex(2700) });
    while (!queue.isIdle())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    result.seconds = timer.nsecsElapsed() / 1e9;
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    const int count = std::max(6, 3 * QThread::idealThreadCount());
    const int seconds = app.arguments().value(1, "4").toInt();
    QTemporaryDir folder;
    if (ffmpeg.isEmpty() || !folder.isValid())
        return 1;

    QStringList clips;
    for (int i = 0; i < count; ++i) {
        clips << folder.filePath(QString("clip%1.mp4").arg(i));
        const int made = QProcess::execute(ffmpeg,
            { "-v", "error", "-f", "lavfi", "-i",
                QString("testsrc2=size=1920x1080:rate=30:duration=%1").arg(seconds), "-vf",
                QString("hue=h=%1").arg(i * 40), "-c:v", "libx264", "-preset", "ultrafast",
                "-pix_fmt", "yuv420p", clips.last() });
        if (made != 0)
            return 1;
    }

    // The encoders' progress on the shared error stream is not what is measured.
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    close(null);
    // Alternating, so that a slow spell of the machine falls on both; the means are shown.
    const int rounds = app.arguments().value(2, "2").toInt();
    Result rule;
    Result all;
    for (int round = 0; round < rounds; ++round) {
        for (const bool ruleFirst : { round % 2 == 0, round % 2 != 0 }) {
            Result &sum = ruleFirst ? rule : all;
            const Result one = convertAll(clips, ruleFirst ? converterLimit() : count);
            sum.seconds += one.seconds / rounds;
            sum.peakKb = std::max(sum.peakKb, one.peakKb);
        }
    }

    std::printf("| batch of %d clips, 1080p, %d s each, %d rounds | at once | mean wall time | "
                "peak memory |\n",
        count, seconds, rounds);
    std::printf("|---|---|---|---|\n");
    std::printf("| the program's rule | %d | %.1f s | %.0f MB |\n", converterLimit(), rule.seconds,
        rule.peakKb / 1024.0);
    std::printf(
        "| all at once | %d | %.1f s | %.0f MB |\n", count, all.seconds, all.peakKb / 1024.0);
    std::printf("| ratio (targets: time <= 1.05, memory <= %.2f) | | %.2f | %.2f |\n",
        1.2 * converterLimit() / count, rule.seconds / all.seconds,
        double(rule.peakKb) / double(all.peakKb));
    return 0;
}
