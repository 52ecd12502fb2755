#pragma once

#include "app/consolereporter.h"
#include "convert/converterqueue.h"

#include <QObject>
#include <QStringList>

#include <optional>

struct StartOptions;

// Runs a start with --no-window from beginning to end, with an application object of its own
// that needs no display; returns its exit status.
int convertWithoutWindow(int &argc, char *argv[], const StartOptions &options);

// Converts files without a window or a display: the same pass and the same queue as a drop,
// reported on the console (ConsoleReporter). The first Ctrl-C (SIGINT) or SIGTERM starts no
// waiting file and asks the running converters to stop, as a terminal would ask them; a second
// Ctrl-C ends them at once. The application's event loop ends with the run's exit status once
// every converter has ended: 0 when every file converted, 1 when any failed or a named file was
// missing (notFiles), and 128 and the signal's number when interrupted.
class WindowlessRun : public QObject
{
    Q_OBJECT

public:
    WindowlessRun(const QStringList &files, std::optional<int> temperature, int notFiles,
        QObject *parent = nullptr);
    ~WindowlessRun() override;
    WindowlessRun(const WindowlessRun &) = delete;
    WindowlessRun &operator=(const WindowlessRun &) = delete;

    // Begins once the event loop runs.
    void start();
    // Ctrl-C (SIGINT) or SIGTERM reached the program.
    Q_INVOKABLE void interrupt(int signal);

private:
    void pass();
    void endIfDone();

    QStringList m_files;
    std::optional<int> m_temperature;
    int m_notFiles;
    ConverterQueue m_queue;
    ConsoleReporter m_reporter;
    bool m_passEnded = false;
    bool m_ended = false;
    int m_signal = 0; // the first that interrupted the run
};
