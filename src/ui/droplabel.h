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
};
