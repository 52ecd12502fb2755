#include "convert/conversionlock.h"

#include "convert/converterlog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString keyName(const QString &key)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex());
}

#ifdef Q_OS_WIN
// Named objects: one kind a file is being written, another it is being read. Each lives while
// any process holds a handle to it, the converter that inherited one included.
std::wstring objectName(const char *kind, const QString &key)
{
    return (QStringLiteral("Local\\ZorvVideoConverter-%1-").arg(QLatin1String(kind)) + keyName(key))
        .toStdWString();
}

bool objectExists(const std::wstring &name)
{
    HANDLE object = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
    if (!object)
        return false;
    CloseHandle(object);
    return true;
}

void closeObject(void *&handle)
{
    if (handle)
        CloseHandle(handle);
    handle = nullptr;
}
#else
// The user's runtime folder goes with the session and is never on a network share; the state
// folder where there is none.
QString lockFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime))
        return runtime + QStringLiteral("/ZorvTech/ZorvVideoConverter/locks");
    return programStateFolder() + QStringLiteral("/locks");
}

QByteArray lockPath(const QString &key)
{
    return QFile::encodeName(
        lockFolder() + QLatin1Char('/') + keyName(key) + QStringLiteral(".lock"));
}

// The descriptor of the lock file at path, locked so (LOCK_SH or LOCK_EX); -1 where another
// holds it (*busy) or it cannot be had.
int lockFile(const QByteArray &path, int operation, bool *busy)
{
    *busy = false;
    // A file removed by tidy between our open and our lock is no longer the one at the name.
    for (int tries = 0; tries < 3; ++tries) {
        const int descriptor
            = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (descriptor < 0)
            return -1;
        if (flock(descriptor, operation | LOCK_NB) != 0) {
            *busy = errno == EWOULDBLOCK;
            close(descriptor);
            return -1;
        }
        struct stat opened = {};
        struct stat named = {};
        if (fstat(descriptor, &opened) == 0 && stat(path.constData(), &named) == 0
            && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino)
            return descriptor;
        close(descriptor);
    }
    return -1;
}

void closeDescriptor(int &descriptor)
{
    if (descriptor >= 0)
        close(descriptor);
    descriptor = -1;
}

void inheritable(int descriptor)
{
    if (descriptor >= 0)
        fcntl(descriptor, F_SETFD, fcntl(descriptor, F_GETFD) & ~FD_CLOEXEC);
}
#endif

} // namespace

ConversionLock::~ConversionLock()
{
    release();
}

#ifdef Q_OS_WIN
ConversionLock::Taken ConversionLock::take(
    const QString &inputKey, const QString &outputKey, QString *why)
{
    release();
    // One taker at a time, across every copy: a look and a take are then one step.
    static HANDLE taking = CreateMutexW(nullptr, FALSE, L"Local\\ZorvVideoConverter-taking");
    if (!taking || WaitForSingleObject(taking, 5000) == WAIT_TIMEOUT) {
        *why = QStringLiteral("the lock of the locks could not be had");
        return NoLocks;
    }
    Taken taken = HeldElsewhere;
    if (!objectExists(objectName("reading", outputKey))
        && !objectExists(objectName("writing", inputKey))) {
        m_output = CreateEventW(nullptr, TRUE, FALSE, objectName("writing", outputKey).c_str());
        const bool written = GetLastError() == ERROR_ALREADY_EXISTS;
        m_input = CreateEventW(nullptr, TRUE, FALSE, objectName("reading", inputKey).c_str());
        if (!m_output || !m_input) {
            *why = QStringLiteral("no named object could be made");
            taken = NoLocks;
            release();
        } else if (written) {
            release();
        } else {
            taken = Held;
        }
    }
    ReleaseMutex(taking);
    return taken;
}

void ConversionLock::lendToNextProcess()
{
    for (void *handle : { m_input, m_output }) {
        if (handle)
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
}

void ConversionLock::release()
{
    closeObject(m_input);
    closeObject(m_output);
}

void ConversionLock::tidy(const QString &) { }
#else
ConversionLock::Taken ConversionLock::take(
    const QString &inputKey, const QString &outputKey, QString *why)
{
    release();
    const QString folder = lockFolder();
    QDir().mkpath(folder);
    if (!isPrivateFolder(folder, why))
        return NoLocks;
    bool busy = false;
    m_output = lockFile(lockPath(outputKey), LOCK_EX, &busy);
    if (m_output >= 0)
        m_input = lockFile(lockPath(inputKey), LOCK_SH, &busy);
    if (m_output >= 0 && m_input >= 0)
        return Held;
    const int error = errno;
    release();
    if (busy)
        return HeldElsewhere;
    *why = QStringLiteral("no lock could be taken in %1: %2")
               .arg(folder, QString::fromLocal8Bit(strerror(error)));
    return NoLocks;
}

void ConversionLock::lendToNextProcess()
{
    inheritable(m_input);
    inheritable(m_output);
}

void ConversionLock::release()
{
    closeDescriptor(m_input);
    closeDescriptor(m_output);
}

void ConversionLock::tidy(const QString &key)
{
    // Removed only while we hold it alone, so nobody holds a file that is gone.
    const QByteArray path = lockPath(key);
    bool busy = false;
    int descriptor = lockFile(path, LOCK_EX, &busy);
    if (descriptor < 0)
        return;
    unlink(path.constData());
    closeDescriptor(descriptor);
}
#endif
