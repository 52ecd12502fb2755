#include "convert/queuefile.h"

#include "convert/converterlog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <iostream>

namespace {

const QByteArray header = QByteArrayLiteral("zorv-video-converter waiting files 1\n");

QString queueFileFolder()
{
    return programStateFolder();
}

QString lockPathFor(const QString &queueFile)
{
    return queueFile.chopped(int(sizeof(".txt")) - 1) + QStringLiteral(".lock");
}

} // namespace

QByteArray queueFileHeader()
{
    return header;
}

void appendKeptFile(QByteArray &text, int temperature, const QByteArray &inputUtf8)
{
    text += QByteArray::number(temperature) + '\t' + inputUtf8 + '\n';
}

QByteArray encodeQueueFile(const QList<KeptFile> &files)
{
    QByteArray text = header;
    for (const KeptFile &file : files)
        appendKeptFile(text, file.temperature, file.input.toUtf8());
    return text;
}

bool decodeQueueFile(const QByteArray &text, QList<KeptFile> *files)
{
    if (!text.startsWith(header) || !text.endsWith('\n'))
        return false;
    QList<KeptFile> result;
    const QByteArray body = text.mid(header.size());
    const QList<QByteArray> lines
        = body.isEmpty() ? QList<QByteArray>() : body.chopped(1).split('\n');
    for (const QByteArray &line : lines) {
        const int tab = line.indexOf('\t');
        bool isNumber = false;
        const int temperature = line.left(tab).toInt(&isNumber);
        const QByteArray name = line.mid(tab + 1);
        const QString input = QString::fromUtf8(name);
        if (tab < 0 || !isNumber || input.toUtf8() != name || !QDir::isAbsolutePath(input)
            || input.contains(QChar(0)))
            return false;
        result << KeptFile { input, temperature };
    }
    *files = result;
    return true;
}

QueueFile::QueueFile()
{
    const QString folder = queueFileFolder();
    QDir().mkpath(folder);
    const QString name
        = QStringLiteral("%1/queue-%2").arg(folder).arg(QCoreApplication::applicationPid());
    m_lock = std::make_unique<QLockFile>(name + QStringLiteral(".lock"));
    // A lock of ours that a killed program left behind with our number is taken over.
    if (m_lock->tryLock(0))
        m_path = name + QStringLiteral(".txt");
}

QueueFile::~QueueFile() = default;

void QueueFile::write(const QByteArray &text)
{
    if (m_path.isEmpty())
        return;
    if (text == header) {
        QFile::remove(m_path);
        return;
    }
    // Written aside and renamed over the old content at once.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(text);
    file.commit();
}

FilesLeftWaiting::FilesLeftWaiting()
{
    const QDir folder(queueFileFolder());
    for (const QString &name : folder.entryList({ QStringLiteral("queue-*.txt") }, QDir::Files)) {
        const QString path = folder.filePath(name);
        // Locked by a program that runs: its own, not ours to take.
        auto lock = std::make_unique<QLockFile>(lockPathFor(path));
        if (!lock->tryLock(0))
            continue;
        QFile file(path);
        QList<KeptFile> files;
        constexpr qint64 largest = 64 << 20;
        if (file.size() > largest || !file.open(QIODevice::ReadOnly)
            || !decodeQueueFile(file.readAll(), &files)) {
            file.close();
            const QString aside = path + QStringLiteral(".unreadable");
            QFile::remove(aside);
            QFile::rename(path, aside);
            std::cerr << QStringLiteral("A queue file that cannot be read was set aside: %1")
                             .arg(QDir::toNativeSeparators(aside))
                             .toLocal8Bit()
                             .constData()
                      << std::endl;
            continue;
        }
        m_files += files;
        const QDateTime written = QFileInfo(file).lastModified();
        if (!m_lastWritten.isValid() || written > m_lastWritten)
            m_lastWritten = written;
        m_queueFiles << path;
        m_locks.push_back(std::move(lock));
    }
}

FilesLeftWaiting::~FilesLeftWaiting() = default;

void FilesLeftWaiting::forget()
{
    for (const QString &path : m_queueFiles)
        QFile::remove(path);
    m_queueFiles.clear();
    m_files.clear();
}
