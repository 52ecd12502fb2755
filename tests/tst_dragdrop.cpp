#include "support/standinconverter.h"
#include "support/teststore.h"
#include "support/xserver.h"
#include "convert/conversion.h"
#include "convert/gammatable.h"
#include "ui/mainwindow.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// Real drags between two processes on a real X server, driven by xdotool like a user's mouse.
class TestDragDrop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { stopProcess(m_app); }

    void drag_data();
    void drag();
    void closeDuringDrop();
    void chooseWithoutDragging_data();
    void chooseWithoutDragging();
    void filesOnTheCommandLine();
    void screenReader();
    void secondStartHandsOver();
    void desktopStartsIt();
    void previewFollowsTheFiles();
    void desktopHearsTheBatch_data();
    void desktopHearsTheBatch();
    void killedWithFilesWaiting_data();
    void killedWithFilesWaiting();
    void runningConvertersHoldTheProgram();
    void endsAfterItsLastConverter_data();
    void endsAfterItsLastConverter();
    void convertersOutliveAKilledProgram();
    void brokenTracePipe();
    void closedStandardStreams();

private:
    // (Re)starts the application, through a shell command that runs it as "$0" where one is
    // given, and places its window at the top left.
    void launch(const QString &shellCommand = {});
    // Starts a drag source (ours written with Qt, or one written with GTK) with these arguments,
    // drags from it and releases over the window at (x, y).
    bool releaseDrag(QProcess &source, const QStringList &sourceArguments, int y,
        const QString &program = QStringLiteral(ZORV_DRAG_SOURCE), int x = 200) const;
    // The same, then waits for the drag to end and the drop to finish, as a file manager does
    // before it lets the files go; returns the source's report of the drag's end, and of the
    // drop's finish where finish is given. Released at x, the drop area's middle unless given.
    QByteArray dragOnto(const QStringList &sourceArguments, int y,
        const QString &program = QStringLiteral(ZORV_DRAG_SOURCE), QByteArray *finish = nullptr,
        int x = 200) const;
    // Closes the window and checks that the program ended well.
    void closeAndExpectSuccess();
    // What the program has written to standard output since it was last launched.
    QByteArray trace() const;
    // Starts a session bus of the test's own, never the machine's; its address, or an empty one.
    static QByteArray startPrivateBus(QProcess &bus);

    XServer m_x;
    QTemporaryDir m_configHome;
    QTemporaryDir m_files;
    // The program's standard output goes into a file: a pipe that the test does not read while
    // it waits on xdotool would fill, and the program would stop in the middle of a drop.
    QString m_traceFile;
    StandInConverter m_converter;
    QProcess m_app;
    QString m_window;
};

void TestDragDrop::initTestCase()
{
    QVERIFY2(m_x.isRunning(), "Xvfb is needed for this test");
    QVERIFY(m_converter.isValid() && m_configHome.isValid() && m_files.isValid());
    m_traceFile = m_files.filePath("trace");
    // The test's own state folder: files that a run cut short left waiting are no question here.
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    QVERIFY2(state.contains("/tests/state/"), "run the test through ctest");
    QVERIFY(QDir(state).removeRecursively());

    launch();
}

void TestDragDrop::launch(const QString &shellCommand)
{
    stopProcess(m_app);
    m_app.setStandardOutputFile(m_traceFile, QIODevice::Truncate);
    // The stand-in is first on the PATH that the application inherits.
    const QString program = QStringLiteral(ZORV_APPLICATION);
    m_window = shellCommand.isEmpty()
        ? m_x.startClient(m_app, program, {}, m_configHome.path(), "Zorv Video Converter")
        : m_x.startClient(m_app, "bash", { "-c", shellCommand, program }, m_configHome.path(),
            "Zorv Video Converter");
    QVERIFY2(!m_window.isEmpty(), "the window did not appear");
    QVERIFY(m_x.xdotool({ "windowmove", "--sync", m_window, "0", "0" }));
}

bool TestDragDrop::releaseDrag(QProcess &source, const QStringList &sourceArguments, int y,
    const QString &program, int x) const
{
    const QString sourceWindow = m_x.startClient(
        source, program, sourceArguments, m_configHome.path(), "Zorv drag source");
    return !sourceWindow.isEmpty() && m_x.dragFromSourceTo(y, x);
}

QByteArray TestDragDrop::dragOnto(const QStringList &sourceArguments, int y, const QString &program,
    QByteArray *finish, int x) const
{
    QProcess source;
    const auto cleanup = qScopeGuard([&source] { stopProcess(source); });
    if (!releaseDrag(source, sourceArguments, y, program, x))
        return "the drag did not start";
    if (!QTest::qWaitFor([&source] { return source.canReadLine(); }, 60000))
        return "the drag did not end";
    const QByteArray ended = source.readLine().trimmed();
    if (finish) {
        *finish = QTest::qWaitFor([&source] { return source.canReadLine(); }, 60000)
            ? source.readLine().trimmed()
            : "no finish reported";
    }
    return ended;
}

void TestDragDrop::closeAndExpectSuccess()
{
    QVERIFY(m_x.closeWindow(m_window));
    QVERIFY(m_app.waitForFinished(60000));
    QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_app.exitCode(), 0);
}

QByteArray TestDragDrop::trace() const
{
    QFile file(m_traceFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray TestDragDrop::startPrivateBus(QProcess &bus)
{
    bus.start("dbus-daemon", { "--session", "--nofork", "--print-address=1" });
    if (!bus.waitForStarted() || !bus.waitForReadyRead(10000))
        return {};
    return bus.readLine().trimmed();
}

void TestDragDrop::drag_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("sourceArguments");
    QTest::addColumn<int>("targetY"); // in the window, whose drop area fills the upper part
    QTest::addColumn<QStringList>("trace");
    QTest::addColumn<int>("sourceAction"); // in the source's own numbering
    QTest::addColumn<QByteArray>("finish"); // as ours reports it; the GTK source ends after it

    // Real files, which the source deletes if it hears of a move.
    const QStringList files = { m_files.filePath("first.mp4"), m_files.filePath("second.mkv") };
    // Offered copy, move and link, a plain drag proposes a move; the drop area answers a copy,
    // and the drop, left unaccepted, finishes with no action. Refused drags end with no action.
    const QString qt = QStringLiteral(ZORV_DRAG_SOURCE);
    QTest::newRow("two files onto the drop area")
        << qt << files << 200 << files << int(Qt::CopyAction) << QByteArray("drop finished: 0 0");
    QTest::newRow("text only: refused")
        << qt << QStringList { "--text" } << 200 << QStringList() << int(Qt::IgnoreAction)
        << QByteArray("drop finished: none");
    QTest::newRow("files released over the slider: refused")
        << qt << files << 482 << QStringList() << int(Qt::IgnoreAction)
        << QByteArray("drop finished: none");
    // A GTK source (copy and move offered) hears of a copy and never deletes.
    QTest::newRow("two files from a GTK source")
        << QStringLiteral(ZORV_GTK_DRAG_SOURCE) << files << 200 << files << 2 /* GDK_ACTION_COPY */
        << QByteArray();
}

void TestDragDrop::drag()
{
    QFETCH(QString, source);
    QFETCH(QStringList, sourceArguments);
    QFETCH(int, targetY);
    QFETCH(QStringList, trace);
    QFETCH(int, sourceAction);
    QFETCH(QByteArray, finish);

    m_converter.clear();
    const int traced = int(this->trace().size());
    for (const QString &file : trace) {
        QFile content(file);
        QVERIFY(content.open(QIODevice::WriteOnly));
    }

    // Qt's X11 drag source reports the action of the target's last answer while moving; that
    // the drop itself is left unaccepted does not reach it.
    QByteArray finished;
    QCOMPARE(dragOnto(sourceArguments, targetY, source, finish.isEmpty() ? nullptr : &finished),
        "drag ended: " + QByteArray::number(sourceAction));
    QCOMPARE(finished, finish);
    for (const QString &file : trace)
        QVERIFY2(QFile::exists(file), qPrintable(file + " was deleted by its source"));

    QStringList pathLines;
    if (!trace.isEmpty()) {
        QVERIFY(m_converter.waitForRuns(trace.size()));
        QTRY_COMPARE_WITH_TIMEOUT(this->trace().mid(traced).count('\n'), 6 * trace.size(), 5000);
    } else {
        QTest::qWait(500); // time for anything wrongly started to show up
    }
    const QStringList lines = QString::fromUtf8(this->trace().mid(traced)).split(QLatin1Char('\n'));
    for (int i = 0; i + 6 <= lines.size(); i += 6)
        pathLines << lines[i];
    QCOMPARE(pathLines, trace);
    QCOMPARE(m_converter.runs().size(), trace.size());
}

void TestDragDrop::closeDuringDrop()
{
    // Closed while the drop is still being handed on, or just after: files wait, so the window
    // asks, and Enter keeps converting. Every file still goes, the slider's last value is kept,
    // and the program ends well once the last file has started. Each converter takes long
    // enough that files still wait when the pass ends, also where a loaded machine slows the
    // pass of a sanitized build more than the converters.
    qputenv("ZORV_STANDIN_SLEEP", "0.05");
    launch();
    qunsetenv("ZORV_STANDIN_SLEEP");
    m_converter.clear();
    QStringList files;
    for (int i = 0; i < 500; ++i)
        files << QStringLiteral("/tmp/zorv many/%1.mp4").arg(i);
    QProcess source;
    const auto cleanup = qScopeGuard([&source] { stopProcess(source); });
    QVERIFY(releaseDrag(source, files, 200));
    QTRY_VERIFY_WITH_TIMEOUT(trace().count('\n') > 6, 10000);

    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", m_window }));
    QVERIFY(m_x.xdotool({ "key", "Right" }));
    QVERIFY(m_x.closeWindow(m_window));
    const QString question = m_x.findWindow("Close Zorv Video Converter?");
    QVERIFY2(!question.isEmpty(), "no question was asked");
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", question }));
    QVERIFY(m_x.xdotool({ "key", "Return" }));
    QVERIFY(m_app.waitForFinished(60000));
    QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_app.exitCode(), 0);
    QVERIFY(m_converter.waitForRuns(files.size(), 60000));
    QCOMPARE(m_converter.runs().size(), files.size());
    QCOMPARE(storedEntryIn(settingsFileIn(m_configHome.path())), "2800");
}

void TestDragDrop::chooseWithoutDragging_data()
{
    QTest::addColumn<QStringList>("opening"); // xdotool commands, one a row
    QTest::addColumn<bool>("choose"); // else Escape

    const QStringList click = { "mousemove 200 220 sleep 0.2 click 1" };
    QTest::newRow("a click, then a file typed") << click << true;
    QTest::newRow("Tab to the drop area, Enter, then a file typed")
        << QStringList { "key Tab", "key Return" } << true;
    QTest::newRow("Escape: nothing converted") << click << false;
}

void TestDragDrop::chooseWithoutDragging()
{
    QFETCH(QStringList, opening);
    QFETCH(bool, choose);

    launch();
    m_converter.clear();
    const QString file = m_files.filePath("chosen clip.mp4");
    QFile content(file);
    QVERIFY(content.open(QIODevice::WriteOnly));
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", m_window }));
    for (const QString &command : opening)
        QVERIFY(m_x.xdotool(command.split(' ')));
    const QString dialog = m_x.findWindow("Choose Videos to Convert");
    QVERIFY2(!dialog.isEmpty(), "no dialog opened");
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", dialog }));
    if (choose) {
        QVERIFY(m_x.xdotool({ "type", "--delay", "20", file }));
        QVERIFY(m_x.xdotool({ "key", "Return" }));
        QVERIFY(m_converter.waitForRuns(1));
        QTRY_COMPARE(trace().count('\n'), 6);
        QCOMPARE(trace().split('\n').first(), file.toUtf8());
        QCOMPARE(m_converter.runs().first().value(2), file);
    } else {
        QVERIFY(m_x.xdotool({ "key", "Escape" }));
        QTest::qWait(1000);
        QCOMPARE(trace(), QByteArray());
        QCOMPARE(m_converter.runs().size(), 0);
    }
    closeAndExpectSuccess();
}

void TestDragDrop::filesOnTheCommandLine()
{
    // One absolute, one missing, one relative to the folder the program starts in, all at the
    // temperature the start names.
    const QString first = m_files.filePath("first named.mp4");
    const QString second = m_files.filePath("second named.mkv");
    for (const QString &name : { first, second }) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    stopProcess(m_app);
    m_converter.clear();
    m_app.setStandardOutputFile(m_traceFile, QIODevice::Truncate);
    m_app.setWorkingDirectory(m_files.path());
    m_app.setProcessChannelMode(QProcess::MergedChannels); // standard error into the trace file
    const auto restore = qScopeGuard([this] {
        m_app.setWorkingDirectory({});
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    });
    m_window = m_x.startClient(m_app, QStringLiteral(ZORV_APPLICATION),
        { first, "-t", "3200", "missing.mp4", "second named.mkv" }, m_configHome.path(),
        "Zorv Video Converter");
    QVERIFY2(!m_window.isEmpty(), "the window did not appear");

    QVERIFY(m_converter.waitForRuns(2));
    QTRY_VERIFY(
        trace().contains(QFile::encodeName(m_files.filePath("second named_output.mkv")) + " \n"));
    QList<QByteArray> lines = trace().split('\n');
    QVERIFY(lines.removeAll("Not a file: missing.mp4") == 1);
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                    [](const QByteArray &line) { return line.startsWith("QStandardPaths: "); }),
        lines.end());
    QCOMPARE(lines.value(0), first.toUtf8());
    QCOMPARE(lines.value(1), "temp_index: 96"); // this start's temperature, not the stored one
    QCOMPARE(lines.value(6), second.toUtf8());
    closeAndExpectSuccess();
}

void TestDragDrop::screenReader()
{
    // Read through AT-SPI on a session bus of the test's own, as a screen reader reads it.
    QProcess bus;
    const auto stopBus = qScopeGuard([&bus] { stopProcess(bus); });
    const QByteArray address = startPrivateBus(bus);
    QVERIFY(!address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    launch();
    qunsetenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");

    QProcess reader;
    reader.setProcessEnvironment(m_x.environment());
    reader.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    reader.start("/usr/bin/python3",
        { QStringLiteral(ZORV_ATSPI_PROBE), QString::number(m_app.processId()), "press" });
    QVERIFY(reader.waitForFinished(30000));
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QCOMPARE(reader.exitCode(), 0);
    const QString seen = QString::fromUtf8(reader.readAllStandardOutput());
    const QString stored = storedEntryIn(settingsFileIn(m_configHome.path()));
    QVERIFY2(seen.contains("role=push button\tname=Drop area\tactions=Press,"), qPrintable(seen));
    QVERIFY2(seen.contains(QRegularExpression("name=Drop area\t.*description=Drag and Drop a "
                                              "File Here / .*choose files without dragging")),
        qPrintable(seen));
    QVERIFY2(seen.contains("role=slider\tname=Color Temperature\tvalue="
                 + (stored.isEmpty() ? "2700" : stored) + "\t"),
        qPrintable(seen));
    // The preview, and the picture alone: the sample, 16:9 across its width.
    QVERIFY2(seen.contains(QRegularExpression("role=image\tname=Tint preview\t.*description=Sample "
                                              "picture at "
                 + (stored.isEmpty() ? "2700" : stored) + " K\textents=\\d+,\\d+,480,270")),
        qPrintable(seen));
    // Its press opens the dialog.
    const QString dialog = m_x.findWindow("Choose Videos to Convert");
    QVERIFY2(!dialog.isEmpty(), "the press opened no dialog");
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", dialog }));
    QVERIFY(m_x.xdotool({ "key", "Escape" }));
    closeAndExpectSuccess();
}

void TestDragDrop::secondStartHandsOver()
{
    // On a session bus of the test's own. A killed program leaves nothing in the way: the next
    // start is the program, and owns its name.
    QProcess bus;
    const auto stop = qScopeGuard([&] {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        stopProcess(bus);
    });
    const QByteArray address = startPrivateBus(bus);
    QVERIFY(!address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    launch();
    m_app.kill();
    QVERIFY(m_app.waitForFinished());
    qputenv("ZORV_STANDIN_SLEEP", "3");
    launch();
    qunsetenv("ZORV_STANDIN_SLEEP");
    m_converter.clear();

    // A later start with a file and a temperature, and one with many (which the first takes,
    // traced, before the later one ends); the first converts them in its batch.
    const auto startAgain = [this](const QStringList &arguments) {
        QProcess second;
        QProcessEnvironment env = m_x.environment();
        env.insert("XDG_CONFIG_HOME", m_configHome.path());
        second.setProcessEnvironment(env);
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        second.start(QStringLiteral(ZORV_APPLICATION), arguments);
        return second.waitForFinished(20000) && second.exitStatus() == QProcess::NormalExit
            && second.exitCode() == 0;
    };
    const QString file = m_files.filePath("handed over.mp4");
    QStringList many;
    for (int i = 0; i < 5000; ++i) {
        QFile content(m_files.filePath(QStringLiteral("handed over %1").arg(i)));
        QVERIFY(content.open(QIODevice::WriteOnly));
        many << content.fileName();
    }
    QFile content(file);
    QVERIFY(content.open(QIODevice::WriteOnly));
    content.close();
    QVERIFY(startAgain({ "--temperature", "3200", file }));
    QVERIFY(m_converter.waitForRuns(1));
    QCOMPARE(m_converter.runs().first().value(2), file);
    // At the temperature the later start was given.
    QCOMPARE(m_converter.runs().first().value(6), "eq=gamma_r=1:gamma_g=0.745421:gamma_b=0.477936");
    QVERIFY(startAgain(many));
    QCOMPARE(trace().count('\n'), 6 + many.size());
    QCOMPARE(trace().split('\n').value(6 + many.size() - 1), many.last().toUtf8());

    // Closed while converting, a later start with no files shows the window again (a new one:
    // Qt lets a closed window's native one go).
    QVERIFY(m_x.closeWindow(m_window));
    QTRY_VERIFY(m_x.xdotool({ "search", "--onlyvisible", "--name", "Zorv Video Converter$" },
                    nullptr, XServer::QuietFailure)
        == false);
    QVERIFY(startAgain({}));
    m_window = m_x.findWindow("Zorv Video Converter");
    QVERIFY2(!m_window.isEmpty(), "the window did not show again");

    // Malformed calls are refused and change nothing.
    QDBusConnection caller = QDBusConnection::connectToBus(QString::fromUtf8(address), "caller");
    const auto disconnect = qScopeGuard([] { QDBusConnection::disconnectFromBus("caller"); });
    QStringList tooMany;
    for (int i = 0; i <= 10000; ++i)
        tooMany << QUrl::fromLocalFile(m_files.filePath("a.mp4")).toString();
    for (const QStringList &uris : { QStringList { "file:relative.mp4" },
             QStringList { "https://example.org/v.mp4" }, tooMany }) {
        QDBusMessage open = QDBusMessage::createMethodCall("com.zorvtech.ZorvVideoConverter",
            "/com/zorvtech/ZorvVideoConverter", "org.freedesktop.Application", "Open");
        open << uris << QVariantMap();
        const QDBusMessage reply = caller.call(open, QDBus::Block, 20000);
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
    }
    QCOMPARE(trace().count('\n'), 6 + many.size());
    closeAndExpectSuccess();
}

void TestDragDrop::desktopStartsIt()
{
    // A private bus that starts the program from the service file that ships, as the desktop's
    // bus does, in the environment a desktop gives it.
    stopProcess(m_app);
    QTemporaryDir data;
    QVERIFY(QDir(data.path()).mkpath("dbus-1/services"));
    QFile shipped(QStringLiteral(ZORV_BUS_SERVICE));
    QFile service(data.filePath("dbus-1/services/com.zorvtech.ZorvVideoConverter.service"));
    QVERIFY(shipped.open(QIODevice::ReadOnly) && service.open(QIODevice::WriteOnly));
    service.write(shipped.readAll().replace(
        "@ZORV_BINDIR@", QFile::encodeName(QFileInfo(ZORV_APPLICATION).path())));
    service.close();
    QProcessEnvironment env = m_x.environment();
    env.insert("XDG_CONFIG_HOME", m_configHome.path());
    env.insert("XDG_DATA_HOME", data.path());
    QProcess bus;
    bus.setProcessEnvironment(env);
    const auto stop = qScopeGuard([&bus] { stopProcess(bus); });
    const QByteArray address = startPrivateBus(bus);
    QVERIFY(!address.isEmpty());
    QDBusConnection desktop = QDBusConnection::connectToBus(QString::fromUtf8(address), "desktop");
    const auto disconnect = qScopeGuard([] { QDBusConnection::disconnectFromBus("desktop"); });
    const QString name = "com.zorvtech.ZorvVideoConverter";
    const QString file = m_files.filePath("opened by the desktop.mp4");
    QFile content(file);
    QVERIFY(content.open(QIODevice::WriteOnly));
    m_converter.clear();

    // Where the name's owner answers with an error, a later start says so and opens nothing.
    QVERIFY(desktop.registerService(name));
    QProcess later;
    const auto stopLater = qScopeGuard([&later] { stopProcess(later); });
    env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(address));
    later.setProcessEnvironment(env);
    later.start(QStringLiteral(ZORV_APPLICATION), { file });
    QTRY_VERIFY_WITH_TIMEOUT(later.state() == QProcess::NotRunning, 20000);
    QCOMPARE(later.exitCode(), 1);
    QVERIFY(later.readAllStandardError().contains("did not take the files"));
    QVERIFY(desktop.unregisterService(name));

    // With none running, the desktop's call starts the program, which takes the file.
    QDBusMessage open = QDBusMessage::createMethodCall(
        name, "/com/zorvtech/ZorvVideoConverter", "org.freedesktop.Application", "Open");
    open << QStringList { QUrl::fromLocalFile(file).toString() } << QVariantMap();
    const QDBusMessage reply = desktop.call(open, QDBus::Block, 20000);
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    QVERIFY(m_converter.waitForRuns(1));
    QCOMPARE(m_converter.runs().first().value(2), file);
    m_window = m_x.findWindow("Zorv Video Converter");
    QVERIFY(m_x.closeWindow(m_window));
    QTRY_VERIFY_WITH_TIMEOUT(!desktop.interface()->isServiceRegistered(name), 20000);
}

void TestDragDrop::previewFollowsTheFiles()
{
    // Flat clips from the real converter, and a file that is no video.
    const QString warm = m_files.filePath("flat warm.mp4");
    const QString cool = m_files.filePath("flat cool.mp4");
    const QString bad = m_files.filePath("not a video.mp4");
    const QString ffmpeg = m_converter.realConverter();
    const auto make = [&ffmpeg](const QString &colour, const QString &clip) {
        return QProcess::execute(ffmpeg,
                   { "-v", "error", "-y", "-f", "lavfi", "-i",
                       "color=c=" + colour + ":s=320x180:r=10:d=1", "-pix_fmt", "yuv420p", clip })
            == 0;
    };
    QVERIFY(make("0xC88650", warm) && make("0x5080C0", cool));
    QFile text(bad);
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a video\n") > 0);
    text.close();
    // The colour the converter's own filter gives a clip's frame at a temperature.
    const auto converted = [&ffmpeg](const QString &clip, int kelvin) {
        QProcess converter;
        converter.start(ffmpeg,
            { "-v", "error", "-i", clip, "-frames:v", "1", "-vf",
                rowFilter(gammaTableIndex(kelvin)) + ",format=rgb24", "-f", "rawvideo", "-" });
        converter.waitForFinished();
        const QByteArray pixel = converter.readAllStandardOutput().left(3);
        return pixel.size() == 3 ? qRgb(quint8(pixel[0]), quint8(pixel[1]), quint8(pixel[2])) : 0;
    };
    // Whether the preview's middle column shows the colour.
    const auto shows = [this](QRgb colour) {
        const QByteArray image = m_x.windowImage(m_window);
        const int width = 400 + previewSpacing + previewWidth;
        for (int y = 20; y < 400 && image.size() >= width * 400 * 4; y += 10) {
            const auto *pixel = reinterpret_cast<const quint8 *>(image.constData())
                + (y * width + width - 251) * 4; // BGRX
            if (std::abs(pixel[2] - qRed(colour)) <= 3 && std::abs(pixel[1] - qGreen(colour)) <= 3
                && std::abs(pixel[0] - qBlue(colour)) <= 3)
                return true;
        }
        return false;
    };

    launch();
    m_converter.clear();
    const int kelvin = storedEntryIn(settingsFileIn(m_configHome.path())).toInt();
    const int shown = kelvin > 0 ? kelvin : 2700;
    // Dropped on the drop area: converted with the arguments of old, and previewed.
    QCOMPARE(dragOnto({ warm }, 200), "drag ended: " + QByteArray::number(Qt::CopyAction));
    QVERIFY(m_converter.waitForRuns(1));
    QCOMPARE(m_converter.runs().first(),
        QStringList({ "-y", "-i", warm, "-b:v", "10M", "-vf", rowFilter(gammaTableIndex(shown)),
            m_files.filePath("flat warm_output.mp4") }));
    QTRY_COMPARE(trace().count('\n'), 6);
    QTRY_VERIFY_WITH_TIMEOUT(shows(converted(warm, shown)), 10000);
    // A step of the slider: the preview follows.
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", m_window }));
    QVERIFY(m_x.xdotool({ "key", "Next" }));
    QTRY_VERIFY_WITH_TIMEOUT(shows(converted(warm, shown - 100)), 5000);
    // Dropped on the preview: shown, not converted.
    QCOMPARE(dragOnto({ cool }, 200, QStringLiteral(ZORV_DRAG_SOURCE), nullptr, 650),
        "drag ended: " + QByteArray::number(Qt::CopyAction));
    QTRY_VERIFY_WITH_TIMEOUT(shows(converted(cool, shown - 100)), 10000);
    // No picture from a file that is no video; the window still answers.
    QCOMPARE(dragOnto({ bad }, 200, QStringLiteral(ZORV_DRAG_SOURCE), nullptr, 650),
        "drag ended: " + QByteArray::number(Qt::CopyAction));
    QTRY_VERIFY_WITH_TIMEOUT(!shows(converted(cool, shown - 100)), 10000);
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", m_window }));
    QVERIFY(m_x.xdotool({ "key", "Right" }));
    QTRY_COMPARE_WITH_TIMEOUT(
        storedEntryIn(settingsFileIn(m_configHome.path())), QString::number(shown), 5000);
    QCOMPARE(m_converter.runs().size(), 1);
    QCOMPARE(trace().count('\n'), 6);
    closeAndExpectSuccess();
}

void TestDragDrop::desktopHearsTheBatch_data()
{
    QTest::addColumn<bool>("closed"); // else the window stays the active one

    QTest::newRow("ended after the window closed: one notice") << true;
    QTest::newRow("ended in front of the user: no notice") << false;
}

void TestDragDrop::desktopHearsTheBatch()
{
    QFETCH(bool, closed);

    // On a session bus of its own, with a notification service and a launcher that record
    // what they hear: the share rises and is hidden at the end, and a batch that ends after the
    // window has closed gets one notice, after which the program ends; one that ends while the
    // window is in front gets none.
    QProcess bus;
    QProcess desktop;
    const auto stop = qScopeGuard([&] {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        stopProcess(desktop);
        stopProcess(bus);
    });
    const QByteArray address = startPrivateBus(bus);
    QVERIFY(!address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    const QString heard = m_files.filePath("desktop heard");
    QFile::remove(heard);
    desktop.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    desktop.start("/usr/bin/python3", { QStringLiteral(ZORV_DESKTOP_RECORDER), heard });
    QVERIFY(QTest::qWaitFor([&desktop] { return desktop.canReadLine(); }, 10000));
    QCOMPARE(desktop.readLine(), "ready\n");

    qputenv("ZORV_STANDIN_SLEEP", "1");
    launch();
    qunsetenv("ZORV_STANDIN_SLEEP");
    m_converter.clear();
    QCOMPARE(dragOnto({ "/tmp/zorv e2e/one.mp4", "/tmp/zorv e2e/two exit3.mp4" }, 200),
        "drag ended: " + QByteArray::number(Qt::CopyAction));
    QVERIFY(m_converter.waitForRuns(2));
    const auto heardLines = [&heard] {
        QFile record(heard);
        return record.open(QIODevice::ReadOnly)
            ? QString::fromUtf8(record.readAll()).split('\n', Qt::SkipEmptyParts)
            : QStringList();
    };
    if (!closed) {
        QVERIFY(m_x.xdotool({ "windowfocus", "--sync", m_window }));
        // Until the launcher has heard the end.
        const auto lastUpdate = [&heardLines] {
            return heardLines().filter(QRegularExpression("^update\t")).value(1).isEmpty()
                ? QString()
                : heardLines().filter(QRegularExpression("^update\t")).last();
        };
        QTRY_COMPARE_WITH_TIMEOUT(lastUpdate().section('\t', 3, 3), "False", 20000);
        QTest::qWait(500); // time for a notice wrongly sent to arrive
    }
    QVERIFY(m_x.closeWindow(m_window));
    QVERIFY(m_app.waitForFinished(20000));
    QCOMPARE(m_app.exitCode(), 0);

    const QStringList lines = heardLines();
    QCOMPARE(lines.filter(QRegularExpression("^notify\t")),
        closed ? QStringList { "notify\tZorv Video Converter\tzorv-video-converter\t1 converted, "
                               "1 failed\ttwo exit3.mp4" }
               : QStringList());
    const QStringList updates = lines.filter(QRegularExpression("^update\t"));
    QVERIFY2(updates.size() >= 2, qPrintable(lines.join('\n')));
    double last = 0;
    for (const QString &update : updates.mid(0, updates.size() - 1)) {
        const QStringList fields = update.split('\t');
        QCOMPARE(fields.value(1), "application://com.zorvtech.ZorvVideoConverter.desktop");
        QCOMPARE(fields.value(3), "True");
        QVERIFY2(fields.value(2).toDouble() >= last && fields.value(2).toDouble() < 1,
            qPrintable(update));
        last = fields.value(2).toDouble();
    }
    QVERIFY2(updates.last().split('\t').value(3) == "False", qPrintable(updates.last()));
}

void TestDragDrop::killedWithFilesWaiting_data()
{
    QTest::addColumn<QString>("key"); // that answers the question at the next start
    QTest::addColumn<bool>("converted");

    QTest::newRow("Convert Them (Enter)") << "Return" << true;
    QTest::newRow("Forget Them (Escape)") << "Escape" << false;
}

void TestDragDrop::killedWithFilesWaiting()
{
    QFETCH(QString, key);
    QFETCH(bool, converted);

    // Killed while two files wait, dropped at the temperature stored then; the next start
    // offers them, and converts them with that temperature, not the one stored since.
    const QString settings = settingsFileIn(m_configHome.path());
    const QString stored = storedEntryIn(settings);
    const QString queueFiles
        = qEnvironmentVariable("XDG_STATE_HOME") + "/ZorvTech/ZorvVideoConverter";
    qputenv("ZORV_STANDIN_SLEEP", "2");
    launch();
    qunsetenv("ZORV_STANDIN_SLEEP");
    m_converter.clear();
    const QStringList files = { "/tmp/zorv e2e/w1.mp4", "/tmp/zorv e2e/w2.mp4",
        "/tmp/zorv e2e/w3.mp4", "/tmp/zorv e2e/w4.mp4" };
    QCOMPARE(dragOnto(files, 200), "drag ended: " + QByteArray::number(Qt::CopyAction));
    QVERIFY(m_converter.waitForRuns(2));
    QTRY_VERIFY(!QDir(queueFiles).entryList({ "queue-*.txt" }, QDir::Files).isEmpty());
    m_app.kill();
    QVERIFY(m_app.waitForFinished());
    QTRY_COMPARE_WITH_TIMEOUT(m_converter.events().filter("end ").size(), 2, 10000);
    {
        QFile store(settings);
        QVERIFY(QDir().mkpath(QFileInfo(settings).path()) && store.open(QIODevice::WriteOnly));
        store.write("[General]\ncolor-temperature=5000\n");
    }
    const auto restore = qScopeGuard([&] {
        QFile store(settings);
        if (stored.isEmpty())
            store.remove();
        else if (store.open(QIODevice::WriteOnly))
            store.write("[General]\ncolor-temperature=" + stored.toUtf8() + "\n");
    });

    m_converter.clear();
    launch();
    const QString question = m_x.findWindow("Convert Files Left Waiting?");
    QVERIFY2(!question.isEmpty(), "nothing was offered");
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", question }));
    QVERIFY(m_x.xdotool({ "key", key }));
    if (converted) {
        QVERIFY(m_converter.waitForRuns(2));
        QTRY_COMPARE(trace().count('\n'), 12);
        const QList<QByteArray> lines = trace().split('\n');
        const QByteArray index = "temp_index: "
            + QByteArray::number((stored.isEmpty() ? 2700 : stored.toInt()) / 100 * 3);
        QCOMPARE(lines.value(0), files[2].toUtf8());
        QCOMPARE(lines.value(1), index);
        QCOMPARE(lines.value(6), files[3].toUtf8());
        QCOMPARE(lines.value(7), index);
    } else {
        QTest::qWait(1000);
        QCOMPARE(m_converter.runs().size(), 0);
    }
    closeAndExpectSuccess();
    // Offered once: the next start asks nothing.
    QCOMPARE(QDir(queueFiles).entryList({ "queue-*.txt" }, QDir::Files), QStringList());
}

void TestDragDrop::runningConvertersHoldTheProgram()
{
    // Nothing waits, so closing asks nothing; the program stays without its window until its
    // converter has ended, reports the failure and then ends well.
    qputenv("ZORV_STANDIN_SLEEP", "3");
    m_app.setProcessChannelMode(QProcess::MergedChannels); // standard error into the trace file
    launch();
    m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    qunsetenv("ZORV_STANDIN_SLEEP");
    m_converter.clear();
    QCOMPARE(dragOnto({ "/tmp/zorv e2e/long exit3.mp4" }, 200),
        "drag ended: " + QByteArray::number(Qt::CopyAction));
    QVERIFY2(m_converter.waitForRuns(1), trace().constData());
    QVERIFY(m_x.closeWindow(m_window));
    QVERIFY(!m_app.waitForFinished(1500));
    QVERIFY(m_app.waitForFinished(20000));
    QCOMPARE(m_app.exitCode(), 0);
    QCOMPARE(m_converter.events().filter("end ").size(), 1);
    QVERIFY2(trace().contains("Conversion failed: /tmp/zorv e2e/long exit3.mp4 -> "), trace());
}

void TestDragDrop::endsAfterItsLastConverter_data()
{
    QTest::addColumn<QString>("bus"); // what the session's bus address names

    QTest::newRow("no session bus") << "none";
    QTest::newRow("a bus that cannot be reached, as after ssh -X") << "unreachable";
    QTest::newRow("a bus that goes away while the batch runs") << "dies";
}

void TestDragDrop::endsAfterItsLastConverter()
{
    QFETCH(QString, bus);

    // Three files named on the command line, two seconds each, the window closed at once and
    // the waiting file kept: the program ends soon after the last converter, whatever the bus.
    QProcess daemon;
    const auto stop = qScopeGuard([&] {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        stopProcess(daemon);
    });
    if (bus == "unreachable")
        qputenv(
            "DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(m_files.filePath("gone")));
    if (bus == "dies") {
        const QByteArray address = startPrivateBus(daemon);
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    }
    QStringList files;
    for (const char *name : { "late 1.mp4", "late 2.mp4", "late 3.mp4" }) {
        QFile file(m_files.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        files << file.fileName();
    }
    stopProcess(m_app);
    m_converter.clear();
    m_app.setStandardOutputFile(m_traceFile, QIODevice::Truncate);
    m_app.setProcessChannelMode(QProcess::MergedChannels); // standard error into the trace file
    const auto restore
        = qScopeGuard([this] { m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel); });
    qputenv("ZORV_STANDIN_SLEEP", "2");
    m_window = m_x.startClient(m_app, QStringLiteral(ZORV_APPLICATION), files, m_configHome.path(),
        "Zorv Video Converter");
    qunsetenv("ZORV_STANDIN_SLEEP");
    QVERIFY2(!m_window.isEmpty(), "the window did not appear");
    QVERIFY(m_converter.waitForRuns(2));
    QVERIFY(m_x.closeWindow(m_window));
    const QString question = m_x.findWindow("Close Zorv Video Converter?");
    QVERIFY2(!question.isEmpty(), "no question was asked");
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", question }));
    QVERIFY(m_x.xdotool({ "key", "Return" }));
    if (bus == "dies")
        stopProcess(daemon);

    QVERIFY2(
        QTest::qWaitFor(
            [this] { return m_converter.events().filter(QRegularExpression("^end ")).size() == 3; },
            30000),
        qPrintable(m_converter.events().join('\n') + '\n' + trace()));
    QElapsedTimer sinceLastEnd;
    sinceLastEnd.start();
    QVERIFY2(m_app.waitForFinished(10000), trace().constData());
    QVERIFY2(sinceLastEnd.elapsed() < 3000, qPrintable(QString::number(sinceLastEnd.elapsed())));
    QCOMPARE(m_app.exitCode(), 0);
    // Nothing about the bus: the trace and the program's own lines only.
    for (const QByteArray &line : trace().split('\n')) {
        QVERIFY2(line.isEmpty() || line.startsWith('/') || line.startsWith("temp_index: ")
                || line.contains("_gamma: ") || line.startsWith("-y ")
                || line.startsWith("QStandardPaths: "),
            line.constData());
    }
}

void TestDragDrop::convertersOutliveAKilledProgram()
{
    // The program's standard error is a pipe that the test reads, and closes once the program
    // has been killed. The converter goes on writing its messages, into its log, to its end.
    m_app.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    launch();
    m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_converter.clear();
    QCOMPARE(dragOnto({ "/tmp/zorv e2e/chatty.mp4" }, 200),
        "drag ended: " + QByteArray::number(Qt::CopyAction));
    QVERIFY(m_converter.waitForRuns(1));
    m_app.kill();
    QVERIFY(m_app.waitForFinished());
    QTRY_COMPARE_WITH_TIMEOUT(m_converter.events().filter("end ").size(), 1, 10000);
}

void TestDragDrop::brokenTracePipe()
{
    // Nobody reads the trace any more, as after "| head -1"; the shell ends as the program does.
    launch("set -o pipefail; \"$0\" | true");
    m_converter.clear();
    QCOMPARE(dragOnto({ "/tmp/zorv e2e/a.mp4", "/tmp/zorv e2e/b.mp4", "/tmp/zorv e2e/c.mp4" }, 200),
        "drag ended: " + QByteArray::number(Qt::CopyAction));
    QVERIFY(m_converter.waitForRuns(3));
    closeAndExpectSuccess();
}

void TestDragDrop::closedStandardStreams()
{
    // As some launchers start programs: the streams closed, not merely redirected.
    launch("exec \"$0\" >&- 2>&-");
    m_converter.clear();
    QCOMPARE(dragOnto({ "/tmp/zorv e2e/a.mp4" }, 200),
        "drag ended: " + QByteArray::number(Qt::CopyAction));
    QVERIFY(m_converter.waitForRuns(1));
    // Standard output and error lead nowhere, not into whatever the program opened first.
    for (const char *stream : { "1", "2" }) {
        QCOMPARE(
            QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/").arg(m_app.processId()) + stream),
            "/dev/null");
    }
    // Still answering: the window takes a key and closes.
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", m_window }));
    QVERIFY(m_x.xdotool({ "key", "Right" }));
    QTRY_COMPARE_WITH_TIMEOUT(storedEntryIn(settingsFileIn(m_configHome.path())), "2900", 10000);
    closeAndExpectSuccess();
}

QTEST_GUILESS_MAIN(TestDragDrop)
#include "tst_dragdrop.moc"
