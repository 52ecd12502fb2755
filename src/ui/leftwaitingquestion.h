#pragma once

#include <QString>

class QWidget;

// The question asked at start when files were left waiting.
QString leftWaitingQuestionText(int files);

// Where programs that ended without emptying their queues left files waiting (killed, or with
// the session), asks once the window is shown whether to convert them, each with the
// temperature it was dropped with, or to forget them.
void offerFilesLeftWaiting(QWidget &window);
