#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

class QWidget;

// The question asked at start when the files at inputs were left waiting, dropped on that day:
// it names up to five of them, and how many more.
QString leftWaitingQuestionText(const QStringList &inputs, const QDate &dropped);

// Where programs that ended without emptying their queues left files waiting (killed, or with
// the session), asks once the window is shown whether to convert them, each with the
// temperature it was dropped with, or to forget them.
void offerFilesLeftWaiting(QWidget &window);
