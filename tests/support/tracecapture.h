#pragma once

#include <QStringList>

#include <iostream>
#include <sstream>

// Collects what the program writes to std::cout (or another stream) while the object lives.
class TraceCapture
{
public:
    explicit TraceCapture(std::ostream &stream = std::cout)
        : m_stream(stream)
        , m_previous(stream.rdbuf(m_buffer.rdbuf()))
    { }
    ~TraceCapture() { m_stream.rdbuf(m_previous); }
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
    std::ostream &m_stream;
    std::ostringstream m_buffer;
    std::streambuf *m_previous;
};
