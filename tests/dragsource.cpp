// A window for drag-and-drop tests: pressing the mouse on it starts a drag of the files named
// on the command line, or of plain text only with --text. Like a file manager, it stays until
// the target has finished the drop (its XdndFinished), so that the target can still fetch the
// files; then it prints "drag ended: N", N being the drop action the target reported while the
// drag moved (0: none), and "drop finished: A M", A being 1 where the target's finish says it
// accepted the drop and M the action it names ("none" where no finish came within 30 s, or none
// was due). Like a file manager written the way Qt's own documentation shows, it deletes the
// files when told of a move.

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDrag>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

// The atom that a name has on the display; atoms are the server's, the same for every client.
xcb_atom_t atomNamed(const char *name)
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, false, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    xcb_disconnect(connection);
    return atom;
}

// Hears the target's XdndFinished, which Qt's own drag has no word for.
class FinishListener : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray &type, void *message, long *) override
    {
        const auto *event = static_cast<xcb_generic_event_t *>(message);
        if (type != "xcb_generic_event_t" || (event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto *client = static_cast<xcb_client_message_event_t *>(message);
        if (client->type == m_finished) {
            // Version 5: flags (bit 0, accepted) and the action the target performed.
            const xcb_atom_t action = client->data.data32[2];
            const int named = action == XCB_ATOM_NONE ? 0
                : action == m_copy                    ? int(Qt::CopyAction)
                : action == m_move                    ? int(Qt::MoveAction)
                                                      : int(Qt::LinkAction);
            m_finish
                = QByteArray::number(client->data.data32[1] & 1) + ' ' + QByteArray::number(named);
            if (m_waiting)
                m_waiting->quit();
        }
        return false;
    }

    // What the finish said, waiting for it.
    QByteArray waitForFinish()
    {
        if (m_finish.isEmpty()) {
            QEventLoop loop;
            QTimer::singleShot(30000, &loop, &QEventLoop::quit);
            m_waiting = &loop;
            loop.exec();
            m_waiting = nullptr;
        }
        return m_finish.isEmpty() ? QByteArray("none") : m_finish;
    }

private:
    xcb_atom_t m_finished = atomNamed("XdndFinished");
    xcb_atom_t m_copy = atomNamed("XdndActionCopy");
    xcb_atom_t m_move = atomNamed("XdndActionMove");
    QByteArray m_finish;
    QEventLoop *m_waiting = nullptr;
};

} // namespace

class DragSource : public QLabel
{
public:
    DragSource(const QStringList &arguments, FinishListener &listener)
        : QLabel("drag from here")
        , m_arguments(arguments)
        , m_listener(listener)
    {
        setWindowTitle("Zorv drag source");
        setAlignment(Qt::AlignCenter);
        setGeometry(910, 100, 100, 200);
    }

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        auto *data = new QMimeData;
        if (m_arguments.value(0) == QLatin1String("--text")) {
            data->setText("just some text");
        } else {
            QList<QUrl> urls;
            for (const QString &path : m_arguments)
                urls << QUrl::fromLocalFile(path);
            data->setUrls(urls);
        }
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
        // Qt's drag returns as soon as the drop is sent; the target fetches the files after.
        const QByteArray finished
            = action == Qt::IgnoreAction ? QByteArray("none") : m_listener.waitForFinish();
        if (action == Qt::MoveAction) {
            for (const QString &path : m_arguments)
                QFile::remove(path);
        }
        std::cout << "drag ended: " << int(action) << "\ndrop finished: " << finished.constData()
                  << std::endl;
    }

private:
    QStringList m_arguments;
    FinishListener &m_listener;
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FinishListener listener;
    app.installNativeEventFilter(&listener);
    DragSource source(QApplication::arguments().mid(1), listener);
    source.show();
    return app.exec();
}
