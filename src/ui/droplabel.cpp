#include "ui/droplabel.h"

#include "app/processsetup.h"
#include "convert/converterqueue.h"
#include "convert/launcher.h"
#include "ui/closedeferral.h"
#include "ui/dropareachooser.h"
#include "ui/dropareastatus.h"
#include "ui/tintpreview.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFont>
#include <QMimeData>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>

#include <algorithm>

QString dropPromptText()
{
    return QStringLiteral("Drag and Drop a File Here");
}

QString convertingText(const QString &path)
{
    // One arg() call: place markers inside the path itself stay as they are.
    return QStringLiteral("Converting %1...").arg(path);
}

QString converterMissingText()
{
#ifdef Q_OS_WIN
    return QStringLiteral("ffmpeg could not be started.\nPut ffmpeg.exe beside this\n"
                          "program or on PATH,\nthen drop the files again.");
#else
    return QStringLiteral("ffmpeg could not be started.\nInstall ffmpeg, then drop\n"
                          "the files again.");
#endif
}

Qt::DropAction takenDropAction(Qt::DropActions offered)
{
    for (const Qt::DropAction action : { Qt::CopyAction, Qt::LinkAction, Qt::MoveAction }) {
        if (offered & action)
            return action;
    }
    return Qt::IgnoreAction;
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

void takeUrlDrag(QDragMoveEvent *event)
{
    const Qt::DropAction action = takenDropAction(event->possibleActions());
    if (event->mimeData()->hasUrls() && action != Qt::IgnoreAction) {
        event->setDropAction(action);
        event->accept();
    }
}

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

    setAccessibleName(QStringLiteral("Drop area"));
    setAccessibleDescription(QStringLiteral(
        "Converts the video files dropped here. Click, or press Enter or Space, to choose files "
        "without dragging."));

    // Converters start later than the drop when many are asked for; one that cannot start
    // says so here, whenever that is.
    auto *queue = new ConverterQueue(this);
    auto *status = new DropAreaStatus(this, queue);
    new DropAreaChooser(this, queue);
    connect(queue, &ConverterQueue::startFailed, status,
        [status] { status->setActivityAtPace(converterMissingText()); });
}

void DropLabel::dragEnterEvent(QDragEnterEvent *event)
{
    takeUrlDrag(event);
}

void DropLabel::dragMoveEvent(QDragMoveEvent *event)
{
    // The source hears the last answer given while the drag moved: it stays the same.
    takeUrlDrag(event);
}

QStringList droppedFilePaths(const QMimeData &data)
{
    // Read from the list as it came, one URL at a time, as QMimeData::urls() reads it: a drop of
    // a hundred thousand files never holds as many URLs.
    QByteArray list = data.data(QStringLiteral("text/uri-list"));
    if (list.endsWith('\0'))
        list.chop(1);
    QStringList paths;
    for (int start = 0; start < list.size();) {
        int end = list.indexOf('\n', start);
        if (end < 0)
            end = list.size();
        const QByteArray line
            = QByteArray::fromRawData(list.constData() + start, end - start).trimmed();
        if (!line.isEmpty())
            paths << droppedFilePath(QUrl::fromEncoded(line));
        start = end + 1;
    }
    return paths;
}

void DropLabel::dropEvent(QDropEvent *event)
{
    // The event is left as delivered, not accepted.
    handOnFiles(this, droppedFilePaths(*event->mimeData()));
}

void handOnFiles(DropLabel *dropArea, const QStringList &paths, const QList<int> &temperatures)
{
    // The list is a copy of our own, so a nested drop during processEvents() cannot pull it
    // away; the window is not let go either.
    CloseDeferral deferral(dropArea->window());
    ConverterQueue *queue = ConverterQueue::of(dropArea);
    DropAreaStatus *status = DropAreaStatus::of(dropArea);
    if (!paths.isEmpty())
        DropAreaChooser::of(dropArea)->setStartFolder(QFileInfo(paths.last()).path());
    // The preview follows the newest files, the first of them.
    if (TintPreview *preview = TintPreview::of(dropArea)) {
        const auto first = std::find_if(
            paths.cbegin(), paths.cend(), [](const QString &path) { return !path.isEmpty(); });
        if (first != paths.cend())
            preview->showFile(*first);
    }
    FilePassHooks hooks;
    hooks.beginning = [status, &paths](int i, const QString &path) {
        // The first and the last file are always shown, those between at the display's pace:
        // painting each of thousands would take most of the pass. The events that the pass
        // lets run next paint it.
        if (i == 0 || i == paths.size() - 1)
            status->setActivity(convertingText(path));
        else
            status->setActivityAtPace(convertingText(path));
        return true;
    };
    passFiles(*queue, paths, temperatures, hooks);
    status->setActivity(queue->hasFailed() ? converterMissingText() : dropPromptText());
    // The paths and the texts of a large drop are gone; only the waiting files stay.
    releaseFreedMemory();
}
