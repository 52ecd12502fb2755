#include "ui/leftwaitingquestion.h"

#include "convert/queuefile.h"
#include "ui/droplabel.h"

#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

QString leftWaitingQuestionText(int files)
{
    return (files == 1 ? QStringLiteral("1 file was") : QStringLiteral("%1 files were").arg(files))
        + QStringLiteral(" waiting to be converted when Zorv Video Converter last ended.");
}

void offerFilesLeftWaiting(QWidget &window)
{
    FilesLeftWaiting left;
    auto *dropArea = window.findChild<DropLabel *>();
    if (left.files().isEmpty() || !dropArea)
        return;

    QMessageBox question(QMessageBox::Question, QStringLiteral("Convert Files Left Waiting?"),
        leftWaitingQuestionText(int(left.files().size())), QMessageBox::NoButton, &window);
    QPushButton *convert
        = question.addButton(QStringLiteral("&Convert Them"), QMessageBox::AcceptRole);
    QPushButton *forget
        = question.addButton(QStringLiteral("&Forget Them"), QMessageBox::RejectRole);
    question.setDefaultButton(convert);
    question.setEscapeButton(forget);
    question.exec();

    // Killed while it asks, the next start asks again.
    QStringList paths;
    QList<int> temperatures;
    for (const KeptFile &file : left.files()) {
        paths << file.input;
        temperatures << file.temperature;
    }
    const bool converting = question.clickedButton() == convert;
    if (question.clickedButton() == convert || question.clickedButton() == forget)
        left.forget();
    if (converting)
        handOnFiles(dropArea, paths, temperatures);
}
