#pragma once

#include <QLabel>
#include <QString>

// The drop area's idle prompt.
QString dropPromptText();

class DropLabel : public QLabel
{
    Q_OBJECT

public:
    DropLabel(const QString &text, QWidget *parent);

    // Starts the converter on the file at path, re-tinted for temperature in kelvin; does not
    // wait for it.
    void convertFile(const QString &path, int temperature);
};
