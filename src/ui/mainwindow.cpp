#include "ui/mainwindow.h"

#include "app/appsettings.h"
#include "convert/converterqueue.h"
#include "ui/closequestion.h"
#include "ui/desktoppresenter.h"
#include "ui/dropareaaccessible.h"
#include "ui/dropareastatus.h"
#include "ui/droplabel.h"
#include "ui/tintpreview.h"
#include "ui/tintpreviewaccessible.h"

#include <QAccessible>
#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QHBoxLayout>
#include <QVBoxLayout>

QString colorTemperatureLabelText(int kelvin)
{
    return QStringLiteral("Color Temperature: ") + QString::number(kelvin) + QStringLiteral(" K");
}

QString convertButtonText(int kelvin)
{
    return QStringLiteral("Convert at %1 K").arg(kelvin);
}

MainWindow::MainWindow()
{
    // Before any label exists: an interface made while a widget is being built stays with it.
    // The application object forgets factories installed before it.
    QAccessible::installFactory(&DropAreaAccessible::factory);
    QAccessible::installFactory(&TintPreviewAccessible::factory);
    setWindowTitle(batchWindowTitle(Batch()));
    const int temperature = storedColorTemperature();

    auto *dropLabel = new DropLabel(dropPromptText(), this);
    dropLabel->setStyleSheet(QStringLiteral("QLabel { border: 5px dashed black; padding: 5px; }"));
    // Its size comes from the window, never from its text: nothing beside it moves.
    dropLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);

    auto *valueLabel = new QLabel(colorTemperatureLabelText(temperature), this);
    valueLabel->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    QFont valueFont;
    valueFont.setPointSize(14);
    valueLabel->setFont(valueFont);
    valueLabel->setFixedHeight(50);

    auto *slider = new QSlider(Qt::Horizontal, this);
    slider->setAccessibleName(QStringLiteral("Color Temperature"));
    // The range comes first so that the stored value is bound to 0..6500, not to Qt's default.
    slider->setRange(0, 6500);
    slider->setSingleStep(100);
    slider->setPageStep(100);
    slider->setValue(temperature);
    // The slider has the keys first, as it always had; Tab goes on to the drop area.
    slider->setFocus();

    // The column keeps its size and place at the left edge; the preview takes what is added to
    // its right.
    auto *preview = new TintPreview(temperature, this);
    preview->setFixedWidth(previewWidth);
    // Under the preview: convert what it shows, and compare it with the original.
    auto *convert = new QPushButton(convertButtonText(temperature), this);
    convert->setAccessibleName(convert->text());
    // Enter presses it too, as Space does, while it has the focus.
    convert->setAutoDefault(true);
    convert->setEnabled(false);
    auto *compare = new QCheckBox(QStringLiteral("Compare with the original"), this);
    compare->setAccessibleName(compare->text());
    auto *controls = new QHBoxLayout;
    controls->addWidget(convert);
    controls->addWidget(compare);
    controls->addStretch();
    auto *right = new QVBoxLayout;
    right->addWidget(preview);
    right->addLayout(controls);
    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(dropLabel);
    column->addWidget(valueLabel);
    column->addWidget(slider);
    auto *layout = new QHBoxLayout;
    layout->setSpacing(previewSpacing);
    layout->addLayout(column);
    layout->addLayout(right);
    setLayout(layout);
    setFixedSize(400 + previewSpacing + previewWidth, 500);
    // Tab goes from the slider to the drop area, as it always did, then to the preview and what
    // is under it.
    setTabOrder(slider, dropLabel);
    setTabOrder(dropLabel, preview);
    setTabOrder(preview, convert);
    setTabOrder(convert, compare);
    // Closing while files wait asks what becomes of them.
    new CloseQuestion(this, ConverterQueue::of(dropLabel));
    // The desktop hears how the batch goes, also while the window is hidden or closed.
    new DesktopPresenter(this, ConverterQueue::of(dropLabel));

    // Connected only now, so building the window writes nothing to the store. Receivers run in
    // connection order: the label is rewritten before the value is stored.
    connect(slider, &QSlider::valueChanged, this,
        [valueLabel](int value) { valueLabel->setText(colorTemperatureLabelText(value)); });
    connect(slider, &QSlider::valueChanged, this, &MainWindow::saveColorTemperature);
    connect(slider, &QSlider::valueChanged, preview, &TintPreview::setTemperature);
    connect(slider, &QSlider::valueChanged, convert, [convert](int value) {
        convert->setText(convertButtonText(value));
        convert->setAccessibleName(convert->text());
    });
    // The sample, or a file with no picture, is nothing to convert.
    connect(preview, &TintPreview::shownFileChanged, convert,
        [convert](const QString &file) { convert->setEnabled(!file.isEmpty()); });
    // The same road as a drop, at the temperature that the preview shows.
    connect(convert, &QPushButton::clicked, dropLabel, [dropLabel, preview, slider] {
        handOnFiles(dropLabel, { preview->shownFile() }, { slider->value() });
    });
    connect(compare, &QCheckBox::toggled, preview, &TintPreview::setComparing);
}

void MainWindow::saveColorTemperature(int value)
{
    appSettings.setValue(colorTemperatureKey, QVariant(value));
}
