#include "convert/standarderror.h"

#include <iostream>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

QString escapedName(const QString &name)
{
    QString escaped;
    escaped.reserve(name.size());
    for (const QChar c : name) {
#ifdef Q_OS_UNIX
        // Elsewhere no name holds one: it only divides folders.
        if (c == QLatin1Char('\\')) {
            escaped += QStringLiteral("\\\\");
            continue;
        }
#endif
        if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            escaped += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            escaped += QStringLiteral("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            escaped += c;
    }
    return escaped;
}

void writeStandardError(const QString &text)
{
#ifdef Q_OS_WIN
    // A console shows every name when it is given text, not bytes of a code page.
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(error, &mode)) {
        std::cerr.flush();
        DWORD written = 0;
        WriteConsoleW(error, reinterpret_cast<const wchar_t *>(text.utf16()), DWORD(text.size()),
            &written, nullptr);
        return;
    }
    const QByteArray bytes = text.toUtf8();
#else
    const QByteArray bytes = text.toLocal8Bit();
#endif
    std::cerr.write(bytes.constData(), bytes.size()).flush();
}

void sayOnStandardError(const QString &line)
{
    writeStandardError(line + QLatin1Char('\n'));
}
