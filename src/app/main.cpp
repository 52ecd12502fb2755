#include "app/commandline.h"
#include "ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    convertFilesNamedOn(window, QCoreApplication::arguments().mid(1));
    return app.exec();
}
