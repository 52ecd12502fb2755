#pragma once

#include <QObject>
#include <QString>

class ConverterQueue;
class DropLabel;

// The file types the dialog offers first, then all files.
QString videoFileFilters();

// Lets the user choose files without dragging: a click on the drop area, or Enter or Space while
// it has the keyboard focus (which Tab gives it), opens a file dialog, and the files chosen there
// are handed on as a drop's are. Nothing opens while a drop is being handed on or another dialog
// is open.
class DropAreaChooser : public QObject
{
    Q_OBJECT

public:
    DropAreaChooser(DropLabel *dropArea, const ConverterQueue *queue);
    ~DropAreaChooser() override;
    DropAreaChooser(const DropAreaChooser &) = delete;
    DropAreaChooser &operator=(const DropAreaChooser &) = delete;

    // The chooser that owner holds, if any.
    static DropAreaChooser *of(const QObject *owner);

    // Where the dialog opens next: the folder of the last file chosen or dropped.
    void setStartFolder(const QString &folder) { m_startFolder = folder; }
    // Opens the dialog, unless something else holds the window now.
    Q_INVOKABLE void choose();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    DropLabel *m_dropArea;
    const ConverterQueue *m_queue;
    QString m_startFolder;
    bool m_choosing = false;
};
