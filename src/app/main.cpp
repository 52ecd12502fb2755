#include "app/commandline.h"
#include "app/singleinstance.h"
#include "ui/leftwaitingquestion.h"
#include "ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList files = filesNamedOnCommandLine(QCoreApplication::arguments().mid(1));
    SingleInstance instance;
    switch (instance.handOver(files)) {
    case SingleInstance::HandedOver:
        return 0;
    case SingleInstance::NotTaken:
        return 1;
    case SingleInstance::NoneRuns:
        break;
    }
    MainWindow window;
    instance.serve(window);
    window.show();
    offerFilesLeftWaiting(window);
    // The window has been asked to show; the pass lets it appear before the first file.
    convertInWindow(window, files);
    return app.exec();
}
