#include "app/appsettings.h"
#include "support/teststore.h"
#include "support/windowparts.h"
#include "ui/droplabel.h"
#include "ui/mainwindow.h"

#include <QAccessible>
#include <QLabel>
#include <QLayout>
#include <QMetaMethod>
#include <QMimeData>
#include <QSlider>
#include <QtTest>

Q_DECLARE_METATYPE(const QMetaObject *)

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(resetTestStore()); }

    void restoresStoredTemperature_data();
    void restoresStoredTemperature();
    void storesEverySliderChange_data();
    void storesEverySliderChange();
    void windowLayout();
    void previewPlacedAndRefusing();
    void metaObjects_data();
    void metaObjects();
};

void TestMainWindow::restoresStoredTemperature_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("sliderValue");
    QTest::addColumn<QString>("labelText");

    QTest::newRow("absent: default") << QVariant() << 2700 << "Color Temperature: 2700 K";
    QTest::newRow("off the step: not snapped")
        << QVariant(2750) << 2750 << "Color Temperature: 2750 K";
    QTest::newRow("above range: label keeps it")
        << QVariant(9000) << 6500 << "Color Temperature: 9000 K";
    QTest::newRow("negative: label keeps it") << QVariant(-5) << 0 << "Color Temperature: -5 K";
    QTest::newRow("read back as text after restart")
        << QVariant("3100") << 3100 << "Color Temperature: 3100 K";
    QTest::newRow("not a number: zero") << QVariant("abc") << 0 << "Color Temperature: 0 K";
}

void TestMainWindow::restoresStoredTemperature()
{
    QFETCH(QVariant, stored);
    QFETCH(int, sliderValue);
    QFETCH(QString, labelText);

    if (stored.isValid())
        appSettings.setValue(colorTemperatureKey, stored);

    MainWindow window;
    const WindowParts parts(window);
    QVERIFY(parts.slider && parts.valueLabel);
    QCOMPARE(parts.slider->value(), sliderValue);
    QCOMPARE(parts.valueLabel->text(), labelText);
    // Building the window writes nothing: an empty store stays empty, a value out of range stays.
    QCOMPARE(appSettings.contains(colorTemperatureKey), stored.isValid());
    QCOMPARE(appSettings.value(colorTemperatureKey), stored);
}

void TestMainWindow::storesEverySliderChange_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");

    QTest::newRow("right from default") << 2700 << int(Qt::Key_Right) << 2800;
    QTest::newRow("left from default") << 2700 << int(Qt::Key_Left) << 2600;
    QTest::newRow("page up is one step") << 2700 << int(Qt::Key_PageUp) << 2800;
    QTest::newRow("right from off-step value") << 2750 << int(Qt::Key_Right) << 2850;
    QTest::newRow("far left") << 2700 << int(Qt::Key_Home) << 0;
    QTest::newRow("far right") << 2700 << int(Qt::Key_End) << 6500;
    QTest::newRow("first move from above range") << 9000 << int(Qt::Key_Left) << 6400;
}

void TestMainWindow::storesEverySliderChange()
{
    QFETCH(int, stored);
    QFETCH(int, key);
    QFETCH(int, expected);

    appSettings.setValue(colorTemperatureKey, stored);
    {
        MainWindow window;
        const WindowParts parts(window);
        QVERIFY(parts.slider);
        QTest::keyClick(parts.slider, Qt::Key(key));
        QCOMPARE(parts.slider->value(), expected);
        QCOMPARE(parts.valueLabel->text(), colorTemperatureLabelText(expected));
        QCOMPARE(appSettings.value(colorTemperatureKey).toInt(), expected);
        // The sample picture's caption follows, and so does what a screen reader says.
        QCOMPARE(parts.preview->caption(), previewCaption(QString(), expected));
        QCOMPARE(
            QAccessible::queryAccessibleInterface(parts.preview)->text(QAccessible::Description),
            parts.preview->caption());
    }

    // It reaches the file, and the next window starts from it.
    appSettings.sync();
    QCOMPARE(storedEntryIn(appSettings.fileName()), QString::number(expected));
    MainWindow next;
    QCOMPARE(WindowParts(next).valueLabel->text(), colorTemperatureLabelText(expected));
}

void TestMainWindow::windowLayout()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), "Zorv Video Converter");
    QVERIFY(window.isWindow());
    window.resize(800, 300);
    QCOMPARE(window.size(), QSize(400 + previewSpacing + previewWidth, 500));
    QCOMPARE(window.minimumSize(), window.maximumSize());

    const WindowParts parts(window);
    QVERIFY(parts.dropArea && parts.valueLabel && parts.slider && parts.preview && parts.convert
        && parts.compare);
    QCOMPARE(window.findChildren<QWidget *>().size(), 6);
    // The column keeps its size and its place at the left edge, the preview to its right.
    const QMargins margins = window.layout()->contentsMargins();
    QCOMPARE(parts.dropArea->x(), margins.left());
    QCOMPARE(parts.dropArea->width(), 400 - margins.left() - margins.right());
    QCOMPARE(parts.preview->x(), 400 - margins.right() + previewSpacing);
    QCOMPARE(parts.preview->width(), previewWidth);

    // Only the drop area and the preview take drops; the window and the other two refuse them.
    QVERIFY(parts.dropArea->acceptDrops());
    QVERIFY(parts.preview->acceptDrops());
    QVERIFY(!window.acceptDrops());
    QVERIFY(!parts.valueLabel->acceptDrops());
    QVERIFY(!parts.slider->acceptDrops());

    QCOMPARE(parts.dropArea->text(), "Drag and Drop a File Here");
    QCOMPARE(parts.dropArea->styleSheet(), "QLabel { border: 5px dashed black; padding: 5px; }");
    QCOMPARE(parts.dropArea->alignment(), Qt::Alignment(0x84));
    QCOMPARE(parts.dropArea->font().pointSize(), 18);
    QCOMPARE(parts.dropArea->font().family(), QFont().family());

    QCOMPARE(parts.valueLabel->alignment(), Qt::Alignment(0x44));
    QCOMPARE(parts.valueLabel->font().pointSize(), 14);
    QCOMPARE(parts.valueLabel->height(), 50);
    QCOMPARE(parts.valueLabel->maximumHeight(), 50);

    QCOMPARE(parts.slider->orientation(), Qt::Horizontal);
    QCOMPARE(parts.slider->minimum(), 0);
    QCOMPARE(parts.slider->maximum(), 6500);
    QCOMPARE(parts.slider->singleStep(), 100);
    QCOMPARE(parts.slider->pageStep(), 100);

    // Under the preview, after it in the tab order: nothing to convert while the sample shows,
    // and the button's text and name follow the slider.
    QCOMPARE(parts.preview->nextInFocusChain(), parts.convert);
    QCOMPARE(parts.convert->nextInFocusChain(), parts.compare);
    QVERIFY(!parts.convert->isEnabled());
    parts.slider->setValue(3200);
    QCOMPARE(parts.convert->accessibleName(), "Convert at 3200 K");
    QCOMPARE(parts.compare->accessibleName(), "Compare with the original");

    // The drop area takes all the height the other two leave.
    QVERIFY(parts.dropArea->height() > 500 - 50 - parts.slider->height() - 60);
}

void TestMainWindow::previewPlacedAndRefusing()
{
    MainWindow window;
    window.move(30, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const WindowParts parts(window);
    // Re-tinted, the picture stays inside the preview, at every scale.
    parts.slider->setValue(parts.slider->value() + 100);
    const QRect picture = parts.preview->pictureRect();
    QVERIFY(parts.preview->rect().contains(picture));
    // A magnifier is told where the picture is on the screen.
    QCOMPARE(QAccessible::queryAccessibleInterface(parts.preview)->rect(),
        QRect(parts.preview->mapToGlobal(picture.topLeft()), picture.size()));
    // A drop that brings no local file is refused: a source that moves keeps its item.
    QMimeData data;
    data.setUrls({ QUrl("https://example.invalid/a.mp4") });
    const QPoint centre = parts.preview->rect().center();
    QDragEnterEvent entry(centre, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(parts.preview, &entry);
    QDropEvent drop(centre, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(parts.preview, &drop);
    QVERIFY(!drop.isAccepted());
    QCOMPARE(drop.dropAction(), Qt::IgnoreAction);
}

void TestMainWindow::metaObjects_data()
{
    QTest::addColumn<const QMetaObject *>("metaObject");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<const QMetaObject *>("superClass");
    QTest::addColumn<QByteArrayList>("methods");

    QTest::newRow("window: one private slot")
        << &MainWindow::staticMetaObject << QByteArray("MainWindow") << &QWidget::staticMetaObject
        << QByteArrayList { "saveColorTemperature(int)" };
    QTest::newRow("drop area: nothing of its own")
        << &DropLabel::staticMetaObject << QByteArray("DropLabel") << &QLabel::staticMetaObject
        << QByteArrayList {};
}

void TestMainWindow::metaObjects()
{
    QFETCH(const QMetaObject *, metaObject);
    QFETCH(QByteArray, className);
    QFETCH(const QMetaObject *, superClass);
    QFETCH(QByteArrayList, methods);

    QCOMPARE(QByteArray(metaObject->className()), className);
    QCOMPARE(metaObject->superClass(), superClass);
    QByteArrayList own;
    for (int i = metaObject->methodOffset(); i < metaObject->methodCount(); ++i) {
        const QMetaMethod method = metaObject->method(i);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        QCOMPARE(method.returnType(), int(QMetaType::Void));
        QCOMPARE(method.parameterNames(), QByteArrayList { "value" });
        own << method.methodSignature();
    }
    QCOMPARE(own, methods);
    QCOMPARE(metaObject->propertyCount(), metaObject->propertyOffset());
    QCOMPARE(metaObject->enumeratorCount(), metaObject->enumeratorOffset());
    QCOMPARE(metaObject->classInfoCount(), metaObject->classInfoOffset());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
