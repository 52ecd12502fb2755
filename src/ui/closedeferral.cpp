#include "ui/closedeferral.h"

#include <QEvent>
#include <QWidget>

CloseDeferral::CloseDeferral(QWidget *window)
    : m_window(window)
{
    m_window->installEventFilter(this);
}

CloseDeferral::~CloseDeferral()
{
    m_window->removeEventFilter(this);
    // Queued, so the close comes after the handler that deferred it has returned. An outer
    // deferral still running catches it in turn.
    if (m_closeAsked)
        QMetaObject::invokeMethod(m_window, "close", Qt::QueuedConnection);
}

bool CloseDeferral::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::Close)
        return false;
    m_closeAsked = true;
    event->ignore();
    return true;
}
