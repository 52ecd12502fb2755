#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// The files that the arguments name, as absolute paths with "/" between folders, in the order
// given: a relative name is taken from currentFolder. Names that are no existing file go into
// notFiles instead.
QStringList filesFromArguments(
    const QStringList &arguments, const QString &currentFolder, QStringList *notFiles);

// The program's arguments as it was given them, its own path first; on Windows from the wide
// command line, so that every name stays as it was typed.
QStringList commandLineArguments(int argc, char *argv[]);

// The names in a list of files: one a line, or each ended by NUL where nullSeparated. Empty
// names are passed over, and so is the carriage return of a Windows line end, on every
// platform.
QStringList namesInList(const QByteArray &list, bool nullSeparated);
// The names in the list that from names: a file, or "-" for standard input; false, and why,
// where it cannot be read.
bool readNameList(const QString &from, bool nullSeparated, QStringList *names, QString *why);

struct StartOptions;
// The files that a start's options name, as arguments and then in each list they name, in their
// order; says on standard error which names are no file, and counts them into notFiles where
// given. False, and why, where the list cannot be read.
bool filesOfStart(const StartOptions &options, QStringList *files, int *notFiles, QString *why);

// The files that names give, in their order; says on standard error which names are no file,
// and counts them into notFiles where given.
QStringList filesNamedOnCommandLine(const QStringList &names, int *notFiles = nullptr);

// Converts files as if they were dropped on the window's drop area, at temperature where one is
// given, else each at the temperature stored when its turn in the pass comes.
void convertInWindow(
    QWidget &window, const QStringList &files, std::optional<int> temperature = {});
