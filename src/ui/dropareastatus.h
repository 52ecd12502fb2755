#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class ConverterQueue;
class QLabel;
struct Batch;
struct LogFacts;

// About the display's refresh: how often the status is shown at most.
constexpr int frameMs = 16;

// The batch while it runs, as the drop area shows it under what it is doing.
QString batchProgressText(const Batch &batch);
// How a batch that has ended went: "12 converted", or "11 converted, 1 failed".
QString batchSummaryText(const Batch &batch);
// The window's title: the batch's progress while anything converts or waits.
QString batchWindowTitle(const Batch &batch);
// How far one converting file has got, as shown after its name: "41 %, 3 min left" where the
// input's length is known, "00:03:12 done" where it is not, nothing before the converter says.
QString conversionProgressText(const LogFacts &facts);
// A time to wait, rounded: "40 seconds", "3 min", "1 h 5 min".
QString timeLeftText(double seconds);

// Keeps the drop area's text and its window's title: what the drop area is doing (the prompt,
// the file being handed on, a converter that would not start) and, under it, how the batch goes.
// Changes of the batch are shown at the display's pace, so a drop of thousands of files is not
// repainted for every one.
class DropAreaStatus : public QObject
{
    Q_OBJECT

public:
    DropAreaStatus(QLabel *dropArea, const ConverterQueue *queue);

    // The status that owner holds, if any.
    static DropAreaStatus *of(const QObject *owner);

    // Shows text as what the drop area does, now.
    void setActivity(const QString &text);
    // The same at the display's pace: within a frame's time, not for every call.
    void setActivityAtPace(const QString &text);

private:
    void showSoon();
    void show();
    // A line for each converting file: its name, cut to the width, and how far it has got.
    QString progressLines(const Batch &batch) const;
    // The names of the failed files that fit under lines of text, each with its reason and cut
    // to the width.
    QString failedNames(const Batch &batch, const QString &above) const;

    QLabel *m_dropArea;
    const ConverterQueue *m_queue;
    QString m_activity;
    QTimer m_pace;
};
