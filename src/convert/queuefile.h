#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QLockFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// A file that waits for its turn, as a queue file keeps it.
struct KeptFile
{
    QString input;
    int temperature = 0; // in kelvin

    bool operator==(const KeptFile &other) const
    {
        return input == other.input && temperature == other.temperature;
    }
};

// A queue file's text: a header line, then a line for each file, its temperature, a tab and its
// path.
QByteArray encodeQueueFile(const QList<KeptFile> &files);
// The same, a part at a time: the header, and a file's line added to text.
QByteArray queueFileHeader();
void appendKeptFile(QByteArray &text, int temperature, const QByteArray &inputUtf8);
// The files of a queue file's text; false where it is cut short, not text, or names anything
// but an absolute path.
bool decodeQueueFile(const QByteArray &text, QList<KeptFile> *files);

// The files that wait, kept in a file in the program's state folder, so that none is lost when
// the program is killed: each write leaves the old content or the new, never a torn one. Each
// running program has a file of its own, locked while it lives, which no other touches.
class QueueFile
{
public:
    QueueFile();
    ~QueueFile();
    QueueFile(const QueueFile &) = delete;
    QueueFile &operator=(const QueueFile &) = delete;

    // Keeps the files of a queue file's text as those that wait now; none removes the file.
    void write(const QByteArray &text);

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

// The files that programs which ended without emptying their queue files left waiting. Their
// queue files stay locked, so that no other program takes them too, until they are forgotten.
// A queue file that cannot be read is set aside under another name and reported on standard
// error.
class FilesLeftWaiting
{
public:
    FilesLeftWaiting();
    ~FilesLeftWaiting();
    FilesLeftWaiting(const FilesLeftWaiting &) = delete;
    FilesLeftWaiting &operator=(const FilesLeftWaiting &) = delete;

    const QList<KeptFile> &files() const { return m_files; }
    // When the newest of their lists was last written: about when they were dropped.
    QDateTime lastWritten() const { return m_lastWritten; }
    // Deletes the queue files they came from: they are converted, or the user let them go.
    void forget();

private:
    QList<KeptFile> m_files;
    QDateTime m_lastWritten;
    QStringList m_queueFiles;
    std::vector<std::unique_ptr<QLockFile>> m_locks;
};
