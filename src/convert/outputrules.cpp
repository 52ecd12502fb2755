#include "convert/outputrules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

QString whyNotConverted(const QString &input, const QString &output)
{
    if (output.isEmpty())
        return QStringLiteral("its name has no \".\"");
#ifdef Q_OS_UNIX
    // Where nothing stands at the output's name, as for most files, one look does.
    struct stat status = {};
    if (lstat(QFile::encodeName(output).constData(), &status) != 0) {
        if (errno == ENOENT)
            return {};
        if (errno == ENAMETOOLONG)
            return QStringLiteral("the output's name is too long for the file system");
    } else if (S_ISDIR(status.st_mode)) {
        return QStringLiteral("a folder stands at the output's name");
    }
#else
    const QFileInfo existing(output);
    if (existing.isDir() && !existing.isSymLink() && !existing.isJunction())
        return QStringLiteral("a folder stands at the output's name");
#endif
    if (!isOverwritableOutput(output))
        return QStringLiteral("a link or a special file stands at the output's name");
    if (namesSameFile(output, input))
        return QStringLiteral("the output would be the input itself");
    return {};
}

QString outputKey(const QString &path)
{
    const QFileInfo file(path);
    QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        folder = QDir::cleanPath(file.absolutePath());
    QString key = folder + QLatin1Char('/') + file.fileName();
#ifdef Q_OS_WIN
    key = key.toCaseFolded();
#endif
    return key;
}
