#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <optional>

#ifdef Q_OS_WIN
#include <QLocalServer>
#elif defined(ZORV_HAS_DBUS)
#include "app/applicationservice.h"
#endif

class QWidget;

// The most files one hand-over takes.
constexpr int mostFiles = 10000;

// A list of files as it goes from one start to the other through a local socket: a header line,
// the temperature's line where the start was given one, one absolute path a line in UTF-8, and
// an empty line at the end.
QByteArray encodeFileList(const QStringList &files, std::optional<int> temperature = {});
// The files (and the temperature) of a complete message; false where the message is not a
// well-formed list of at most mostFiles absolute paths, or not complete yet.
bool decodeFileList(
    const QByteArray &message, QStringList *files, std::optional<int> *temperature = nullptr);

// Shows the window, brings it to the front and converts files handed over by a later start, at
// temperature where one is given.
void takeHandedFiles(QWidget &window, const QStringList &files, std::optional<int> temperature);

// One program per user session: a later start hands its files (perhaps none) to the program that
// runs already and ends, and that program converts them and shows its window. On Linux the
// program owns its name on the session bus and serves the desktop's org.freedesktop.Application
// there, so that a file manager may call it too; where there is no session bus, each start is a
// program of its own. On Windows the first program listens on a named pipe of the user's.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);

    enum Outcome {
        NoneRuns, // this start is the one program
        HandedOver, // the running program has taken the files
        NotTaken, // a program runs, but it did not take them
    };
    // Gives files to the program that runs already, to be converted at temperature where one is
    // given, and returns once it has taken them.
    Outcome handOver(const QStringList &files, std::optional<int> temperature = {});
    // From now on, files handed over by later starts are converted in window's drop area, and
    // the window is shown and raised.
    void serve(QWidget &window);

private:
#ifdef Q_OS_WIN
    void take(QWidget &window);

    QLocalServer m_server;
#elif defined(ZORV_HAS_DBUS)
    ApplicationService m_service;
#endif
};
