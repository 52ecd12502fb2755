#include "ui/droplabel.h"

#include <QFont>

QString dropPromptText()
{
    return QStringLiteral("Drag and Drop a File Here");
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
