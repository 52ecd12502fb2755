#pragma once

#include "convert/tint.h"

#include <QImage>
#include <QString>
#include <QWidget>

class FrameDecoder;

// The caption of the preview, which its accessible description repeats: "clip.mp4 at 3200 K",
// "Sample picture at 2700 K", or why there is no picture.
QString previewCaption(const QString &file, int kelvin);
QString noPictureText(const QString &file, const QString &why);

// Shows what the conversion will write: one picture of the video handed in last (a sample
// picture drawn here before any), re-tinted for the slider's temperature as the conversion's eq
// filter does it, at once for each step. A video dropped on it, or chosen after a click, Enter or
// Space, is shown without being converted.
class TintPreview : public QWidget
{
    Q_OBJECT

public:
    TintPreview(int kelvin, QWidget *parent);

    // The preview that owner's window holds, if any.
    static TintPreview *of(const QWidget *owner);

    // Re-tints the picture for this temperature.
    void setTemperature(int kelvin);
    // Shows a picture of this video once one is decoded; the decode of an earlier one ends.
    void showFile(const QString &path);
    // Opens the one-file dialog and shows the video chosen there.
    Q_INVOKABLE void choose();

    // Where the picture is drawn, in the widget.
    QRect pictureRect() const;
    // What it shows, in one line.
    QString caption() const { return m_caption; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void decoded(const QString &path, const YuvFrame &frame);
    void failed(const QString &path, const QString &why);
    void setCaption(const QString &caption);
    // The size of the box that pictures are decoded to fit, in device pixels.
    QSize pictureBox() const;
    QRect captionRect() const;

    FrameDecoder *m_decoder;
    YuvFrame m_frame; // at most one, at the preview's size
    QImage m_picture; // m_frame re-tinted
    QString m_file; // shown now; empty for the sample
    int m_kelvin;
    QString m_caption;
    bool m_showingSample = true;
    bool m_choosing = false;
};
