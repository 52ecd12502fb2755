#pragma once

#include "convert/tint.h"

#include <QObject>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QTimer>

#include <memory>

// The video stream's size, pixel format, range and colour matrix as ffmpeg's stream line names
// them, read into a frame's fields; false where the line names no 4:2:0 8-bit picture.
bool readStreamLine(const QString &line, YuvFrame *frame);

// Decodes one picture of a video for the preview, with ffmpeg in the background: the key frame at
// or before a moment (about a third of the way in unless one is given; the first where the length
// is not known), scaled to fit a box, as the planes that the conversion's eq filter sees, with
// its time and the video's length. One decode at a time: a newer one ends the older ffmpeg. It
// gives up after 10 seconds. It writes nothing to disk: the picture comes through a pipe.
class FrameDecoder : public QObject
{
    Q_OBJECT

public:
    explicit FrameDecoder(QObject *parent);
    ~FrameDecoder() override;
    FrameDecoder(const FrameDecoder &) = delete;
    FrameDecoder &operator=(const FrameDecoder &) = delete;

    // At seconds into the video where at is not negative.
    void decode(const QString &path, QSize box, double at = -1);
    // Ends the decode under way, if any, and forgets it.
    void cancel();

    static constexpr int longestMs = 10000;

signals:
    void decoded(const QString &path, const YuvFrame &frame);
    void failed(const QString &path, const QString &why);

private:
    void run(const QStringList &arguments);
    void ran();
    void letProcessGo();
    void fail(const QString &why);

    std::unique_ptr<QProcess> m_process;
    QString m_path;
    QSize m_box;
    double m_at = -1; // asked for, then sought
    double m_length = -1;
    bool m_probing = false;
    QTimer m_timeout;
};
