#pragma once

#include <QObject>

// Tells when a process that is not our child ends, without waking the program while it runs:
// through a pidfd on Linux, the process handle on Windows.
class ProcessEndWatcher : public QObject
{
    Q_OBJECT

public:
    ProcessEndWatcher(qint64 pid, QObject *parent);
    ~ProcessEndWatcher() override;
    ProcessEndWatcher(const ProcessEndWatcher &) = delete;
    ProcessEndWatcher &operator=(const ProcessEndWatcher &) = delete;

signals:
    // Emitted once, when the process has ended; queued where it was gone already.
    void ended();

private:
#ifdef Q_OS_WIN
    void *m_handle = nullptr;
#else
    int m_descriptor = -1;
#endif
};
