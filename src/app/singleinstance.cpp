#include "app/singleinstance.h"

#include "app/commandline.h"
#include "convert/gammatable.h"

#include <QDir>
#include <QWidget>

#ifdef Q_OS_WIN
#include <QLocalSocket>
#include <QPointer>
#include <QRegularExpression>

#include <windows.h>
#elif defined(ZORV_HAS_DBUS)
#include "app/sessionbus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QUrl>
#include <QVariantMap>
#endif

namespace {

const QByteArray header = QByteArrayLiteral("zorv-video-converter files 1\n");
const QByteArray temperatureLabel = QByteArrayLiteral("temperature ");
constexpr qint64 mostBytes = qint64(mostFiles) * 4096;
// For a program or a bus that does not answer; the running program may take a while over many
// files.
constexpr int answerMs = 3000;
constexpr int takeMs = 60000;

} // namespace

QByteArray encodeFileList(const QStringList &files, std::optional<int> temperature)
{
    QByteArray message = header;
    if (temperature)
        message += temperatureLabel + QByteArray::number(*temperature) + '\n';
    for (const QString &file : files)
        message += file.toUtf8() + '\n';
    return message + '\n';
}

bool decodeFileList(const QByteArray &message, QStringList *files, std::optional<int> *temperature)
{
    if (!message.startsWith(header) || message.size() > mostBytes)
        return false;
    QByteArray body = message.mid(header.size());
    std::optional<int> kelvin;
    // A path is absolute: it never starts with the label.
    if (body.startsWith(temperatureLabel)) {
        const int end = body.indexOf('\n');
        bool isNumber = false;
        kelvin = body.mid(temperatureLabel.size(), end - temperatureLabel.size()).toInt(&isNumber);
        if (end < 0 || !isNumber || *kelvin < lowestTableTemperature
            || *kelvin > highestTableTemperature)
            return false;
        body.remove(0, end + 1);
    }
    QStringList result;
    if (body != "\n") { // no files: the window is only shown
        if (!body.endsWith("\n\n"))
            return false;
        const QList<QByteArray> lines = body.chopped(2).split('\n');
        if (lines.size() > mostFiles)
            return false;
        for (const QByteArray &line : lines) {
            const QString path = QString::fromUtf8(line);
            if (!QDir::isAbsolutePath(path) || path.contains(QChar(0)) || path.toUtf8() != line)
                return false;
            result << path;
        }
    }
    *files = result;
    if (temperature)
        *temperature = kelvin;
    return true;
}

void takeHandedFiles(QWidget &window, const QStringList &files, std::optional<int> temperature)
{
    window.show();
    window.raise();
    window.activateWindow();
    convertInWindow(window, files, temperature);
}

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{ }

#ifdef Q_OS_WIN
namespace {

// The name of the one program's pipe for this user in this session, on this display.
QString instanceName()
{
    QString display = qEnvironmentVariable("DISPLAY");
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.:_-]")), QStringLiteral("_"));
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    QString user = qEnvironmentVariable("USERNAME");
    user.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return QStringLiteral("zorv-video-converter-%1-%2-%3").arg(user).arg(session).arg(display);
}

} // namespace

SingleInstance::Outcome SingleInstance::handOver(
    const QStringList &files, std::optional<int> temperature)
{
    QLocalSocket socket;
    socket.connectToServer(instanceName());
    if (!socket.waitForConnected(answerMs))
        return NoneRuns;
    for (int first = 0; first == 0 || first < files.size(); first += mostFiles) {
        socket.write(encodeFileList(files.mid(first, mostFiles), temperature));
        // Taken once the other side has read it all and answered.
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(answerMs)) { }
        if (socket.bytesToWrite() > 0 || !socket.waitForReadyRead(takeMs) || socket.read(1) != "\n")
            return NotTaken;
    }
    return HandedOver;
}

void SingleInstance::serve(QWidget &window)
{
    // Only this user may connect. A pipe left by a program that was killed answers nobody:
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
        socket->read(message.size());
        QStringList files;
        std::optional<int> temperature;
        if (!shown || !decodeFileList(message, &files, &temperature)) {
            socket->abort();
            return;
        }
        takeHandedFiles(*shown, files, temperature);
        // The later start ends once its files are taken.
        socket->write("\n");
    });
}
#elif defined(ZORV_HAS_DBUS)
namespace {

// Owns the program's name on the bus where nobody does; whether somebody else does.
bool nameOwnedElsewhere(const QDBusConnection &bus)
{
    constexpr uint doNotQueue = 4;
    constexpr uint exists = 3;
    const QDBusMessage reply
        = bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                       QStringLiteral("/org/freedesktop/DBus"),
                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"))
                << applicationServiceName() << doNotQueue,
            QDBus::Block, answerMs);
    return reply.type() == QDBusMessage::ReplyMessage
        && reply.arguments().value(0).toUInt() == exists;
}

} // namespace

SingleInstance::Outcome SingleInstance::handOver(
    const QStringList &files, std::optional<int> temperature)
{
    if (!hasSessionBus())
        return NoneRuns;
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Registered before the name is owned: a call that comes with the name finds it.
    bus.registerObject(applicationObjectPath(), &m_service, QDBusConnection::ExportAllSlots);

    QVariantMap platformData;
    if (temperature)
        platformData.insert(handedTemperatureKey(), *temperature);
    const QString startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    if (!startupId.isEmpty())
        platformData.insert(QStringLiteral("desktop-startup-id"), startupId);

    // A program that ends between the two is asked no more: this start takes its place.
    for (int tries = 0; tries < 2 && nameOwnedElsewhere(bus); ++tries) {
        QDBusMessage reply;
        for (int first = 0; first == 0 || first < files.size(); first += mostFiles) {
            QDBusMessage call = QDBusMessage::createMethodCall(applicationServiceName(),
                applicationObjectPath(), applicationInterface(),
                files.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
            if (!files.isEmpty()) {
                QStringList uris;
                for (const QString &file : files.mid(first, mostFiles))
                    uris << QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
                call << uris;
            }
            call << platformData;
            reply = bus.call(call, QDBus::Block, takeMs);
            if (reply.type() != QDBusMessage::ReplyMessage)
                break;
        }
        if (reply.type() == QDBusMessage::ReplyMessage)
            return HandedOver;
        if (reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
            && reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            return NotTaken;
    }
    return NoneRuns;
}

void SingleInstance::serve(QWidget &window)
{
    m_service.serve(window);
}
#else
SingleInstance::Outcome SingleInstance::handOver(const QStringList &, std::optional<int>)
{
    return NoneRuns;
}

void SingleInstance::serve(QWidget &) { }
#endif
