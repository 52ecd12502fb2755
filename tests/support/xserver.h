#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A private Xvfb for one test, on a display it picks itself; stopped on destruction.
class XServer
{
public:
    XServer();
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    bool isRunning() const { return !m_display.isEmpty(); }
    // The test's environment pointed at this server, for the programs the test starts.
    QProcessEnvironment environment() const;

    enum Failure { WarnOnFailure, QuietFailure };
    // Runs xdotool against this server and tells whether it succeeded; its trimmed output goes
    // to output where one is given.
    bool xdotool(const QStringList &arguments, QString *output = nullptr,
        Failure failure = WarnOnFailure) const;
    // The id of a visible window with exactly this title (or with a batch's progress before it),
    // other than those in notThese, waiting (15 s at most) for one.
    QString findWindow(const QString &title, const QStringList &notThese = {}) const;
    // Presses the first mouse button on the drag source's window (which the tests place at
    // x 910 to 1010, right of the program's window), moves over in steps as a hand would and
    // releases at (x, y).
    bool dragFromSourceTo(int y, int x = 200) const;
    // Asks the window to close, as a window manager's close button does.
    bool closeWindow(const QString &window) const;
    // The window's pixels as the server holds them now; empty where it has none.
    QByteArray windowImage(const QString &window) const;
    // Starts a client of this server with the test's environment and configHome as its config
    // home, and waits for its window titled title (not one of a client that is still going
    // away); returns the window's id, or an empty string.
    // Its standard error is the test's, unless the process was set to merge it.
    QString startClient(QProcess &process, const QString &program, const QStringList &arguments,
        const QString &configHome, const QString &title) const;

private:
    // The visible windows with exactly this title, now.
    QStringList visibleWindows(const QString &title) const;

    QProcess m_xvfb;
    QString m_display;
};

// Stops a started process, politely first.
void stopProcess(QProcess &process);
