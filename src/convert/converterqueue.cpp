#include "convert/converterqueue.h"

#include "convert/launcher.h"
#include "convert/processendwatcher.h"

#include <QDir>
#include <QEventLoopLocker>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <algorithm>

namespace {

// One file has one key, however its folder is reached (a link, "..", a second slash).
QString outputKey(const QString &path)
{
    const QFileInfo file(path);
    QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        folder = QDir::cleanPath(file.absolutePath());
    QString key = folder + QLatin1Char('/') + file.fileName();
#ifdef Q_OS_WIN
    key = key.toCaseFolded();
#endif
    return key;
}

} // namespace

int converterLimit()
{
    return std::clamp(QThread::idealThreadCount(), 1, 2);
}

ConverterQueue::ConverterQueue(QObject *parent, int limit)
    : QObject(parent)
    , m_limit(std::max(limit, 1))
{ }

ConverterQueue::~ConverterQueue() = default;

ConverterQueue *ConverterQueue::of(const QObject *owner)
{
    return owner->findChild<ConverterQueue *>(QString(), Qt::FindDirectChildrenOnly);
}

void ConverterQueue::add(
    const QString &program, const QStringList &arguments, const QString &output)
{
    if (program.isEmpty()) {
        fail();
        return;
    }
    m_waiting.push_back({ program, arguments, outputKey(output) });
    startWhatMay();
}

void ConverterQueue::startWhatMay()
{
    // An output that a converter writes, or that an earlier one waits to write, is not free.
    QStringList taken = m_writing;
    for (auto next = m_waiting.begin(); next != m_waiting.end() && m_writing.size() < m_limit;) {
        if (taken.contains(next->output)) {
            ++next;
            continue;
        }
        const Conversion conversion = *next;
        next = m_waiting.erase(next);
        // A link may have been put at the output's name while the file waited.
        if (!isOverwritableOutput(conversion.output))
            continue;
        if (!start(conversion))
            fail();
        taken << conversion.output;
    }

    // Quitting waits for the last waiting converter to start, not for those that run.
    if (m_waiting.empty())
        m_keepRunning.reset();
    else if (!m_keepRunning)
        m_keepRunning = std::make_unique<QEventLoopLocker>();
}

bool ConverterQueue::start(const Conversion &conversion)
{
    // Detached, so it outlives us; it shares our output and error streams but never our input,
    // which may be the user's terminal.
    QProcess converter;
    converter.setProgram(conversion.program);
    converter.setArguments(conversion.arguments);
    converter.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!converter.startDetached(&pid))
        return false;

    m_writing << conversion.output;
    auto *watcher = new ProcessEndWatcher(pid, this);
    connect(watcher, &ProcessEndWatcher::ended, this, [this, watcher, output = conversion.output] {
        m_writing.removeOne(output);
        watcher->deleteLater();
        startWhatMay();
    });
    return true;
}

void ConverterQueue::fail()
{
    m_failed = true;
    emit startFailed();
}
