#include "convert/converterqueue.h"
#include "convert/processendwatcher.h"
#include "convert/conversion.h"
#include "convert/outputrules.h"
#include "support/standinconverter.h"
#include "support/tracecapture.h"
#include "ui/droplabel.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QtTest>

#include <clocale>
#include <locale>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString workedExample = "C:/Videos/clip.mp4";

QStringList argumentsFor(const QString &input, const QString &filter, const QString &output)
{
    return { "-y", "-i", input, "-b:v", "10M", "-vf", filter, output };
}

// A C++ locale that writes numbers the German way, to show the trace does not follow it.
struct CommaDecimal : std::numpunct<char>
{
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Switches every locale the program could pick up to German while it lives.
class GermanLocale
{
public:
    GermanLocale()
        : m_cpp(std::locale::global(std::locale(std::locale::classic(), new CommaDecimal)))
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        std::setlocale(LC_ALL, "de_DE.UTF-8"); // where the machine has it
    }
    ~GermanLocale()
    {
        std::setlocale(LC_ALL, "C.UTF-8");
        QLocale::setDefault(QLocale::c());
        std::locale::global(m_cpp);
    }

private:
    std::locale m_cpp;
};

} // namespace

class TestLauncher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_converter.isValid()); }

    void traceAndArguments_data();
    void traceAndArguments();
    void argumentsArriveVerbatim_data();
    void argumentsArriveVerbatim();
    void pathsWithoutOutputNameStartNothing_data();
    void pathsWithoutOutputNameStartNothing();
    void existingOutput_data();
    void existingOutput();
    void linkPutWhileWaiting();
    void doesNotWaitForTheConverter();
    void converterReadsNothing();
    void missingConverterIsNotAnError();
    void endedConvertersLeaveNoDescriptor();
    void processGoneBeforeWatched();

private:
    StandInConverter m_converter;
    DropLabel m_label { dropPromptText(), nullptr };
};

void TestLauncher::traceAndArguments_data()
{
    QTest::addColumn<int>("kelvin");
    QTest::addColumn<bool>("german");
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("red");
    QTest::addColumn<QString>("green");
    QTest::addColumn<QString>("blue");

    QTest::newRow("2700 K") << 2700 << false << "81"
                            << "1"
                            << "0.676458"
                            << "0.347868";
    QTest::newRow("2799 K as 2700 K") << 2799 << false << "81"
                                      << "1"
                                      << "0.676458"
                                      << "0.347868";
    QTest::newRow("3000 K drops a zero") << 3000 << false << "90"
                                         << "1"
                                         << "0.71977"
                                         << "0.428602";
    QTest::newRow("100 K without exponent") << 100 << false << "3"
                                            << "1"
                                            << "0.0181727"
                                            << "0";
    QTest::newRow("0 K") << 0 << false << "0"
                         << "1"
                         << "0"
                         << "0";
    QTest::newRow("6500 K neutral") << 6500 << false << "195"
                                    << "1"
                                    << "1"
                                    << "1";
    QTest::newRow("below the table held") << -500 << false << "0"
                                          << "1"
                                          << "0"
                                          << "0";
    QTest::newRow("above the table held") << 99999 << false << "753"
                                          << "0.627403"
                                          << "0.75283"
                                          << "1";
    QTest::newRow("3000 K in a German locale") << 3000 << true << "90"
                                               << "1"
                                               << "0.71977"
                                               << "0.428602";
    QTest::newRow("100 K in a German locale") << 100 << true << "3"
                                              << "1"
                                              << "0.0181727"
                                              << "0";
}

void TestLauncher::traceAndArguments()
{
    QFETCH(int, kelvin);
    QFETCH(bool, german);
    QFETCH(QString, index);
    QFETCH(QString, red);
    QFETCH(QString, green);
    QFETCH(QString, blue);

    const QString filter = QString("eq=gamma_r=%1:gamma_g=%2:gamma_b=%3").arg(red, green, blue);
    const QString output = "C:/Videos/clip_output.mp4";
    const QStringList arguments = argumentsFor(workedExample, filter, output);
    {
        std::optional<GermanLocale> locale;
        if (german)
            locale.emplace();
        TraceCapture trace;
        m_label.convertFile(workedExample, kelvin);
        QCOMPARE(trace.lines(),
            QStringList({ "temp_index: " + index, "red_gamma: " + red, "green_gamma: " + green,
                "blue_gamma: " + blue, arguments.join(QLatin1Char(' ')) + QLatin1Char(' ') }));
    }
    QVERIFY(m_converter.waitForRuns(1));
    QCOMPARE(m_converter.runs().takeLast(), arguments);
    m_converter.clear();
}

void TestLauncher::argumentsArriveVerbatim_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");

    QTest::newRow("blanks") << "/tmp/My Videos/clip one.mp4"
                            << "/tmp/My Videos/clip one_output.mp4";
    QTest::newRow("quotes") << "/tmp/it's \"quoted\".mp4"
                            << "/tmp/it's \"quoted\"_output.mp4";
    QTest::newRow("command substitution")
        << "/tmp/$(touch zorv-marker) `touch zorv-marker`.mp4"
        << "/tmp/$(touch zorv-marker) `touch zorv-marker`_output.mp4";
    QTest::newRow("semicolons") << "/tmp/a; touch zorv-marker; b.mp4"
                                << "/tmp/a; touch zorv-marker; b_output.mp4";
    QTest::newRow("place markers") << "/tmp/%1 %2 %3.mp4"
                                   << "/tmp/%1 %2 %3_output.mp4";
    QTest::newRow("non-ASCII") << "/tmp/Grüße/видео 東京.mp4"
                               << "/tmp/Grüße/видео 東京_output.mp4";
}

void TestLauncher::argumentsArriveVerbatim()
{
    QFETCH(QString, input);
    QFETCH(QString, output);

    TraceCapture trace;
    m_label.convertFile(input, 2700);
    QVERIFY(m_converter.waitForRuns(1));
    const QStringList arguments
        = argumentsFor(input, "eq=gamma_r=1:gamma_g=0.676458:gamma_b=0.347868", output);
    QCOMPARE(m_converter.runs(), QList<QStringList> { arguments });
    QCOMPARE(trace.lines().value(4), arguments.join(QLatin1Char(' ')) + QLatin1Char(' '));
    // No shell ran the path.
    QVERIFY(!QFile::exists("zorv-marker"));
    m_converter.clear();
}

void TestLauncher::pathsWithoutOutputNameStartNothing_data()
{
    QTest::addColumn<QString>("input");

    QTest::newRow("empty, as from a web URL") << "";
    QTest::newRow("no dot") << "/tmp/videos/clip";
    QTest::newRow("dot in a folder only") << "/tmp/my.videos/clip";
}

void TestLauncher::pathsWithoutOutputNameStartNothing()
{
    QFETCH(QString, input);

    TraceCapture trace;
    m_label.convertFile(input, 2700);
    QCOMPARE(trace.lines(), QStringList());

    // A converter that had been started would record before this one, or soon after.
    m_label.convertFile(workedExample, 2700);
    QVERIFY(m_converter.waitForRuns(1));
    QTest::qWait(300);
    QCOMPARE(m_converter.runs().size(), 1);
    QCOMPARE(m_converter.runs().first().value(2), workedExample);
    m_converter.clear();
}

void TestLauncher::existingOutput_data()
{
    QTest::addColumn<QString>("kind"); // what stands at the output's name
    QTest::addColumn<QString>("why"); // not converted; empty where converted

    const QString special = "a link or a special file stands at the output's name";
    QTest::newRow("an ordinary file: overwritten") << "file"
                                                   << "";
    QTest::newRow("a symbolic link to the input") << "symbolic link to input" << special;
    QTest::newRow("the input a symbolic link to it") << "input links to it"
                                                     << "the output would be the input itself";
    QTest::newRow("a hard link to the input") << "hard link to input" << special;
    QTest::newRow("a symbolic link to another file") << "symbolic link to other" << special;
    QTest::newRow("a dangling symbolic link") << "symbolic link to nothing" << special;
    QTest::newRow("a hard link to another file") << "hard link to other" << special;
    QTest::newRow("a folder") << "folder"
                              << "a folder stands at the output's name";
    QTest::newRow("a named pipe") << "pipe" << special;
    QTest::newRow("an output name too long") << "too long"
                                             << "the output's name is too long for the file system";
}

void TestLauncher::existingOutput()
{
    QFETCH(QString, kind);
    QFETCH(QString, why);
    const bool converted = why.isEmpty();

    QTemporaryDir folder;
    const QString input
        = folder.filePath(kind == "too long" ? QString(246, 'n') + ".mp4" : "home.mp4");
    const QString output = convertedOutputPath(input);
    const QString other = folder.filePath(kind.endsWith("nothing") ? "gone" : "other.txt");
    for (const QString &file : { input, folder.filePath("other.txt") }) {
        QFile content(file);
        QVERIFY(content.open(QIODevice::WriteOnly) && content.write("data") == 4);
    }
    const QString target = kind.endsWith("input") ? input : other;
    const QByteArray outputName = QFile::encodeName(output);
    if (kind == "file")
        QVERIFY(QFile::copy(input, output));
    else if (kind == "input links to it")
        QVERIFY(QFile::rename(input, output) && QFile::link(output, input));
    else if (kind.startsWith("symbolic"))
        QVERIFY(QFile::link(target, output));
    else if (kind.startsWith("hard"))
        QCOMPARE(::link(QFile::encodeName(target).constData(), outputName.constData()), 0);
    else if (kind == "folder")
        QVERIFY(QDir().mkdir(output));
    else if (kind == "pipe")
        QCOMPARE(mkfifo(outputName.constData(), 0600), 0);
    QCOMPARE(whyNotConverted(input, output), why);

    TraceCapture trace;
    m_label.convertFile(input, 2700);
    QCOMPARE(trace.lines().size(), converted ? 5 : 0);
    if (converted) {
        QVERIFY(m_converter.waitForRuns(1));
    } else {
        QTest::qWait(300);
        QCOMPARE(m_converter.runs().size(), 0);
    }
    m_converter.clear();
}

void TestLauncher::linkPutWhileWaiting()
{
    // Every turn taken, so the next file waits; meanwhile a link appears at its output's name.
    qputenv("ZORV_STANDIN_SLEEP", "0.5");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    TraceCapture trace;
    for (int i = 0; i < converterLimit(); ++i)
        m_label.convertFile(QString("/tmp/busy%1.mp4").arg(i), 2700);
    QTemporaryDir folder;
    const QString input = folder.filePath("late.mp4");
    m_label.convertFile(input, 2700);
    QVERIFY(QFile::link(folder.filePath("elsewhere"), convertedOutputPath(input)));

    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(&m_label)->isIdle(), 10000);
    QCOMPARE(m_converter.runs().size(), converterLimit());
    m_converter.clear();
}

void TestLauncher::doesNotWaitForTheConverter()
{
    qputenv("ZORV_STANDIN_SLEEP", "3");
    QElapsedTimer timer;
    timer.start();
    {
        TraceCapture trace;
        m_label.convertFile("/tmp/first.mp4", 2700);
        m_label.convertFile("/tmp/second.mp4", 2700);
    }
    const qint64 elapsed = timer.elapsed();
    qunsetenv("ZORV_STANDIN_SLEEP");

    QVERIFY2(elapsed < 1500, qPrintable(QString::number(elapsed)));
    QVERIFY(m_converter.waitForRuns(2));
    m_converter.clear();
}

void TestLauncher::converterReadsNothing()
{
    // Started at once, not after our input is back; then our own input stands in for a
    // terminal: the converter must not get it.
    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(&m_label)->isIdle(), 10000);
    QTemporaryFile input;
    QVERIFY(input.open());
    const int savedInput = dup(STDIN_FILENO);
    QVERIFY(dup2(input.handle(), STDIN_FILENO) == STDIN_FILENO);
    {
        TraceCapture trace;
        m_label.convertFile(workedExample, 2700);
    }
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);

    QVERIFY(m_converter.waitForRuns(1));
    QCOMPARE(m_converter.standardInputs(), QStringList { "/dev/null" });
    m_converter.clear();
}

void TestLauncher::missingConverterIsNotAnError()
{
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(empty.path()));
    TraceCapture trace;
    m_label.convertFile(workedExample, 2700);
    qputenv("PATH", path);

    QCOMPARE(trace.lines().size(), 5);
    QCOMPARE(trace.lines().first(), "temp_index: 81");
}

void TestLauncher::endedConvertersLeaveNoDescriptor()
{
    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(&m_label)->isIdle(), 10000);
    QTest::qWait(50);
    const auto descriptors = [] { return QDir("/proc/self/fd").count(); };
    const uint before = descriptors();
    {
        TraceCapture trace;
        for (int i = 0; i < 3; ++i)
            m_label.convertFile(QString("/tmp/descriptor%1.mp4").arg(i), 2700);
    }
    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(&m_label)->isIdle(), 10000);
    QTRY_COMPARE(descriptors(), before);
    m_converter.clear();
}

void TestLauncher::processGoneBeforeWatched()
{
    // Ended and reaped before anyone watched it: it is reported ended all the same.
    QProcess gone;
    gone.start("true", QStringList());
    QVERIFY(gone.waitForStarted());
    const qint64 pid = gone.processId();
    QVERIFY(gone.waitForFinished());

    ProcessEndWatcher watcher(pid, nullptr);
    int ends = 0;
    connect(&watcher, &ProcessEndWatcher::ended, this, [&ends] { ++ends; });
    QTRY_COMPARE_WITH_TIMEOUT(ends, 1, 3000);
}

QTEST_MAIN(TestLauncher)
#include "tst_launcher.moc"
