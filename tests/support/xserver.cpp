#include "support/xserver.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QThread>
#include <QtDebug>

#include <xcb/xcb.h>

#include <cstdlib>

XServer::XServer()
{
    // -displayfd lets Xvfb pick a free display and tell us which; -noreset keeps it serving
    // while the test starts and stops several clients in turn.
    m_xvfb.start("Xvfb",
        { "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset" });
    if (!m_xvfb.waitForStarted(5000)) {
        qWarning() << "Xvfb did not start:" << m_xvfb.errorString();
        return;
    }
    QByteArray number;
    while (!number.endsWith('\n') && m_xvfb.waitForReadyRead(10000))
        number += m_xvfb.readAllStandardOutput();
    if (number.trimmed().isEmpty())
        qWarning() << "Xvfb named no display:" << m_xvfb.readAllStandardError();
    else
        m_display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
}

XServer::~XServer()
{
    stopProcess(m_xvfb);
}

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QProcessEnvironment XServer::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    // Our own library sets this in every process that links it; the programs started here
    // must show what they do by themselves.
    env.remove("QT_XCB_GL_INTEGRATION");
    return env;
}

bool XServer::xdotool(const QStringList &arguments, QString *output, Failure failure) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start("xdotool", arguments);
    // Bounded: a search that never matches would otherwise wait for ever.
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        qWarning() << "xdotool" << arguments << "timed out";
        return false;
    }
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (failure == WarnOnFailure)
            qWarning() << "xdotool" << arguments << "failed:" << process.readAllStandardError();
        return false;
    }
    return true;
}

bool XServer::dragFromSourceTo(int y, int x) const
{
    const QString targetX = QString::number(x);
    const QString targetY = QString::number(y);
    return xdotool({ "mousemove", "--sync", "960", "200", "mousedown", "1", "sleep", "0.3",
        "mousemove", "800", "200", "sleep", "0.3", "mousemove", QString::number(x + 10), targetY,
        "sleep", "0.3", "mousemove", targetX, targetY, "sleep", "0.3", "mouseup", "1" });
}

QStringList XServer::visibleWindows(const QString &title) const
{
    QString pattern = title;
    pattern.replace(QRegularExpression(R"(([.[\]()*+?{}|^$\\]))"), R"(\\1)");
    QString ids;
    // A search lists every window, then asks each for its attributes: one that vanishes between
    // the two, as programs starting under Wine make and drop them, fails the whole search.
    // The program's window may show a batch's progress before its title ("0/3 · ").
    const QString name = QStringLiteral("^([0-9]+/[0-9]+ [^ ]+ )?") + pattern + QLatin1Char('$');
    if (!xdotool({ "search", "--onlyvisible", "--name", name }, &ids, QuietFailure))
        return {};
    return ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString XServer::findWindow(const QString &title, const QStringList &notThese) const
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        for (const QString &id : visibleWindows(title)) {
            if (!notThese.contains(id))
                return id;
        }
        if (waited.elapsed() > 15000) {
            qWarning() << "no visible window titled" << title << "appeared within 15 s";
            return {};
        }
        QThread::msleep(100);
    }
}

QString XServer::startClient(QProcess &process, const QString &program,
    const QStringList &arguments, const QString &configHome, const QString &title) const
{
    QProcessEnvironment env = environment();
    env.insert("XDG_CONFIG_HOME", configHome);
    process.setProcessEnvironment(env);
    if (process.processChannelMode() == QProcess::SeparateChannels)
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The window of a client stopped just now may not have gone yet.
    const QStringList earlier = visibleWindows(title);
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        qWarning() << program << "did not start:" << process.errorString();
        return {};
    }
    return findWindow(title, earlier);
}

bool XServer::closeWindow(const QString &window) const
{
    xcb_connection_t *connection = xcb_connect(qPrintable(m_display), nullptr);
    const auto disconnect = qScopeGuard([connection] { xcb_disconnect(connection); });
    if (xcb_connection_has_error(connection))
        return false;
    const auto atom = [connection](const char *name) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, false, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    };

    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window.toUInt();
    message.type = atom("WM_PROTOCOLS");
    message.data.data32[0] = atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_void_cookie_t sent = xcb_send_event_checked(connection, false, message.window,
        XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
    xcb_generic_error_t *error = xcb_request_check(connection, sent);
    std::free(error);
    return !error && message.type != XCB_ATOM_NONE;
}

QByteArray XServer::windowImage(const QString &window) const
{
    xcb_connection_t *connection = xcb_connect(qPrintable(m_display), nullptr);
    const auto disconnect = qScopeGuard([connection] { xcb_disconnect(connection); });
    if (xcb_connection_has_error(connection))
        return {};
    const xcb_window_t id = window.toUInt();
    xcb_get_geometry_reply_t *geometry
        = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr);
    if (!geometry)
        return {};
    xcb_get_image_reply_t *image = xcb_get_image_reply(connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, id, 0, 0, geometry->width,
            geometry->height, ~0U),
        nullptr);
    std::free(geometry);
    if (!image)
        return {};
    const QByteArray pixels(reinterpret_cast<const char *>(xcb_get_image_data(image)),
        xcb_get_image_data_length(image));
    std::free(image);
    return pixels;
}
