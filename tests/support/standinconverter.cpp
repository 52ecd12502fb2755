#include "support/standinconverter.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

StandInConverter::StandInConverter()
    : m_oldPath(qgetenv("PATH"))
{
    QFile script(m_bin.filePath("ffmpeg"));
    if (!m_bin.isValid() || !m_records.isValid() || !script.open(QIODevice::WriteOnly))
        return;
    // A record is written to a temporary name first, so that a reader never sees half of one.
    const QByteArray bin = QFile::encodeName(m_bin.path());
    script.write("#!/bin/sh\n"
                 // The preview's picture comes from the real converter, further on PATH.
                 "if [ \"$1\" = -nostdin ]; then PATH=$(printf %s \"$PATH\" | sed 's#^"
        + bin
        + ":##'); exec ffmpeg \"$@\"; fi\n"
          "records='"
        + QFile::encodeName(m_records.path())
        + "'\n"
          "record=$records/run.$$\n"
          // Asked to stop with SIGINT, as a terminal would ask ffmpeg, it says so and ends; heard
          // from its first moment, as ffmpeg's own handler is.
          "trap 'printf \"interrupted %s\\n\" \"$8\" >> \"$records/events\"; kill $! 2>/dev/null; "
          "exit 255' INT\n"
          // One that hears no Ctrl-C, as a hung converter.
          "case $3 in *deaf*) trap '' INT ;; esac\n"
          "printf 'start %s\\n' \"$8\" >> \"$records/events\"\n"
          "readlink /proc/self/fd/0 > \"$record.stdin\"\n"
          "printf '%s\\0' \"$@\" > \"$record.part\" && mv \"$record.part\" \"$record\"\n"
          "sleep \"${ZORV_STANDIN_SLEEP:-0}\" & wait $!\n"
          "case $3 in *chatty*) for i in $(seq 10 49); do\n"
          "  printf 'frame=%d time=00:00:%d.00 speed=1x\\r' $i $i >&2 || exit 1; sleep 0.05\n"
          "done ;; esac\n"
          "printf 'end %s\\n' \"$8\" >> \"$records/events\"\n"
          "case $3 in\n"
          "  *exit3*) printf '%s: Invalid data found when processing input\\nConversion "
          "failed!\\n' "
          "\"$3\" >&2; exit 3 ;;\n"
          "  *killed*) kill -KILL $$ ;;\n"
          "esac\n");
    script.close();
    m_valid = script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
        && qputenv("PATH", QFile::encodeName(m_bin.path()) + ':' + m_oldPath);
}

StandInConverter::~StandInConverter()
{
    qputenv("PATH", m_oldPath);
}

QString StandInConverter::realConverter() const
{
    QStringList folders = QFile::decodeName(m_oldPath).split(QLatin1Char(':'));
    folders.removeAll(m_bin.path());
    return QStandardPaths::findExecutable("ffmpeg", folders);
}

QList<QStringList> StandInConverter::runs() const
{
    return recordedRuns(m_records.path());
}

QList<QStringList> recordedRuns(const QString &folder)
{
    QList<QStringList> result;
    const QDir records(folder);
    for (const QString &name : records.entryList({ "run.*" }, QDir::Files)) {
        if (name.endsWith(QLatin1String(".part")) || name.endsWith(QLatin1String(".stdin")))
            continue;
        QFile record(records.filePath(name));
        if (!record.open(QIODevice::ReadOnly))
            continue;
        QStringList arguments;
        for (const QByteArray &argument : record.readAll().split('\0'))
            arguments << QFile::decodeName(argument);
        arguments.removeLast(); // after the last NUL
        result << arguments;
    }
    std::sort(result.begin(), result.end());
    return result;
}

QStringList StandInConverter::standardInputs() const
{
    QStringList result;
    const QDir records(m_records.path());
    for (const QString &name : records.entryList({ "run.*.stdin" }, QDir::Files)) {
        QFile record(records.filePath(name));
        if (record.open(QIODevice::ReadOnly))
            result << QFile::decodeName(record.readAll().trimmed());
    }
    return result;
}

QStringList StandInConverter::events() const
{
    return recordedEvents(m_records.path());
}

QStringList recordedEvents(const QString &folder)
{
    QFile events(QDir(folder).filePath("events"));
    if (!events.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(events.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

BatchSummary summarizeBatch(const QStringList &events)
{
    BatchSummary summary;
    QStringList running;
    for (const QString &event : events) {
        // One file, however its folder was named; a folder that is not there is taken as named.
        QString output = event.section(QLatin1Char(' '), 1);
        const QFileInfo file(output);
        const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
        if (!folder.isEmpty())
            output = folder + QLatin1Char('/') + file.fileName();
        if (event.startsWith(QLatin1String("start "))) {
            summary.outputWrittenTwiceAtOnce |= running.contains(output);
            running << output;
            summary.starts << output;
            summary.mostAtOnce = std::max(summary.mostAtOnce, int(running.size()));
        } else {
            running.removeOne(output);
        }
    }
    return summary;
}

void StandInConverter::clear() const
{
    QDir records(m_records.path());
    for (const QString &name : records.entryList(QDir::Files))
        records.remove(name);
}

bool StandInConverter::waitForRuns(int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return runs().size() >= count; }, timeoutMs);
}

QStringList inTurns(QStringList outputs, int limit)
{
    for (int first = 0; first < outputs.size(); first += limit) {
        const auto begin = outputs.begin() + first;
        std::sort(begin, begin + std::min(limit, int(outputs.size()) - first));
    }
    return outputs;
}
