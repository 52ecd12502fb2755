// Start-up of the application against a bare window of the same size and title: the time from
// starting the process to its window being mapped on a private Xvfb, and the peak resident set
// once it is shown. Runs alternate between the two programs; prints medians and ratios.

#include "stats.h"
#include "support/xserver.h"
#include "ui/mainwindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <poll.h>

namespace {

struct Sample
{
    double milliseconds = 0;
    qint64 peakKiB = 0;
};

// Waits for the next top-level window to be mapped; its id, or 0 on time-out.
xcb_window_t waitForMap(xcb_connection_t *connection, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    pollfd watched = { xcb_get_file_descriptor(connection), POLLIN, 0 };
    while (timer.elapsed() < timeoutMs) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            const xcb_window_t window = reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
            std::free(event);
            if (mapped)
                return window;
        }
        poll(&watched, 1, 50);
    }
    return 0;
}

// One program to start: its path, its arguments and whether the GL probe is skipped for it
// from outside.
struct Contender
{
    QString program;
    QStringList arguments;
    bool glProbeSkipped = false;
};

Sample runOnce(const XServer &x, xcb_connection_t *connection, const Contender &contender,
    const QString &configHome)
{
    QProcess process;
    QProcessEnvironment env = x.environment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    if (contender.glProbeSkipped)
        env.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    process.setProcessEnvironment(env);
    const QString &program = contender.program;
    QElapsedTimer timer;
    timer.start();
    process.start(program, contender.arguments);
    const xcb_window_t window = waitForMap(connection, 20000);
    Sample sample { timer.nsecsElapsed() / 1e6, processStatusKiB(process.processId(), "VmHWM") };
    if (!window || !x.closeWindow(QString::number(window)) || !process.waitForFinished(10000)) {
        std::fprintf(stderr, "%s did not map or close its window\n", qPrintable(program));
        std::exit(1);
    }
    return sample;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: %s APPLICATION BARE-WINDOW [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = arguments.value(3, QStringLiteral("21")).toInt();

    XServer x;
    QTemporaryDir configHome;
    xcb_connection_t *connection
        = xcb_connect(qPrintable(x.environment().value(QStringLiteral("DISPLAY"))), nullptr);
    if (!x.isRunning() || xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "no X server\n");
        return 1;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    // The application as users get it, the bare window as users get it (GL probed), and the
    // floor for a window with text: the text window with the probe skipped.
    // The yardsticks have the application's size: the memory of the window's pixels counts alike.
    const QStringList size
        = { QString::number(400 + previewSpacing + previewWidth), QStringLiteral("500") };
    const Contender contenders[] = { { arguments[1], {}, false }, { arguments[2], size, false },
        { arguments[2], size + QStringList { QStringLiteral("--text") }, true } };
    constexpr int count = 3;
    QList<double> times[count];
    QList<qint64> peaks[count];
    for (const Contender &contender : contenders)
        runOnce(x, connection, contender, configHome.path()); // warm the file cache
    for (int run = 0; run < runs; ++run) {
        for (int turn = 0; turn < count; ++turn) {
            const int which = (run + turn) % count; // rotate which one goes first
            const Sample sample = runOnce(x, connection, contenders[which], configHome.path());
            times[which] << sample.milliseconds;
            peaks[which] << sample.peakKiB;
        }
    }
    xcb_disconnect(connection);

    std::printf("| start-up (%d runs each, medians) | application | bare window | ratio | "
                "text window, no GL probe | ratio |\n",
        runs);
    std::printf("|---|---|---|---|---|---|\n");
    std::printf("| time to window mapped | %.1f ms | %.1f ms | %.2f | %.1f ms | %.2f |\n",
        median(times[0]), median(times[1]), median(times[0]) / median(times[1]), median(times[2]),
        median(times[0]) / median(times[2]));
    std::printf("| peak RSS once shown | %.0f KiB | %.0f KiB | %.2f | %.0f KiB | %.2f |\n",
        median(peaks[0]), median(peaks[1]), median(peaks[0]) / median(peaks[1]), median(peaks[2]),
        median(peaks[0]) / median(peaks[2]));
    return 0;
}
