#include "ui/tintpreview.h"

#include "convert/converterlog.h"
#include "convert/framedecoder.h"
#include "convert/gammatable.h"
#include "ui/dropareachooser.h"
#include "ui/droplabel.h"

#include <QAccessible>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

namespace {

constexpr int gap = 6; // between the picture and its caption

} // namespace

QString previewCaption(const QString &file, int kelvin, bool comparing, double at)
{
    const QString shown
        = file.isEmpty() ? QStringLiteral("Sample picture") : QFileInfo(file).fileName();
    const QString caption = at < 0
        ? QStringLiteral("%1 at %2 K").arg(shown).arg(kelvin)
        : QStringLiteral("%1 at %2, %3 K").arg(shown, clockText(at), QString::number(kelvin));
    return comparing ? caption + QStringLiteral(" (left: the original)") : caption;
}

QString noPictureText(const QString &file, const QString &why)
{
    return QStringLiteral("No picture from %1: %2").arg(QFileInfo(file).fileName(), why);
}

TintPreview::TintPreview(int kelvin, QWidget *parent)
    : QWidget(parent)
    , m_decoder(new FrameDecoder(this))
    , m_kelvin(kelvin)
    , m_caption(previewCaption({}, kelvin))
{
    setAccessibleName(QStringLiteral("Tint preview"));
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    connect(m_decoder, &FrameDecoder::decoded, this, &TintPreview::decoded);
    connect(m_decoder, &FrameDecoder::failed, this, &TintPreview::failed);
}

TintPreview *TintPreview::of(const QWidget *owner)
{
    return owner->window()->findChild<TintPreview *>();
}

QRect TintPreview::captionRect() const
{
    const int height = fontMetrics().height();
    return { 0, this->height() - height, width(), height };
}

QSize TintPreview::pictureBox() const
{
    const QSize box(width(), std::max(captionRect().top() - gap, 2));
    return box * devicePixelRatioF();
}

QRect TintPreview::pictureRect() const
{
    if (m_picture.isNull())
        return {};
    const QSize size = (QSizeF(m_picture.size()) / m_picture.devicePixelRatioF()).toSize();
    const int boxHeight = captionRect().top() - gap;
    return { (width() - size.width()) / 2, (boxHeight - size.height()) / 2, size.width(),
        size.height() };
}

void TintPreview::setTemperature(int kelvin)
{
    m_kelvin = kelvin;
    if (m_frame.isValid()) {
        m_picture = tintedImage(m_frame, gammaTableIndex(kelvin));
        m_picture.setDevicePixelRatio(devicePixelRatioF());
    }
    if (m_frame.isValid() || m_showingSample)
        setCaption(previewCaption(m_file, kelvin, m_comparing, m_frame.at));
    // At once: a step of the slider shows in the frame that follows.
    repaint();
}

void TintPreview::setComparing(bool comparing)
{
    m_comparing = comparing;
    keepOriginal();
    setTemperature(m_kelvin);
}

void TintPreview::keepOriginal()
{
    m_original = m_comparing ? originalImage(m_frame) : QImage();
    m_original.setDevicePixelRatio(devicePixelRatioF());
}

QString TintPreview::shownFile() const
{
    return m_frame.isValid() ? m_file : QString();
}

void TintPreview::showFile(const QString &path)
{
    if (path.isEmpty() || (path == m_file && m_frame.isValid()))
        return;
    // A new file starts again near a third of the way in.
    m_at = -1;
    m_decoder->decode(path, pictureBox());
}

void TintPreview::decoded(const QString &path, const YuvFrame &frame)
{
    m_showingSample = false;
    m_file = path;
    m_frame = frame;
    keepOriginal();
    setTemperature(m_kelvin);
    emit shownFileChanged(path);
}

void TintPreview::failed(const QString &path, const QString &why)
{
    // Nothing held that is not shown.
    m_showingSample = false;
    m_file.clear();
    m_frame = {};
    m_picture = {};
    m_original = {};
    setCaption(noPictureText(path, why));
    update();
    emit shownFileChanged({});
}

void TintPreview::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void TintPreview::paintEvent(QPaintEvent *)
{
    // The sample is drawn once the preview knows its size.
    if (m_showingSample && !m_frame.isValid()) {
        const QSize box = pictureBox();
        m_frame = samplePicture(box.width(), std::min(box.height(), box.width() * 9 / 16));
        m_picture = tintedImage(m_frame, gammaTableIndex(m_kelvin));
        m_picture.setDevicePixelRatio(devicePixelRatioF());
        keepOriginal();
    }
    QPainter painter(this);
    const QRect picture = pictureRect();
    if (!m_original.isNull()) {
        // The original up to the middle, the re-tinted picture from there, a line between.
        const qreal ratio = m_picture.devicePixelRatioF();
        const int half = picture.width() / 2;
        const QRect left(picture.topLeft(), QSize(half, picture.height()));
        const QRect right = picture.adjusted(half, 0, 0, 0);
        painter.drawImage(left, m_original, QRectF(QPointF(), QSizeF(left.size()) * ratio));
        painter.drawImage(
            right, m_picture, QRectF(QPointF(half * ratio, 0), QSizeF(right.size()) * ratio));
        painter.save();
        painter.setPen(QPen(palette().base(), 1));
        painter.drawLine(right.topLeft(), right.bottomLeft());
        painter.restore();
    } else if (!m_picture.isNull()) {
        painter.drawImage(picture.topLeft(), m_picture);
    }
    const QRect caption = captionRect();
    painter.drawText(caption, Qt::AlignHCenter | Qt::AlignVCenter,
        fontMetrics().elidedText(m_caption, Qt::ElideMiddle, caption.width()));
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight(), 2));
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void TintPreview::dragEnterEvent(QDragEnterEvent *event)
{
    takeUrlDrag(event);
}

void TintPreview::dragMoveEvent(QDragMoveEvent *event)
{
    takeUrlDrag(event);
}

void TintPreview::dropEvent(QDropEvent *event)
{
    // The first file dropped; a drop that brings none is not taken.
    for (const QString &path : droppedFilePaths(*event->mimeData())) {
        if (!path.isEmpty()) {
            showFile(path);
            return;
        }
    }
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
}

void TintPreview::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->pos()))
        choose();
}

void TintPreview::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
        choose();
    else if (key == Qt::Key_Left || key == Qt::Key_Right)
        move(key == Qt::Key_Left ? -1 : 1);
    else
        QWidget::keyPressEvent(event);
}

void TintPreview::wheelEvent(QWheelEvent *event)
{
    // A turn towards the user goes on in the video, as a list scrolls on.
    if (event->angleDelta().y() != 0 && pictureRect().contains(event->position().toPoint()))
        move(event->angleDelta().y() < 0 ? 1 : -1);
}

void TintPreview::move(int tenths)
{
    if (!m_frame.isValid() || m_file.isEmpty() || m_frame.length <= 0)
        return;
    // From the moment asked for (a third of the way in at first), not the key frame shown:
    // each step goes on.
    const double from = m_at >= 0 ? m_at : m_frame.length / 3;
    m_at = std::clamp(from + tenths * m_frame.length / 10, 0.0, m_frame.length);
    m_decoder->decode(m_file, pictureBox(), m_at);
}

void TintPreview::choose()
{
    // A question, a drop's pass or another dialog holds the window now.
    if (m_choosing || QApplication::activeModalWidget())
        return;
    m_choosing = true;
    const QString chosen = QFileDialog::getOpenFileName(window(),
        QStringLiteral("Choose a Video to Preview"), QFileInfo(m_file).path(), videoFileFilters());
    m_choosing = false;
    showFile(chosen);
}
