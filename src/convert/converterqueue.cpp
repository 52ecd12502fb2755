#include "convert/converterqueue.h"

#include "convert/outputrules.h"
#include "convert/processendwatcher.h"

#include <QEventLoopLocker>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <iostream>

int converterLimit()
{
    return std::clamp(QThread::idealThreadCount(), 1, 2);
}

QString failureLine(const Conversion &conversion, const QString &why)
{
    return QStringLiteral("Conversion failed: %1 -> %2: %3")
        .arg(conversion.input, conversion.output(), why);
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

ConverterQueue::ConverterQueue(QObject *parent, int limit)
    : QObject(parent)
    , m_limit(std::max(limit, 1))
{
    ProcessEndWatcher::adoptOrphans();
}

ConverterQueue::~ConverterQueue() = default;

ConverterQueue *ConverterQueue::of(const QObject *owner)
{
    return owner->findChild<ConverterQueue *>(QString(), Qt::FindDirectChildrenOnly);
}

Batch ConverterQueue::batch() const
{
    Batch batch;
    batch.converting = int(m_writing.size());
    batch.waiting = int(m_waiting.size());
    batch.converted = m_converted;
    batch.failed = m_failed;
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
}

void ConverterQueue::add(const Conversion &conversion)
{
    // The queue may fall idle between two files of one drop (a start that fails, a converter
    // that ends at once): the batch is still the same.
    m_waiting.push_back(conversion);
    startWhatMay();
}

void ConverterQueue::stopWaiting()
{
    for (const Conversion &conversion : m_waiting) {
        std::cerr
            << QStringLiteral("Not started: %1").arg(conversion.input).toLocal8Bit().constData()
            << std::endl;
    }
    m_waiting.clear();
    m_keepRunning.reset();
    emit batchChanged();
}

void ConverterQueue::startWhatMay()
{
    // An output that a converter writes, or that an earlier file waits to write, is not free.
    // Keys are taken when a turn comes, not kept for every waiting file: they are what the
    // folders resolve to then.
    QStringList taken = m_writing;
    for (auto next = m_waiting.begin(); next != m_waiting.end() && m_writing.size() < m_limit;) {
        const QString key = outputKey(next->output());
        if (taken.contains(key)) {
            ++next;
            continue;
        }
        const Conversion conversion = *next;
        next = m_waiting.erase(next);
        start(conversion, key);
        taken << key;
    }

    // Quitting waits for the last waiting converter to start, not for those that run.
    if (m_waiting.empty())
        m_keepRunning.reset();
    else if (!m_keepRunning)
        m_keepRunning = std::make_unique<QEventLoopLocker>();
    emit batchChanged();
}

void ConverterQueue::start(const Conversion &conversion, const QString &key)
{
    // A link may have been put at the output's name while the file waited.
    if (!isOverwritableOutput(conversion.output())) {
        finish(conversion, QStringLiteral("a link or a special file stands at the output's name"));
        return;
    }

    // Detached, so it outlives us; it shares our output and error streams but never our input,
    // which may be the user's terminal.
    QProcess converter;
    converter.setProgram(converterProgram());
    converter.setArguments(conversion.arguments());
    converter.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (converter.program().isEmpty() || !converter.startDetached(&pid)) {
        m_startFailed = true;
        finish(conversion, QStringLiteral("ffmpeg could not be started"));
        emit startFailed();
        return;
    }

    m_writing << key;
    auto *watcher = new ProcessEndWatcher(pid, this);
    connect(watcher, &ProcessEndWatcher::ended, this,
        [this, watcher, conversion, key](const ProcessEnd &end) {
            m_writing.removeOne(key);
            watcher->deleteLater();
            finish(conversion, end.succeeded() ? QString() : describeEnd(end));
            startWhatMay();
        });
}

void ConverterQueue::finish(const Conversion &conversion, const QString &failure)
{
    if (failure.isEmpty()) {
        ++m_converted;
        return;
    }
    // The output stays as the converter left it: the user decides what to do with it.
    m_failed << conversion.input;
    std::cerr << failureLine(conversion, failure).toLocal8Bit().constData() << std::endl;
}
