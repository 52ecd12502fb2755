#pragma once

#include "ui/droplabel.h"
#include "ui/mainwindow.h"
#include "ui/tintpreview.h"

#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSlider>

// The main window's children as its layout holds them: the column top to bottom, then the
// preview; null where the layout does not hold what it should.
struct WindowParts
{
    explicit WindowParts(const MainWindow &window)
    {
        // The column at the left, the preview at the right, with its controls under it.
        const QLayout *layout = window.layout();
        if (!layout || layout->count() != 2 || !layout->itemAt(0)->layout()
            || !layout->itemAt(1)->layout())
            return;
        const QLayout *column = layout->itemAt(0)->layout();
        const QLayout *right = layout->itemAt(1)->layout();
        if (column->count() != 3 || right->count() != 2 || !right->itemAt(1)->layout())
            return;
        dropArea = qobject_cast<DropLabel *>(column->itemAt(0)->widget());
        valueLabel = qobject_cast<QLabel *>(column->itemAt(1)->widget());
        slider = qobject_cast<QSlider *>(column->itemAt(2)->widget());
        preview = qobject_cast<TintPreview *>(right->itemAt(0)->widget());
        const QLayout *controls = right->itemAt(1)->layout();
        convert = qobject_cast<QPushButton *>(controls->itemAt(0)->widget());
        compare = qobject_cast<QCheckBox *>(controls->itemAt(1)->widget());
    }

    DropLabel *dropArea = nullptr;
    QLabel *valueLabel = nullptr;
    QSlider *slider = nullptr;
    TintPreview *preview = nullptr;
    QPushButton *convert = nullptr;
    QCheckBox *compare = nullptr;
};
