#include "convert/framedecoder.h"

#include "convert/conversion.h"
#include "convert/converterlog.h"
#include "convert/converterqueue.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// The luma weights of red and blue that a colour matrix's name stands for; BT.601 for any other.
void setMatrix(const QString &name, YuvFrame *frame)
{
    if (name == QLatin1String("bt709")) {
        frame->redWeight = 0.2126;
        frame->blueWeight = 0.0722;
    } else if (name.startsWith(QLatin1String("bt2020"))) {
        frame->redWeight = 0.2627;
        frame->blueWeight = 0.0593;
    } else if (name == QLatin1String("smpte240m")) {
        frame->redWeight = 0.212;
        frame->blueWeight = 0.087;
    } else if (name == QLatin1String("fcc")) {
        frame->redWeight = 0.30;
        frame->blueWeight = 0.11;
    } else {
        frame->redWeight = 0.299;
        frame->blueWeight = 0.114;
    }
}

// Whether ffmpeg's report of an input names a video stream that is not a cover picture.
bool hasVideoStream(const QString &report)
{
    static const QRegularExpression video(QStringLiteral(R"(^\s*Stream #\d+:\d+.*: Video: (.*)$)"),
        QRegularExpression::MultilineOption);
    auto streams = video.globalMatch(report);
    while (streams.hasNext()) {
        if (!streams.next().captured(1).contains(QLatin1String("(attached pic)")))
            return true;
    }
    return false;
}

} // namespace

bool readStreamLine(const QString &line, YuvFrame *frame)
{
    // "Video: rawvideo (I420 / 0x30323449), yuv420p(tv, bt709, progressive), 480x270, ..."
    static const QRegularExpression stream(
        QStringLiteral(R"(Video: [^,]*(?:\([^)]*\))?, (yuvj?420p)(?:\(([^)]*)\))?, (\d+)x(\d+))"));
    const QRegularExpressionMatch match = stream.match(line);
    if (!match.hasMatch())
        return false;
    frame->width = match.captured(3).toInt();
    frame->height = match.captured(4).toInt();
    const QStringList details = match.captured(2).split(QStringLiteral(", "));
    frame->fullRange
        = match.captured(1) == QLatin1String("yuvj420p") || details.contains(QLatin1String("pc"));
    // The matrix comes after the range: "bt709", or "bt470bg/bt470bg/smpte170m" (its own first).
    QString matrix;
    for (const QString &detail : details) {
        if (detail != QLatin1String("tv") && detail != QLatin1String("pc")
            && detail != QLatin1String("progressive") && !detail.contains(QLatin1Char(' '))) {
            matrix = detail.section(QLatin1Char('/'), 0, 0);
            break;
        }
    }
    setMatrix(matrix, frame);
    return frame->width > 0 && frame->height > 0 && frame->width % 2 == 0 && frame->height % 2 == 0;
}

FrameDecoder::FrameDecoder(QObject *parent)
    : QObject(parent)
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(longestMs);
    connect(&m_timeout, &QTimer::timeout, this,
        [this] { fail(QStringLiteral("it took longer than 10 seconds")); });
}

FrameDecoder::~FrameDecoder()
{
    cancel();
}

void FrameDecoder::cancel()
{
    m_timeout.stop();
    m_path.clear();
    if (!m_process)
        return;
    // Gone with its process: nothing it says reaches us any more.
    m_process->disconnect(this);
    m_process->kill();
    m_process->waitForFinished(1000);
    m_process.reset();
}

void FrameDecoder::decode(const QString &path, QSize box, double at)
{
    cancel();
    m_path = path;
    m_box = box;
    m_at = at;
    m_probing = true;
    m_timeout.start();
    // What the file holds, and how long it is.
    run({ QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"), QStringLiteral("-i"), path });
}

void FrameDecoder::run(const QStringList &arguments)
{
    const QString program = converterProgram();
    if (program.isEmpty()) {
        fail(noConverterReason());
        return;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process.get(), qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
        &FrameDecoder::ran);
    connect(m_process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail(QStringLiteral("ffmpeg could not be started"));
    });
    m_process->start(program, arguments);
}

void FrameDecoder::ran()
{
    const QByteArray picture = m_process->readAllStandardOutput();
    const QByteArray errors = m_process->readAllStandardError();
    const QString report = QString::fromUtf8(errors);
    LogFacts facts;
    readLogLines(facts, errors + '\n');
    const QString why = failureReason(m_path, QStringLiteral("ffmpeg could not read it"), facts);

    if (m_probing) {
        m_probing = false;
        if (!report.contains(QLatin1String("Input #0"))) {
            fail(why);
            return;
        }
        if (!hasVideoStream(report)) {
            fail(QStringLiteral("it has no video stream"));
            return;
        }
        // Fitted into the box with the picture's own shape, on whole pairs of pixels. In the
        // planar format that eq takes: a full-range "yuvj" picture is made limited range first,
        // as the converter does it before its filter. showinfo names the frame's time, from the
        // point sought.
        const QString scale = QStringLiteral(
            "showinfo,scale=w='trunc(min(%1\\,%2*dar)/2)*2':h='trunc(min(%2\\,%1/dar)/2)*2',"
            "format=pix_fmts=yuv420p")
                                  .arg(m_box.width())
                                  .arg(m_box.height());
        // The key frame at or before the moment: decoding on from it to the exact time takes
        // most of a second for a 1080p clip, and the user wants to see the tint soon.
        QStringList arguments = { QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"),
            QStringLiteral("-skip_frame"), QStringLiteral("nokey") };
        m_length = facts.duration;
        if (m_length > 0 && m_at < 0)
            m_at = m_length / 3;
        m_at = m_length > 0 ? std::min(m_at, m_length) : 0;
        if (m_at > 0) {
            arguments << QStringLiteral("-noaccurate_seek") << QStringLiteral("-ss")
                      << QString::number(m_at, 'f', 3);
        }
        arguments << QStringLiteral("-i") << m_path << QStringLiteral("-map")
                  << QStringLiteral("0:V:0") << QStringLiteral("-frames:v") << QStringLiteral("1")
                  << QStringLiteral("-vf")
                  << scale
                  // A key frame before the seek point is kept, not dropped for its time.
                  << QStringLiteral("-fps_mode") << QStringLiteral("passthrough")
                  << QStringLiteral("-f") << QStringLiteral("rawvideo") << QStringLiteral("pipe:1");
        letProcessGo();
        run(arguments);
        return;
    }

    YuvFrame frame;
    frame.planes = picture;
    const int output = report.indexOf(QLatin1String("Output #0"));
    if (m_process->exitCode() != 0 || output < 0 || !readStreamLine(report.mid(output), &frame)
        || !frame.isValid()) {
        fail(why);
        return;
    }
    static const QRegularExpression shownAt(QStringLiteral(R"(\] n: *0 .* pts_time:(-?[0-9.]+))"));
    const QRegularExpressionMatch shown = shownAt.match(report);
    frame.at = std::max(m_at + (shown.hasMatch() ? shown.captured(1).toDouble() : 0), 0.0);
    frame.length = m_length;
    const QString path = m_path;
    m_timeout.stop();
    m_path.clear();
    letProcessGo();
    emit decoded(path, frame);
}

void FrameDecoder::letProcessGo()
{
    // Its signal is being delivered now: it goes once that is done.
    m_process->disconnect(this);
    m_process.release()->deleteLater();
}

void FrameDecoder::fail(const QString &why)
{
    const QString path = m_path;
    cancel();
    emit failed(path, why);
}
