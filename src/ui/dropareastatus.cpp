#include "ui/dropareastatus.h"

#include "convert/converterqueue.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>

#include <algorithm>

namespace {

constexpr int frameMs = 16; // about the display's refresh

QString endedCounts(const Batch &batch)
{
    return QStringLiteral("%1 converted, %2 failed").arg(batch.converted).arg(batch.failed.size());
}

} // namespace

QString batchProgressText(const Batch &batch)
{
    QString text
        = QStringLiteral("%1 converting, %2 waiting").arg(batch.converting).arg(batch.waiting);
    if (batch.done() > 0)
        text += QLatin1Char('\n') + endedCounts(batch);
    return text;
}

QString batchSummaryText(const Batch &batch)
{
    if (batch.failed.isEmpty())
        return QStringLiteral("%1 converted").arg(batch.converted);
    return endedCounts(batch);
}

QString batchWindowTitle(const Batch &batch)
{
    QString title = QStringLiteral("Zorv Video Converter");
    if (batch.converting + batch.waiting == 0)
        return title;
    return QStringLiteral("%1/%2 \u00b7 ").arg(batch.done()).arg(batch.total()) + title;
}

DropAreaStatus::DropAreaStatus(QLabel *dropArea, const ConverterQueue *queue)
    : QObject(dropArea)
    , m_dropArea(dropArea)
    , m_queue(queue)
    , m_activity(dropArea->text())
{
    m_pace.setSingleShot(true);
    m_pace.setInterval(frameMs);
    connect(&m_pace, &QTimer::timeout, this, &DropAreaStatus::show);
    connect(queue, &ConverterQueue::batchChanged, this, &DropAreaStatus::showSoon);
}

DropAreaStatus *DropAreaStatus::of(const QObject *owner)
{
    return owner->findChild<DropAreaStatus *>(QString(), Qt::FindDirectChildrenOnly);
}

void DropAreaStatus::setActivity(const QString &text)
{
    m_activity = text;
    show();
}

void DropAreaStatus::setActivityAtPace(const QString &text)
{
    m_activity = text;
    showSoon();
}

void DropAreaStatus::showSoon()
{
    if (!m_pace.isActive())
        m_pace.start();
}

void DropAreaStatus::show()
{
    m_pace.stop();
    const Batch batch = m_queue->batch();
    QString text = m_activity;
    if (batch.converting + batch.waiting > 0) {
        text += QStringLiteral("\n\n") + batchProgressText(batch);
    } else if (batch.total() > 0) {
        text += QStringLiteral("\n\n") + batchSummaryText(batch);
        text += failedNames(batch, text);
    }
    m_dropArea->setText(text);
    m_dropArea->window()->setWindowTitle(batchWindowTitle(batch));
}

QString DropAreaStatus::failedNames(const Batch &batch, const QString &above) const
{
    if (batch.failed.isEmpty())
        return {};
    const QFontMetrics metrics = m_dropArea->fontMetrics();
    const QRect room = m_dropArea->contentsRect();
    const int lines
        = room.height() / metrics.lineSpacing() - int(above.count(QLatin1Char('\n'))) - 1;
    const int count = int(batch.failed.size());
    // Every name where all fit; else one line fewer, for the count of the rest.
    const int shown = count <= lines ? count : std::max(lines - 1, 0);
    QString text;
    for (int i = 0; i < shown; ++i) {
        text += QLatin1Char('\n')
            + metrics.elidedText(
                QFileInfo(batch.failed.at(i)).fileName(), Qt::ElideMiddle, room.width());
    }
    if (shown < count)
        text += QStringLiteral("\nand %1 more").arg(count - shown);
    return text;
}
