// A window for drag-and-drop tests: pressing the mouse on it starts a drag of the files named
// on the command line, or of plain text only with --text. When the drag ends it prints
// "drag ended: N", N being the drop action the target reported (0: none). Like a file manager
// written the way Qt's own documentation shows, it deletes the files when told of a move.

#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

#include <iostream>

class DragSource : public QLabel
{
public:
    explicit DragSource(const QStringList &arguments)
        : QLabel("drag from here")
        , m_arguments(arguments)
    {
        setWindowTitle("Zorv drag source");
        setAlignment(Qt::AlignCenter);
        setGeometry(500, 100, 200, 200);
    }

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        auto *data = new QMimeData;
        if (m_arguments.value(0) == QLatin1String("--text")) {
            data->setText("just some text");
        } else {
            QList<QUrl> urls;
            for (const QString &path : m_arguments)
                urls << QUrl::fromLocalFile(path);
            data->setUrls(urls);
        }
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
        if (action == Qt::MoveAction) {
            for (const QString &path : m_arguments)
                QFile::remove(path);
        }
        std::cout << "drag ended: " << int(action) << std::endl;
    }

private:
    QStringList m_arguments;
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DragSource source(QApplication::arguments().mid(1));
    source.show();
    return app.exec();
}
