#include "convert/gammatable.h"
#include "convert/conversion.h"
#include "convert/outputrules.h"
#include "support/standinconverter.h"
#include "support/xserver.h"
#include "ui/mainwindow.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

// The cross-built Windows program and pure tests, run under Wine on a private Xvfb with a
// private Wine prefix: what only a real Windows binary can show.
class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void binaryResources();
    void keyStoredInRegistry();
    void dragFromLinux();
    void batchTakesTurns();
    void failedConversionShown();
    void fileOnTheCommandLine();
    void fromACommandPrompt();
    void twoProgramsOneOutput();
    void previewWithTheRealConverter();
    void killedWithFilesWaiting();
    void installer();
    void converterNotTakenFromCurrentFolder();
    void pureTests_data();
    void pureTests();

private:
    // Runs a Windows program to its end; its standard output, or a null string where it failed.
    QString runWine(const QStringList &arguments, int timeoutMs = 120000) const;
    // Runs a Windows program that hands its work on to others (an installer, an uninstaller)
    // and waits for every process of the prefix to end; tells whether all went well.
    bool runWineToTheEnd(const QStringList &arguments) const;
    // Starts the program (the built one where none is named) with the given working folder and
    // waits for its window.
    QString startProgram(
        QProcess &app, const QString &workingFolder, const QString &program = {}) const;
    // The stored color-temperature as the registry holds it, or an empty string.
    QString registryValue() const;
    // Drags files from the tests' Linux drag source onto the window.
    bool dragFiles(const QString &window, const QStringList &files) const;
    // The argument vectors the stand-in converter recorded, sorted.
    QList<QStringList> runs() const;
    // Forgets what the stand-in converter recorded.
    bool clearRecords() const;
    void closeAndExpectSuccess(QProcess &app, const QString &window) const;

    XServer m_x;
    QTemporaryDir m_work;
    QString m_program;
};

namespace {

const QString build = QStringLiteral(ZORV_WINDOWS_BUILD);

// The Windows name of a folder on this machine, through Wine's Z: drive.
QString windowsPath(const QString &path)
{
    return "Z:" + QDir::toNativeSeparators(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

// Runs a Linux program; its standard output, or a null string where it failed.
QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromLatin1(process.readAllStandardOutput()) + QLatin1Char('\n');
}

} // namespace

void TestWindows::initTestCase()
{
    m_program = build + "/zorv-video-converter.exe";
    QVERIFY2(QFileInfo::exists(m_program),
        qPrintable(m_program + " is missing: run scripts/build-windows --tests first"));
    QVERIFY2(m_x.isRunning(), "Xvfb is needed for this test");
    QVERIFY(m_work.isValid());
    QVERIFY(QDir(m_work.path()).mkpath("home") && QDir(m_work.path()).mkpath("records")
        && QDir(m_work.path()).mkpath("bin") && QDir(m_work.path()).mkpath("start"));
    QVERIFY(QFile::copy(build + "/tests/ffmpeg.exe", m_work.filePath("bin/ffmpeg.exe")));

    // Everything Wine keeps stays in the test's own folder; nothing asks for add-ons or
    // writes menu entries. Programs started from here inherit this.
    qputenv("WINEPREFIX", QFile::encodeName(m_work.filePath("prefix")));
    qputenv("HOME", QFile::encodeName(m_work.filePath("home")));
    qputenv("WINEDLLOVERRIDES", "winemenubuilder.exe=d;mscoree=d;mshtml=d");
    qputenv("WINEDEBUG", "-all");
    qputenv("WINEPATH", windowsPath(m_work.filePath("bin")).toLocal8Bit());
    qputenv("ZORV_STANDIN_RECORDS", windowsPath(m_work.filePath("records")).toLocal8Bit());
    qputenv("DISPLAY", m_x.environment().value("DISPLAY").toLocal8Bit());
    QVERIFY2(!runWine({ "wineboot", "--init" }, 180000).isNull(), "wineboot failed");
}

void TestWindows::cleanupTestCase()
{
    QProcess::execute("wineserver", { "-k" });
}

QString TestWindows::runWine(const QStringList &arguments, int timeoutMs) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start("wine", arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()) + QLatin1Char('\n');
}

bool TestWindows::runWineToTheEnd(const QStringList &arguments) const
{
    return !runWine(arguments).isNull() && QProcess::execute("wineserver", { "-w" }) == 0;
}

QString TestWindows::startProgram(
    QProcess &app, const QString &workingFolder, const QString &program) const
{
    app.setWorkingDirectory(workingFolder);
    return m_x.startClient(app, "wine", { program.isEmpty() ? m_program : program },
        m_work.filePath("home"), "Zorv Video Converter");
}

QString TestWindows::registryValue() const
{
    const QString output = runWine({ "reg", "query", "HKCU\\Software\\ZorvTech\\ZorvVideoConverter",
        "/v", "color-temperature" });
    static const QRegularExpression value("color-temperature\\s+(REG_\\w+\\s+\\S+)");
    return value.match(output).captured(1);
}

void TestWindows::closeAndExpectSuccess(QProcess &app, const QString &window) const
{
    QVERIFY(m_x.closeWindow(window));
    QVERIFY(app.waitForFinished(20000));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
}

bool TestWindows::dragFiles(const QString &window, const QStringList &files) const
{
    QProcess source;
    const auto stop = qScopeGuard([&source] { stopProcess(source); });
    if (!m_x.xdotool({ "windowmove", "--sync", window, "0", "0" })
        || m_x.startClient(source, QStringLiteral(ZORV_DRAG_SOURCE), files, m_work.filePath("home"),
                  "Zorv drag source")
               .isEmpty())
        return false;
    return m_x.dragFromSourceTo(200)
        && QTest::qWaitFor([&source] { return source.canReadLine(); }, 20000);
}

QList<QStringList> TestWindows::runs() const
{
    return recordedRuns(m_work.filePath("records"));
}

bool TestWindows::clearRecords() const
{
    return QDir(m_work.filePath("records")).removeRecursively()
        && QDir(m_work.path()).mkpath("records");
}

void TestWindows::binaryResources()
{
    // A GUI program: no console window opens with it.
    const QString headers = run("x86_64-w64-mingw32-objdump", { "-p", m_program });
    QVERIFY2(headers.contains(QRegularExpression("Subsystem\\s+00000002\\s+\\(Windows GUI\\)")),
        "not a GUI-subsystem program");

    const QString manifest = run("wrestool", { "-x", "--raw", "--type=24", m_program });
    QVERIFY2(manifest.contains(QRegularExpression("level=\"asInvoker\"")), qPrintable(manifest));
    QVERIFY2(manifest.contains(QRegularExpression(
                 "name=\"Microsoft.Windows.Common-Controls\"\\s+version=\"6\\.0\\.0\\.0\"")),
        qPrintable(manifest));

    const auto utf16 = [](const char *text) {
        const QString string = QString::fromLatin1(text);
        return QByteArray(reinterpret_cast<const char *>(string.utf16()), string.size() * 2);
    };
    // The program and its installer alike say who made them and which version they are.
    for (const QString &file :
        { m_program, build + "/zorv-video-converter-" ZORV_VERSION "-win64.exe" }) {
        QProcess versionInfo;
        versionInfo.start("wrestool", { "-x", "--raw", "--type=16", file });
        QVERIFY(versionInfo.waitForFinished());
        const QByteArray version = versionInfo.readAllStandardOutput();
        QVERIFY2(version.contains(utf16("ZorvTech")), qPrintable("no company in " + file));
        QVERIFY2(
            version.contains(utf16("Zorv Video Converter")), qPrintable("no product in " + file));
        QVERIFY2(version.contains(utf16(ZORV_VERSION)), qPrintable("no version in " + file));
    }

    const QString resources = run("wrestool", { "-l", m_program });
    QVERIFY2(resources.contains("--type=14"), qPrintable(resources)); // an icon group
}

void TestWindows::keyStoredInRegistry()
{
    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    QString window = startProgram(app, m_work.filePath("start"));
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    QString geometry;
    QVERIFY(m_x.xdotool({ "getwindowgeometry", "--shell", window }, &geometry));
    QVERIFY2(
        geometry.contains(QString("WIDTH=%1\nHEIGHT=500").arg(400 + previewSpacing + previewWidth)),
        qPrintable(geometry));

    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", window }));
    QVERIFY(m_x.xdotool({ "key", "Right" }));
    QTRY_COMPARE_WITH_TIMEOUT(registryValue(), "REG_DWORD    0xaf0", 20000);
    closeAndExpectSuccess(app, window);

    // A second start goes on from the stored 2800.
    window = startProgram(app, m_work.filePath("start"));
    QVERIFY2(!window.isEmpty(), "the window did not appear again");
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", window }));
    QVERIFY(m_x.xdotool({ "key", "Right" }));
    QTRY_COMPARE_WITH_TIMEOUT(registryValue(), "REG_DWORD    0xb54", 20000);
    closeAndExpectSuccess(app, window);
}

void TestWindows::dragFromLinux()
{
    // Every character Windows command lines and cmd.exe make special, and letters outside ASCII
    // that the ANSI code page still has.
    QTemporaryDir folder(QDir::tempPath() + "/zorv wine & ^ %1% it's Grüße-XXXXXX");
    QVERIFY(folder.isValid());
    const QString file = folder.filePath("take one & two.2.mp4");
    const QString input = "Z:" + file;
    const QString output = "Z:" + folder.path() + "/take one & two_output.2_output.mp4";

    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    const QString window = startProgram(app, m_work.filePath("start"));
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    QVERIFY(clearRecords());
    QVERIFY(dragFiles(window, { file }));

    // The temperature stored by the test before: 2900 K.
    const QStringList arguments = { "-y", "-i", input, "-b:v", "10M", "-vf",
        gammaFilter(
            temperatureGammaTable[87], temperatureGammaTable[88], temperatureGammaTable[89]),
        output };
    QTRY_COMPARE_WITH_TIMEOUT(runs().size(), 1, 20000);
    QCOMPARE(runs().first(), arguments);

    // The path line in the ANSI code page, the rest UTF-8, each line ended the Windows way.
    closeAndExpectSuccess(app, window);
    const QByteArray trace = app.readAllStandardOutput();
    const QList<QByteArray> lines = trace.split('\n');
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[0], QTextCodec::codecForName("windows-1252")->fromUnicode(input) + '\r');
    QCOMPARE(lines[1], "temp_index: 87\r");
    QCOMPARE(lines[5], arguments.join(QLatin1Char(' ')).toUtf8() + " \r");
}

void TestWindows::batchTakesTurns()
{
    qputenv("ZORV_STANDIN_SLEEP", "1");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    QVERIFY(clearRecords());
    QStringList files;
    QStringList outputs;
    for (const char *name : { "1", "2", "3", "4" }) {
        files << QDir::tempPath() + "/zorv batch/" + name + ".mp4";
        outputs << "Z:" + QDir::tempPath() + "/zorv batch/" + name + "_output.mp4";
    }

    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    const QString window = startProgram(app, m_work.filePath("start"));
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    QVERIFY(dragFiles(window, files));
    const QString records = m_work.filePath("records");
    QTRY_VERIFY2_WITH_TIMEOUT(recordedEvents(records).filter("end ").size() == 4,
        qPrintable(recordedEvents(records).join(", ")), 30000);
    const BatchSummary batch = summarizeBatch(recordedEvents(records));
    const int turn = std::min(QThread::idealThreadCount(), 2);
    QCOMPARE(inTurns(batch.starts, turn), inTurns(outputs, turn));
    QCOMPARE(batch.mostAtOnce, turn);
    closeAndExpectSuccess(app, window);
}

void TestWindows::failedConversionShown()
{
    // A converter that exits with 3 is named on standard error, and the window ends the batch
    // otherwise than after one that converted.
    qputenv("ZORV_STANDIN_SLEEP", "0.5");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    QVERIFY(clearRecords());
    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    app.setProcessChannelMode(QProcess::MergedChannels);
    const QString window = startProgram(app, m_work.filePath("start"));
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    const auto title = [this, &window] {
        QString name;
        m_x.xdotool({ "getwindowname", window }, &name);
        return name;
    };
    QList<QByteArray> shown; // the window after each batch has ended
    for (const char *name : { "exit3", "fine" }) {
        QVERIFY(dragFiles(window, { QDir::tempPath() + "/zorv " + name + ".mp4" }));
        QTRY_COMPARE_WITH_TIMEOUT(title(), "0/1 \u00b7 Zorv Video Converter", 20000);
        QTRY_COMPARE_WITH_TIMEOUT(recordedEvents(m_work.filePath("records")).filter("end ").size(),
            int(shown.size()) + 1, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(title(), "Zorv Video Converter", 20000);
        QTest::qWait(500);
        shown << m_x.windowImage(window);
    }
    QVERIFY(!shown[0].isEmpty() && shown[0] != shown[1]);
    // The converter's own reason, read from its log, which is kept in the local application
    // data folder.
    const QString input = "Z:" + QDir::tempPath() + "/zorv exit3.mp4";
    const QRegularExpression failure("Conversion failed: " + QRegularExpression::escape(input)
        + " -> Z:.*/zorv exit3_output.mp4: ffmpeg exited with code 3: "
        + QRegularExpression::escape(input)
        + ": Invalid data found when processing input \\(log: C:(\\\\users\\\\[^\\\\]+"
          "\\\\AppData\\\\Local\\\\ZorvTech\\\\ZorvVideoConverter\\\\logs\\\\zorv "
          "exit3\\.mp4-[-0-9]+\\.log)\\)\r?\n");
    const QString output = QString::fromUtf8(app.readAll());
    const QRegularExpressionMatch line = failure.match(output);
    QVERIFY2(line.hasMatch(), qPrintable(output));
    QString log = line.captured(1);
    log.replace('\\', '/');
    QVERIFY2(QFileInfo::exists(m_work.filePath("prefix/drive_c") + log), qPrintable(log));
    closeAndExpectSuccess(app, window);
}

void TestWindows::fileOnTheCommandLine()
{
    // A name that the ANSI code page cannot spell reaches the converter as it is, also handed
    // over by a second start.
    QTemporaryDir folder(QDir::tempPath() + "/zorv wine \u0432\u0438\u0434\u0435\u043e-XXXXXX");
    QVERIFY(folder.isValid());
    const QString file = folder.filePath("\u2605 \u0441\u044a\u0451\u043c\u043a\u0430.mp4");
    QFile content(file);
    QVERIFY(content.open(QIODevice::WriteOnly));
    content.close();
    QVERIFY(clearRecords());

    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    app.setWorkingDirectory(m_work.filePath("start"));
    const QString window = m_x.startClient(app, "wine", { m_program, windowsPath(file) },
        m_work.filePath("home"), "Zorv Video Converter");
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    QTRY_COMPARE_WITH_TIMEOUT(runs().size(), 1, 20000);
    QCOMPARE(runs().first().value(2), "Z:" + file);

    // Started again with it: the running program converts it once more, the new one ends.
    QProcess second;
    second.setWorkingDirectory(m_work.filePath("start"));
    second.start("wine", { m_program, windowsPath(file) });
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(runs().size(), 2, 20000);
    QCOMPARE(runs().last().value(2), "Z:" + file);
    closeAndExpectSuccess(app, window);
}

void TestWindows::fromACommandPrompt()
{
    // --version into a file, as "zorv-video-converter.exe --version > version.txt" does; then
    // a file converted at a temperature of its own without a window, its name kept whole.
    const QString version = m_work.filePath("version.txt");
    QProcess printing;
    printing.setStandardOutputFile(version);
    printing.start("wine", { m_program, "--version" });
    QVERIFY(printing.waitForFinished(30000));
    QVERIFY2(printing.exitCode() == 0,
        qPrintable(QString("exit code %1: %2")
                       .arg(printing.exitCode())
                       .arg(QString::fromLocal8Bit(printing.readAllStandardError()))));
    QFile printed(version);
    QVERIFY(printed.open(QIODevice::ReadOnly));
    QCOMPARE(printed.readAll().trimmed(), "zorv-video-converter " ZORV_VERSION);

    QTemporaryDir folder(QDir::tempPath() + "/zorv wine \u0432\u0438\u0434\u0435\u043e-XXXXXX");
    QVERIFY(folder.isValid());
    const QString file = folder.filePath("\u2605 windowless.mp4");
    QFile content(file);
    QVERIFY(content.open(QIODevice::WriteOnly));
    content.close();
    QVERIFY(clearRecords());
    QProcess converting;
    converting.start("wine", { m_program, "--no-window", "-t", "3200", windowsPath(file) });
    QVERIFY(converting.waitForFinished(60000));
    QCOMPARE(converting.exitCode(), 0);
    QCOMPARE(runs().size(), 1);
    QCOMPARE(runs().first().value(2), "Z:" + file);
    QCOMPARE(runs().first().value(6), "eq=gamma_r=1:gamma_g=0.745421:gamma_b=0.477936");
    const QString said = QString::fromUtf8(converting.readAllStandardError());
    // Standard error is in the ANSI code page, which cannot spell every name.
    QVERIFY2(said.contains(QRegularExpression("^Converted: Z:/tmp/zorv wine .* windowless.mp4 -> "
                                              "Z:/tmp/.* windowless_output.mp4")),
        qPrintable(said));
}

void TestWindows::twoProgramsOneOutput()
{
    // A second program converting the same file waits until the first one's converter ends.
    QTemporaryDir folder;
    QFile content(folder.filePath("same.mp4"));
    QVERIFY(content.open(QIODevice::WriteOnly));
    content.close();
    QVERIFY(clearRecords());
    qputenv("ZORV_STANDIN_SLEEP", "3");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    QProcess programs[2];
    programs[0].start("wine", { m_program, "--no-window", windowsPath(content.fileName()) });
    QVERIFY(QTest::qWaitFor([this] { return runs().size() == 1; }, 60000));
    programs[1].start(
        "wine", { m_program, "--no-window", "-t", "6500", windowsPath(content.fileName()) });
    for (QProcess &program : programs) {
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), 0);
    }
    QStringList kinds;
    for (const QString &event : recordedEvents(m_work.filePath("records")))
        kinds << event.section(' ', 0, 0);
    QCOMPARE(kinds, QStringList({ "start", "end", "start", "end" }));
    QVERIFY(programs[1].readAllStandardError().contains("Waiting for another conversion of "));
}

void TestWindows::previewWithTheRealConverter()
{
    // The program beside the ffmpeg.exe it ships with; a flat-coloured full-range clip named on
    // its command line shows in the preview with the colour that the converter's own filter gives
    // it, and the button under the preview converts it.
    QFile cache(build + "/CMakeCache.txt");
    QVERIFY(cache.open(QIODevice::ReadOnly));
    const QString bundled = QRegularExpression("ZORV_BUNDLED_FFMPEG:PATH=(.*)")
                                .match(QString::fromUtf8(cache.readAll()))
                                .captured(1)
                                .trimmed();
    QVERIFY2(!bundled.isEmpty(), "the Windows build ships no ffmpeg.exe");
    const QString folder = m_work.filePath("with ffmpeg");
    QVERIFY(QDir().mkpath(folder));
    const QString program = folder + "/zorv-video-converter.exe";
    QVERIFY(QFile::exists(program) || QFile::copy(m_program, program));
    QVERIFY(QFile::exists(folder + "/ffmpeg.exe")
        || QFile::copy(bundled + "/ffmpeg.exe", folder + "/ffmpeg.exe"));
    QTemporaryDir clips;
    const QString clip = clips.filePath("flat.mp4");
    QCOMPARE(QProcess::execute("ffmpeg",
                 { "-v", "error", "-f", "lavfi", "-i", "color=c=0xC88650:s=320x180:r=10:d=1",
                     "-pix_fmt", "yuvj420p", clip }),
        0);

    // What the stored temperature gives the clip through the filter, in RGB.
    bool stored = false;
    const int kelvin = registryValue().section(' ', -1).toInt(&stored, 16);
    QProcess filter;
    filter.start("ffmpeg",
        { "-v", "error", "-i", clip, "-frames:v", "1", "-vf",
            rowFilter(gammaTableIndex(stored ? kelvin : 2700)) + ",format=rgb24", "-f", "rawvideo",
            "-" });
    QVERIFY(filter.waitForFinished());
    const QByteArray expected = filter.readAllStandardOutput().left(3);
    QCOMPARE(expected.size(), 3);

    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    app.setWorkingDirectory(m_work.filePath("start"));
    const QString window = m_x.startClient(app, "wine", { program, windowsPath(clip) },
        m_work.filePath("home"), "Zorv Video Converter");
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    // The preview's middle column, read off the window as the X server holds it (BGRX).
    const int width = 400 + previewSpacing + previewWidth;
    const auto shown = [&] {
        const QByteArray image = m_x.windowImage(window);
        for (int y = 20; y < 400 && image.size() >= width * 400 * 4; y += 10) {
            const char *pixel = image.constData() + (y * width + width - 251) * 4;
            if (std::abs(quint8(pixel[2]) - quint8(expected[0])) <= 3
                && std::abs(quint8(pixel[1]) - quint8(expected[1])) <= 3
                && std::abs(quint8(pixel[0]) - quint8(expected[2])) <= 3)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(shown(), 30000);
    // Converted once for the command line; once more for the button, from the slider by Tab
    // through the drop area and the preview. The keys go 300 ms apart, as typed: sent at once,
    // half the runs under Wine ended with no conversion.
    const QString output = clips.filePath("flat_output.mp4");
    QString title;
    QTRY_VERIFY_WITH_TIMEOUT(m_x.xdotool({ "getwindowname", window }, &title)
            && title.startsWith("Zorv") && QFileInfo(output).size() > 0,
        30000);
    QVERIFY(QFile::remove(output));
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", window }));
    QVERIFY(m_x.xdotool({ "key", "--delay", "300", "Tab", "Tab", "Tab", "space" }));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(output).size() > 0, 30000);
    closeAndExpectSuccess(app, window);
}

void TestWindows::killedWithFilesWaiting()
{
    // Killed while two files wait: the next start offers them, and Enter converts them.
    qputenv("ZORV_STANDIN_SLEEP", "2");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    QVERIFY(clearRecords());
    QStringList files;
    for (const char *name : { "k1", "k2", "k3", "k4" })
        files << QDir::tempPath() + "/zorv killed/" + name + ".mp4";
    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    QString window = startProgram(app, m_work.filePath("start"));
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    QVERIFY(dragFiles(window, files));
    QTRY_COMPARE_WITH_TIMEOUT(runs().size(), 2, 20000);
    QTest::qWait(1000); // the waiting files are kept
    app.kill();
    QVERIFY(app.waitForFinished());
    QCOMPARE(QProcess::execute("wineserver", { "-w" }), 0); // the two conversions have ended
    QVERIFY(clearRecords());

    window = startProgram(app, m_work.filePath("start"));
    QVERIFY2(!window.isEmpty(), "the window did not appear again");
    const QString question = m_x.findWindow("Convert Files Left Waiting?");
    QVERIFY2(!question.isEmpty(), "nothing was offered");
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", question }));
    QVERIFY(m_x.xdotool({ "key", "Return" }));
    QTRY_COMPARE_WITH_TIMEOUT(runs().size(), 2, 20000);
    QStringList started;
    for (const QStringList &run : runs())
        started << run.value(2);
    QCOMPARE(started, QStringList({ "Z:" + files[2], "Z:" + files[3] }));
    closeAndExpectSuccess(app, window);
}

void TestWindows::installer()
{
    const QString installer = build + "/zorv-video-converter-" ZORV_VERSION "-win64.exe";
    QVERIFY2(QFileInfo::exists(installer), qPrintable(installer));
    const QString programFiles = m_work.filePath("prefix/drive_c/Program Files");
    const QString folder = programFiles + "/ZorvTech/Zorv Video Converter";
    const QString menu = m_work.filePath(
        "prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zorv Video Converter");
    const QString entry
        = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zorv Video Converter";
    const QString installed = "C:\\Program Files\\ZorvTech\\Zorv Video Converter\\";

    // Installed twice, as over an older version: one program, one entry, one shortcut.
    for (int i = 0; i < 2; ++i)
        QVERIFY(runWineToTheEnd({ installer, "/S" }));
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name),
        QStringList({ "Uninstall.exe", "ffmpeg-LICENSE.txt", "ffmpeg-README.txt", "ffmpeg.exe",
            "zorv-video-converter.exe" }));
    QCOMPARE(QDir(menu).entryList(QDir::Files),
        QStringList({ "Uninstall.lnk", "Zorv Video Converter.lnk" }));
    QFile shortcut(menu + "/Zorv Video Converter.lnk");
    QVERIFY(shortcut.open(QIODevice::ReadOnly));
    QVERIFY(shortcut.readAll().contains((installed + "zorv-video-converter.exe").toLatin1()));
    const QString uninstall = runWine({ "reg", "query", entry });
    for (const char *value : { "DisplayName\\s+REG_SZ\\s+Zorv Video Converter",
             "Publisher\\s+REG_SZ\\s+ZorvTech", "DisplayVersion\\s+REG_SZ\\s+" ZORV_VERSION,
             "DisplayIcon\\s+REG_SZ\\s+C:.*zorv-video-converter\\.exe",
             "UninstallString\\s+REG_SZ\\s+\"C:.*Uninstall\\.exe\"" })
        QVERIFY2(uninstall.contains(QRegularExpression(value)), qPrintable(value + uninstall));
    QCOMPARE(
        runWine({ "reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" })
            .count("Zorv"),
        1);
    // Offered under "Open With" for the common video types, passing the file as it is.
    const QString openWith = "HKLM\\Software\\Classes\\Applications\\zorv-video-converter.exe";
    QVERIFY(runWine({ "reg", "query", openWith + "\\shell\\open\\command" })
                .contains("\"" + installed + "zorv-video-converter.exe\" \"%1\""));
    const QString types = runWine({ "reg", "query", openWith + "\\SupportedTypes" });
    for (const char *type : { ".mp4", ".mkv", ".mov", ".webm", ".ts" })
        QVERIFY2(
            types.contains(QRegularExpression(QString("\\s\\") + type + "\\s")), qPrintable(types));

    // Used as installed, nothing on PATH: the ffmpeg.exe that came with it converts a real clip.
    const QByteArray path = qgetenv("WINEPATH");
    qunsetenv("WINEPATH");
    const auto restore = qScopeGuard([&path] { qputenv("WINEPATH", path); });
    const QString clip = m_work.filePath("clips/clip.mp4");
    const QString output = m_work.filePath("clips/clip_output.mp4");
    QVERIFY(QDir(m_work.path()).mkpath("clips"));
    QCOMPARE(QProcess::execute("ffmpeg",
                 { "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=1",
                     "-f", "lavfi", "-i", "sine=duration=1", "-c:v", "libx264", "-preset",
                     "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac", clip }),
        0);
    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    QString window
        = startProgram(app, m_work.filePath("start"), folder + "/zorv-video-converter.exe");
    QVERIFY2(!window.isEmpty(), "the installed program showed no window");
    QVERIFY(dragFiles(window, { clip }));
    QTRY_VERIFY_WITH_TIMEOUT(app.peek(1 << 16).count('\n') >= 6, 20000); // handed on
    closeAndExpectSuccess(app, window);
    QCOMPARE(QProcess::execute("wineserver", { "-w" }), 0); // the conversion has ended
    QCOMPARE(run("ffprobe",
                 { "-v", "error", "-select_streams", "v", "-show_entries", "stream=codec_name",
                     "-of", "csv=p=0", output }),
        "h264\n\n");
    QProcess decode;
    decode.start("ffmpeg", { "-v", "error", "-i", output, "-f", "null", "-" });
    QVERIFY(decode.waitForFinished(60000));
    QCOMPARE(decode.exitCode(), 0);
    QCOMPARE(decode.readAllStandardError(), QByteArray());

    // Its notice names the source packages it was built from, which lie beside the installer.
    QFile notice(folder + "/ffmpeg-README.txt");
    QVERIFY(notice.open(QIODevice::ReadOnly));
    const QString noticeText = QString::fromUtf8(notice.readAll());
    for (const QString package : { "ffmpeg", "x264" }) {
        const QStringList descriptions
            = QDir(build + "/sources").entryList({ package + "_*.dsc" }, QDir::Files);
        QCOMPARE(descriptions.size(), 1);
        const QString version = descriptions.first().section('_', 1).chopped(4);
        QVERIFY2(noticeText.contains(QRegularExpression(
                     package + " (\\d+:)?" + QRegularExpression::escape(version) + "\n")),
            qPrintable(noticeText));
    }

    // A user's own ffmpeg.exe put in its place is used.
    QVERIFY(QFile::remove(folder + "/ffmpeg.exe"));
    QVERIFY(QFile::copy(m_work.filePath("bin/ffmpeg.exe"), folder + "/ffmpeg.exe"));
    QVERIFY(clearRecords());
    window = startProgram(app, m_work.filePath("start"), folder + "/zorv-video-converter.exe");
    QVERIFY2(!window.isEmpty(), "the installed program showed no window again");
    const QString file = QDir::tempPath() + "/zorv installed.mp4";
    QVERIFY(dragFiles(window, { file }));
    QTRY_COMPARE_WITH_TIMEOUT(runs().size(), 1, 20000);
    QCOMPARE(runs().first().size(), 8);
    QCOMPARE(runs().first().value(2), "Z:" + file);
    closeAndExpectSuccess(app, window);

    // Removed without a trace but the user's own setting.
    QVERIFY(runWineToTheEnd({ folder + "/Uninstall.exe", "/S" }));
    QVERIFY(!QFileInfo::exists(programFiles + "/ZorvTech"));
    QVERIFY(!QFileInfo::exists(menu));
    QVERIFY(runWine({ "reg", "query", entry }).isNull());
    QVERIFY(runWine({ "reg", "query", openWith }).isNull());
    QVERIFY(runWine({ "reg", "query", "HKLM\\Software\\ZorvTech" }).isNull());
    QCOMPARE(registryValue(), "REG_DWORD    0xb54");
}

void TestWindows::converterNotTakenFromCurrentFolder()
{
    // A converter planted in the folder the program was started from must not run.
    QVERIFY(QFile::copy(m_work.filePath("bin/ffmpeg.exe"), m_work.filePath("start/ffmpeg.exe")));
    const QByteArray path = qgetenv("WINEPATH");
    qunsetenv("WINEPATH");
    const auto restore = qScopeGuard([&path, this] {
        qputenv("WINEPATH", path);
        QFile::remove(m_work.filePath("start/ffmpeg.exe"));
    });
    QVERIFY(clearRecords());

    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    const QString window = startProgram(app, m_work.filePath("start"));
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    QTest::qWait(1000);
    const QByteArray prompt = m_x.windowImage(window);
    QVERIFY(dragFiles(window, { QDir::tempPath() + "/zorv planted.mp4" }));
    QTRY_VERIFY_WITH_TIMEOUT(app.peek(1 << 16).count('\n') >= 6, 20000); // handled
    // The drop area does not return to its prompt: it says that no converter started.
    QTest::qWait(1000);
    QVERIFY(!prompt.isEmpty() && m_x.windowImage(window) != prompt);
    closeAndExpectSuccess(app, window);
    // Once every process of the prefix has ended, a wrongly started converter has recorded.
    QCOMPARE(QProcess::execute("wineserver", { "-w" }), 0);
    QCOMPARE(runs().size(), 0);
}

void TestWindows::pureTests_data()
{
    QTest::addColumn<QString>("test");

    QTest::newRow("which paths are converted, output names, arguments") << "tst_pathrules.exe";
    QTest::newRow("gamma table") << "tst_gammatable.exe";
}

void TestWindows::pureTests()
{
    QFETCH(QString, test);

    // Plain text into a file: what a Windows test writes to standard output does not come
    // through Wine's console-less start.
    const QString log = m_work.filePath(test + ".txt");
    QVERIFY2(!runWine({ build + "/tests/" + test, "-o", windowsPath(log) + ",txt" }).isNull(),
        qPrintable(test + " failed under Wine"));
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString output = QString::fromUtf8(file.readAll());
    QVERIFY2(output.contains(QRegularExpression("Totals: [1-9]\\d* passed, 0 failed")),
        qPrintable(output));
}

QTEST_GUILESS_MAIN(TestWindows)
#include "tst_windows.moc"
