#pragma once

#include <QLabel>
#include <QString>
#include <QStringList>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QUrl;

// The drop area's idle prompt.
QString dropPromptText();
// The local files that the URLs of a drop's data name, by droppedFilePath, in their order.
QStringList droppedFilePaths(const QMimeData &data);
// The local file that a dropped URL names, as the drop area shows it and hands it on; empty
// where it names none that is safe to hand to the converter.
QString droppedFilePath(const QUrl &url);
// The drop area's text while the file at path is being handled.
QString convertingText(const QString &path);
// The drop area's text once a converter could not be started, until the next drop.
QString converterMissingText();
// How a drag that offers these actions is taken: never as a move where anything else is offered,
// since a source deletes what it moved, perhaps before the converter has read it.
Qt::DropAction takenDropAction(Qt::DropActions offered);
// Takes a drag that holds URLs, whatever kind, with the safest action its source offers; leaves
// any other as it is, refused.
void takeUrlDrag(QDragMoveEvent *event);

class DropLabel;
// Hands files on to be converted, in this order, as a drop does with the files it names,
// whether they came by a drag, from the file dialog or on the command line: each is shown in the
// drop area, written to the trace and converted with the temperature stored at that moment, or
// with its own where temperatures gives one for each.
void handOnFiles(
    DropLabel *dropArea, const QStringList &paths, const QList<int> &temperatures = {});

class DropLabel : public QLabel
{
    Q_OBJECT

public:
    DropLabel(const QString &text, QWidget *parent);

    // Starts the converter on the file at path, re-tinted for temperature in kelvin, as soon as
    // its turn comes; does not wait for it.
    void convertFile(const QString &path, int temperature);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};
