#include "app/commandline.h"

#include "ui/droplabel.h"

#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <iostream>

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

QStringList filesNamedOnCommandLine(const QStringList &arguments)
{
    QStringList notFiles;
    QStringList files = filesFromArguments(arguments, QDir::currentPath(), &notFiles);
    for (const QString &name : notFiles) {
        std::cerr << QStringLiteral("Not a file: %1").arg(name).toLocal8Bit().constData()
                  << std::endl;
    }
    return files;
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
