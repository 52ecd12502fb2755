#pragma once

#include <QObject>

// How a process ended, as far as it could be learnt.
struct ProcessEnd
{
    enum Kind { Exited, Signalled, Unknown };
    Kind kind = Unknown;
    int code = 0; // the exit code, or the signal's number

    bool succeeded() const { return kind == Exited && code == 0; }
};

// Tells when a process ends and how, without waking the program while it runs: through a pidfd
// on Linux, where the process is our child once its detached start's middle process has gone
// (see adoptOrphans), and through the process handle on Windows.
class ProcessEndWatcher : public QObject
{
    Q_OBJECT

public:
    ProcessEndWatcher(qint64 pid, QObject *parent);
    ~ProcessEndWatcher() override;
    ProcessEndWatcher(const ProcessEndWatcher &) = delete;
    ProcessEndWatcher &operator=(const ProcessEndWatcher &) = delete;

    // Makes this process the parent of the orphans among its descendants, so that detached
    // converters can be reaped and their status read. Does nothing where that is not needed.
    static void adoptOrphans();

signals:
    // Emitted once, when the process has ended; queued where it was gone already.
    void ended(const ProcessEnd &end);

private:
    void report(const ProcessEnd &end);

    bool m_reported = false;
#ifdef Q_OS_WIN
    void *m_handle = nullptr;
#else
    void watchByPid(qint64 pid);
    int m_descriptor = -1;
#endif
};
