#include "app/processsetup.h"

#include <QCoreApplication>
#include <QList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>

#include <iostream>
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

void useParentConsole()
{
#ifdef Q_OS_WIN
    const auto leadsNowhere = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE
            || GetFileType(handle) == FILE_TYPE_UNKNOWN;
    };
    const bool input = leadsNowhere(STD_INPUT_HANDLE);
    const bool output = leadsNowhere(STD_OUTPUT_HANDLE);
    const bool error = leadsNowhere(STD_ERROR_HANDLE);
    if (!(input || output || error) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (input)
        std::freopen("CONIN$", "r", stdin);
    if (output)
        std::freopen("CONOUT$", "w", stdout);
    if (error)
        std::freopen("CONOUT$", "w", stderr);
    // The C++ streams write through the C ones, which now lead to the console.
    std::cout.clear();
    std::cerr.clear();
#endif
}

namespace {

QtMessageHandler handlerBefore = nullptr;
QList<std::pair<QtMsgType, QString>> heldBack;

void holdBackOrEnd(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // Qt's one fatal message while the application object is made: no platform could be opened.
    if (type == QtFatalMsg) {
        std::fputs("zorv-video-converter: no display to open the window on; to convert without "
                   "one, use --no-window\n",
            stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    heldBack.append({ type, message });
}

} // namespace

DisplayCheck::DisplayCheck()
{
    handlerBefore = qInstallMessageHandler(holdBackOrEnd);
}

DisplayCheck::~DisplayCheck()
{
    qInstallMessageHandler(handlerBefore);
    const QMessageLogContext context;
    for (const auto &[type, message] : std::as_const(heldBack))
        handlerBefore(type, context, message);
    heldBack.clear();
}
