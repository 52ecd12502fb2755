#pragma once

#include <QString>
#include <QWidget>

// The value label's text for a temperature in kelvin.
QString colorTemperatureLabelText(int kelvin);

class MainWindow : public QWidget
{
    Q_OBJECT

public:
    MainWindow();

private slots:
    void saveColorTemperature(int value);
};
