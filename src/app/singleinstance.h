#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

// The name of the one program's socket for this user on this display: a program on another
// display, such as a test's private X server, is another program.
QString instanceName();

// A list of files as it goes from one start to the other: a header line, one absolute path a
// line in UTF-8, and an empty line at the end.
QByteArray encodeFileList(const QStringList &files);
// The files of a complete message; false where the message is not a well-formed list of at most
// mostFiles absolute paths, or not complete yet.
bool decodeFileList(const QByteArray &message, QStringList *files);
constexpr int mostFiles = 10000;

// One program per user session: a later start hands its files (perhaps none) to the program that
// runs already and ends, and that program converts them and shows its window.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);

    // Gives files to the program that runs already; false where none does.
    bool handOver(const QStringList &files);
    // From now on, files handed over by later starts are converted in window's drop area, and
    // the window is shown and raised.
    void serve(QWidget &window);

private:
    void take(QWidget &window);

    QLocalServer m_server;
};
