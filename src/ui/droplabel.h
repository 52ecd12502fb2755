#pragma once

#include <QLabel>
#include <QString>

class QDragEnterEvent;
class QDropEvent;

// The drop area's idle prompt.
QString dropPromptText();
// The drop area's text while the file at path is being handled.
QString convertingText(const QString &path);

class DropLabel : public QLabel
{
    Q_OBJECT

public:
    DropLabel(const QString &text, QWidget *parent);

    // Starts the converter on the file at path, re-tinted for temperature in kelvin; does not
    // wait for it.
    void convertFile(const QString &path, int temperature);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};
