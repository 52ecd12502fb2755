#include "ui/closequestion.h"

#include "convert/converterqueue.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>
#include <QWidget>

QString closeQuestionText(int waiting, int converting)
{
    const QString waitingText = waiting == 1 ? QStringLiteral("1 file waits")
                                             : QStringLiteral("%1 files wait").arg(waiting);
    return QStringLiteral("%1 to be converted, and %2 converting.\n\n"
                          "Keep converting in the background, or stop the waiting files and "
                          "quit? Files that are converting finish either way.")
        .arg(waitingText)
        .arg(converting);
}

CloseQuestion::CloseQuestion(QWidget *window, ConverterQueue *queue)
    : QObject(window)
    , m_window(window)
    , m_queue(queue)
{
    m_window->installEventFilter(this);
    // Asking for leave to ask is itself a request to the session manager: only when it matters.
    // The session ending never waits for our converters; they run on, unwatched.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        m_sessionAllowsQuestions = m_queue->batch().waiting == 0 || manager.allowsInteraction();
        m_queue->letProgramGo();
    });
}

CloseQuestion::~CloseQuestion()
{
    m_window->removeEventFilter(this);
}

bool CloseQuestion::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::Close)
        return false;
    const Batch batch = m_queue->batch();
    if (batch.waiting == 0 || (qGuiApp->isSavingSession() && !m_sessionAllowsQuestions))
        return false;
    if (m_asking) { // a second close while the question is open waits for its answer
        event->ignore();
        return true;
    }

    QMessageBox question(QMessageBox::Question, QStringLiteral("Close Zorv Video Converter?"),
        closeQuestionText(batch.waiting, batch.converting), QMessageBox::NoButton, m_window);
    QPushButton *keep
        = question.addButton(QStringLiteral("&Keep Converting"), QMessageBox::AcceptRole);
    QPushButton *stop
        = question.addButton(QStringLiteral("&Stop Waiting Files"), QMessageBox::DestructiveRole);
    QPushButton *stay = question.addButton(QStringLiteral("&Don't Close"), QMessageBox::RejectRole);
    question.setDefaultButton(keep);
    question.setEscapeButton(stay);
    m_asking = true;
    question.exec();
    m_asking = false;

    if (question.clickedButton() == stop)
        m_queue->stopWaiting();
    if (question.clickedButton() == keep || question.clickedButton() == stop)
        return false;
    event->ignore();
    return true;
}
