#include "convert/launcher.h"

#include "convert/converterqueue.h"
#include "convert/gammatable.h"
#include "ui/droplabel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <iostream>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#else
#include <windows.h>
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

bool isOverwritableOutput(const QString &path)
{
#ifdef Q_OS_UNIX
    // lstat: a link is looked at itself, not followed.
    struct stat status = {};
    if (lstat(QFile::encodeName(path).constData(), &status) != 0)
        return errno == ENOENT;
    return S_ISREG(status.st_mode) && status.st_nlink == 1;
#else
    const QString nativePath = QDir::toNativeSeparators(path);
    const auto name = reinterpret_cast<const wchar_t *>(nativePath.utf16());
    const DWORD attributes = GetFileAttributesW(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if (attributes
        & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        return false;
    // Opened for no access at all, only to ask how many names the file has.
    const HANDLE file = CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information = {};
    const bool plain = GetFileType(file) == FILE_TYPE_DISK
        && GetFileInformationByHandle(file, &information) && information.nNumberOfLinks == 1;
    CloseHandle(file);
    return plain;
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
    // would be the input, which -y truncates before reading; -y also writes through whatever
    // else stands at the output's name.
    if (outputPath.isEmpty() || namesSameFile(path, outputPath)
        || !isOverwritableOutput(outputPath))
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

    // Started when its turn comes; the trace above is written now, whatever happens then.
    ConverterQueue::of(this)->add(converterProgram(), arguments, outputPath);
}
