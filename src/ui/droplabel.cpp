#include "ui/droplabel.h"

#include "app/appsettings.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QMimeData>
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
    // drop during processEvents() cannot pull it away.
    {
        const QList<QUrl> urls = event->mimeData()->urls();
        for (const QUrl &url : urls) {
            const QString path = url.toLocalFile();
            setText(convertingText(path));
            std::cout << path.toLocal8Bit().toStdString() << std::endl;
            // Paints the status text; a slider move waiting here is stored before the read below.
            QCoreApplication::processEvents();
            convertFile(path, storedColorTemperature());
        }
    }
    setText(dropPromptText());
}
