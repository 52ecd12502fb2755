#include "app/consolereporter.h"

#include "convert/converterqueue.h"
#include "convert/standarderror.h"
#include "ui/dropareastatus.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int paceMs = 250;

bool standardErrorIsTerminal()
{
#ifdef Q_OS_WIN
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

// Columns of the terminal; a line as long would wrap, and be rewritten no more.
int terminalWidth()
{
#ifdef Q_OS_WIN
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return 80;
}

} // namespace

QString elidedInTheMiddle(const QString &name, int width)
{
    if (name.size() <= width)
        return name;
    if (width <= 1)
        return name.left(std::max(width, 0));
    const int kept = width - 1;
    return name.left(kept - kept / 2) + QChar(0x2026) + name.right(kept / 2);
}

QString consoleProgressText(const Batch &batch, int total, int refused, int width)
{
    QString counts = QStringLiteral("%1/%2 converted, %3 failed")
                         .arg(batch.converted)
                         .arg(total)
                         .arg(batch.failed.size() + refused);
    if (batch.interrupted > 0)
        counts += QStringLiteral(", %1 interrupted").arg(batch.interrupted);
    // Each file's words but its name, and the names, fitted into what is left.
    struct Part
    {
        QString before;
        QString name;
        QString after;
    };
    const QString separator = QStringLiteral(" \u00b7 ");
    QList<Part> parts;
    for (const ConvertingFile &file : batch.progress) {
        const QString progress = conversionProgressText(file.facts);
        parts.append({ separator, QFileInfo(file.input).fileName(),
            progress.isEmpty() ? QString() : QLatin1Char(' ') + progress });
    }
    for (const QString &input : batch.held) {
        parts.append({ separator + QStringLiteral("waiting for another conversion of "),
            QFileInfo(input).fileName(), QString() });
    }
    int room = width - 1 - int(counts.size());
    for (const Part &part : std::as_const(parts))
        room -= int(part.before.size() + part.after.size());
    QString text = counts;
    for (int i = 0; i < parts.size(); ++i) {
        const int share = room / int(parts.size() - i);
        const QString name = elidedInTheMiddle(parts.at(i).name, std::max(share, 5));
        room -= int(name.size());
        text += parts.at(i).before + name + parts.at(i).after;
    }
    // Too many files for the line: it ends where the terminal does.
    text.truncate(width - 1);
    return text;
}

ConsoleReporter::ConsoleReporter(ConverterQueue *queue, int total, QObject *parent)
    : QObject(parent)
    , m_queue(queue)
    , m_total(total)
    , m_terminal(standardErrorIsTerminal())
{
    m_queue->setSay([this](const QString &line) { say(line); });
    if (m_terminal) {
        m_pace.setSingleShot(true);
        m_pace.setInterval(paceMs);
        connect(&m_pace, &QTimer::timeout, this, &ConsoleReporter::showProgress);
        connect(queue, &ConverterQueue::batchChanged, this, [this] {
            if (!m_pace.isActive())
                m_pace.start();
        });
    } else {
        connect(queue, &ConverterQueue::fileConverted, this,
            [this](const QString &input, const QString &output) {
                say(QStringLiteral("Converted: %1 -> %2")
                        .arg(escapedName(input), escapedName(output)));
            });
    }
}

void ConsoleReporter::refused(const QString &path, const QString &why)
{
    ++m_refused;
    say(QStringLiteral("Not converted: %1: %2").arg(escapedName(path), why));
}

void ConsoleReporter::write(const QString &text)
{
    writeStandardError(text);
}

void ConsoleReporter::say(const QString &line)
{
    if (!m_terminal || m_shownWidth == 0) {
        sayOnStandardError(line);
        return;
    }
    // Blanks over the progress line, then the line, then the progress line again below it.
    write(QLatin1Char('\r') + QString(m_shownWidth, QLatin1Char(' ')) + QLatin1Char('\r') + line
        + QLatin1Char('\n'));
    m_shownWidth = 0;
    showProgress();
}

void ConsoleReporter::showProgress()
{
    if (!m_terminal)
        return;
    const QString text = consoleProgressText(m_queue->batch(), m_total, m_refused, terminalWidth());
    const int width = int(text.size());
    write(QLatin1Char('\r') + text + QString(std::max(m_shownWidth - width, 0), QLatin1Char(' ')));
    m_shownWidth = width;
}

void ConsoleReporter::finish()
{
    if (!m_terminal)
        return;
    m_pace.stop();
    showProgress();
    write(QStringLiteral("\n"));
    m_shownWidth = 0;
}
