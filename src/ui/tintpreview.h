#pragma once

#include "convert/tint.h"

#include <QImage>
#include <QString>
#include <QWidget>

class FrameDecoder;

// The caption of the preview, which its accessible description repeats: "clip.mp4 at 0:42,
// 3200 K" (the time where it is known), "Sample picture at 2700 K", or why there is no picture;
// where the original is shown beside the re-tinted picture, which side is which.
QString previewCaption(const QString &file, int kelvin, bool comparing = false, double at = -1);
QString noPictureText(const QString &file, const QString &why);

// Shows what the conversion will write: one picture of the video handed in last (a sample
// picture drawn here before any), re-tinted for the slider's temperature as the conversion's eq
// filter does it, at once for each step. A video dropped on it, or chosen after a click, Enter or
// Space, is shown without being converted. Left and Right, or the mouse wheel, move the picture a
// tenth of the video back or forward.
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
    // Shows the original in the left half of the picture, the re-tinted one in the right.
    void setComparing(bool comparing);

    // The video whose picture is shown; empty for the sample, or where there is no picture.
    QString shownFile() const;

    // Where the picture is drawn, in the widget.
    QRect pictureRect() const;
    // What it shows, in one line.
    QString caption() const { return m_caption; }

signals:
    void shownFileChanged(const QString &file);

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void decoded(const QString &path, const YuvFrame &frame);
    void failed(const QString &path, const QString &why);
    void setCaption(const QString &caption);
    // Shows the picture tenths of the video later (earlier where negative), if one is shown.
    void move(int tenths);
    // Keeps the frame as it is beside the re-tinted one while comparing, else nothing.
    void keepOriginal();
    // The size of the box that pictures are decoded to fit, in device pixels.
    QSize pictureBox() const;
    QRect captionRect() const;

    FrameDecoder *m_decoder;
    YuvFrame m_frame; // at most one, at the preview's size
    QImage m_picture; // m_frame re-tinted
    QImage m_original; // m_frame as it is, while comparing
    QString m_file; // shown now; empty for the sample
    double m_at = -1; // the moment asked for last, in seconds; negative for the first picture
    int m_kelvin;
    QString m_caption;
    bool m_showingSample = true;
    bool m_choosing = false;
    bool m_comparing = false;
};
