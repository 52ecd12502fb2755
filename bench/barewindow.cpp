// The yardstick for start-up: an empty window of the application's size and title.

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Zorv Video Converter"));
    window.setFixedSize(400, 500);
    window.show();
    return app.exec();
}
