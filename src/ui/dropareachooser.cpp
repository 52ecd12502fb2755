#include "ui/dropareachooser.h"

#include "convert/converterqueue.h"
#include "ui/droplabel.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMouseEvent>

QString videoFileFilters()
{
    return QStringLiteral("Video files (*.mp4 *.mkv *.mov *.avi *.webm *.m4v *.mpg *.mpeg *.ts "
                          "*.wmv *.flv);;All files (*)");
}

DropAreaChooser::DropAreaChooser(DropLabel *dropArea, const ConverterQueue *queue)
    : QObject(dropArea)
    , m_dropArea(dropArea)
    , m_queue(queue)
{
    m_dropArea->setFocusPolicy(Qt::StrongFocus);
    m_dropArea->installEventFilter(this);
}

DropAreaChooser::~DropAreaChooser()
{
    m_dropArea->removeEventFilter(this);
}

DropAreaChooser *DropAreaChooser::of(const QObject *owner)
{
    return owner->findChild<DropAreaChooser *>(QString(), Qt::FindDirectChildrenOnly);
}

bool DropAreaChooser::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_dropArea)
        return false;
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *click = static_cast<QMouseEvent *>(event);
        if (click->button() != Qt::LeftButton || !m_dropArea->rect().contains(click->pos()))
            return false;
        choose();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Space)
            return false;
        choose();
        return true;
    }
    return false;
}

void DropAreaChooser::choose()
{
    // The close question, or a drop's pass, owns the window now; a second click while the
    // dialog is open reaches nothing anyway, but a queued one might.
    if (m_choosing || m_queue->isHandingOn() || QApplication::activeModalWidget())
        return;
    m_choosing = true;
    const QStringList chosen = QFileDialog::getOpenFileNames(m_dropArea->window(),
        QStringLiteral("Choose Videos to Convert"), m_startFolder, videoFileFilters());
    m_choosing = false;
    if (!chosen.isEmpty())
        handOnFiles(m_dropArea, chosen);
}
