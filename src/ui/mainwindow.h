#pragma once

#include <QString>
#include <QWidget>

// How wide the tint preview is, and how far from the column at its left.
constexpr int previewWidth = 480;
constexpr int previewSpacing = 12;

// The value label's text for a temperature in kelvin.
QString colorTemperatureLabelText(int kelvin);
// The text of the button under the preview, and its accessible name: "Convert at 3200 K".
QString convertButtonText(int kelvin);

class MainWindow : public QWidget
{
    Q_OBJECT

public:
    MainWindow();

private slots:
    void saveColorTemperature(int value);
};
