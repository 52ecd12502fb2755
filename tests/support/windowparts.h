#pragma once

#include "ui/droplabel.h"
#include "ui/mainwindow.h"

#include <QLabel>
#include <QLayout>
#include <QSlider>

// The main window's children as its layout holds them, top to bottom; null where the layout
// does not hold what it should.
struct WindowParts
{
    explicit WindowParts(const MainWindow &window)
    {
        const QLayout *layout = window.layout();
        if (!layout || layout->count() != 3)
            return;
        dropArea = qobject_cast<DropLabel *>(layout->itemAt(0)->widget());
        valueLabel = qobject_cast<QLabel *>(layout->itemAt(1)->widget());
        slider = qobject_cast<QSlider *>(layout->itemAt(2)->widget());
    }

    DropLabel *dropArea = nullptr;
    QLabel *valueLabel = nullptr;
    QSlider *slider = nullptr;
};
