#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class ConverterQueue;
struct Batch;

// The progress line of a run without a window: "3/12 converted, 1 failed · clip.mp4 41 %, 3 min
// left", with each converting file after the counts; refused counts files that were not
// queued, among the failed. Shorter than width: the file names are shortened in the middle
// first, so that the counts, the shares and the times left stay.
QString consoleProgressText(const Batch &batch, int total, int refused, int width);
// The name shortened to at most width characters, with "…" in the middle where it is cut.
QString elidedInTheMiddle(const QString &name, int width);

// What a run without a window tells on standard error as it goes. Where standard error is a
// terminal, one line is rewritten in place, at most a few times a second, and the queue's own
// lines (failures, files not started) go above it; elsewhere each file that ended gets a line
// of its own, "Converted: IN -> OUT" or the queue's failure line, and no carriage return is
// ever written.
class ConsoleReporter : public QObject
{
    Q_OBJECT

public:
    ConsoleReporter(ConverterQueue *queue, int total, QObject *parent);

    // A file that was not queued, and why.
    void refused(const QString &path, const QString &why);
    // Writes a line, above the progress line where there is one.
    void say(const QString &line);
    // The run has ended: the last progress line stays.
    void finish();

    int refusedFiles() const { return m_refused; }

private:
    void showProgress();
    void write(const QString &text);

    ConverterQueue *m_queue;
    int m_total;
    int m_refused = 0;
    bool m_terminal;
    int m_shownWidth = 0; // of the progress line on the terminal now
    QTimer m_pace;
};
