#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>

class QEventLoopLocker;

// How many converters run at once here: each encoder spreads over every core by itself and takes
// about half a gigabyte, so more than two at once finish no sooner and only take more memory.
int converterLimit();

// Starts converters in the order they are asked for, a few at a time and never two writing one
// output at once. While a conversion waits for its turn the application keeps running, also
// without a window. A started converter runs on its own, also after the program has ended.
class ConverterQueue : public QObject
{
    Q_OBJECT

public:
    explicit ConverterQueue(QObject *parent, int limit = converterLimit());
    ~ConverterQueue() override;
    ConverterQueue(const ConverterQueue &) = delete;
    ConverterQueue &operator=(const ConverterQueue &) = delete;

    // The queue that owner holds, if any.
    static ConverterQueue *of(const QObject *owner);

    // Starts program with arguments, writing output, as soon as a turn is free and no converter
    // of ours writes or waits to write that file. An empty program cannot be started.
    void add(const QString &program, const QStringList &arguments, const QString &output);
    // Whether no converter of ours runs or waits.
    bool isIdle() const { return m_waiting.empty() && m_writing.isEmpty(); }
    // Whether a converter could not be started since the last call of forgetFailures().
    bool hasFailed() const { return m_failed; }
    void forgetFailures() { m_failed = false; }

signals:
    // No converter was found, or it would not start.
    void startFailed();

private:
    struct Conversion
    {
        QString program;
        QStringList arguments;
        QString output; // as compared: its folder resolved
    };

    void startWhatMay();
    bool start(const Conversion &conversion);
    void fail();

    int m_limit;
    std::deque<Conversion> m_waiting;
    QStringList m_writing; // the outputs of the converters that run
    std::unique_ptr<QEventLoopLocker> m_keepRunning;
    bool m_failed = false;
};
