#include "app/commandline.h"
#include "app/processsetup.h"
#include "app/singleinstance.h"
#include "app/startoptions.h"
#include "app/windowlessrun.h"
#include "convert/standarderror.h"
#include "ui/leftwaitingquestion.h"
#include "ui/mainwindow.h"

#include <QApplication>

#include <iostream>
#include <optional>

int main(int argc, char *argv[])
{
    const StartOptions options = parseStartOptions(commandLineArguments(argc, argv));
    if (options.action != StartOptions::Run || options.noWindow)
        useParentConsole();
    switch (options.action) {
    case StartOptions::ShowVersion:
        std::cout << versionText().toLocal8Bit().constData() << std::endl;
        return 0;
    case StartOptions::ShowHelp: {
        const QCoreApplication application(argc, argv);
        std::cout << helpText().toLocal8Bit().constData() << std::flush;
        return 0;
    }
    case StartOptions::UsageError:
        sayOnStandardError(options.error);
        return 2;
    case StartOptions::Run:
        break;
    }
    if (options.noWindow)
        return convertWithoutWindow(argc, argv, options);

    std::optional<DisplayCheck> displayCheck(std::in_place);
    QApplication app(argc, argv);
    displayCheck.reset();
    // The name of the desktop entry, by which a desktop matches the window to it.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.zorvtech.ZorvVideoConverter"));
    QStringList files;
    QString why;
    if (!filesOfStart(options, &files, nullptr, &why)) {
        sayOnStandardError(QStringLiteral("zorv-video-converter: ") + why);
        return 2;
    }
    SingleInstance instance;
    switch (instance.handOver(files, options.temperature)) {
    case SingleInstance::HandedOver:
        return 0;
    case SingleInstance::NotTaken:
        std::cerr << "zorv-video-converter: the program that runs already did not take the files"
                  << std::endl;
        return 1;
    case SingleInstance::NoneRuns:
        break;
    }
    MainWindow window;
    instance.serve(window);
    window.show();
    offerFilesLeftWaiting(window);
    // The window has been asked to show; the pass lets it appear before the first file.
    convertInWindow(window, files, options.temperature);
    return app.exec();
}
