#include "app/singleinstance.h"

#include "app/commandline.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>
#include <QRegularExpression>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

const QByteArray header = QByteArrayLiteral("zorv-video-converter files 1\n");
constexpr int waitMs = 3000; // for a program that runs but does not answer
constexpr qint64 mostBytes = qint64(mostFiles) * 4096;

} // namespace

QString instanceName()
{
    QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("WAYLAND_DISPLAY");
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.:_-]")), QStringLiteral("_"));
#ifdef Q_OS_WIN
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    QString user = qEnvironmentVariable("USERNAME");
    user.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return QStringLiteral("zorv-video-converter-%1-%2-%3").arg(user).arg(session).arg(display);
#else
    // In the user's own runtime folder where there is one, else in the temporary folder.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder = QDir::isAbsolutePath(runtime) ? runtime : QDir::tempPath();
    return QStringLiteral("%1/zorv-video-converter-%2-%3").arg(folder).arg(getuid()).arg(display);
#endif
}

QByteArray encodeFileList(const QStringList &files)
{
    QByteArray message = header;
    for (const QString &file : files)
        message += file.toUtf8() + '\n';
    return message + '\n';
}

bool decodeFileList(const QByteArray &message, QStringList *files)
{
    if (!message.startsWith(header) || message.size() > mostBytes)
        return false;
    const QByteArray body = message.mid(header.size());
    if (body == "\n") { // no files: the window is only shown
        files->clear();
        return true;
    }
    if (!body.endsWith("\n\n"))
        return false;
    const QList<QByteArray> lines = body.chopped(2).split('\n');
    if (lines.size() > mostFiles)
        return false;
    QStringList result;
    for (const QByteArray &line : lines) {
        const QString path = QString::fromUtf8(line);
        if (!QDir::isAbsolutePath(path) || path.contains(QChar(0)) || path.toUtf8() != line)
            return false;
        result << path;
    }
    *files = result;
    return true;
}

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{ }

bool SingleInstance::handOver(const QStringList &files)
{
#ifndef Q_OS_WIN
    // Nobody to hand over to: the usual first start does not pay for a connection.
    if (!QFileInfo::exists(instanceName()))
        return false;
#endif
    QLocalSocket socket;
    socket.connectToServer(instanceName());
    if (!socket.waitForConnected(waitMs))
        return false;
    socket.write(encodeFileList(files));
    // Taken once the other side has read it all and hung up.
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(waitMs)) { }
    return socket.bytesToWrite() == 0
        && (socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(waitMs));
}

void SingleInstance::serve(QWidget &window)
{
    // Only this user may connect. A socket left by a program that was killed answers nobody:
    // it is taken over.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(instanceName())) {
        QLocalServer::removeServer(instanceName());
        m_server.listen(instanceName());
    }
    connect(&m_server, &QLocalServer::newConnection, &window, [this, &window] { take(window); });
}

void SingleInstance::take(QWidget &window)
{
    QLocalSocket *socket = m_server.nextPendingConnection();
    if (!socket)
        return;
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QPointer<QWidget> shown(&window);
    connect(socket, &QLocalSocket::readyRead, &window, [socket, shown] {
        if (socket->bytesAvailable() > mostBytes) {
            socket->abort();
            return;
        }
        const QByteArray message = socket->peek(mostBytes);
        if (!message.endsWith("\n\n"))
            return; // more to come
        socket->readAll();
        socket->disconnectFromServer();
        QStringList files;
        if (!shown || !decodeFileList(message, &files))
            return;
        shown->show();
        shown->raise();
        shown->activateWindow();
        convertInWindow(*shown, files);
    });
}
