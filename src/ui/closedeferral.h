#pragma once

#include <QObject>

class QWidget;

// Holds back every close of a window while it lives; if one was asked for meanwhile, closes the
// window once the event being handled now is done. A window closed in the middle of a drop would
// lose its platform window under the drop code that is still using it.
class CloseDeferral : public QObject
{
public:
    explicit CloseDeferral(QWidget *window);
    ~CloseDeferral() override;
    CloseDeferral(const CloseDeferral &) = delete;
    CloseDeferral &operator=(const CloseDeferral &) = delete;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    bool m_closeAsked = false;
};
