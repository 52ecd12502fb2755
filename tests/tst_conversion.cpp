#include "app/applicationservice.h"
#include "convert/conversion.h"
#include "convert/framedecoder.h"
#include "convert/gammatable.h"
#include "convert/tint.h"
#include "support/tracecapture.h"
#include "ui/droplabel.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

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

// The real converter on clips the test makes itself: a conversion, and the preview's picture
// against the converter's own.
class TestConversion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void greyComesOutWarmer();
    void previewAsTheConverterTints_data();
    void previewAsTheConverterTints();
    void noPicture_data();
    void noPicture();
    void pictureRules_data();
    void pictureRules();
    void openCall_data();
    void openCall();

private:
    // Decodes the preview's picture of the file at path; the picture, or why there is none.
    static YuvFrame decode(const QString &path, QSize box, QString *why);

    QTemporaryDir m_folder;
};

void TestConversion::initTestCase()
{
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
        QFAIL("ffmpeg is needed on PATH for this test");
    QVERIFY(m_folder.isValid());
}

YuvFrame TestConversion::decode(const QString &path, QSize box, QString *why)
{
    FrameDecoder decoder(nullptr);
    YuvFrame frame;
    bool ended = false;
    QObject::connect(&decoder, &FrameDecoder::decoded, [&](const QString &, const YuvFrame &got) {
        frame = got;
        ended = true;
    });
    QObject::connect(&decoder, &FrameDecoder::failed, [&](const QString &, const QString &reason) {
        *why = reason;
        ended = true;
    });
    decoder.decode(path, box);
    if (!QTest::qWaitFor([&ended] { return ended; }, 20000))
        *why = "no answer";
    return frame;
}

void TestConversion::greyComesOutWarmer()
{
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

void TestConversion::previewAsTheConverterTints_data()
{
    QTest::addColumn<int>("kelvin");
    QTest::addColumn<QString>("matrix"); // that the clip is tagged with; empty for none
    QTest::addColumn<QStringList>("format"); // the clip's pixel format, and its range

    const QStringList limited = { "-pix_fmt", "yuv420p" };
    QTest::newRow("300 K: gammas clipped to 0.1") << 300 << QString() << limited;
    QTest::newRow("2700 K") << 2700 << QString() << limited;
    QTest::newRow("6500 K: the filter leaves the colours") << 6500 << QString() << limited;
    QTest::newRow("2700 K, a BT.709 clip") << 2700 << "bt709" << limited;
    // Phones, webcams and screen recorders write full range.
    QTest::newRow("2700 K, full range (yuvj420p)")
        << 2700 << QString() << QStringList { "-pix_fmt", "yuvj420p", "-color_range", "pc" };
    QTest::newRow("1500 K, full range, BT.709 (yuvj420p)")
        << 1500 << "bt709" << QStringList { "-pix_fmt", "yuvj420p", "-color_range", "pc" };
    QTest::newRow("1500 K, full range (yuv420p tagged pc)")
        << 1500 << QString() << QStringList { "-pix_fmt", "yuv420p", "-color_range", "pc" };
    QTest::newRow("2700 K, full range, 4:2:2 (yuvj422p)")
        << 2700 << QString() << QStringList { "-pix_fmt", "yuvj422p", "-color_range", "pc" };
    QTest::newRow("2700 K, 10 bits, full range")
        << 2700 << QString() << QStringList { "-pix_fmt", "yuv420p10le", "-color_range", "pc" };
}

void TestConversion::previewAsTheConverterTints()
{
    QFETCH(int, kelvin);
    QFETCH(QString, matrix);
    QFETCH(QStringList, format);

    // Flat patches, 640 by 360: grey steps, skin tones and saturated colours.
    const QString clip
        = m_folder.filePath(QString("patches %1 %2.mp4").arg(matrix, format.join(' ')));
    const QList<QList<QColor>> rows = {
        { QColor(0, 0, 0), QColor(40, 40, 40), QColor(96, 96, 96), QColor(160, 160, 160),
            QColor(224, 224, 224), QColor(255, 255, 255) },
        { QColor(255, 224, 196), QColor(224, 172, 105), QColor(198, 134, 66), QColor(141, 85, 36) },
        { Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta },
    };
    if (!QFile::exists(clip)) {
        QImage patches(640, 360, QImage::Format_RGB32);
        QPainter painter(&patches);
        for (int row = 0; row < rows.size(); ++row) {
            const int width = 640 / rows[row].size();
            for (int i = 0; i < rows[row].size(); ++i)
                painter.fillRect(i * width, row * 120, width, 120, rows[row][i]);
        }
        painter.end();
        const QString image = m_folder.filePath("patches.png");
        QVERIFY(patches.save(image));
        QStringList tags;
        if (!matrix.isEmpty())
            tags = QStringList { "-colorspace", matrix, "-color_primaries", matrix };
        QVERIFY(ffmpeg(QStringList { "-loop", "1", "-i", image, "-t", "3", "-r", "10" } + format
            + QStringList { "-c:v", "libx264", "-qp", "0" } + tags + QStringList { clip }));
    }

    // The preview's picture at half the size, against the same frame through the converter's
    // own filter, turned into RGB as it does.
    QString why;
    const YuvFrame frame = decode(clip, QSize(320, 240), &why);
    QVERIFY2(frame.isValid(), qPrintable(why));
    QCOMPARE(QSize(frame.width, frame.height), QSize(320, 180));
    const int index = gammaTableIndex(kelvin);
    const QImage preview = tintedImage(frame, index);
    QByteArray reference;
    QVERIFY(
        ffmpeg({ "-ss", "1", "-i", clip, "-frames:v", "1", "-vf",
                   rowFilter(index) + ",scale=320:180:flags=bicubic+full_chroma_int,format=rgb24",
                   "-f", "rawvideo", "-" },
            &reference));
    QCOMPARE(reference.size(), 320 * 180 * 3);

    const auto referenceAt = [&reference](int x, int y) {
        const char *pixel = reference.constData() + (y * 320 + x) * 3;
        return qRgb(quint8(pixel[0]), quint8(pixel[1]), quint8(pixel[2]));
    };
    double difference[3] = {};
    int worstFlat = 0;
    for (int y = 0; y < 180; ++y) {
        for (int x = 0; x < 320; ++x) {
            const QRgb mine = preview.pixel(x, y);
            const QRgb theirs = referenceAt(x, y);
            const int channels[3][2] = { { qRed(mine), qRed(theirs) },
                { qGreen(mine), qGreen(theirs) }, { qBlue(mine), qBlue(theirs) } };
            // Flat: four pixels or more inside a patch.
            const int patchWidth = 320 / int(rows[y / 60].size());
            const bool flat = y % 60 >= 4 && y % 60 < 56 && x % patchWidth >= 4
                && x % patchWidth < patchWidth - 4;
            for (int c = 0; c < 3; ++c) {
                difference[c] += channels[c][0] - channels[c][1];
                if (flat)
                    worstFlat = std::max(worstFlat, std::abs(channels[c][0] - channels[c][1]));
            }
        }
    }
    const QString measured = QString("mean differences %1, %2, %3; flat at most %4")
                                 .arg(difference[0] / (320 * 180), 0, 'f', 2)
                                 .arg(difference[1] / (320 * 180), 0, 'f', 2)
                                 .arg(difference[2] / (320 * 180), 0, 'f', 2)
                                 .arg(worstFlat);
    qInfo().noquote() << measured;
    for (const double sum : difference)
        QVERIFY2(std::abs(sum / (320 * 180)) <= 2, qPrintable(measured));
    QVERIFY2(worstFlat <= 6, qPrintable(measured));
}

void TestConversion::noPicture_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("why");

    QTest::newRow("not a video") << "bad.mp4"
                                 << "Invalid data found when processing input";
    QTest::newRow("no video stream") << "song.wav"
                                     << "it has no video stream";
    QTest::newRow("audio with cover art: no video all the same") << "covered.m4a"
                                                                 << "it has no video stream";
    QTest::newRow("a pipe that never gives: given up after 10 s")
        << "fifo.mp4"
        << "it took longer than 10 seconds";
    QTest::newRow("gone") << "gone.mp4"
                          << "No such file or directory";
    QTest::newRow("no ffmpeg") << "bad.mp4"
                               << "ffmpeg could not be started: no ffmpeg on PATH";
}

void TestConversion::noPicture()
{
    QFETCH(QString, file);
    QFETCH(QString, why);

    const QString path = m_folder.filePath(file);
    if (file == "bad.mp4" && !QFile::exists(path)) {
        QFile text(path);
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a video\n") > 0);
    }
    if (file == "song.wav" && !QFile::exists(path))
        QVERIFY(ffmpeg({ "-f", "lavfi", "-i", "sine=d=1", path }));
    if (file == "fifo.mp4" && !QFile::exists(path))
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (file == "covered.m4a" && !QFile::exists(path)) {
        QVERIFY(ffmpeg({ "-f", "lavfi", "-i", "sine=d=1", "-f", "lavfi", "-i",
            "color=red:size=64x64:d=1", "-frames:v", "1", "-map", "0", "-map", "1", "-c:v", "png",
            "-disposition:v", "attached_pic", path }));
    }
    const QByteArray path_ = qgetenv("PATH");
    const auto restore = qScopeGuard([&path_] { qputenv("PATH", path_); });
    if (why.startsWith("ffmpeg could not be started"))
        qputenv("PATH", "/nonexistent");

    QString said;
    QVERIFY(!decode(path, QSize(320, 240), &said).isValid());
    QCOMPARE(said, why);
}

void TestConversion::pictureRules_data()
{
    QTest::addColumn<QString>("stream"); // the frame decoder's picture, as ffmpeg reports it
    QTest::addColumn<int>("y"); // flat levels
    QTest::addColumn<int>("cb");
    QTest::addColumn<int>("cr");
    QTest::addColumn<int>("kelvin");
    QTest::addColumn<QRgb>("rgb");

    const QString limited = "Video: rawvideo (I420 / 0x30323449), yuv420p(tv, progressive), 2x2";
    QTest::newRow("level 20 of 16 to 235 is 4.66: rounded to 5")
        << limited << 20 << 128 << 128 << 6500 << qRgb(5, 5, 5);
    QTest::newRow("full range: the levels as they are")
        << "Video: rawvideo (I420 / 0x30323449), yuv420p(pc, bt709, progressive), 2x2" << 20 << 128
        << 128 << 6500 << qRgb(20, 20, 20);
    QTest::newRow("BT.709: red from Cr as its matrix says")
        << "Video: rawvideo (I420 / 0x30323449), yuv420p(tv, bt709/bt709/bt709, progressive), 2x2"
        << 63 << 102 << 240 << 6500 << qRgb(255, 1, 0);
    QTest::newRow("the sample picture's first skin tone")
        << QString() << 0 << 0 << 0 << 6500 << qRgb(255, 224, 196);
}

void TestConversion::pictureRules()
{
    QFETCH(QString, stream);
    QFETCH(int, y);
    QFETCH(int, cb);
    QFETCH(int, cr);
    QFETCH(int, kelvin);
    QFETCH(QRgb, rgb);

    YuvFrame frame;
    QImage image;
    if (stream.isEmpty()) {
        // Skin tones fill the middle third, the first one its first sixth.
        frame = samplePicture(240, 120);
        image = tintedImage(frame, gammaTableIndex(kelvin)).copy(10, 50, 20, 20);
    } else {
        QVERIFY(readStreamLine(stream, &frame));
        frame.planes = QByteArray(4, char(y)) + char(cb) + char(cr);
        image = tintedImage(frame, gammaTableIndex(kelvin));
    }
    const QRgb shown = image.pixel(image.width() / 2, image.height() / 2);
    const int near = stream.isEmpty() ? 1 : 0; // the sample's levels are themselves rounded
    QVERIFY2(std::abs(qRed(shown) - qRed(rgb)) <= near
            && std::abs(qGreen(shown) - qGreen(rgb)) <= near
            && std::abs(qBlue(shown) - qBlue(rgb)) <= near,
        qPrintable(QColor(shown).name() + " for " + QColor(rgb).name()));
}

void TestConversion::openCall_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<QVariant>("temperature"); // in the platform data; invalid for none
    QTest::addColumn<bool>("taken");

    QTest::newRow("10 000 files: a whole hand-over") << 10000 << QVariant() << true;
    QTest::newRow("10 001 files: too many") << 10001 << QVariant() << false;
    QTest::newRow("the coolest row") << 1 << QVariant(25100) << true;
    QTest::newRow("past the coolest row") << 1 << QVariant(25101) << false;
}

void TestConversion::openCall()
{
    QFETCH(int, files);
    QFETCH(QVariant, temperature);
    QFETCH(bool, taken);

    QStringList uris;
    for (int i = 0; i < files; ++i)
        uris << QUrl::fromLocalFile(m_folder.filePath("a.mp4")).toString();
    QVariantMap platformData;
    if (temperature.isValid())
        platformData.insert(handedTemperatureKey(), temperature);
    QStringList read;
    std::optional<int> kelvin;
    QString why;
    QCOMPARE(readOpenCall(uris, platformData, &read, &kelvin, &why), taken);
    if (taken) {
        QCOMPARE(read.size(), files);
        QCOMPARE(kelvin.has_value(), temperature.isValid());
    }
}

QTEST_MAIN(TestConversion)
#include "tst_conversion.moc"
