#include "convert/processendwatcher.h"

#include <QTimer>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QWinEventNotifier>

#include <windows.h>
#else
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434 // the same number on every architecture
#endif
#ifndef P_PIDFD
#define P_PIDFD idtype_t(3)
#endif

namespace {

ProcessEnd endFromStatus(const siginfo_t &info)
{
    if (info.si_code == CLD_EXITED)
        return { ProcessEnd::Exited, info.si_status };
    return { ProcessEnd::Signalled, info.si_status };
}

} // namespace
#endif

ProcessEndWatcher::ProcessEndWatcher(qint64 pid, QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_WIN
    m_handle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (m_handle) {
        auto *notifier = new QWinEventNotifier(m_handle, this);
        connect(notifier, &QWinEventNotifier::activated, this, [this, notifier] {
            notifier->setEnabled(false);
            DWORD code = 0;
            if (GetExitCodeProcess(m_handle, &code))
                report({ ProcessEnd::Exited, int(code) });
            else
                report({});
        });
        return;
    }
    // Gone before we could look: it has ended, how is not known.
    QTimer::singleShot(0, this, [this] { report({}); });
#else
    // Readable once the process has ended; close-on-exec, so no converter inherits it.
    m_descriptor = int(syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (m_descriptor < 0) {
        // No pidfd before Linux 5.3, nor with every descriptor taken.
        watchByPid(pid);
        return;
    }
    auto *notifier = new QSocketNotifier(m_descriptor, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier, pid] {
        notifier->setEnabled(false);
        siginfo_t info = {};
        // Reaped here, so that no ended converter stays a zombie.
        const int result = waitid(P_PIDFD, id_t(m_descriptor), &info, WEXITED | WNOHANG);
        if (result == 0 && info.si_pid != 0)
            report(endFromStatus(info));
        else if (result == 0)
            notifier->setEnabled(true);
        else if (errno == EINVAL) // Linux 5.3: pidfd_open, but no waitid on it
            watchByPid(pid);
        else // not our child after all: gone, how is not known
            report({});
    });
#endif
}

ProcessEndWatcher::~ProcessEndWatcher()
{
    // The notifier goes before what it watches is closed.
    qDeleteAll(children());
#ifdef Q_OS_WIN
    if (m_handle)
        CloseHandle(m_handle);
#else
    if (m_descriptor >= 0)
        close(m_descriptor);
#endif
}

void ProcessEndWatcher::report(const ProcessEnd &end)
{
    if (m_reported)
        return;
    m_reported = true;
    emit ended(end);
}

#ifdef Q_OS_WIN
void ProcessEndWatcher::adoptOrphans() { }
#else
void ProcessEndWatcher::adoptOrphans()
{
#ifdef Q_OS_LINUX
    prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
}

void ProcessEndWatcher::watchByPid(qint64 pid)
{
    // Asked at once, then once a second: reaped if it is our child, else only seen to be gone.
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timer, pid] {
        timer->setInterval(1000);
        siginfo_t info = {};
        if (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG) == 0) {
            if (info.si_pid != 0)
                report(endFromStatus(info));
        } else if (errno == ECHILD && kill(pid_t(pid), 0) == -1 && errno == ESRCH) {
            report({});
        }
        if (m_reported)
            timer->stop();
    });
    timer->start(0);
}
#endif
