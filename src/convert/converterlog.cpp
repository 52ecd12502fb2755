#include "convert/converterlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// "01:02:03.45" (ffmpeg's clock, which may start below zero) in seconds; below 0 where it is
// "N/A" or no clock.
double clockSeconds(const QString &text)
{
    static const QRegularExpression clock(QStringLiteral(R"(^(-?)(\d+):(\d\d):(\d\d(?:\.\d+)?))"));
    const QRegularExpressionMatch match = clock.match(text);
    if (!match.hasMatch())
        return -1;
    const double seconds = match.captured(2).toDouble() * 3600 + match.captured(3).toDouble() * 60
        + match.captured(4).toDouble();
    return match.captured(1).isEmpty() ? seconds : 0;
}

// The text after "name=" in a statistics line, which ffmpeg pads with blanks.
QString statisticsField(const QString &line, const QString &name)
{
    const int start = line.indexOf(name + QLatin1Char('='));
    if (start < 0)
        return {};
    return line.mid(start + name.size() + 1).trimmed().section(QLatin1Char(' '), 0, 0);
}

void readLogLine(LogFacts &facts, const QString &line)
{
    static const QString durationLabel = QStringLiteral("Duration: ");
    if (line.isEmpty() || line == QLatin1String("Conversion failed!"))
        return;
    if ((line.startsWith(QLatin1String("frame=")) || line.startsWith(QLatin1String("size=")))
        && line.contains(QLatin1String("time="))) {
        const double position = clockSeconds(statisticsField(line, QStringLiteral("time")));
        if (position >= 0)
            facts.position = position;
        QString speed = statisticsField(line, QStringLiteral("speed"));
        bool isNumber = false;
        const double value
            = speed.endsWith(QLatin1Char('x')) ? speed.chopped(1).toDouble(&isNumber) : 0;
        if (isNumber && value > 0)
            facts.speed = value;
        return;
    }
    // The first is the input's; an output has none.
    if (line.startsWith(durationLabel)) {
        if (facts.duration < 0) {
            const double duration = clockSeconds(line.mid(durationLabel.size()));
            if (duration > 0)
                facts.duration = duration;
        }
        return;
    }
    if (!facts.inputsRead) {
        if (line == QLatin1String("Stream mapping:")
            || line.startsWith(QLatin1String("Output #"))) {
            facts.inputsRead = true;
        } else if (line.startsWith(QLatin1String("Stream #"))
            && line.contains(QLatin1String(": Video: "))
            && !line.endsWith(QLatin1String("(attached pic)"))) {
            ++facts.inputVideoStreams;
        }
    }
    if (line.startsWith(QLatin1String("video:")) && line.contains(QLatin1String(" audio:"))) {
        facts.summarized = true;
        return;
    }
    // "[libx264 @ 0x...] kb/s:1534.51": figures, even where an error came before them.
    if (facts.summarized && line.startsWith(QLatin1Char('[')))
        return;
    constexpr int longest = 1000; // a message, not a dump
    facts.lastMessage = line.left(longest);
}

} // namespace

#ifdef Q_OS_UNIX
bool isPrivateFolder(const QString &folder, QString *why)
{
    struct stat status = {};
    if (lstat(QFile::encodeName(folder).constData(), &status) != 0) {
        *why = QStringLiteral("%1 could not be made").arg(folder);
        return false;
    }
    if (S_ISLNK(status.st_mode) || !S_ISDIR(status.st_mode) || status.st_uid != geteuid()) {
        *why = QStringLiteral("%1 is a link, a file or not the user's own").arg(folder);
        return false;
    }
    if ((status.st_mode & 0777) != 0700
        && chmod(QFile::encodeName(folder).constData(), 0700) != 0) {
        *why = QStringLiteral("%1 could not be made private").arg(folder);
        return false;
    }
    return true;
}
#else
bool isPrivateFolder(const QString &folder, QString *why)
{
    const QFileInfo info(folder);
    if (info.isSymLink() || info.isJunction() || !info.isDir()) {
        *why = info.exists() ? QStringLiteral("%1 is a link or a file").arg(folder)
                             : QStringLiteral("%1 could not be made").arg(folder);
        return false;
    }
    return true;
}
#endif

namespace {

// Deletes the oldest of the logs the program named in folder, but the newest maxLogs and the
// one just made.
void keepNewestLogs(const QString &folder, const QString &made)
{
    // Newest first; links are left out, and never followed.
    const QFileInfoList files
        = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Time);
    int kept = 0;
    for (const QFileInfo &file : files) {
        if (!isConversionLogName(file.fileName()) || file.filePath() == made)
            continue;
        if (++kept >= ConverterLog::maxLogs)
            QFile::remove(file.filePath());
    }
}

} // namespace

double LogFacts::share() const
{
    if (duration <= 0 || position < 0)
        return -1;
    return std::min(position / duration, 1.0);
}

QString clockText(double seconds)
{
    const auto whole = qint64(std::llround(std::max(seconds, 0.0)));
    const QChar zero(QLatin1Char('0'));
    if (whole < 3600)
        return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, zero);
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, zero)
        .arg(whole % 60, 2, 10, zero);
}

QString whyNotWhole(const LogFacts &facts)
{
    if (facts.inputsRead && facts.inputVideoStreams == 0)
        return QStringLiteral("no video stream: nothing to re-tint");
    if (facts.duration > 0 && facts.position >= 0
        && facts.duration - facts.position > std::max(1.0, facts.duration * 0.02))
        return QStringLiteral("only %1 of %2 converted")
            .arg(clockText(facts.position), clockText(facts.duration));
    return {};
}

int readLogLines(LogFacts &facts, const QByteArray &text)
{
    int start = 0;
    for (int end = 0; end < text.size(); ++end) {
        if (text.at(end) == '\n' || text.at(end) == '\r') {
            readLogLine(facts, QString::fromUtf8(text.constData() + start, end - start).trimmed());
            start = end + 1;
        }
    }
    return start;
}

QString programStateFolder()
{
#ifdef Q_OS_WIN
    QString base = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#else
    // As the base-directory rules say: a relative value is to be ignored.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
#endif
    return base + QStringLiteral("/ZorvTech/ZorvVideoConverter");
}

QString conversionLogFolder()
{
    return programStateFolder() + QStringLiteral("/logs");
}

QString conversionLogName(const QString &input, const QString &time, int number)
{
    QString name = input.section(QLatin1Char('/'), -1);
    // What no file system takes, and what would name another folder, becomes "_".
    static const QRegularExpression unsafe(QStringLiteral(R"([\x00-\x1f<>:"/\\|?*\x7f])"));
    name.replace(unsafe, QStringLiteral("_"));
    // Room for the rest within any file system's limit of 255 bytes.
    while (name.toUtf8().size() > 150) {
        name.chop(1);
        if (!name.isEmpty() && name.at(name.size() - 1).isHighSurrogate())
            name.chop(1);
    }
    if (name.isEmpty())
        name = QStringLiteral("input");
    // One arg() call: a "%" of the name is never taken for a place of its own.
    return QStringLiteral("%1-%2-%3.log").arg(name, time, QString::number(number));
}

bool isConversionLogName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^.+-\d{8}-\d{6}-\d+\.log$)"));
    return pattern.match(name).hasMatch();
}

ConverterLog::ConverterLog(const QString &input, QString *why)
{
    const QString folder = conversionLogFolder();
    QDir().mkpath(folder);
    if (!isPrivateFolder(folder, why))
        return;

    // Numbered across the program's run; a name taken already, by another copy of the program
    // in the same second, is passed over.
    static int made = 0;
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int tries = 0; tries < 1000; ++tries) {
        const QString path = folder + QLatin1Char('/') + conversionLogName(input, time, ++made);
        QFile file(path);
        // NewOnly: never an existing file, nor through a link at the name.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            m_path = path;
            keepNewestLogs(folder, path);
            return;
        }
        if (file.exists() || QFileInfo(path).isSymLink())
            continue;
        *why = QStringLiteral("%1 could not be made: %2").arg(path, file.errorString());
        return;
    }
    *why = QStringLiteral("no free name for a log in %1").arg(folder);
}

qint64 ConverterLog::update()
{
    QFile file(m_path);
    if (!isValid() || !file.open(QIODevice::ReadOnly) || !file.seek(m_offset))
        return 0;
    constexpr qint64 mostAtOnce = 1 << 20; // a read that never holds the GUI thread for long
    const QByteArray added = file.read(mostAtOnce);
    m_offset += added.size();
    m_pending += added;
    m_pending.remove(0, readLogLines(m_facts, m_pending));
    // A "line" this long is no message: it is not kept growing.
    constexpr int longestLine = 1 << 16;
    if (m_pending.size() > longestLine)
        m_pending.clear();
    return added.size();
}

void ConverterLog::remove()
{
    if (isValid())
        QFile::remove(m_path);
}
