#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// An `ffmpeg` of the test's own, first on PATH while the object lives. Each run records its
// argument vector, NUL-separated, in a file of its own (and what its standard input is in
// another), adds "start OUTPUT" and, as it ends, "end OUTPUT" to a shared events file, and
// writes nothing to standard output.
// A run sleeps for ZORV_STANDIN_SLEEP seconds after recording, where that is set (SIGINT, at any
// moment, ends it with 255, after "interrupted OUTPUT" in the events file, unless its input's
// name holds "deaf"), and writes
// statistics lines to standard error for two seconds where its input's name holds "chatty" (and
// stops where it cannot, as a converter that has lost its error stream). It
// then exits with 3 after a reason on standard error where the name holds "exit3", is killed by
// SIGKILL where it holds "killed", and exits with 0 otherwise. Asked for the preview's picture
// (its first argument -nostdin), it records nothing and hands the call to the real converter.
class StandInConverter
{
public:
    StandInConverter();
    ~StandInConverter();
    StandInConverter(const StandInConverter &) = delete;
    StandInConverter &operator=(const StandInConverter &) = delete;

    bool isValid() const { return m_valid; }
    // The folder that holds the stand-in, for the PATH of processes the test starts.
    QString directory() const { return m_bin.path(); }
    // The real converter that the stand-in stands in front of on PATH.
    QString realConverter() const;
    // The argument vectors of the runs recorded so far, sorted.
    QList<QStringList> runs() const;
    // What each run had as its standard input, as the system names it.
    QStringList standardInputs() const;
    // The start and end lines of the runs so far, in the order they happened.
    QStringList events() const;
    // Forgets the runs recorded so far.
    void clear() const;
    // Waits (bounded) until count runs have been recorded.
    bool waitForRuns(int count, int timeoutMs = 10000) const;

private:
    QTemporaryDir m_bin;
    QTemporaryDir m_records;
    QByteArray m_oldPath;
    bool m_valid = false;
};

// The argument vectors recorded in a folder, one NUL-separated file "run.N" a run, sorted.
QList<QStringList> recordedRuns(const QString &folder);
// The lines of the events file in a folder.
QStringList recordedEvents(const QString &folder);

// What a batch of runs did, from its start and end lines.
struct BatchSummary
{
    QStringList starts; // the outputs, their folders resolved, in the order their runs started
    int mostAtOnce = 0;
    bool outputWrittenTwiceAtOnce = false;
};
BatchSummary summarizeBatch(const QStringList &events);
// The outputs sorted within each turn of limit files: converters started in one turn may record
// their start in any order.
QStringList inTurns(QStringList outputs, int limit);
