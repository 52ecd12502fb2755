// The yardsticks for start-up: an empty window of the application's size (WIDTH and HEIGHT, the
// first two arguments) and title, or with --text one that shows a line of text in a label, as
// any window with text must.

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Zorv Video Converter"));
    window.setFixedSize(app.arguments().value(1).toInt(), app.arguments().value(2).toInt());
    if (app.arguments().contains(QStringLiteral("--text"))) {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(new QLabel(QStringLiteral("Drag and Drop a File Here"), &window));
    }
    window.show();
    return app.exec();
}
