#include "convert/converterlog.h"
#include "convert/outputrules.h"
#include "support/standinconverter.h"
#include "support/teststore.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// The real program from a terminal, a script or cron: no display, no window, an exit status.
class TestWindowless : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { m_converter.clear(); }

    void withoutConverting_data();
    void withoutConverting();
    void convert_data();
    void convert();
    void interrupted_data();
    void interrupted();
    void interruptedInTheList();
    void secondInterruptEndsAtOnce();
    void progressOnATerminal();
    void twoProgramsOneOutput_data();
    void twoProgramsOneOutput();
    void realOutputsConvertedAgain();
    void manyMachines_data();
    void manyMachines();

private:
    // Readies a process as a script starts one: no display, in the files' folder, the stand-in
    // converter first on PATH.
    void prepare(QProcess &process) const;
    // Starts the program so.
    void start(QProcess &program, const QStringList &arguments) const;

    StandInConverter m_converter;
    QTemporaryDir m_files;
};

void TestWindowless::initTestCase()
{
    QVERIFY(m_converter.isValid() && m_files.isValid());
    QVERIFY(resetTestStore());
    for (const char *name : { "a.mp4", "b exit3.mp4", "line\nbreak.mp4", "long.mp4" }) {
        QFile file(m_files.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    for (const auto &[name, names] :
        { std::pair { "crlf.txt", "a.mp4\r\n" }, std::pair { "second.txt", "long.mp4\n" } }) {
        QFile list(m_files.filePath(name));
        QVERIFY(list.open(QIODevice::WriteOnly) && list.write(names) > 0);
    }
}

void TestWindowless::prepare(QProcess &process) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_files.path());
}

void TestWindowless::start(QProcess &program, const QStringList &arguments) const
{
    prepare(program);
    program.start(QStringLiteral(ZORV_APPLICATION), arguments);
}

void TestWindowless::withoutConverting_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output"); // a line of standard output, or of standard error

    QTest::newRow("--help") << QStringList { "--help" } << 0
                            << "  --no-window              Convert without a window or a "
                               "display, and exit once";
    QTest::newRow("--help: the usage line names the program")
        << QStringList { "--help" } << 0 << "Usage: zorv-video-converter [options] [file...]";
    QTest::newRow("-v") << QStringList { "-v" } << 0 << "zorv-video-converter 1.0.0";
    QTest::newRow("a window without a display: one line, nothing lost")
        << QStringList { "a.mp4" } << 1
        << "zorv-video-converter: no display to open the window on; to convert without one, use "
           "--no-window";
    QTest::newRow("a list that cannot be read: a usage error") << QStringList { "--no-window", "-T",
        "nowhere.txt" } << 2 << "zorv-video-converter: nowhere.txt: No such file or directory";
    QTest::newRow("an unknown option: nothing else happens")
        << QStringList { "--no-window", "--frobnicate", "a.mp4" } << 2
        << "zorv-video-converter: Unknown option '--frobnicate'. See 'zorv-video-converter "
           "--help'.";
}

void TestWindowless::withoutConverting()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);

    QProcess program;
    start(program, arguments);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), status);
    const QString said = QString::fromUtf8(
        status == 0 ? program.readAllStandardOutput() : program.readAllStandardError());
    QVERIFY2(said.split('\n').contains(output), qPrintable(said));
    QVERIFY2(status == 0 || said.count('\n') == 1, qPrintable(said));
    QCOMPARE(m_converter.runs().size(), 0);
    QCOMPARE(QDir(programStateFolder()).entryList({ "queue-*" }), QStringList());
}

void TestWindowless::convert_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input"); // standard input
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("converted"); // the inputs of the converter's runs
    QTest::addColumn<QString>("filter"); // of every run
    QTest::addColumn<QStringList>("said"); // on standard error
    QTest::addColumn<bool>("inOrder"); // where the program promises the order

    const QString dir = m_files.path();
    const QString stored = "eq=gamma_r=1:gamma_g=0.676458:gamma_b=0.347868";
    QTest::newRow("two files, one failing, one missing: status 1")
        << QStringList { "--no-window", "a.mp4", "missing.mp4", dir + "/b exit3.mp4" }
        << QByteArray() << 1 << QStringList { dir + "/a.mp4", dir + "/b exit3.mp4" } << stored
        << QStringList { "Not a file: missing.mp4",
               "Converted: " + dir + "/a.mp4 -> " + dir + "/a_output.mp4",
               "Conversion failed: " + dir + "/b exit3.mp4 -> " + dir
                   + "/b exit3_output.mp4: ffmpeg exited with code 3" }
        << false; // two converters at once may end in either order
    QTest::newRow("a missing file alone: status 1")
        << QStringList { "--no-window", "a.mp4", "missing.mp4" } << QByteArray() << 1
        << QStringList { dir + "/a.mp4" } << stored
        << QStringList { "Not a file: missing.mp4",
               "Converted: " + dir + "/a.mp4 -> " + dir + "/a_output.mp4" }
        << true;
    QTest::newRow("two lists, one with Windows line ends: both read, in order")
        << QStringList { "--no-window", "-T", "crlf.txt", "-Tsecond.txt" } << QByteArray() << 0
        << QStringList { dir + "/a.mp4", dir + "/long.mp4" } << stored
        << QStringList { "Converted: " + dir + "/a.mp4 -> " + dir + "/a_output.mp4",
               "Converted: " + dir + "/long.mp4 -> " + dir + "/long_output.mp4" }
        << false;
    QTest::newRow("a temperature for this run")
        << QStringList { "--no-window", "--temperature", "3200", "a.mp4" } << QByteArray() << 0
        << QStringList { dir + "/a.mp4" } << "eq=gamma_r=1:gamma_g=0.745421:gamma_b=0.477936"
        << QStringList { "Converted: " + dir + "/a.mp4 -> " + dir + "/a_output.mp4" } << true;

    // Five thousand names from standard input, NUL-separated: those without a "." are named
    // and left, the one with a line break in its name is converted.
    QByteArray names;
    QStringList left;
    for (int i = 0; i < 4999; ++i) {
        QFile file(m_files.filePath(QString("clip %1").arg(i)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        names += "clip " + QByteArray::number(i) + '\0';
        left << QString("Not converted: %1/clip %2: its name has no \".\"").arg(dir).arg(i);
    }
    names += QByteArray("line\nbreak.mp4") + '\0';
    QTest::newRow("5 000 names from standard input, one with a line break")
        << QStringList { "--no-window", "--null", "--files-from", "-" } << names << 1
        << QStringList { dir + "/line\nbreak.mp4" } << stored
        << left
            + QStringList { "Converted: " + dir + "/line\\nbreak.mp4 -> " + dir
                  + "/line\\nbreak_output.mp4" }
        << true;
}

void TestWindowless::convert()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QStringList, converted);
    QFETCH(QString, filter);
    QFETCH(QStringList, said);
    QFETCH(bool, inOrder);

    QProcess program;
    start(program, arguments);
    program.write(input);
    program.closeWriteChannel();
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), status);
    QStringList inputs;
    for (const QStringList &run : m_converter.runs()) {
        inputs << run.value(2);
        QCOMPARE(run.value(6), filter);
    }
    QCOMPARE(inputs, converted);
    // One line a file into a pipe, and never a carriage return.
    const QByteArray error = program.readAllStandardError();
    QVERIFY(!error.contains('\r'));
    const QString lines = '\n' + QString::fromUtf8(error);
    for (const QString &line : inOrder ? QStringList { said.join('\n') } : said)
        QVERIFY2(lines.contains('\n' + line), error.right(2000).constData());
    // The stored temperature stays as it was.
    QCOMPARE(storedEntryIn(settingsFileIn(qEnvironmentVariable("XDG_CONFIG_HOME"))), QString());
}

void TestWindowless::interrupted_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl-C: 130") << SIGINT;
    QTest::newRow("SIGTERM: 143") << SIGTERM;
}

void TestWindowless::interrupted()
{
    QFETCH(int, signal);
    // One file three times: one converts, two wait to write its output. Ctrl-C starts neither,
    // asks the converter to stop as a terminal would, and the run ends with 130 when it has.
    qputenv("ZORV_STANDIN_SLEEP", "20");
    QProcess program;
    start(program, { "--no-window", "long.mp4", "long.mp4", "long.mp4" });
    qunsetenv("ZORV_STANDIN_SLEEP");
    QVERIFY(m_converter.waitForRuns(1));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(::kill(pid_t(program.processId()), signal), 0);
    QVERIFY(program.waitForFinished(10000));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(program.exitCode(), 128 + signal);
    QCOMPARE(m_converter.runs().size(), 1);
    QCOMPARE(m_converter.events().filter("interrupted "),
        { "interrupted " + m_files.path() + "/long_output.mp4" });
    const QStringList said = QString::fromUtf8(program.readAllStandardError()).split('\n');
    QCOMPARE(said.filter("Not started: ").size(), 2);
    // Stopped at the user's word: no failure of ffmpeg.
    QCOMPARE(said.filter(QRegularExpression("^(Interrupted|Conversion failed): ")),
        { "Interrupted: " + m_files.path() + "/long.mp4 -> " + m_files.path()
            + "/long_output.mp4" });
}

void TestWindowless::interruptedInTheList()
{
    // Ctrl-C while a long list is handed on, held up by a full trace pipe as by a slow reader:
    // each file still gets one line.
    const int files = 4000;
    QByteArray list;
    for (int i = 0; i < files; ++i)
        list += "long.mp4\n";
    QProcess program;
    start(program, { "--no-window", "-T", "-" });
    program.write(list);
    program.closeWriteChannel();
    while (program.bytesToWrite() > 0)
        QVERIFY(program.waitForBytesWritten());
    // No event loop from here: the trace that nobody reads fills its pipe in the middle.
    const auto blocked = [pid = program.processId()] {
        QFile wchan(QString("/proc/%1/wchan").arg(pid));
        return wchan.open(QIODevice::ReadOnly) && wchan.readAll().contains("pipe_write");
    };
    for (int tries = 0; tries < 400 && !blocked(); ++tries)
        QThread::msleep(50);
    QCOMPARE(::kill(pid_t(program.processId()), SIGINT), 0);
    QVERIFY(program.waitForFinished(20000));
    const QStringList said = QString::fromUtf8(program.readAllStandardError()).split('\n');
    QCOMPARE(program.exitCode(), 130);
    QVERIFY(said.filter(QRegularExpression("^Not started: .*long.mp4$")).size() > files / 2);
    QCOMPARE(
        said.filter(QRegularExpression("^(Converted|Interrupted|Not started): .*long.mp4")).size(),
        files);
}

void TestWindowless::secondInterruptEndsAtOnce()
{
    // A converter deaf to Ctrl-C: the run waits for it, and a second Ctrl-C ends it at once.
    QFile deaf(m_files.filePath("deaf.mp4"));
    QVERIFY(deaf.open(QIODevice::WriteOnly));
    qputenv("ZORV_STANDIN_SLEEP", "8");
    QProcess program;
    start(program, { "--no-window", "deaf.mp4" });
    qunsetenv("ZORV_STANDIN_SLEEP");
    QVERIFY(m_converter.waitForRuns(1));
    QCOMPARE(::kill(pid_t(program.processId()), SIGINT), 0);
    QVERIFY(!program.waitForFinished(1000));
    QCOMPARE(::kill(pid_t(program.processId()), SIGINT), 0);
    QVERIFY(program.waitForFinished(4000));
    QCOMPARE(program.exitCode(), 130);
}

void TestWindowless::progressOnATerminal()
{
    // Under a pseudo-terminal (script's), one line rewritten in place.
    QProcess terminal;
    prepare(terminal);
    terminal.start("script",
        { "-qfec",
            QString("'%1' --no-window a.mp4 'b exit3.mp4' > /dev/null").arg(ZORV_APPLICATION),
            "/dev/null" });
    QVERIFY(terminal.waitForFinished(30000));
    const QByteArray shown = terminal.readAllStandardOutput();
    QVERIFY2(shown.contains("\r1/2 converted, 1 failed"), shown.constData());
    QVERIFY2(shown.contains("Conversion failed: "), shown.constData());
}

void TestWindowless::twoProgramsOneOutput_data()
{
    QTest::addColumn<bool>("killFirst");
    QTest::newRow("both running") << false;
    QTest::newRow("the first killed, its converter still running") << true;
}

void TestWindowless::twoProgramsOneOutput()
{
    // A second program converting the same file waits for the first one's converter, also
    // where that converter has outlived its program.
    QFETCH(bool, killFirst);
    qputenv("ZORV_STANDIN_SLEEP", "3");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    QProcess first;
    start(first, { "--no-window", "a.mp4" });
    QVERIFY(m_converter.waitForRuns(1));
    if (killFirst) {
        first.kill();
        QVERIFY(first.waitForFinished(5000));
    }
    QProcess second;
    start(second, { "--no-window", "-t", "6500", "a.mp4" });
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitCode(), 0);
    const QString input = m_files.path() + "/a.mp4";
    const QString output = m_files.path() + "/a_output.mp4";
    QCOMPARE(m_converter.events(),
        QStringList({ "start " + output, "end " + output, "start " + output, "end " + output }));
    QVERIFY(second.readAllStandardError().contains(
        "Waiting for another conversion of " + input.toUtf8() + '\n'));
    QVERIFY(killFirst || (first.waitForFinished(10000) && first.exitCode() == 0));
}

void TestWindowless::realOutputsConvertedAgain()
{
    // A folder converted once is converted again, twice at once: every output is whole.
    QTemporaryDir folder;
    const QString clip = folder.filePath("x.mp4");
    QCOMPARE(QProcess::execute(m_converter.realConverter(),
                 { "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=8",
                     "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", clip }),
        0);
    QVERIFY(QFile::copy(clip, folder.filePath("x_output.mp4")));
    QProcessEnvironment real = QProcessEnvironment::systemEnvironment();
    real.insert("PATH", QFileInfo(m_converter.realConverter()).path());
    QProcess programs[2];
    const QStringList arguments[2]
        = { { "--no-window", "x_output.mp4", "x.mp4" }, { "--no-window", "-t", "6500", "x.mp4" } };
    for (int i = 0; i < 2; ++i) {
        prepare(programs[i]);
        programs[i].setProcessEnvironment(real);
        programs[i].setWorkingDirectory(folder.path());
        programs[i].start(QStringLiteral(ZORV_APPLICATION), arguments[i]);
    }
    for (QProcess &program : programs) {
        QVERIFY(program.waitForFinished(60000));
        QVERIFY2(program.exitCode() == 0, program.readAllStandardError().constData());
    }
    for (const char *name : { "x_output.mp4", "x_output_output.mp4" }) {
        QProcess probe;
        probe.start(m_converter.realConverter(),
            { "-v", "error", "-i", folder.filePath(name), "-f", "null", "-" });
        QVERIFY(probe.waitForFinished(30000));
        QCOMPARE(probe.readAllStandardError(), QByteArray());
        QProcess length;
        length.start(QFileInfo(m_converter.realConverter()).path() + "/ffprobe",
            { "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
                folder.filePath(name) });
        QVERIFY(length.waitForFinished(10000));
        QVERIFY2(length.readAllStandardOutput().toDouble() >= 7.9, name);
    }
}

void TestWindowless::manyMachines_data()
{
    QTest::addColumn<QStringList>("options"); // Parallel's own, beside the machines and jobs
    QTest::addColumn<bool>("shared"); // the same paths on every machine

    QTest::newRow("a shared disk") << QStringList() << true;
    QTest::newRow("no shared disk: each file sent, its output brought back") << QStringList {
        "--transferfile", "{}", "--return", "{= s{[^/]*$}{$& =~ s/\\./_output./gr}e =}", "--cleanup"
    } << false;
}

void TestWindowless::manyMachines()
{
    // The command-line page's recipes, through GNU Parallel and an ssh that runs each job here,
    // in a folder of the machine's own.
    QFETCH(QStringList, options);
    QFETCH(bool, shared);
    QTemporaryDir folder;
    const QDir here(folder.path());
    QVERIFY(here.mkdir("my.videos"));
    const QStringList names = { "a b.mp4", "c d.mp4", "my.videos/e f.mp4" };
    for (const QString &name : names) {
        QCOMPARE(QProcess::execute(m_converter.realConverter(),
                     { "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=64x64:rate=5:duration=1",
                         here.filePath(name) }),
            0);
    }
    QFile ssh(here.filePath("ssh"));
    QVERIFY(ssh.open(QIODevice::WriteOnly));
    ssh.write("#!/bin/sh\n"
              "while [ $# -gt 0 ]; do case $1 in -*) shift ;; *) break ;; esac; done\n"
              "mkdir -p \""
        + QFile::encodeName(folder.path()) + "/machines/$1\" && cd \""
        + QFile::encodeName(folder.path())
        + "/machines/$1\" || exit 255\n"
          "echo \"$1\" >> ../used\n"
          "shift; [ \"$1\" = -- ] && shift\n"
          // A login sets SHELL, and Parallel's remote side runs each job with it.
          "SHELL=/bin/sh exec sh -c \"$*\"\n");
    ssh.close();
    QVERIFY(ssh.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QFile machines(here.filePath("machines.txt"));
    QVERIFY(machines.open(QIODevice::WriteOnly) && machines.write("one\ntwo\n") > 0);
    machines.close();
    QProcessEnvironment real = QProcessEnvironment::systemEnvironment();
    real.insert("PATH", QFileInfo(m_converter.realConverter()).path() + ":/bin");
    // rsync 3.2.4 and later would take Parallel's quotes as part of a name brought back.
    real.insert("RSYNC_OLD_ARGS", "1");

    // Then once more with a broken file among them: Parallel counts it.
    for (const QString &broken : { QString(), QString("broken.mp4") }) {
        QStringList files = names;
        if (!broken.isEmpty()) {
            QFile empty(here.filePath(broken));
            QVERIFY(empty.open(QIODevice::WriteOnly));
            files << broken;
        }
        QByteArray list;
        for (const QString &file : files)
            list += QFile::encodeName(shared ? here.filePath(file) : file) + '\0';
        QProcess parallel;
        parallel.setProcessEnvironment(real);
        parallel.setWorkingDirectory(folder.path());
        parallel.start("parallel",
            QStringList { "-0", "--ssh", ssh.fileName(), "--sshloginfile", machines.fileName(),
                "--jobs", "2" }
                + options
                + QStringList { ZORV_APPLICATION, "--no-window", "-t", "3200", "--", "{}" });
        parallel.write(list);
        parallel.closeWriteChannel();
        QVERIFY(parallel.waitForFinished(60000));
        QVERIFY2(parallel.exitCode() == (broken.isEmpty() ? 0 : 1),
            parallel.readAllStandardError().constData());
        for (const QString &name : names) {
            const QFileInfo output(here.filePath(convertedOutputPath(name)));
            QVERIFY2(output.size() > 0, qPrintable(output.filePath()));
            QVERIFY(QFile::remove(output.filePath()));
        }
    }
    QFile used(here.filePath("machines/used"));
    QVERIFY(used.open(QIODevice::ReadOnly));
    const QByteArray hosts = used.readAll();
    QVERIFY2(hosts.contains("one\n") && hosts.contains("two\n"), hosts.constData());
    // Sent files are cleaned up on the machines that converted them.
    QVERIFY(shared || QDir(here.filePath("machines/one")).entryList({ "*.mp4" }).isEmpty());
}

QTEST_GUILESS_MAIN(TestWindowless)
#include "tst_windowless.moc"
