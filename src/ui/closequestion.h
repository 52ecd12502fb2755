#pragma once

#include <QObject>
#include <QString>

class ConverterQueue;
class QWidget;

// The question asked when the window is closed while files wait.
QString closeQuestionText(int waiting, int converting);

// Asks, when the window is closed while files wait for their turn, whether to keep converting
// them in the background, to stop them and quit, or not to close. Nothing is asked when nothing
// waits, nor while the session ends without leave to ask.
class CloseQuestion : public QObject
{
public:
    CloseQuestion(QWidget *window, ConverterQueue *queue);
    ~CloseQuestion() override;
    CloseQuestion(const CloseQuestion &) = delete;
    CloseQuestion &operator=(const CloseQuestion &) = delete;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    ConverterQueue *m_queue;
    bool m_asking = false;
    bool m_sessionAllowsQuestions = true;
};
