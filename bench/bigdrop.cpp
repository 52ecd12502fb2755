// A drop of many files on the real program, as from a file manager's "select all": a real GTK
// drag on a private Xvfb, with a stand-in converter that runs until the benchmark ends, so that
// all but a turn's worth of files wait. Times the drop pass from the first trace line to the
// last, measures how much the program's resident memory grew by the pass (at its peak, and a
// second after it), and the longest time between two changes of the window's title during the
// pass, which the drop area's status rewrites with each of its repaints.

#include "stats.h"
#include "support/xserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct Sample
{
    double passMs = 0;
    double growthKiB = 0;
    double peakGrowthKiB = 0;
    double longestStillMs = 0;
};

// Tells the times at which a window's title changes.
class TitleWatch
{
public:
    TitleWatch(const XServer &x, const QString &window)
        : m_connection(xcb_connect(qPrintable(x.environment().value("DISPLAY")), nullptr))
    {
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_connection, window.toUInt(), XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
    }
    ~TitleWatch() { xcb_disconnect(m_connection); }
    TitleWatch(const TitleWatch &) = delete;
    TitleWatch &operator=(const TitleWatch &) = delete;

    // Notes the changes that have come since the last call, at clock's time now.
    void read(const QElapsedTimer &clock)
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY)
                m_changes << clock.nsecsElapsed() / 1e6;
            std::free(event);
        }
    }
    // The longest time between from and to with no change.
    double longestStill(double from, double to) const
    {
        double last = from;
        double longest = 0;
        for (const double change : m_changes) {
            if (change <= from || change > to)
                continue;
            longest = std::max(longest, change - last);
            last = change;
        }
        return std::max(longest, to - last);
    }

private:
    xcb_connection_t *m_connection;
    QList<double> m_changes;
};

// One drop of count files on a freshly started program; a zero sample where anything failed.
Sample dropOnce(const XServer &x, const QString &application, const QString &dragSource,
    const QString &configHome, int count)
{
    // More names than a command line holds: the source reads them from a list.
    QTemporaryDir state;
    QFile list(state.filePath(QStringLiteral("files")));
    if (!list.open(QIODevice::WriteOnly))
        return {};
    for (int i = 0; i < count; ++i)
        list.write(QStringLiteral("/tmp/zorv bench/holiday clip %1.mp4\n")
                       .arg(i, 6, 10, QLatin1Char('0'))
                       .toUtf8());
    list.close();

    // A state folder of the run's own: the program is killed with its files waiting, which the
    // next start would offer.
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
    TitleWatch titles(x, window);

    if (x.startClient(source, dragSource, { QStringLiteral("--list"), list.fileName() }, configHome,
             QStringLiteral("Zorv drag source"))
            .isEmpty()
        || !x.dragFromSourceTo(200))
        return {};
    QElapsedTimer clock;
    clock.start();
    double first = -1;
    int lines = 0;
    while (lines < 6 * count && app.waitForReadyRead(30000)) {
        if (first < 0)
            first = clock.nsecsElapsed() / 1e6;
        lines += app.readAllStandardOutput().count('\n');
        titles.read(clock);
    }
    if (lines < 6 * count)
        return {};
    Sample sample;
    const double last = clock.nsecsElapsed() / 1e6;
    sample.passMs = last - first;
    titles.read(clock);
    sample.longestStillMs = titles.longestStill(first, last);
    QThread::msleep(1000); // the pass's last paint and frees, and the waiting files kept
    sample.growthKiB = double(processStatusKiB(app.processId(), "VmRSS") - before);
    sample.peakGrowthKiB = double(processStatusKiB(app.processId(), "VmHWM") - before);
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

    // A converter that runs until the benchmark has ended: the first files keep their turns. It
    // gives the preview no picture.
    QTemporaryDir bin;
    QTemporaryDir configHome;
    QFile standIn(bin.filePath(QStringLiteral("ffmpeg")));
    if (!standIn.open(QIODevice::WriteOnly)
        || standIn.write("#!/bin/sh\n[ \"$1\" = -nostdin ] && exit 1\n"
                         "while [ -d \"$(dirname \"$0\")\" ]; do sleep 1; done\n")
            < 0)
        return 1;
    standIn.close();
    standIn.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + qgetenv("PATH"));

    XServer x;
    if (!x.isRunning())
        return 1;
    std::printf("| drop of N files, real GTK drag, X11 (median of %d) | pass | per 1000 files | "
                "memory growth after | at its peak | longest without a repaint |\n",
        runs);
    std::printf("|---|---|---|---|---|---|\n");
    const int counts[] = { 10000, 50000, 100000 };
    QList<double> passMs;
    QList<double> growthKiB;
    for (const int count : counts) {
        QList<double> passes;
        QList<double> growths;
        QList<double> peaks;
        QList<double> stills;
        for (int run = 0; run < runs; ++run) {
            const Sample sample = dropOnce(x, arguments[1], arguments[2], configHome.path(), count);
            if (sample.passMs <= 0)
                return 1;
            passes << sample.passMs;
            growths << sample.growthKiB;
            peaks << sample.peakGrowthKiB;
            stills << sample.longestStillMs;
        }
        std::printf("| %d files | %.2f s | %.3f s | %+.1f MB | %+.1f MB | %.0f ms |\n", count,
            median(passes) / 1000, median(passes) / count, median(growths) / 1024,
            median(peaks) / 1024, median(stills));
        passMs << median(passes);
        growthKiB << median(growths);
    }
    // What each further 1000 files cost, between the sizes: flat where the pass scales.
    for (int i = 1; i < passMs.size(); ++i) {
        const double more = (counts[i] - counts[i - 1]) / 1000.0;
        std::printf("| each further 1000 files, %dk to %dk | | %.3f s | %+.2f MB | | |\n",
            counts[i - 1] / 1000, counts[i] / 1000, (passMs[i] - passMs[i - 1]) / 1000 / more,
            (growthKiB[i] - growthKiB[i - 1]) / 1024 / more);
    }
    return 0;
}
