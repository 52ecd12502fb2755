#pragma once

#include <QStringList>

#include <iostream>
#include <sstream>

// Collects what the program writes to std::cout while the object lives.
class TraceCapture
{
public:
    TraceCapture()
        : m_previous(std::cout.rdbuf(m_buffer.rdbuf()))
    { }
    ~TraceCapture() { std::cout.rdbuf(m_previous); }
    TraceCapture(const TraceCapture &) = delete;
    TraceCapture &operator=(const TraceCapture &) = delete;

    // The complete lines written so far, decoded as UTF-8.
    QStringList lines() const
    {
        QStringList result = QString::fromStdString(m_buffer.str()).split(QLatin1Char('\n'));
        result.removeLast(); // what follows the last newline is no complete line
        return result;
    }

private:
    std::ostringstream m_buffer;
    std::streambuf *m_previous;
};
