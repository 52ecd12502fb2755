#include "convert/processendwatcher.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QWinEventNotifier>

#include <windows.h>
#else
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434 // the same number on every architecture
#endif
#endif

ProcessEndWatcher::ProcessEndWatcher(qint64 pid, QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_WIN
    m_handle = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (m_handle) {
        auto *notifier = new QWinEventNotifier(m_handle, this);
        connect(notifier, &QWinEventNotifier::activated, this, [this, notifier] {
            notifier->setEnabled(false);
            emit ended();
        });
        return;
    }
#else
    // Readable once the process has ended; close-on-exec, so no converter inherits it.
    m_descriptor = int(syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (m_descriptor >= 0) {
        auto *notifier = new QSocketNotifier(m_descriptor, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
            notifier->setEnabled(false);
            emit ended();
        });
        return;
    }
    if (errno == ENOSYS) {
        // Kernels before 5.3 have no pidfd: ask once a second whether the process is there.
        auto *timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timer, pid] {
            if (kill(pid_t(pid), 0) == -1 && errno == ESRCH) {
                timer->stop();
                emit ended();
            }
        });
        timer->start(1000);
        return;
    }
#endif
    // Gone before we could look: it has ended.
    QMetaObject::invokeMethod(this, "ended", Qt::QueuedConnection);
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
