#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a converter's messages have told so far of its run.
struct LogFacts
{
    double duration = -1; // of the input, in seconds; below 0 while not known
    double position = -1; // how far it has got, in seconds of the input; below 0 likewise
    double speed = -1; // seconds of input per second; below 0 likewise
    // The last line that tells something: no statistics, not the closing verdict, nor the
    // encoders' figures that follow the closing summary.
    QString lastMessage;
    bool summarized = false; // the closing summary ("video:... audio:...") has been read
    bool inputsRead = false; // the inputs' streams have all been listed
    int inputVideoStreams = 0; // among them; cover art is a picture, not a video

    // The share done, from 0 to 1, or below 0 where the duration or the position is not known.
    double share() const;
};

// Takes the complete lines at the start of text into facts (a line ends at "\n" or at the "\r"
// that ends each statistics line); returns how many bytes it took. What follows the last line
// end is no complete line yet: it is left for the next read.
int readLogLines(LogFacts &facts, const QByteArray &text);

// A length of time as a clock shows it: "0:42", "1:00:05".
QString clockText(double seconds);
// Why a converter that exited well has not made a whole, re-tinted file, in a few words; empty
// where it has, or where its log cannot tell. Its output may end short of the input by a
// second, or by 2 % of a long one: streams rarely end on the same frame.
QString whyNotWhole(const LogFacts &facts);

// The program's own folder for what it keeps between runs: in the user's state folder on Linux,
// in the local application data folder on Windows.
QString programStateFolder();
// Whether folder is the user's own, no link and no file, and private: made so (0700) where it
// is not yet. Else why says why.
bool isPrivateFolder(const QString &folder, QString *why);
// The folder that conversion logs go into, in the program's state folder.
QString conversionLogFolder();

// The log of one converter's run: a file of its own in the logs folder, which the converter
// writes its messages into and which is read as it grows.
class ConverterLog
{
public:
    // Makes a new, empty log for the conversion of input, readable by the user alone, and keeps
    // the folder at the newest maxLogs logs. On failure the log is invalid and why says why.
    ConverterLog(const QString &input, QString *why);

    bool isValid() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    const LogFacts &facts() const { return m_facts; }

    // Reads what has been added since the last read; returns the number of bytes read.
    qint64 update();
    // Deletes the log, once nothing in it is worth keeping.
    void remove();

    static constexpr int maxLogs = 50;

private:
    QString m_path;
    qint64 m_offset = 0;
    QByteArray m_pending; // the start of a line not yet ended
    LogFacts m_facts;
};

// The log's file name for an input: its own name, cleaned for any file system, the time and
// a number.
QString conversionLogName(const QString &input, const QString &time, int number);
// Whether name is one that conversionLogName makes: the only files ever deleted from the folder.
bool isConversionLogName(const QString &name);
