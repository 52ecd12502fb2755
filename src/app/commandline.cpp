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

void convertInWindow(QWidget &window, const QStringList &files)
{
    if (auto *dropArea = window.findChild<DropLabel *>(); dropArea && !files.isEmpty())
        handOnFiles(dropArea, files);
}
