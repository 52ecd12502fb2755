#pragma once

#include <QString>

// A name as standard error writes it, on one line: a line break as "\n", another control
// character as "\xHH", a backslash as "\\".
QString escapedName(const QString &name);
// Writes text to standard error, flushed: to a Windows console as Unicode, elsewhere in the
// local encoding (UTF-8 into a file or pipe on Windows).
void writeStandardError(const QString &text);
// Writes a line to standard error, ended and flushed.
void sayOnStandardError(const QString &line);
