#include "support/tracecapture.h"
#include "ui/droplabel.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// Runs the real ffmpeg quietly and tells whether it succeeded; its standard output goes to
// output where one is given.
bool ffmpeg(const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.start("ffmpeg", QStringList { "-v", "error" } + arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

} // namespace

// One conversion through the real converter, on a clip the test makes itself.
class TestConversion : public QObject
{
    Q_OBJECT

private slots:
    void greyComesOutWarmer();
};

void TestConversion::greyComesOutWarmer()
{
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
        QFAIL("ffmpeg is needed on PATH for this test");
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString input = folder.filePath("grey clip.mp4");
    QVERIFY(ffmpeg({ "-f", "lavfi", "-i", "color=c=0x808080:s=64x64:r=10:d=0.5", "-pix_fmt",
        "yuv420p", input }));

    DropLabel label(dropPromptText(), nullptr);
    {
        TraceCapture trace;
        label.convertFile(input, 2700);
    }

    // The converter runs detached: wait until its output is complete enough to decode.
    const QString output = folder.filePath("grey clip_output.mp4");
    QByteArray frame;
    const int frameSize = 64 * 64 * 3;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     return ffmpeg({ "-i", output, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt",
                                       "rgb24", "-" },
                                &frame)
                         && frame.size() == frameSize;
                 },
                 60000),
        "no decodable output appeared");

    double sum[3] = {};
    for (int i = 0; i < frameSize; ++i)
        sum[i % 3] += quint8(frame.at(i));
    const double red = sum[0] * 3 / frameSize, green = sum[1] * 3 / frameSize,
                 blue = sum[2] * 3 / frameSize;
    QVERIFY2(red > green + 10 && green > blue + 10,
        qPrintable(QString("mean red %1, green %2, blue %3").arg(red).arg(green).arg(blue)));
}

QTEST_MAIN(TestConversion)
#include "tst_conversion.moc"
