#include "app/commandline.h"

#include "app/startoptions.h"
#include "convert/standarderror.h"
#include "ui/droplabel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>
#endif

QStringList filesFromArguments(
    const QStringList &arguments, const QString &currentFolder, QStringList *notFiles)
{
    QStringList files;
    const QDir current(currentFolder);
    for (const QString &argument : arguments) {
        const QFileInfo file(current, argument);
        if (argument.isEmpty() || !file.isFile()) {
            *notFiles << argument;
            continue;
        }
        files << QDir::cleanPath(QDir::fromNativeSeparators(file.absoluteFilePath()));
    }
    return files;
}

QStringList commandLineArguments(int argc, char *argv[])
{
    QStringList arguments;
#ifdef Q_OS_WIN
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    int count = 0;
    if (LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments << QString::fromWCharArray(wide[i]);
        LocalFree(wide);
    }
#else
    for (int i = 0; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
#endif
    return arguments;
}

QStringList namesInList(const QByteArray &list, bool nullSeparated)
{
    QStringList names;
    const char end = nullSeparated ? '\0' : '\n';
    int start = 0;
    // A Windows list may start with the UTF-8 byte order mark.
    if (list.startsWith("\xEF\xBB\xBF"))
        start = 3;
    while (start < list.size()) {
        int stop = list.indexOf(end, start);
        if (stop < 0)
            stop = list.size();
        QByteArray name = list.mid(start, stop - start);
        // A Windows line end, wherever the list was written.
        if (!nullSeparated && name.endsWith('\r'))
            name.chop(1);
#ifdef Q_OS_WIN
        if (!name.isEmpty())
            names << QString::fromUtf8(name);
#else
        if (!name.isEmpty())
            names << QFile::decodeName(name);
#endif
        start = stop + 1;
    }
    return names;
}

bool readNameList(const QString &from, bool nullSeparated, QStringList *names, QString *why)
{
    QFile list(from);
#ifdef Q_OS_WIN
    // Read as it is: no line ends changed, no end at the first Ctrl-Z.
    if (from == QLatin1String("-"))
        _setmode(_fileno(stdin), _O_BINARY);
#endif
    const bool opened = from == QLatin1String("-") ? list.open(stdin, QIODevice::ReadOnly)
                                                   : list.open(QIODevice::ReadOnly);
    if (!opened) {
        *why = QStringLiteral("%1: %2").arg(from, list.errorString());
        return false;
    }
    *names = namesInList(list.readAll(), nullSeparated);
    return true;
}

QStringList filesNamedOnCommandLine(const QStringList &names, int *notFiles)
{
    QStringList missing;
    QStringList files = filesFromArguments(names, QDir::currentPath(), &missing);
    for (const QString &name : missing) {
        sayOnStandardError(QStringLiteral("Not a file: %1").arg(escapedName(name)));
    }
    if (notFiles)
        *notFiles = int(missing.size());
    return files;
}

bool filesOfStart(const StartOptions &options, QStringList *files, int *notFiles, QString *why)
{
    QStringList names = options.names;
    for (const QString &from : options.filesFrom) {
        QStringList listed;
        if (!readNameList(from, options.nullSeparated, &listed, why))
            return false;
        names += listed;
    }
    *files = filesNamedOnCommandLine(names, notFiles);
    return true;
}

void convertInWindow(QWidget &window, const QStringList &files, std::optional<int> temperature)
{
    auto *dropArea = window.findChild<DropLabel *>();
    if (!dropArea || files.isEmpty())
        return;
    QList<int> temperatures;
    if (temperature) {
        temperatures.reserve(files.size());
        for (int i = 0; i < files.size(); ++i)
            temperatures << *temperature;
    }
    handOnFiles(dropArea, files, temperatures);
}
