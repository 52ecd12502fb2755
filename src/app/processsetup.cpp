#include "app/processsetup.h"

#include <QCoreApplication>
#include <QtGlobal>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

void prepareProcess()
{
#ifdef Q_OS_UNIX
    // A launcher may start us with a standard stream closed; the next descriptor opened, the X
    // connection's, would then take its number and the trace would be written into it.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1) {
            const int null = open("/dev/null", O_RDWR);
            if (null != -1 && null != fd) {
                dup2(null, fd);
                close(null);
            }
        }
    }
    // A trace reader that has gone away (| head) must not end the program: the write fails
    // instead, and the trace goes nowhere from then on.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    // The window is drawn by the raster engine alone; probing GL on X11 costs half the start-up
    // and most of the memory. A value the user set wins.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");

    // A fixed-size window with point-sized text clips it on a scaled desktop unless Qt scales
    // the window with the desktop.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
}

void releaseFreedMemory()
{
#ifdef __GLIBC__
    // Freed blocks between live ones stay resident until trimmed.
    malloc_trim(0);
#endif
}
