#include "ui/dropareastatus.h"

#include "convert/converterqueue.h"

#include <QAccessible>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>

#include <algorithm>
#include <cmath>

namespace {

QString endedCounts(const Batch &batch)
{
    QString counts
        = QStringLiteral("%1 converted, %2 failed").arg(batch.converted).arg(batch.failed.size());
    if (batch.interrupted > 0)
        counts += QStringLiteral(", %1 interrupted").arg(batch.interrupted);
    return counts;
}

// Each line shortened in the middle to the width: a long path never widens the drop area.
QString linesFitted(const QString &text, const QFontMetrics &metrics, int width)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = metrics.elidedText(line, Qt::ElideMiddle, width);
    return lines.join(QLatin1Char('\n'));
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
    if (batch.failed.isEmpty() && batch.interrupted == 0)
        return QStringLiteral("%1 converted").arg(batch.converted);
    return endedCounts(batch);
}

QString timeLeftText(double seconds)
{
    const auto whole = qint64(std::llround(std::max(seconds, 1.0)));
    if (whole == 1)
        return QStringLiteral("1 second");
    if (whole < 60)
        return QStringLiteral("%1 seconds").arg(whole);
    const qint64 minutes = (whole + 30) / 60;
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

QString conversionProgressText(const LogFacts &facts)
{
    const double share = facts.share();
    if (share >= 0) {
        // Not done until the converter has ended.
        QString text = QStringLiteral("%1 %").arg(std::min(int(share * 100), 99));
        if (facts.speed > 0)
            text += QStringLiteral(", %1 left")
                        .arg(timeLeftText((facts.duration - facts.position) / facts.speed));
        return text;
    }
    if (facts.position >= 0) {
        const auto seconds = qint64(facts.position);
        return QStringLiteral("%1:%2:%3 done")
            .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    return {};
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
        text += QStringLiteral("\n\n") + batchProgressText(batch) + progressLines(batch);
    } else if (batch.total() > 0) {
        text += QStringLiteral("\n\n") + batchSummaryText(batch);
        text += failedNames(batch, text);
    }
    // Fitted only where the drop area has its size, which it gets as the window shows.
    m_dropArea->setText(m_dropArea->isVisible()
            ? linesFitted(text, m_dropArea->fontMetrics(), m_dropArea->contentsRect().width())
            : text);
    // A label with a name of its own tells nobody that its text changed.
    QAccessibleEvent changed(m_dropArea, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
    m_dropArea->window()->setWindowTitle(batchWindowTitle(batch));
}

QString DropAreaStatus::progressLines(const Batch &batch) const
{
    const QFontMetrics metrics = m_dropArea->fontMetrics();
    const int width = m_dropArea->contentsRect().width();
    QString text;
    for (const ConvertingFile &file : batch.progress) {
        const QString name = QFileInfo(file.input).fileName();
        const QString progress = conversionProgressText(file.facts);
        const QString line = progress.isEmpty() ? name : name + QLatin1Char(' ') + progress;
        // Where name and progress do not fit one line, each gets its own: a name cut down to a
        // few letters would not say which file it is.
        if (metrics.horizontalAdvance(line) <= width)
            text += QLatin1Char('\n') + line;
        else
            text += QLatin1Char('\n') + metrics.elidedText(name, Qt::ElideMiddle, width)
                + (progress.isEmpty() ? QString() : QLatin1Char('\n') + progress);
    }
    for (const QString &input : batch.held) {
        text += QLatin1Char('\n')
            + metrics.elidedText(QStringLiteral("waiting for another conversion of %1")
                                     .arg(QFileInfo(input).fileName()),
                Qt::ElideMiddle, width);
    }
    return text;
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
        // A long name leaves room for the start of its reason.
        const FailedFile &failed = batch.failed.at(i);
        const QString name = metrics.elidedText(
            QFileInfo(failed.input).fileName(), Qt::ElideMiddle, room.width() * 3 / 5);
        text += QLatin1Char('\n')
            + metrics.elidedText(
                name + QStringLiteral(": ") + failed.reason, Qt::ElideRight, room.width());
    }
    if (shown < count)
        text += QStringLiteral("\nand %1 more").arg(count - shown);
    return text;
}
