#include "convert/launcher.h"

#include "convert/gammatable.h"
#include "ui/droplabel.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <iostream>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

QString convertedOutputPath(const QString &inputPath)
{
    const int nameStart = inputPath.lastIndexOf(QLatin1Char('/')) + 1;
    QString fileName = inputPath.mid(nameStart);
    if (!fileName.contains(QLatin1Char('.')))
        return {};
    return inputPath.left(nameStart)
        + fileName.replace(QLatin1Char('.'), QStringLiteral("_output."));
}

QString gammaFilter(float red, float green, float blue)
{
    // Plain %N markers format in the C locale, whatever the user's locale is.
    const QChar blank(QLatin1Char(' '));
    return QStringLiteral("eq=gamma_r=%1:gamma_g=%2:gamma_b=%3")
        .arg(double(red), 0, 'g', -1, blank)
        .arg(double(green), 0, 'g', -1, blank)
        .arg(double(blue), 0, 'g', -1, blank);
}

QStringList converterArguments(
    const QString &inputPath, const QString &filter, const QString &outputPath)
{
    return { QStringLiteral("-y"), QStringLiteral("-i"), inputPath, QStringLiteral("-b:v"),
        QStringLiteral("10M"), QStringLiteral("-vf"), filter, outputPath };
}

bool namesSameFile(const QString &first, const QString &second)
{
#ifdef Q_OS_UNIX
    // Device and inode: a hard link is the same file too.
    struct stat firstStatus = {};
    struct stat secondStatus = {};
    return stat(QFile::encodeName(first).constData(), &firstStatus) == 0
        && stat(QFile::encodeName(second).constData(), &secondStatus) == 0
        && firstStatus.st_dev == secondStatus.st_dev && firstStatus.st_ino == secondStatus.st_ino;
#else
    const QString canonical = QFileInfo(first).canonicalFilePath();
    return !canonical.isEmpty()
        && canonical.compare(QFileInfo(second).canonicalFilePath(), Qt::CaseInsensitive) == 0;
#endif
}

QString converterProgram()
{
    const QString name = QStringLiteral("ffmpeg");
#ifdef Q_OS_WIN
    // Windows would look in the current folder before PATH when given a bare name; a converter
    // shipped beside the program is the usual way there.
    const QString beside
        = QStandardPaths::findExecutable(name, { QCoreApplication::applicationDirPath() });
    if (!beside.isEmpty())
        return beside;
#endif
    return QStandardPaths::findExecutable(name);
}

void DropLabel::convertFile(const QString &path, int temperature)
{
    const QString outputPath = convertedOutputPath(path);
    // With no name of its own, or a link or an existing file that is the input, the output
    // would be the input, which -y truncates before reading.
    if (outputPath.isEmpty() || namesSameFile(path, outputPath))
        return;

    const int index = gammaTableIndex(temperature);
    const float red = temperatureGammaTable[index];
    const float green = temperatureGammaTable[index + 1];
    const float blue = temperatureGammaTable[index + 2];
    std::cout << "temp_index: " << index << std::endl;
    std::cout << "red_gamma: " << red << std::endl;
    std::cout << "green_gamma: " << green << std::endl;
    std::cout << "blue_gamma: " << blue << std::endl;

    const QStringList arguments
        = converterArguments(path, gammaFilter(red, green, blue), outputPath);
    for (const QString &argument : arguments)
        std::cout << argument.toStdString() << ' ';
    std::cout << std::endl;

    // Detached and unwatched: the converter runs on its own and reports nothing back. It shares
    // our output and error streams but never our input, which may be the user's terminal.
    const QString program = converterProgram();
    if (program.isEmpty())
        return;
    QProcess converter;
    converter.setProgram(program);
    converter.setArguments(arguments);
    converter.setStandardInputFile(QProcess::nullDevice());
    converter.startDetached();
}
