#include "ui/leftwaitingquestion.h"

#include "convert/queuefile.h"
#include "convert/standarderror.h"
#include "ui/droplabel.h"

#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

QString leftWaitingQuestionText(const QStringList &inputs, const QDate &dropped)
{
    const int files = int(inputs.size());
    QString text
        = (files == 1 ? QStringLiteral("1 file was") : QStringLiteral("%1 files were").arg(files))
        + QStringLiteral(" waiting to be converted when Zorv Video Converter last ended, dropped "
                         "on %1:")
              .arg(QLocale().toString(dropped, QLocale::LongFormat));
    // Five names say which files these are; a long list would not fit the screen.
    constexpr int named = 5;
    const int shown = files <= named ? files : named - 1;
    for (int i = 0; i < shown; ++i)
        text += QLatin1Char('\n') + escapedName(QFileInfo(inputs.at(i)).fileName());
    if (shown < files)
        text += QStringLiteral("\nand %1 more").arg(files - shown);
    return text;
}

void offerFilesLeftWaiting(QWidget &window)
{
    FilesLeftWaiting left;
    auto *dropArea = window.findChild<DropLabel *>();
    if (left.files().isEmpty() || !dropArea)
        return;

    QStringList inputs;
    for (const KeptFile &file : left.files())
        inputs << file.input;
    QMessageBox question(QMessageBox::Question, QStringLiteral("Convert Files Left Waiting?"),
        leftWaitingQuestionText(inputs, left.lastWritten().date()), QMessageBox::NoButton, &window);
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
