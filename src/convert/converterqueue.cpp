#include "convert/converterqueue.h"

#include "app/processsetup.h"
#include "convert/outputrules.h"
#include "convert/processendwatcher.h"

#include <QDir>
#include <QEventLoopLocker>
#include <QProcess>
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
        .arg(conversion.input, conversion.output(), why);
}

QString notStartedLine(const QString &input)
{
    return QStringLiteral("Not started: %1").arg(input);
}

void sayOnStandardError(const QString &line)
{
    std::cerr << line.toLocal8Bit().constData() << std::endl;
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
    batch.failed = m_failed;
    for (const Running &run : m_running)
        batch.progress << ConvertingFile { run.conversion.input, run.log.facts() };
    return batch;
}

void ConverterQueue::forgetEndedBatch()
{
    if (!isIdle() || m_dropsOpen > 0)
        return;
    m_converted = 0;
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
    for (const Running &run : m_running) {
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
    // An output that a converter writes, or that an earlier file waits to write, is not free.
    // Keys are taken when a turn comes, not kept for every waiting file: they are what the
    // folders resolve to then.
    if (int(m_running.size()) < m_limit) {
        QStringList taken;
        for (const Running &run : m_running)
            taken << run.key;
        for (int next = 0; next < m_waiting.size() && int(m_running.size()) < m_limit;) {
            const Conversion conversion = m_waiting.at(next);
            const QString key = outputKey(conversion.output());
            if (taken.contains(key)) {
                ++next;
                continue;
            }
            m_waiting.removeAt(next);
            start(conversion, key);
            taken << key;
        }
    }

    holdProgramWhileBusy();
    keepWaitingFilesSoon();
    emit batchChanged();
}

void ConverterQueue::start(const Conversion &conversion, const QString &key)
{
    // A link may have been put at the output's name while the file waited.
    if (const QString why = whyNotConverted(conversion.input, conversion.output());
        !why.isEmpty()) {
        finish(conversion, why, why);
        return;
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
    if (converter.program().isEmpty() || !converter.startDetached(&pid)) {
        log.remove();
        m_startFailed = true;
        const QString why = QStringLiteral("ffmpeg could not be started");
        finish(conversion, why, why);
        emit startFailed();
        return;
    }

    m_running.push_back({ key, conversion, log, pid });
    if (!m_logReading.isActive())
        m_logReading.start();
    auto *watcher = new ProcessEndWatcher(pid, this);
    connect(watcher, &ProcessEndWatcher::ended, this, [this, watcher, key](const ProcessEnd &end) {
        watcher->deleteLater();
        ended(key, end);
    });
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
    if (end.succeeded()) {
        ran.log.remove();
        finish(ran.conversion, {}, {});
    } else {
        const LogFacts &facts = ran.log.facts();
        QString why = describeEnd(end);
        const QString reason = failureReason(ran.conversion.input, why, facts);
        if (!facts.lastMessage.isEmpty())
            why += QStringLiteral(": ") + facts.lastMessage;
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
