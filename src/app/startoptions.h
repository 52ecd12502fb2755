#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QCommandLineParser;

// What the command line asks of this start, read once in main.
struct StartOptions
{
    enum Action {
        Run, // open the window, or convert without one
        ShowHelp,
        ShowVersion,
        UsageError, // error says why; the status is 2
    };

    Action action = Run;
    QString error;
    std::optional<int> temperature; // in kelvin, for this start's files only
    bool noWindow = false;
    QStringList filesFrom; // lists of names to add, in order, "-" for standard input
    bool nullSeparated = false; // the list's names end with NUL, not a line break
    QStringList names; // the files named as arguments, in order
};

// Reads the command line: arguments as the program was given them, its own path first. Qt's own
// options (-platform, -style, ...) are passed over, for the application object to take.
StartOptions parseStartOptions(const QStringList &arguments);

// What --version prints: the program's name and its version.
QString versionText();
// What --help prints: what the program does, each option, examples and where the logs are. Needs
// an application object.
QString helpText();
