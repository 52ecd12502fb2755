#include "convert/converterlog.h"
#include "convert/queuefile.h"
#include "support/tracecapture.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

// Reading a converter's log as it grows: what ffmpeg said, taken from recordings of this
// machine's ffmpeg, and the files the logs live in.
class TestConverterLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void recordedRuns_data();
    void recordedRuns();
    void longLogReadFromItsEnd();
    void names_data();
    void names();
    void folderPrivateAndKeptSmall();
    void unusableFolder_data();
    void unusableFolder();
    void queueFileText_data();
    void queueFileText();
    void filesLeftWaiting();

private:
    QString m_folder;
};

void TestConverterLog::initTestCase()
{
    // The folder must be the test's own: it is emptied before each test.
    m_folder = conversionLogFolder();
    QVERIFY2(m_folder.startsWith(qEnvironmentVariable("XDG_STATE_HOME") + '/')
            && qEnvironmentVariable("XDG_STATE_HOME").contains("/tests/"),
        "run the test through ctest, which sets XDG_STATE_HOME");
}

void TestConverterLog::init()
{
    QDir state(qEnvironmentVariable("XDG_STATE_HOME"));
    QVERIFY(state.removeRecursively() && state.mkpath("."));
}

void TestConverterLog::recordedRuns_data()
{
    QTest::addColumn<QString>("recording");
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("speed");
    QTest::addColumn<QString>("lastMessage"); // null: not looked at
    QTest::addColumn<QString>("notWhole"); // why it is no whole re-tinted file, had it exited 0

    QTest::newRow("converted: 0.12 s short is whole")
        << "ffmpeg-converted.log" << 20.0 << 19.88 << 7.54 << QString() << "";
    QTest::newRow("two inputs: the first input's duration")
        << "ffmpeg-two-inputs.log" << 4.0 << 3.88 << 36.0 << QString() << "";
    QTest::newRow("no duration: a raw stream")
        << "ffmpeg-no-duration.log" << -1.0 << 19.88 << 7.47 << QString() << "";
    QTest::newRow("invalid input: the reason is the last line")
        << "ffmpeg-invalid-input.log" << -1.0 << -1.0 << -1.0
        << "/tmp/fft/bad.mp4: Invalid data found when processing input"
        << "";
    QTest::newRow("disk full: the reason comes before the encoder's figures")
        << "ffmpeg-disk-full.log" << 20.0 << 6.8 << 7.89
        << "Error closing file /dev/full: No space left on device"
        << "only 0:07 of 0:20 converted";
    QTest::newRow("a cut input, exit 0: short") << "ffmpeg-cut-short.log" << 10.0 << 3.8 << 12.8
                                                << QString() << "only 0:04 of 0:10 converted";
    QTest::newRow("audio alone, exit 0: nothing re-tinted")
        << "ffmpeg-audio-only.log" << 3.0 << 3.01 << 85.4 << QString()
        << "no video stream: nothing to re-tint";
}

void TestConverterLog::recordedRuns()
{
    QFETCH(QString, recording);
    QFETCH(double, duration);
    QFETCH(double, position);
    QFETCH(double, speed);
    QFETCH(QString, lastMessage);
    QFETCH(QString, notWhole);

    QFile recorded(QStringLiteral(ZORV_TEST_DATA "/") + recording);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    const QByteArray text = recorded.readAll();

    // Written as the converter writes, 7 bytes at a time, and read after each write: lines cut
    // in two by a read, the statistics lines' "\r" too, are read as if whole.
    QString why;
    ConverterLog log("/v/clip.mp4", &why);
    QVERIFY2(log.isValid(), qPrintable(why));
    QFile growing(log.path());
    QVERIFY(growing.open(QIODevice::Append));
    for (int at = 0; at < text.size(); at += 7) {
        growing.write(text.mid(at, 7));
        growing.flush();
        log.update();
    }
    QCOMPARE(log.facts().duration, duration);
    QCOMPARE(log.facts().position, position);
    QCOMPARE(log.facts().speed, speed);
    if (!lastMessage.isNull())
        QCOMPARE(log.facts().lastMessage, lastMessage);
    QCOMPARE(whyNotWhole(log.facts()), notWhole);
}

void TestConverterLog::longLogReadFromItsEnd()
{
    // An hour's statistics: each read takes only what was added since the one before.
    QString why;
    ConverterLog log("/v/hour.mp4", &why);
    QVERIFY2(log.isValid(), qPrintable(why));
    QFile growing(log.path());
    QVERIFY(growing.open(QIODevice::Append));
    growing.write("  Duration: 01:00:00.00, start: 0.000000, bitrate: 731 kb/s\n");
    for (int i = 0; i < 7000; ++i) {
        growing.write(QStringLiteral("frame=%1 fps= 25 q=28.0 size=  256kB time=00:%2:%3.00 "
                                     "bitrate= 540.1kbits/s speed=1.01x    \r")
                          .arg(i * 12)
                          .arg(i / 120, 2, 10, QLatin1Char('0'))
                          .arg(i / 2 % 60, 2, 10, QLatin1Char('0'))
                          .toUtf8());
    }
    growing.flush();
    QCOMPARE(log.update(), growing.size());
    const QByteArray last = "frame=43200 fps= 25 q=28.0 size=  256kB time=00:59:59.50 "
                            "bitrate= 540.1kbits/s speed=2.5x    \r";
    growing.write(last);
    growing.flush();
    QCOMPARE(log.update(), qint64(last.size()));
    QCOMPARE(log.facts().position, 3599.5);
    QCOMPARE(log.facts().speed, 2.5);
    QCOMPARE(log.facts().share(), 3599.5 / 3600);
}

void TestConverterLog::names_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("name");

    const QString end = "-20261208-101503-2.log";
    QTest::newRow("plain") << "/v/clip.mp4"
                           << "clip.mp4" + end;
    QTest::newRow("what some file system refuses") << "/v/a<b>:c|d?*\"e\\f\x01.mp4"
                                                   << "a_b__c_d___e_f_.mp4" + end;
    QTest::newRow("a name that would be a folder: inside it all the same") << "/v/.."
                                                                           << ".." + end;
    QTest::newRow("a % in the name, kept") << "/v/z%1y%2.mp4"
                                           << "z%1y%2.mp4" + end;
    QTest::newRow("no name") << "/v/"
                             << "input" + end;
    QTest::newRow("too long: cut, never inside a character")
        << "/v/" + QString(200, QChar(0x00e9)) << QString(75, QChar(0x00e9)) + end;
}

void TestConverterLog::names()
{
    QFETCH(QString, input);
    QFETCH(QString, name);

    QCOMPARE(conversionLogName(input, "20261208-101503", 2), name);
    QVERIFY(isConversionLogName(name));
}

void TestConverterLog::folderPrivateAndKeptSmall()
{
    // Beside the logs: a file of the user's, and a link named like a log to a file elsewhere.
    QVERIFY(QDir().mkpath(m_folder));
    QTemporaryDir elsewhere;
    QFile target(elsewhere.filePath("precious.mp4"));
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.close();
    QFile notes(m_folder + "/notes.txt");
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
    QVERIFY(QFile::link(target.fileName(), m_folder + "/old.mp4-20200101-000000-1.log"));
    QVERIFY(chmod(QFile::encodeName(m_folder).constData(), 0755) == 0);

    QString why;
    QString newest;
    for (int i = 0; i < ConverterLog::maxLogs + 5; ++i) {
        ConverterLog log(QString("/v/%1.mp4").arg(i), &why);
        QVERIFY2(log.isValid(), qPrintable(why));
        newest = log.path();
        QCOMPARE(QFileInfo(newest).permissions() & 0x0fff, QFile::ReadUser | QFile::WriteUser);
    }
    const QStringList logs = QDir(m_folder).entryList({ "*.mp4-*.log" }, QDir::Files);
    QCOMPARE(logs.size(), ConverterLog::maxLogs + 1); // the link is left alone
    QVERIFY(QFileInfo::exists(newest));
    QVERIFY(notes.exists() && target.exists());
    struct stat status = {};
    QVERIFY(stat(QFile::encodeName(m_folder).constData(), &status) == 0);
    QCOMPARE(status.st_mode & 0777, 0700u);
}

void TestConverterLog::unusableFolder_data()
{
    QTest::addColumn<bool>("link"); // else a file

    QTest::newRow("a file where the folder should be") << false;
    QTest::newRow("a link to a folder elsewhere") << true;
}

void TestConverterLog::unusableFolder()
{
    QFETCH(bool, link);

    QTemporaryDir elsewhere;
    QVERIFY(QDir().mkpath(QFileInfo(m_folder).path()));
    if (link) {
        QVERIFY(QFile::link(elsewhere.path(), m_folder));
    } else {
        QFile file(m_folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QString why;
    ConverterLog log("/v/clip.mp4", &why);
    QVERIFY(!log.isValid());
    QVERIFY2(why.contains(m_folder), qPrintable(why));
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files), QStringList());
}

void TestConverterLog::queueFileText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("read");

    const QList<KeptFile> two = { { "/v/a clip.mp4", 2700 }, { "/v/\u0432\u0438\u0434.mkv", -5 } };
    const QByteArray text = encodeQueueFile(two);
    QTest::newRow("two files") << text << true;
    QTest::newRow("none") << encodeQueueFile({}) << true;
    QTest::newRow("cut short") << text.chopped(3) << false;
    QTest::newRow("not text") << QByteArray("\x7f\x45\x4c\x46\x02\x01", 6) << false;
    QTest::newRow("a relative name") << encodeQueueFile({ { "v/a.mp4", 2700 } }) << false;
    QTest::newRow("no temperature") << QByteArray(text).replace("2700\t", "warm\t") << false;
}

void TestConverterLog::queueFileText()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, read);

    QList<KeptFile> files = { { "unchanged", 0 } };
    QCOMPARE(decodeQueueFile(text, &files), read);
    if (read)
        QCOMPARE(encodeQueueFile(files), text);
    else
        QCOMPARE(files.size(), 1);
}

void TestConverterLog::filesLeftWaiting()
{
    // One left by a program that ended, one that makes no sense, one of a program that runs.
    const QString folder = programStateFolder();
    QVERIFY(QDir().mkpath(folder));
    const auto put = [&folder](const QString &name, const QByteArray &text) {
        QFile file(folder + '/' + name);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    const QList<KeptFile> left = { { "/v/a.mp4", 3100 }, { "/v/b.mp4", 2700 } };
    QVERIFY(put("queue-2000000001.txt", encodeQueueFile(left)));
    QVERIFY(put("queue-2000000002.txt", "nonsense"));
    QVERIFY(put("queue-2000000003.txt", encodeQueueFile({ { "/v/running.mp4", 2700 } })));
    QLockFile running(folder + "/queue-2000000003.lock");
    QVERIFY(running.tryLock(0));

    TraceCapture errors(std::cerr);
    {
        FilesLeftWaiting waiting;
        QCOMPARE(waiting.files(), left);
        // Locked while offered: a program starting meanwhile does not take them too.
        QVERIFY(FilesLeftWaiting().files().isEmpty());
        waiting.forget();
    }
    QCOMPARE(errors.lines(),
        QStringList { "A queue file that cannot be read was set aside: " + folder
            + "/queue-2000000002.txt.unreadable" });
    QCOMPARE(QDir(folder).entryList({ "queue-*" }, QDir::Files),
        QStringList({ "queue-2000000002.txt.unreadable", "queue-2000000003.lock",
            "queue-2000000003.txt" }));
}

QTEST_GUILESS_MAIN(TestConverterLog)
#include "tst_converterlog.moc"
