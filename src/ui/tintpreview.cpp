#include "ui/tintpreview.h"

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

#include <algorithm>

namespace {

constexpr int gap = 6; // between the picture and its caption

} // namespace

QString previewCaption(const QString &file, int kelvin)
{
    const QString shown
        = file.isEmpty() ? QStringLiteral("Sample picture") : QFileInfo(file).fileName();
    return QStringLiteral("%1 at %2 K").arg(shown).arg(kelvin);
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
        setCaption(previewCaption(m_file, kelvin));
    // At once: a step of the slider shows in the frame that follows.
    repaint();
}

void TintPreview::showFile(const QString &path)
{
    if (path.isEmpty() || (path == m_file && m_frame.isValid()))
        return;
    m_decoder->decode(path, pictureBox());
}

void TintPreview::decoded(const QString &path, const YuvFrame &frame)
{
    m_showingSample = false;
    m_file = path;
    m_frame = frame;
    setTemperature(m_kelvin);
}

void TintPreview::failed(const QString &path, const QString &why)
{
    // Nothing held that is not shown.
    m_showingSample = false;
    m_file.clear();
    m_frame = {};
    m_picture = {};
    setCaption(noPictureText(path, why));
    update();
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
    }
    QPainter painter(this);
    if (!m_picture.isNull())
        painter.drawImage(pictureRect().topLeft(), m_picture);
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
    else
        QWidget::keyPressEvent(event);
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
