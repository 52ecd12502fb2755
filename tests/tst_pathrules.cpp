#include "app/singleinstance.h"
#include "app/startoptions.h"
#include "convert/gammatable.h"
#include "convert/conversion.h"
#include "convert/outputrules.h"
#include "ui/droplabel.h"

#include <QtTest>

// The rules that turn a dropped URL, or a command line, into the converter's arguments, free of
// any window or process; built for Windows too, where the same rows hold with that system's
// paths.
class TestPathRules : public QObject
{
    Q_OBJECT

private slots:
    void outputPath_data();
    void outputPath();
    void droppedPath_data();
    void droppedPath();
    void converterArguments_data();
    void converterArguments();
    void handedOverFiles_data();
    void handedOverFiles();
    void startOptions_data();
    void startOptions();
};

void TestPathRules::outputPath_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");

    QTest::newRow("plain") << "C:/Videos/clip.mp4"
                           << "C:/Videos/clip_output.mp4";
    QTest::newRow("every dot of the file name") << "C:/my.videos/take.2.mov"
                                                << "C:/my.videos/take_output.2_output.mov";
    QTest::newRow("dot in the user folder") << "C:/Users/first.last/clip.mp4"
                                            << "C:/Users/first.last/clip_output.mp4";
    QTest::newRow("hidden folder") << "/home/user/.cache/a.mkv"
                                   << "/home/user/.cache/a_output.mkv";
    QTest::newRow("network share") << "//host/share/v.avi"
                                   << "//host/share/v_output.avi";
    QTest::newRow("hidden file") << "/home/user/.clip"
                                 << "/home/user/_output.clip";
    QTest::newRow("no dot") << "/home/user/clip"
                            << "";
    QTest::newRow("dot in a folder only") << "/home/my.videos/clip"
                                          << "";
    QTest::newRow("folder") << "/home/dir.d/"
                            << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestPathRules::outputPath()
{
    QFETCH(QString, input);
    QFETCH(QString, output);

    QCOMPARE(convertedOutputPath(input), output);
}

void TestPathRules::droppedPath_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("path"); // empty: not converted

#ifdef Q_OS_WIN
    const bool windows = true;
#else
    const bool windows = false;
#endif
    const auto onThisSystem
        = [windows](const QString &unix, const QString &win) { return windows ? win : unix; };

    QTest::newRow("local file") << QUrl::fromLocalFile("/tmp/a b.mp4")
                                << onThisSystem("/tmp/a b.mp4", "");
    QTest::newRow("drive") << QUrl("file:///C:/Videos/clip.mp4")
                           << onThisSystem("/C:/Videos/clip.mp4", "C:/Videos/clip.mp4");
    QTest::newRow("another host") << QUrl("file://host/share/v.mp4")
                                  << onThisSystem("", "//host/share/v.mp4");
    QTest::newRow("localhost") << QUrl("file://localhost/tmp/v.mp4")
                               << onThisSystem("/tmp/v.mp4", "//localhost/tmp/v.mp4");
    QTest::newRow("device namespace")
        << QUrl("file:////./pipe/v.mp4") << onThisSystem("//./pipe/v.mp4", "");
    QTest::newRow("web address behind file:") << QUrl("file:http://127.0.0.1:8765/clip.mp4") << "";
    QTest::newRow("converter protocol") << QUrl("file:concat:/tmp/a.mp4|/tmp/b.mp4") << "";
    QTest::newRow("relative name") << QUrl("file:relative.mp4") << "";
    QTest::newRow("drive-relative name") << QUrl("file:C:relative.mp4") << "";
    QTest::newRow("converter option") << QUrl("file:-y.mp4") << "";
    QTest::newRow("embedded NUL") << QUrl("file:///C:/x%00.mp4") << "";
    QTest::newRow("web URL") << QUrl("https://example.org/v.mp4") << "";
}

void TestPathRules::droppedPath()
{
    QFETCH(QUrl, url);
    QFETCH(QString, path);

    QCOMPARE(droppedFilePath(url), path);
}

void TestPathRules::converterArguments_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("kelvin");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("2700 K") << "C:/Videos/clip.mp4" << 2700
                            << QStringList { "-y", "-i", "C:/Videos/clip.mp4", "-b:v", "10M", "-vf",
                                   "eq=gamma_r=1:gamma_g=0.676458:gamma_b=0.347868",
                                   "C:/Videos/clip_output.mp4" };
    QTest::newRow("100 K, share") << "//host/my share/take.2.mov" << 100
                                  << QStringList { "-y", "-i", "//host/my share/take.2.mov", "-b:v",
                                         "10M", "-vf", "eq=gamma_r=1:gamma_g=0.0181727:gamma_b=0",
                                         "//host/my share/take_output.2_output.mov" };
}

void TestPathRules::converterArguments()
{
    QFETCH(QString, input);
    QFETCH(int, kelvin);
    QFETCH(QStringList, arguments);

    const int index = gammaTableIndex(kelvin);
    const QString filter = gammaFilter(temperatureGammaTable[index],
        temperatureGammaTable[index + 1], temperatureGammaTable[index + 2]);
    QCOMPARE(::converterArguments(input, filter, convertedOutputPath(input)), arguments);
}

void TestPathRules::handedOverFiles_data()
{
    QTest::addColumn<QByteArray>("message"); // what a later start sent
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("temperature"); // -1: none

    const QStringList two = { "/v/a clip.mp4", "/v/\u0432\u0438\u0434\u0435\u043e.mkv" };
    const QByteArray list = encodeFileList(two);
    QTest::newRow("two files") << list << true << two << -1;
    QTest::newRow("no files: the window is only shown")
        << encodeFileList({}) << true << QStringList() << -1;
    QTest::newRow("with a temperature") << encodeFileList(two, 3200) << true << two << 3200;
    QTest::newRow("cut short: not taken") << list.chopped(1) << false << QStringList() << -1;
    QTest::newRow("another header: not taken")
        << QByteArray("files\n/v/a.mp4\n\n") << false << QStringList() << -1;
    QTest::newRow("a relative name: not taken")
        << encodeFileList({ "/v/a.mp4", "b.mp4" }) << false << QStringList() << -1;
    QTest::newRow("an empty line among the names: not taken")
        << encodeFileList({ "/v/a.mp4", "", "/v/b.mp4" }) << false << QStringList() << -1;
    QTest::newRow("a temperature out of the table: not taken")
        << encodeFileList(two, 25200) << false << QStringList() << -1;
    QTest::newRow("more names than are taken at once")
        << encodeFileList(QVector<QString>(mostFiles + 1, "/v/a.mp4").toList()) << false
        << QStringList() << -1;
}

void TestPathRules::handedOverFiles()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, taken);
    QFETCH(QStringList, files);
    QFETCH(int, temperature);

    QStringList decoded = { "unchanged" };
    std::optional<int> kelvin;
    QCOMPARE(decodeFileList(message, &decoded, &kelvin), taken);
    QCOMPARE(decoded, taken ? files : QStringList { "unchanged" });
    QCOMPARE(kelvin.value_or(-1), temperature);
}

void TestPathRules::startOptions_data()
{
    QTest::addColumn<QStringList>("arguments"); // after the program's own path
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("read"); // what was read, or the error

    const int run = StartOptions::Run;
    const int error = StartOptions::UsageError;
    QTest::newRow("files") << QStringList { "a.mp4", "b c.mkv" } << run << "names=a.mp4|b c.mkv";
    QTest::newRow("-h") << QStringList { "-h", "a.mp4" } << int(StartOptions::ShowHelp) << "";
    QTest::newRow("--version") << QStringList { "--version" } << int(StartOptions::ShowVersion)
                               << "";
    QTest::newRow("a temperature for this start")
        << QStringList { "-t", "3200", "a.mp4" } << run << "temperature=3200 names=a.mp4";
    QTest::newRow("the coolest row's temperature")
        << QStringList { "--temperature=25100" } << run << "temperature=25100 names=";
    QTest::newRow("a windowless run of a NUL-separated list from standard input")
        << QStringList { "--no-window", "--null", "--files-from", "-", "a.mp4" } << run
        << "no-window files-from=- null names=a.mp4";
    QTest::newRow("one word: -t3200 and -Tlist, every list kept")
        << QStringList { "-t3200", "-Tl1.txt", "-T", "l2.txt", "--", "-t5" } << run
        << "temperature=3200 files-from=l1.txt|l2.txt names=-t5";
    QTest::newRow("Qt's own options are passed over") << QStringList { "-platform", "offscreen",
        "a.mp4", "-style=fusion", "-reverse" } << run << "names=a.mp4";
    QTest::newRow("-- ends the options")
        << QStringList { "--", "-x.mp4", "--help" } << run << "names=-x.mp4|--help";
    QTest::newRow("an unknown option") << QStringList { "--frobnicate", "a.mp4" } << error
                                       << "zorv-video-converter: Unknown option '--frobnicate'. "
                                          "See 'zorv-video-converter --help'.";
    QTest::newRow("no value") << QStringList { "a.mp4", "-t" } << error
                              << "zorv-video-converter: Missing value after '-t'. See "
                                 "'zorv-video-converter --help'.";
    const QString kelvin
        = "zorv-video-converter: --temperature takes whole kelvin from 0 to 25100, not '%1'";
    QTest::newRow("a fraction of a kelvin")
        << QStringList { "-t3.5" } << error << kelvin.arg("3.5");
    QTest::newRow("text") << QStringList { "-t", "warm" } << error << kelvin.arg("warm");
    QTest::newRow("below the table") << QStringList { "-t", "-100" } << error << kelvin.arg("-100");
    QTest::newRow("above the table")
        << QStringList { "-t", "25101" } << error << kelvin.arg("25101");
    QTest::newRow("--null without a list") << QStringList { "--null", "a.mp4" } << error
                                           << "zorv-video-converter: --null goes with --files-from";
    QTest::newRow("no window, no files") << QStringList { "--no-window" } << error
                                         << "zorv-video-converter: --no-window needs files to "
                                            "convert";
}

void TestPathRules::startOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QString, read);

    const StartOptions options
        = parseStartOptions(QStringList { "/bin/zorv-video-converter" } + arguments);
    QCOMPARE(int(options.action), action);
    if (action == StartOptions::UsageError) {
        QCOMPARE(options.error, read);
    } else if (action == StartOptions::Run) {
        QStringList seen;
        if (options.temperature)
            seen << QString("temperature=%1").arg(*options.temperature);
        if (options.noWindow)
            seen << "no-window";
        if (!options.filesFrom.isEmpty())
            seen << "files-from=" + options.filesFrom.join('|');
        if (options.nullSeparated)
            seen << "null";
        seen << "names=" + options.names.join('|');
        QCOMPARE(seen.join(' '), read);
    }
}

QTEST_GUILESS_MAIN(TestPathRules)
#include "tst_pathrules.moc"
