#include "convert/converterqueue.h"

#include "app/processsetup.h"
#include "convert/conversionlock.h"
#include "convert/outputrules.h"
#include "convert/processendwatcher.h"
#include "convert/standarderror.h"

#include <QDir>
#include <QEventLoopLocker>
#include <QProcess>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <iostream>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#endif

int converterLimit()
{
    return std::clamp(QThread::idealThreadCount(), 1, 2);
}

QString failureLine(const Conversion &conversion, const QString &why)
{
    return QStringLiteral("Conversion failed: %1 -> %2: %3")
        .arg(escapedName(conversion.input), escapedName(conversion.output()), why);
}

QString notStartedLine(const QString &input)
{
    return QStringLiteral("Not started: %1").arg(escapedName(input));
}

QString interruptedLine(const Conversion &conversion, const LogFacts &facts)
{
    QString line = QStringLiteral("Interrupted: %1 -> %2")
                       .arg(escapedName(conversion.input), escapedName(conversion.output()));
    if (facts.position >= 0)
        line += QStringLiteral(" (the output ends at %1)").arg(clockText(facts.position));
    return line;
}

QString heldLine(const QString &input)
{
    return QStringLiteral("Waiting for another conversion of %1").arg(escapedName(input));
}

QString describeEnd(const ProcessEnd &end)
{
    switch (end.kind) {
    case ProcessEnd::Exited:
        // Windows reports a crash as an exit code such as 0xC0000005.
        if (end.code < 0 || end.code > 255)
            return QStringLiteral("ffmpeg exited with code 0x%1")
                .arg(uint(end.code), 8, 16, QLatin1Char('0'));
        return QStringLiteral("ffmpeg exited with code %1").arg(end.code);
    case ProcessEnd::Signalled:
#ifdef Q_OS_UNIX
        return QStringLiteral("ffmpeg was ended by signal %1 (%2)")
            .arg(end.code)
            .arg(QString::fromLocal8Bit(strsignal(end.code)));
#else
        return QStringLiteral("ffmpeg was ended by signal %1").arg(end.code);
#endif
    case ProcessEnd::Unknown:
        break;
    }
    return QStringLiteral("how ffmpeg ended could not be learnt");
}

QString failureReason(const QString &input, const QString &howItEnded, const LogFacts &facts)
{
    const QString named = input + QStringLiteral(": ");
    if (facts.lastMessage.startsWith(named) && facts.lastMessage.size() > named.size())
        return facts.lastMessage.mid(named.size());
    return facts.lastMessage.isEmpty() ? howItEnded : facts.lastMessage;
}

ConverterQueue::ConverterQueue(QObject *parent, int limit)
    : QObject(parent)
    , m_limit(std::max(limit, 1))
{
    ProcessEndWatcher::adoptOrphans();
    // About as often as the converter says how far it has got.
    m_logReading.setInterval(500);
    connect(&m_logReading, &QTimer::timeout, this, &ConverterQueue::readLogs);
    m_keeping.setSingleShot(true);
    m_keeping.setInterval(300);
    connect(&m_keeping, &QTimer::timeout, this, &ConverterQueue::keepWaitingFiles);
    m_lockRetry.setSingleShot(true);
    m_lockRetry.setInterval(500);
    connect(&m_lockRetry, &QTimer::timeout, this, &ConverterQueue::startWhatMay);
}

ConverterQueue::~ConverterQueue()
{
    // Files that still wait now, as the session ends, are offered at the next start.
    keepWaitingFiles();
}

void ConverterQueue::keepWaitingFilesSoon()
{
    if (!m_keeping.isActive() && !isHandingOn())
        m_keeping.start();
}

void ConverterQueue::keepWaitingFiles()
{
    if (!m_queueFile && m_waiting.empty())
        return;
    if (!m_queueFile)
        m_queueFile = std::make_unique<QueueFile>();
    m_queueFile->write(m_waiting.queueFileText());
    // The text of a long list is gone again.
    releaseFreedMemory();
}

ConverterQueue *ConverterQueue::of(const QObject *owner)
{
    return owner->findChild<ConverterQueue *>(QString(), Qt::FindDirectChildrenOnly);
}

Batch ConverterQueue::batch() const
{
    Batch batch;
    batch.converting = int(m_running.size());
    batch.waiting = m_waiting.size();
    batch.converted = m_converted;
    batch.interrupted = m_interrupted;
    batch.failed = m_failed;
    batch.held = m_held;
    for (const Running &run : m_running)
        batch.progress << ConvertingFile { run.conversion.input, run.log.facts() };
    return batch;
}

void ConverterQueue::forgetEndedBatch()
{
    if (!isIdle() || m_dropsOpen > 0)
        return;
    m_converted = 0;
    m_interrupted = 0;
    m_failed.clear();
}

void ConverterQueue::startNewDrop()
{
    m_startFailed = false;
    forgetEndedBatch();
    ++m_dropsOpen;
    emit batchChanged();
}

void ConverterQueue::endDrop()
{
    m_dropsOpen = std::max(m_dropsOpen - 1, 0);
    keepWaitingFilesSoon();
    emit batchChanged();
}

void ConverterQueue::add(const Conversion &conversion)
{
    if (!m_takingFiles) {
        m_say(notStartedLine(conversion.input));
        return;
    }
    // The queue may fall idle between two files of one drop (a start that fails, a converter
    // that ends at once): the batch is still the same.
    m_waiting.append(conversion);
    startWhatMay();
}

void ConverterQueue::stopWaiting()
{
    for (int i = 0; i < m_waiting.size(); ++i) {
        m_say(notStartedLine(m_waiting.at(i).input));
    }
    m_waiting.clear();
    m_held.clear();
    holdProgramWhileBusy();
    keepWaitingFiles();
    emit batchChanged();
}

void ConverterQueue::stopTakingFiles()
{
    m_takingFiles = false;
    stopWaiting();
}

void ConverterQueue::stopRunning(bool atOnce)
{
    for (Running &run : m_running) {
        run.stopAsked = true;
#ifdef Q_OS_WIN
        // Without a terminal's signals, a converter sharing our console heard its Ctrl-C.
        if (atOnce) {
            if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(run.pid))) {
                TerminateProcess(process, 1);
                CloseHandle(process);
            }
        }
#else
        // A converter asked with SIGINT closes its output properly before it ends.
        kill(pid_t(run.pid), atOnce ? SIGKILL : SIGINT);
#endif
    }
}

void ConverterQueue::letProgramGo()
{
    m_programLetGo = true;
    m_keepRunning.reset();
}

void ConverterQueue::holdProgramWhileBusy()
{
    // Without a window, the program stays until the last converter has ended, so that every
    // end is learnt and reported.
    if (isIdle() || m_programLetGo)
        m_keepRunning.reset();
    else if (!m_keepRunning)
        m_keepRunning = std::make_unique<QEventLoopLocker>();
}

void ConverterQueue::startWhatMay()
{
    // A file is read only where nothing writes it, and written only where nothing reads or
    // writes it: no converter of ours, and no file that waits before it. Keys are taken when a
    // turn comes, not kept for every waiting file: they are what the folders resolve to then.
    QSet<QString> reads;
    QSet<QString> writes;
    for (const Running &run : m_running) {
        reads << run.inputKey;
        writes << run.key;
    }
    // A held file stays held, and told once, until it starts: full turns may pass it by.
    for (int next = 0; next < m_waiting.size() && int(m_running.size()) < m_limit;) {
        const Conversion conversion = m_waiting.at(next);
        const QString key = outputKey(conversion.output());
        const QString inputKey = outputKey(conversion.input);
        const bool free
            = !writes.contains(key) && !reads.contains(key) && !writes.contains(inputKey);
        reads << inputKey;
        writes << key;
        if (free && startIfFree(conversion, key, inputKey)) {
            m_held.removeOne(conversion.input);
            m_waiting.removeAt(next);
            continue;
        }
        if (free && !m_held.contains(conversion.input)) {
            m_held << conversion.input;
            m_say(heldLine(conversion.input));
        }
        ++next;
    }
    // Another program's converter says nothing when it ends: it is asked after.
    if (!m_held.isEmpty())
        m_lockRetry.start();

    holdProgramWhileBusy();
    keepWaitingFilesSoon();
    emit batchChanged();
}

bool ConverterQueue::startIfFree(
    const Conversion &conversion, const QString &key, const QString &inputKey)
{
    // A link may have been put at the output's name while the file waited.
    if (const QString why = whyNotConverted(conversion.input, conversion.output());
        !why.isEmpty()) {
        finish(conversion, why, why);
        return true;
    }
    ConversionLock lock;
    QString whyNoLock;
    const ConversionLock::Taken taken = lock.take(inputKey, key, &whyNoLock);
    if (taken == ConversionLock::HeldElsewhere)
        return false;
    if (taken == ConversionLock::NoLocks && !m_toldWhyNoLock) {
        m_toldWhyNoLock = true;
        m_say(QStringLiteral("No locks between programs: %1; conversions run as if alone")
                  .arg(whyNoLock));
    }

    // Detached, so it outlives us. Its messages go into a file, which neither fills up nor
    // breaks when we have ended; it shares our output but never our input, which may be the
    // user's terminal.
    QString whyNoLog;
    ConverterLog log(conversion.input, &whyNoLog);
    QProcess converter;
    converter.setProgram(converterProgram());
    converter.setArguments(conversion.arguments());
    converter.setStandardInputFile(QProcess::nullDevice());
    if (log.isValid()) {
        converter.setStandardErrorFile(log.path(), QIODevice::Append);
    } else if (!m_toldWhyNoLog) {
        m_toldWhyNoLog = true;
        m_say(QStringLiteral("No conversion logs: %1; ffmpeg's messages come here instead")
                  .arg(whyNoLog));
    }
    // The trace is complete before the converter, which shares our standard output, starts.
    std::cout.flush();
    qint64 pid = 0;
    // The converter holds its files from now on, until it ends: our own hold goes at once.
    lock.lendToNextProcess();
    const bool started = !converter.program().isEmpty() && converter.startDetached(&pid);
    lock.release();
    if (!started) {
        log.remove();
        m_startFailed = true;
        const QString why = converter.program().isEmpty()
            ? noConverterReason()
            : QStringLiteral("ffmpeg could not be started");
        finish(conversion, why, why);
        emit startFailed();
        return true;
    }

    m_running.push_back({ key, inputKey, conversion, log, pid });
    if (!m_logReading.isActive())
        m_logReading.start();
    auto *watcher = new ProcessEndWatcher(pid, this);
    connect(watcher, &ProcessEndWatcher::ended, this, [this, watcher, key](const ProcessEnd &end) {
        watcher->deleteLater();
        ended(key, end);
    });
    return true;
}

void ConverterQueue::ended(const QString &key, const ProcessEnd &end)
{
    const auto run = std::find_if(m_running.begin(), m_running.end(),
        [&key](const Running &running) { return running.key == key; });
    if (run == m_running.end())
        return;
    Running ran = *run;
    m_running.erase(run);
    if (m_running.empty())
        m_logReading.stop();

    while (ran.log.update() > 0) { } // its last words
    ConversionLock::tidy(ran.key);
    ConversionLock::tidy(ran.inputKey);
    const LogFacts &facts = ran.log.facts();
    const QString notWhole = end.succeeded() ? whyNotWhole(facts) : QString();
    if (end.succeeded() && notWhole.isEmpty()) {
        ran.log.remove();
        finish(ran.conversion, {}, {});
    } else if (ran.stopAsked) {
        ran.log.remove();
        ++m_interrupted;
        m_say(interruptedLine(ran.conversion, facts));
    } else {
        QString why = describeEnd(end);
        QString reason = why;
        if (!notWhole.isEmpty()) {
            why = reason = notWhole;
        } else if (end.kind != ProcessEnd::Signalled) {
            // A converter ended by a signal was cut off: its last line says nothing of why.
            reason = failureReason(ran.conversion.input, why, facts);
            if (!facts.lastMessage.isEmpty())
                why += QStringLiteral(": ") + facts.lastMessage;
        }
        if (ran.log.isValid())
            why += QStringLiteral(" (log: %1)").arg(QDir::toNativeSeparators(ran.log.path()));
        finish(ran.conversion, why, reason);
    }
    startWhatMay();
}

void ConverterQueue::readLogs()
{
    bool told = false;
    for (Running &run : m_running)
        told |= run.log.update() > 0;
    if (told)
        emit batchChanged();
}

void ConverterQueue::finish(
    const Conversion &conversion, const QString &failure, const QString &reason)
{
    if (failure.isEmpty()) {
        ++m_converted;
        emit fileConverted(conversion.input, conversion.output());
        return;
    }
    // The output stays as the converter left it: the user decides what to do with it.
    m_failed << FailedFile { conversion.input, reason };
    m_say(failureLine(conversion, failure));
}
