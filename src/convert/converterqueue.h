#pragma once

#include "convert/conversion.h"
#include "convert/converterlog.h"
#include "convert/queuefile.h"
#include "convert/standarderror.h"
#include "convert/waitinglist.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QEventLoopLocker;
struct ProcessEnd;

// How many converters run at once here: each encoder spreads over every core by itself and takes
// about half a gigabyte, so more than two at once finish no sooner and only take more memory.
int converterLimit();

// A file whose converter runs, and what its log has told so far.
struct ConvertingFile
{
    QString input;
    LogFacts facts;
};

// A file that was not converted, and why, in a few words.
struct FailedFile
{
    QString input;
    QString reason;
};

// The files handed to the queue since it was last idle, and how far they have got.
struct Batch
{
    int converting = 0;
    int waiting = 0;
    int converted = 0;
    int interrupted = 0; // stopped by the program, at the user's word
    QList<FailedFile> failed; // in the order they failed
    QList<ConvertingFile> progress; // one a running converter, in the order they started
    QStringList held; // waiting files whose turn has come, held back by another program's converter

    int done() const { return converted + interrupted + int(failed.size()); }
    int total() const { return converting + waiting + done(); }
};

// What standard error says of a file that was waiting when the waiting files were stopped.
QString notStartedLine(const QString &input);
// What standard error says of a conversion that failed, and why.
QString failureLine(const Conversion &conversion, const QString &why);
// What standard error says of a conversion that the program stopped, and where its output ends.
QString interruptedLine(const Conversion &conversion, const LogFacts &facts);
// What standard error says of a file whose turn has come while another program converts it.
QString heldLine(const QString &input);
// Why a converter that ended so failed.
QString describeEnd(const ProcessEnd &end);
// Why a conversion failed, in the converter's own words where its log has them: its last
// message, without the input's name that it starts with; otherwise how it ended.
QString failureReason(const QString &input, const QString &howItEnded, const LogFacts &facts);

// Starts converters in the order they are asked for, a few at a time, and learns how each one
// ended. No file is read while it is written, nor written by two at once: a file waits for the
// converters of ours that write or read what it reads or writes, and for the earlier waiting files
// that do, and for those of any other copy of the program (ConversionLock). Each converter writes
// its messages into a log of its own, which is read about twice a second while it runs. While a
// file waits or converts the application keeps running, also without a window, unless the session
// ends. A started converter runs on its own, also after the program has ended.
class ConverterQueue : public QObject
{
    Q_OBJECT

public:
    explicit ConverterQueue(QObject *parent, int limit = converterLimit());
    ~ConverterQueue() override;
    ConverterQueue(const ConverterQueue &) = delete;
    ConverterQueue &operator=(const ConverterQueue &) = delete;

    // The queue that owner holds, if any.
    static ConverterQueue *of(const QObject *owner);

    // Starts the converter on conversion as soon as a turn is free and its files are.
    void add(const Conversion &conversion);
    // Forgets the files that wait, saying so on standard error; those converting run on, and
    // are still watched to their end.
    void stopWaiting();
    // Forgets the files that wait, as stopWaiting does, and takes no more: each file added from
    // now on is said not to be started.
    void stopTakingFiles();
    // Asks the running converters to stop, as a terminal's Ctrl-C does; atOnce ends them.
    void stopRunning(bool atOnce);
    // No longer keeps the program running for what converts or waits: the session is ending.
    void letProgramGo();
    // Where the lines for standard error go (failures, files not started): there, unless said.
    void setSay(std::function<void(const QString &line)> say) { m_say = std::move(say); }
    // Begins handing on one drop's files. Forgets that a converter could not be started, and
    // the batch if it has ended and no other drop is being handed on: a new drop is counted
    // afresh, while the files of one drop always count together.
    void startNewDrop();
    // Every file of the drop begun last has been handed on.
    void endDrop();

    // Whether no converter of ours runs or waits.
    bool isIdle() const { return m_waiting.empty() && m_running.empty(); }
    Batch batch() const;
    // Whether the files of a drop are being handed on now.
    bool isHandingOn() const { return m_dropsOpen > 0; }
    // Whether a converter could not be started since the last new drop.
    bool hasFailed() const { return m_startFailed; }

signals:
    // No converter was found, or it would not start.
    void startFailed();
    // A file was added, started, ended or stopped, or a converter told how far it has got.
    void batchChanged();
    // A converter ended well.
    void fileConverted(const QString &input, const QString &output);

private:
    struct Running
    {
        QString key; // of the output
        QString inputKey;
        Conversion conversion;
        ConverterLog log;
        qint64 pid = 0;
        bool stopAsked = false;
    };

    void startWhatMay();
    // Starts the converter where no other program's holds its files; false where one does.
    bool startIfFree(const Conversion &conversion, const QString &key, const QString &inputKey);
    void ended(const QString &key, const ProcessEnd &end);
    void finish(const Conversion &conversion, const QString &failure, const QString &reason);
    void readLogs();
    void holdProgramWhileBusy();
    // Keeps the waiting files on disk: soon, at most a few times a second, and not while a
    // drop is being handed on.
    void keepWaitingFilesSoon();
    void keepWaitingFiles();
    void forgetEndedBatch();

    int m_limit;
    WaitingList m_waiting;
    std::vector<Running> m_running;
    QTimer m_logReading;
    QTimer m_keeping;
    QTimer m_lockRetry; // while a file is held back by another program's converter
    std::unique_ptr<QueueFile> m_queueFile; // made when a file first waits
    std::unique_ptr<QEventLoopLocker> m_keepRunning;
    bool m_startFailed = false;
    bool m_toldWhyNoLog = false;
    bool m_toldWhyNoLock = false;
    bool m_programLetGo = false;
    bool m_takingFiles = true;
    int m_dropsOpen = 0; // drops being handed on; one may begin inside another's pass
    int m_converted = 0;
    int m_interrupted = 0;
    QList<FailedFile> m_failed;
    QStringList m_held;
    std::function<void(const QString &line)> m_say = sayOnStandardError;
};
