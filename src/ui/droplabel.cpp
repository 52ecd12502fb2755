#include "ui/droplabel.h"

#include "app/appsettings.h"
#include "ui/closedeferral.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QMimeData>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>

#include <iostream>

QString dropPromptText()
{
    return QStringLiteral("Drag and Drop a File Here");
}

QString convertingText(const QString &path)
{
    // One arg() call: place markers inside the path itself stay as they are.
    return QStringLiteral("Converting %1...").arg(path);
}

namespace {

// Whether the path names one file on this machine without depending on the current folder.
bool isAbsoluteLocalPath(const QString &path)
{
#ifdef Q_OS_WIN
    // A drive and its root (C:/...), or a share on a named host (//host/share/...); device
    // paths (//./..., //?/...) and drive-relative ones (C:x, /x) are not files to convert.
    static const QRegularExpression absolute(QStringLiteral("^([A-Za-z]:/|//[^/?.][^/]*/[^/]+)"));
    return absolute.match(path).hasMatch();
#else
    return path.startsWith(QLatin1Char('/'));
#endif
}

} // namespace

QString droppedFilePath(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    QString path = url.toLocalFile();
#ifndef Q_OS_WIN
    // This machine by name is the local root; any other host's files are not reachable here.
    const QString host = url.host();
    if (!host.isEmpty()) {
        if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0
            && host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) != 0)
            return {};
        path = url.path(QUrl::FullyDecoded);
    }
#endif
    // What follows "file:" is the drag source's to choose: a network address, a relative name,
    // an option for the converter or an embedded NUL must not reach it.
    if (!isAbsoluteLocalPath(path) || path.contains(QChar(0)))
        return {};
    return path;
}

DropLabel::DropLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    setAcceptDrops(true);
    setAlignment(Qt::AlignCenter);
    QFont labelFont;
    labelFont.setPointSize(18);
    setFont(labelFont);
}

void DropLabel::dragEnterEvent(QDragEnterEvent *event)
{
    // Any URL will do here, with whatever action the source proposes.
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void DropLabel::dropEvent(QDropEvent *event)
{
    // The event is left as delivered, not accepted. The list is a copy of our own, so a nested
    // drop during processEvents() cannot pull it away; the window is not let go either.
    CloseDeferral deferral(window());
    {
        const QList<QUrl> urls = event->mimeData()->urls();
        for (const QUrl &url : urls) {
            const QString path = droppedFilePath(url);
            setText(convertingText(path));
            std::cout << path.toLocal8Bit().toStdString() << std::endl;
            // Paints the status text; a slider move waiting here is stored before the read below.
            QCoreApplication::processEvents();
            convertFile(path, storedColorTemperature());
        }
    }
    setText(dropPromptText());
}
