#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class ConverterQueue;
class QEventLoopLocker;
class QWidget;
struct Batch;

// How much of a batch is done, from 0 to 1: the files that have ended, and the share done of
// each converting file, over all files.
double batchShare(const Batch &batch);
// What the notice at a batch's end says under its summary: up to three failed files' names,
// then how many more failed.
QString batchNoticeBody(const Batch &batch);

// Tells the desktop how the batch goes, outside the window: its share on the program's launcher
// icon while it runs (the launcher-entry signal that docks and task managers read), and one
// notification when it ends while the window is not the active one or has been closed. Where
// the desktop offers neither, nothing is sent and nothing waits.
class DesktopPresenter : public QObject
{
    Q_OBJECT

public:
    DesktopPresenter(QWidget *window, const ConverterQueue *queue);
    ~DesktopPresenter() override;
    DesktopPresenter(const DesktopPresenter &) = delete;
    DesktopPresenter &operator=(const DesktopPresenter &) = delete;

private:
    void batchChanged();
    void publish();
    void notifyEnd(const Batch &batch);

    QWidget *m_window;
    const ConverterQueue *m_queue;
    QTimer m_pace;
    bool m_busy = false;
    // Keeps the program for the notice of a batch that ends without a window.
    std::unique_ptr<QEventLoopLocker> m_keepRunning;
};
