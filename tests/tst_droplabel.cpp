#include "app/appsettings.h"
#include "app/consolereporter.h"
#include "convert/conversionlock.h"
#include "convert/converterqueue.h"
#include "convert/conversion.h"
#include "convert/converterlog.h"
#include "convert/gammatable.h"
#include "convert/outputrules.h"
#include "ui/desktoppresenter.h"
#include "ui/dropareastatus.h"
#include "ui/leftwaitingquestion.h"
#include "support/standinconverter.h"
#include "support/teststore.h"
#include "support/tracecapture.h"
#include "support/windowparts.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QMimeData>
#include <QtTest>

#include <algorithm>

namespace {

QMimeData *urlData(const QList<QUrl> &urls)
{
    auto *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

// Looks at the drop area each time the drop pass lets events run, once per URL: an event that
// re-posts itself is delivered once by each processEvents() call.
class PassObserver : public QObject
{
public:
    explicit PassObserver(const QLabel *dropArea)
        : m_dropArea(dropArea)
    {
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }

    QStringList texts;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        texts << m_dropArea->text().section(QLatin1Char('\n'), 0, 0); // what it does, not the batch
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        return true;
    }

private:
    const QLabel *m_dropArea;
};

} // namespace

class TestDropLabel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void dragEntry_data();
    void dragEntry();
    void dropConvertsEachFileInOrder();
    void batchTakesTurns_data();
    void batchTakesTurns();
    void missingConverterIsShown_data();
    void missingConverterIsShown();
    void batchShownAndCounted();
    void manyFailuresFitTheFrame();
    void longNamesMoveNothing();
    void convertWhatYouSee();
    void pickTheMoment();
    void heldFileToldOnce();
    void progressText_data();
    void progressText();
    void noticeBody_data();
    void noticeBody();
    void leftWaitingText_data();
    void leftWaitingText();
    void consoleLine_data();
    void consoleLine();
    void realConverterProgressAndReason();
    void noLogFolder();
    void waitingFileGetsTracedArguments();
    void closeWhileFilesWait_data();
    void closeWhileFilesWait();
    void dropOfNoUrls();
    void urlsWithoutOutputName_data();
    void urlsWithoutOutputName();
    void pathShownAndPassedVerbatim_data();
    void pathShownAndPassedVerbatim();
    void temperatureReadFromStorePerFile_data();
    void temperatureReadFromStorePerFile();
    void sliderMoveDuringDropApplies();
    void noDialogWhileHandingOn();

private:
    // Drags data onto the drop area and drops it there, as Qt delivers a drag: the drop goes
    // to the widget that accepted the entry. Tells whether the drop was marked accepted.
    bool drop(QMimeData *data);

    // Clicks the button of the question the window asks, once it is asked; records its text.
    void answerQuestion(const QString &button);

    StandInConverter m_converter;
    QTemporaryDir m_folder; // "real", and "link" to it
    QString m_question;
    std::unique_ptr<QMimeData> m_data;
    std::unique_ptr<MainWindow> m_window;
    DropLabel *m_dropArea = nullptr;
};

void TestDropLabel::initTestCase()
{
    QVERIFY(m_converter.isValid() && m_folder.isValid());
    QVERIFY(QDir(m_folder.path()).mkdir("real"));
    QVERIFY(QFile::link(m_folder.filePath("real"), m_folder.filePath("link")));
}

void TestDropLabel::init()
{
    QVERIFY(resetTestStore());
    m_converter.clear();
    m_window = std::make_unique<MainWindow>();
    m_dropArea = WindowParts(*m_window).dropArea;
    QVERIFY(m_dropArea);
}

void TestDropLabel::cleanup()
{
    // What a row started ends within the row, so a late run is never blamed on the next one.
    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(m_dropArea)->isIdle(), 10000);
    m_window.reset();
    m_data.reset();
}

bool TestDropLabel::drop(QMimeData *data)
{
    m_data.reset(data);
    const QPoint centre = m_dropArea->rect().center();
    QDragEnterEvent entry(centre, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_dropArea, &entry);
    if (!entry.isAccepted())
        return false;
    QDropEvent event(centre, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_dropArea, &event);
    return event.isAccepted();
}

void TestDropLabel::dragEntry_data()
{
    QTest::addColumn<bool>("withUrls");
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<Qt::DropActions>("offered");
    QTest::addColumn<Qt::DropAction>("taken"); // IgnoreAction: refused

    const QUrl file = QUrl::fromLocalFile("/tmp/clip.mp4");
    const Qt::DropActions all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QTest::newRow("text only: refused") << false << QUrl() << all << Qt::IgnoreAction;
    QTest::newRow("file, copy") << true << file << Qt::DropActions(Qt::CopyAction)
                                << Qt::CopyAction;
    QTest::newRow("file, copy, move and link: a copy") << true << file << all << Qt::CopyAction;
    QTest::newRow("file, move and link: a link")
        << true << file << (Qt::MoveAction | Qt::LinkAction) << Qt::LinkAction;
    QTest::newRow("file, a move only: a move")
        << true << file << Qt::DropActions(Qt::MoveAction) << Qt::MoveAction;
    QTest::newRow("web URL: accepted at entry")
        << true << QUrl("https://example.org/v.mp4") << Qt::DropActions(Qt::CopyAction)
        << Qt::CopyAction;
}

void TestDropLabel::dragEntry()
{
    QFETCH(bool, withUrls);
    QFETCH(QUrl, url);
    QFETCH(Qt::DropActions, offered);
    QFETCH(Qt::DropAction, taken);

    QMimeData data;
    data.setText("some text");
    if (withUrls)
        data.setUrls({ url });
    const QPoint centre = m_dropArea->rect().center();
    QDragEnterEvent entry(centre, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_dropArea, &entry);
    QCOMPARE(entry.isAccepted(), taken != Qt::IgnoreAction);
    if (entry.isAccepted())
        QCOMPARE(entry.dropAction(), taken);

    // Every move over the drop area answers the same, whatever the platform proposes.
    QDragMoveEvent move(centre, offered, &data, Qt::LeftButton, Qt::NoModifier);
    move.setDropAction(Qt::MoveAction);
    QCoreApplication::sendEvent(m_dropArea, &move);
    if (taken != Qt::IgnoreAction)
        QCOMPARE(move.dropAction(), taken);
    QCOMPARE(m_dropArea->text(), dropPromptText());
}

void TestDropLabel::dropConvertsEachFileInOrder()
{
    const QStringList paths = { "/tmp/v/b.mp4", "/tmp/v/a.mkv", "/tmp/v/c.mov" };
    TraceCapture trace;
    PassObserver observer(m_dropArea);
    const bool accepted = drop(urlData({ QUrl::fromLocalFile(paths[0]),
        QUrl::fromLocalFile(paths[1]), QUrl::fromLocalFile(paths[2]) }));

    // Each path line is followed by that file's own conversion lines.
    const QStringList lines = trace.lines();
    QCOMPARE(lines.size(), 3 * 6);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(lines[6 * i], paths[i]);
        QCOMPARE(lines[6 * i + 1], "temp_index: 81");
        QVERIFY2(
            lines[6 * i + 5].startsWith("-y -i " + paths[i] + " "), qPrintable(lines[6 * i + 5]));
    }
    // The first and the last file are shown; one between may be left out at the display's pace.
    QCOMPARE(observer.texts.size(), 3);
    QCOMPARE(observer.texts.first(), "Converting /tmp/v/b.mp4...");
    QVERIFY(observer.texts[1].endsWith("b.mp4...") || observer.texts[1].endsWith("a.mkv..."));
    QCOMPARE(observer.texts.last(), "Converting /tmp/v/c.mov...");
    QCOMPARE(m_dropArea->text().section('\n', 0, 0), dropPromptText());
    // The source is told the drop was not taken, although every file was handed on.
    QVERIFY(!accepted);
    QVERIFY(m_converter.waitForRuns(3));
    QCOMPARE(m_converter.runs().size(), 3);
}

void TestDropLabel::batchTakesTurns_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("starts"); // the outputs in the order they must start

    QTest::newRow("six files") << QStringList { "1.mp4", "2.mp4", "3.mp4", "4.mp4", "5.mp4",
        "6.mp4" }
                               << QStringList { "1_output.mp4", "2_output.mp4", "3_output.mp4",
                                      "4_output.mp4", "5_output.mp4", "6_output.mp4" };
    // The second writer of one output waits while the first runs; the next file goes ahead.
    QTest::newRow("one file twice at once") << QStringList { "a.mp4", "a.mp4",
        "b.mp4" } << QStringList { "a_output.mp4", "b_output.mp4", "a_output.mp4" };
    QTest::newRow("one file twice, once through a linked folder")
        << QStringList { "a.mp4", "../link/a.mp4", "b.mp4" }
        << QStringList { "a_output.mp4", "b_output.mp4", "a_output.mp4" };
    // Nothing is read while it is written, whichever came first.
    QTest::newRow("an output read first: its writer waits for the reader")
        << QStringList { "x_output.mp4", "x.mp4", "b.mp4" }
        << QStringList { "x_output_output.mp4", "b_output.mp4", "x_output.mp4" };
    QTest::newRow("written first: its reader waits, through a linked folder")
        << QStringList { "y.mp4", "../link/y_output.mp4", "b.mp4" }
        << QStringList { "y_output.mp4", "b_output.mp4", "y_output_output.mp4" };
}

void TestDropLabel::batchTakesTurns()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, starts);

    qputenv("ZORV_STANDIN_SLEEP", "0.3");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    const QDir real(m_folder.filePath("real"));
    QList<QUrl> urls;
    for (const QString &file : files)
        urls << QUrl::fromLocalFile(real.absoluteFilePath(file));
    for (QString &output : starts)
        output = real.canonicalPath() + '/' + output;
    TraceCapture trace;
    TraceCapture errors(std::cerr);
    drop(urlData(urls));
    // The pass has handled every file before the first converter ends.
    QCOMPARE(trace.lines().size(), 6 * files.size());
    QVERIFY(m_converter.events().filter("end ").isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(m_dropArea)->isIdle(), 10000);
    const BatchSummary batch = summarizeBatch(m_converter.events());
    const int turn = std::min(QThread::idealThreadCount(), 2);
    QCOMPARE(inTurns(batch.starts, turn), inTurns(starts, turn));
    QCOMPARE(batch.mostAtOnce, turn);
    QVERIFY(!batch.outputWrittenTwiceAtOnce);
    // Our own files wait their turn: no other program is blamed.
    QCOMPARE(errors.lines(), QStringList());
}

void TestDropLabel::missingConverterIsShown_data()
{
    QTest::addColumn<bool>("whileWaiting"); // else missing at the drop already
    QTest::addColumn<QStringList>("failed");
    QTest::addColumn<QStringList>("nested"); // dropped while the second file is handed on

    // Each failed start leaves the queue idle: the drop's files still count together, and
    // with them those of a drop that begins inside its pass.
    QTest::newRow("missing at the drop, three files")
        << false << QStringList { "/tmp/v/a.mp4", "/tmp/v/b.mp4", "/tmp/v/c.mp4" } << QStringList();
    QTest::newRow("removed while a file waits")
        << true << QStringList { "/tmp/v/a.mp4" } << QStringList();
    QTest::newRow("missing, and a drop inside the pass")
        << false << QStringList { "/tmp/v/a.mp4", "/tmp/v/c.mp4", "/tmp/v/b.mp4" }
        << QStringList { "/tmp/v/c.mp4" };
}

void TestDropLabel::missingConverterIsShown()
{
    QFETCH(bool, whileWaiting);
    QFETCH(QStringList, failed);
    QFETCH(QStringList, nested);

    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    const auto restore = qScopeGuard([&path] {
        qputenv("PATH", path);
        qunsetenv("ZORV_STANDIN_SLEEP");
    });
    m_window->show(); // with its size, for the names to fit
    QList<QUrl> urls;
    for (const QString &file : failed) {
        if (!nested.contains(file))
            urls << QUrl::fromLocalFile(file);
    }
    if (!nested.isEmpty()) {
        // Posted again when first delivered: handed on at the second file's event step.
        QMetaObject::invokeMethod(
            m_dropArea,
            [this, nested] {
                QMetaObject::invokeMethod(
                    m_dropArea, [this, nested] { handOnFiles(m_dropArea, nested); },
                    Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
    }
    if (whileWaiting) {
        qputenv("ZORV_STANDIN_SLEEP", "0.3");
        for (int i = 0; i < converterLimit(); ++i)
            urls << QUrl::fromLocalFile(QString("/tmp/v/busy%1.mp4").arg(i));
        std::rotate(urls.begin(), urls.begin() + 1, urls.end()); // a.mp4 waits, last
    } else {
        qputenv("PATH", QFile::encodeName(empty.path()));
    }
    TraceCapture trace;
    drop(urlData(urls));
    qputenv("PATH", QFile::encodeName(empty.path()));
    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(m_dropArea)->isIdle(), 10000);
    qputenv("PATH", path);

    QCOMPARE(trace.lines().size(), 6 * (urls.size() + nested.size()));
    QStringList inputs;
    for (const FailedFile &file : ConverterQueue::of(m_dropArea)->batch().failed)
        inputs << file.input;
    QCOMPARE(inputs, failed);
    QStringList named; // each failed file on a line of its own, with the reason
    for (const QString &file : failed)
        named << QFileInfo(file).fileName() + ": ffmpeg could not";
    // The status follows the batch at the display's pace: the last converter's end shows a
    // frame after the queue fell idle.
    const auto endsWithTheFailures = [&] {
        QStringList lines = m_dropArea->text().split('\n');
        for (QString &line : lines)
            line.truncate(named.first().size());
        return lines.join('\n').endsWith(
            QString("%1 failed\n").arg(failed.size()) + named.join('\n'));
    };
    QTRY_VERIFY2(endsWithTheFailures(), qPrintable(m_dropArea->text()));
    QVERIFY(m_dropArea->text().startsWith(converterMissingText()));
    QVERIFY(m_dropArea->text().contains("ffmpeg"));
    // Until the next drop.
    drop(urlData({ QUrl::fromLocalFile("/tmp/v/b.mp4") }));
    QCOMPARE(m_dropArea->text().section('\n', 0, 0), dropPromptText());
}

void TestDropLabel::batchShownAndCounted()
{
    // Ends chosen by name: exit code 3, killed by a signal, converted.
    qputenv("ZORV_STANDIN_SLEEP", "0.3");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    m_window->show();
    QVERIFY(QDir(conversionLogFolder()).removeRecursively());
    const int turn = converterLimit();
    TraceCapture errors(std::cerr);
    drop(urlData({ QUrl::fromLocalFile("/tmp/v/one.mp4"),
        QUrl::fromLocalFile("/tmp/v/clip exit3.mp4"), QUrl::fromLocalFile("/tmp/v/clip killed.mp4"),
        QUrl::fromLocalFile("/tmp/v/two.mp4") }));

    QCOMPARE(m_window->windowTitle(), "0/4 \u00b7 Zorv Video Converter");
    const QStringList running = QStringList { "one.mp4", "clip exit3.mp4" }.mid(0, turn);
    QCOMPARE(m_dropArea->text(),
        dropPromptText() + QString("\n\n%1 converting, %2 waiting\n").arg(turn).arg(4 - turn)
            + running.join('\n'));
    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(m_dropArea)->isIdle(), 10000);
    QTRY_COMPARE(m_window->windowTitle(), "Zorv Video Converter");
    // Each failed file with the converter's own reason, or how it ended where it gave none.
    const QStringList shown = m_dropArea->text().split('\n');
    QCOMPARE(shown.mid(0, 3), QStringList({ dropPromptText(), "", "2 converted, 2 failed" }));
    QCOMPARE(shown.size(), 5);
    QVERIFY2(shown[3].startsWith("clip exit3.mp4: Invalid"), qPrintable(shown[3]));
    QVERIFY2(shown[4].startsWith("clip killed.mp4: ffmpeg"), qPrintable(shown[4]));
    const QString logs = conversionLogFolder();
    const QStringList kept = QDir(logs).entryList(QDir::Files);
    QCOMPARE(kept.size(), 2); // those of the converted files are gone
    const QRegularExpression failures(
        "^Conversion failed: /tmp/v/clip (exit3|killed).mp4 -> /tmp/v/clip \\1_output.mp4: "
        "(ffmpeg exited with code 3: /tmp/v/clip exit3.mp4: Invalid data found when processing "
        "input|ffmpeg was ended by signal 9 \\(Killed\\)) \\(log: "
        + QRegularExpression::escape(logs) + "/clip \\1.mp4-\\d{8}-\\d{6}-\\d+.log\\)$");
    QCOMPARE(errors.lines().size(), 2);
    for (const QString &line : errors.lines()) {
        const QRegularExpressionMatch match = failures.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        const QFileInfo log(line.section("(log: ", 1).chopped(1));
        QVERIFY2(kept.contains(log.fileName()), qPrintable(log.fileName()));
        QCOMPARE(log.permissions() & 0x7777,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }

    // Every ended child is reaped: the converters, and the preview's ffmpeg, which Qt reaps once
    // the events of its end have run.
    const auto zombieChild = [] {
        for (const QString &pid : QDir("/proc").entryList({ "[0-9]*" }, QDir::Dirs)) {
            QFile stat("/proc/" + pid + "/stat");
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
            if (fields.value(1) == "Z"
                && fields.value(2).toLongLong() == QCoreApplication::applicationPid())
                return pid;
        }
        return QString();
    };
    QTRY_VERIFY2(zombieChild().isEmpty(), qPrintable("a zombie child: " + zombieChild()));

    // A later drop is a new batch.
    drop(urlData({ QUrl::fromLocalFile("/tmp/v/three.mp4") }));
    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(m_dropArea)->isIdle(), 10000);
    QTRY_COMPARE(m_dropArea->text(), dropPromptText() + "\n\n1 converted");
}

void TestDropLabel::manyFailuresFitTheFrame()
{
    // More failed names than the drop area has lines: those that fit, then the count of the rest.
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    const auto restore = qScopeGuard([&path] { qputenv("PATH", path); });
    qputenv("PATH", QFile::encodeName(empty.path()));
    m_window->show();
    QList<QUrl> urls;
    for (int i = 0; i < 40; ++i)
        urls << QUrl::fromLocalFile(QString("/tmp/v/%1.mp4").arg(i));
    TraceCapture trace;
    TraceCapture errors(std::cerr);
    drop(urlData(urls));
    QTRY_VERIFY(m_dropArea->text().contains("0 converted, 40 failed"));

    const QStringList lines = m_dropArea->text().split('\n');
    const QRegularExpression rest("^and (\\d+) more$");
    const QRegularExpressionMatch more = rest.match(lines.last());
    QVERIFY2(more.hasMatch(), qPrintable(lines.last()));
    const int shown = int(lines.filter(QRegularExpression("^\\d+\\.mp4: ")).size());
    QVERIFY(shown > 0);
    QCOMPARE(shown + more.captured(1).toInt(), 40);
    QVERIFY(lines.size() * m_dropArea->fontMetrics().lineSpacing()
        <= m_dropArea->contentsRect().height());
}

void TestDropLabel::longNamesMoveNothing()
{
    // Two long names converting: the drop area shortens them, and nothing beside it moves.
    qputenv("ZORV_STANDIN_SLEEP", "1");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    const TintPreview *preview = WindowParts(*m_window).preview;
    const QRect place = preview->geometry();
    const QString name = "/tmp/v/a_rather_long_file_name_from_a_camera_2026-12-09_holiday_%1.mp4";
    PassObserver observer(m_dropArea);
    drop(urlData({ QUrl::fromLocalFile(name.arg(1)), QUrl::fromLocalFile(name.arg(2)) }));
    QVERIFY2(observer.texts.value(0).contains(
                 QRegularExpression("^Converting /.*\u2026.*_1\\.mp4\\.\\.\\.$")),
        qPrintable(observer.texts.value(0)));
    QTRY_VERIFY(m_dropArea->text().contains("2 converting"));
    QTest::qWait(200);
    QCOMPARE(preview->geometry(), place);
    QCOMPARE(m_window->size(), QSize(400 + previewSpacing + previewWidth, 500));
}

void TestDropLabel::convertWhatYouSee()
{
    const QString clip = m_folder.filePath("flat.mp4");
    QCOMPARE(QProcess::execute(m_converter.realConverter(),
                 { "-v", "error", "-f", "lavfi", "-i", "color=c=0x5080C0:s=64x36:d=1", clip }),
        0);
    m_window->show();
    const WindowParts parts(*m_window);
    parts.slider->setValue(3200);
    parts.preview->showFile(clip);
    QTRY_VERIFY_WITH_TIMEOUT(parts.convert->isEnabled(), 10000);

    // Each press, by Space or Enter, converts what the preview shows at its temperature.
    TraceCapture trace;
    QTest::keyClick(parts.convert, Qt::Key_Space);
    QTest::keyClick(parts.convert, Qt::Key_Return);
    QVERIFY(m_converter.waitForRuns(2));
    QCOMPARE(trace.lines().count(clip), 2);
    for (const QStringList &run : m_converter.runs())
        QCOMPARE(run.mid(2, 5),
            QStringList({ clip, "-b:v", "10M", "-vf", rowFilter(gammaTableIndex(3200)) }));

    // Compared: the original at the left, the re-tinted picture at the right.
    const QRect picture = parts.preview->pictureRect();
    const auto pixelAt = [&](int x) {
        const QImage image = parts.preview->grab().toImage();
        return image.pixel(
            QPointF(picture.x() + x, picture.center().y()).toPoint() * image.devicePixelRatio());
    };
    const QRgb tinted = pixelAt(picture.width() / 4);
    parts.compare->click();
    QCOMPARE(pixelAt(picture.width() * 3 / 4), tinted);
    const QRgb original = pixelAt(picture.width() / 4);
    QVERIFY2(std::abs(qRed(original) - 0x50) <= 3 && std::abs(qBlue(original) - 0xC0) <= 3,
        qPrintable(QString::number(original, 16)));
    QVERIFY(parts.preview->caption().endsWith(" K (left: the original)"));

    // A file with no picture is nothing to convert.
    QFile text(m_folder.filePath("notes.txt"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    parts.preview->showFile(text.fileName());
    QTRY_VERIFY_WITH_TIMEOUT(!parts.convert->isEnabled(), 10000);
}

void TestDropLabel::pickTheMoment()
{
    // Ten seconds with a key frame each two: the one before a third of the way in, then before a
    // tenth on, and two back; each named by its own time.
    const QString clip = m_folder.filePath("moving.mp4");
    QCOMPARE(QProcess::execute(m_converter.realConverter(),
                 { "-v", "error", "-y", "-f", "lavfi", "-i",
                     "testsrc2=size=96x64:rate=25:duration=10", "-g", "50", clip }),
        0);
    m_window->show();
    const WindowParts parts(*m_window);
    parts.preview->showFile(clip);
    QTRY_COMPARE_WITH_TIMEOUT(parts.preview->caption(), "moving.mp4 at 0:02, 2700 K", 10000);
    const QImage before = parts.preview->grab().toImage();
    QTest::keyClick(parts.preview, Qt::Key_Right);
    QTRY_COMPARE_WITH_TIMEOUT(parts.preview->caption(), "moving.mp4 at 0:04, 2700 K", 10000);
    QVERIFY(parts.preview->grab().toImage() != before);
    const QPoint middle = parts.preview->pictureRect().center();
    QWheelEvent back(middle, parts.preview->mapToGlobal(middle), {}, { 0, 120 }, Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(parts.preview, &back);
    QCoreApplication::sendEvent(parts.preview, &back);
    QTRY_COMPARE_WITH_TIMEOUT(parts.preview->caption(), "moving.mp4 at 0:02, 2700 K", 10000);
}

void TestDropLabel::heldFileToldOnce()
{
    // Another program's converter holds one file while two others take the turns, past the
    // retries, and end: it is told waiting once, and starts when the hold goes.
    qputenv("ZORV_STANDIN_SLEEP", "1.5");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    auto other = std::make_unique<ConversionLock>();
    QString why;
    QCOMPARE(other->take(outputKey("/tmp/v/held.mp4"), outputKey("/tmp/v/held_output.mp4"), &why),
        ConversionLock::Held);
    TraceCapture errors(std::cerr);
    drop(urlData({ QUrl::fromLocalFile("/tmp/v/held.mp4"), QUrl::fromLocalFile("/tmp/v/one.mp4"),
        QUrl::fromLocalFile("/tmp/v/two.mp4") }));
    QTRY_COMPARE_WITH_TIMEOUT(m_converter.events().filter("end ").size(), 2, 10000);
    other.reset();
    QTRY_COMPARE_WITH_TIMEOUT(m_converter.runs().size(), 3, 10000);
    QCOMPARE(errors.lines().filter("Waiting for another conversion of /tmp/v/held.mp4").size(), 1);
}

void TestDropLabel::progressText_data()
{
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("speed");
    QTest::addColumn<QString>("text");

    QTest::newRow("minutes left") << 600.0 << 246.0 << 2.0 << "41 %, 3 min left";
    QTest::newRow("under a minute") << 100.0 << 60.0 << 1.0 << "60 %, 40 seconds left";
    QTest::newRow("over an hour") << 7200.0 << 0.0 << 1.8 << "0 %, 1 h 7 min left";
    QTest::newRow("speed not known yet") << 600.0 << 0.0 << -1.0 << "0 %";
    QTest::newRow("at its end: not done until it has ended")
        << 600.0 << 600.0 << 2.0 << "99 %, 1 second left";
    QTest::newRow("no duration: how much is done") << -1.0 << 192.5 << 1.0 << "00:03:12 done";
    QTest::newRow("nothing said yet") << -1.0 << -1.0 << -1.0 << "";
}

void TestDropLabel::progressText()
{
    QFETCH(double, duration);
    QFETCH(double, position);
    QFETCH(double, speed);
    QFETCH(QString, text);

    LogFacts facts;
    facts.duration = duration;
    facts.position = position;
    facts.speed = speed;
    QCOMPARE(conversionProgressText(facts), text);
}

void TestDropLabel::noticeBody_data()
{
    QTest::addColumn<int>("failed");
    QTest::addColumn<QString>("body");

    QTest::newRow("two failed: both named") << 2 << "1.mp4\n2.mp4";
    QTest::newRow("five failed: three named, and how many more")
        << 5 << "1.mp4\n2.mp4\n3.mp4\nand 2 more";
}

void TestDropLabel::leftWaitingText_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<QString>("names");

    QTest::newRow("five: all named") << 5 << "1.mp4\n2.mp4\n3.mp4\n4.mp4\n5.mp4";
    QTest::newRow("seven: four named, and how many more")
        << 7 << "1.mp4\n2.mp4\n3.mp4\n4.mp4\nand 3 more";
}

void TestDropLabel::leftWaitingText()
{
    QFETCH(int, files);
    QFETCH(QString, names);

    QStringList inputs;
    for (int i = 1; i <= files; ++i)
        inputs << QString("/v/%1.mp4").arg(i);
    QCOMPARE(leftWaitingQuestionText(inputs, QDate(2026, 12, 9)),
        QString("%1 files were waiting to be converted when Zorv Video Converter last ended, "
                "dropped on Wednesday, 9 December 2026:\n%2")
            .arg(files)
            .arg(names));
}

void TestDropLabel::consoleLine_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("refused"); // files not queued, counted as failed
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("line");

    const QString camera = "a_rather_long_file_name_from_a_camera_2026-12-09_holiday_%1.mp4";
    QTest::newRow("short names: as they are")
        << QStringList { "a.mp4", "b.mp4" } << 1 << 80
        << "0/2 converted, 1 failed \u00b7 a.mp4 41 %, 3 min left \u00b7 b.mp4 41 %, 3 min left";
    QTest::newRow("two long names at 80 columns: the names cut in the middle")
        << QStringList { camera.arg(1), camera.arg(2) } << 0 << 80
        << "0/2 converted, 0 failed \u00b7 a_ra\u2026mp4 41 %, 3 min left \u00b7 "
           "a_ra\u2026mp4 41 %, 3 min left";
    QTest::newRow("more than fit: cut one short of the width, or the terminal wraps")
        << QStringList { "a.mp4", "b.mp4", "c.mp4" } << 0 << 60
        << "0/2 converted, 0 failed \u00b7 a.mp4 41 %, 3 min left \u00b7 b.mp4 41";
}

void TestDropLabel::consoleLine()
{
    QFETCH(QStringList, names);
    QFETCH(int, refused);
    QFETCH(int, width);
    QFETCH(QString, line);

    Batch batch;
    for (const QString &name : names) {
        LogFacts facts;
        facts.duration = 600;
        facts.position = 246;
        facts.speed = 2;
        batch.progress << ConvertingFile { "/v/" + name, facts };
    }
    batch.converting = int(names.size());
    const QString text = consoleProgressText(batch, 2, refused, width);
    QCOMPARE(text, line);
    QVERIFY(text.size() < width);
}

void TestDropLabel::noticeBody()
{
    QFETCH(int, failed);
    QFETCH(QString, body);

    Batch batch;
    for (int i = 1; i <= failed; ++i)
        batch.failed << FailedFile { QString("/v/%1.mp4").arg(i), "why" };
    QCOMPARE(batchNoticeBody(batch), body);
}

void TestDropLabel::realConverterProgressAndReason()
{
    // The real ffmpeg, on a clip long enough to be seen converting and on a file of garbage.
    const QByteArray path = qgetenv("PATH");
    const auto restore = qScopeGuard([&path] { qputenv("PATH", path); });
    qputenv("PATH", path.mid(path.indexOf(':') + 1)); // the stand-in comes first
    QTemporaryDir clips;
    const QString clip = clips.filePath("clip.mp4");
    QCOMPARE(QProcess::execute("ffmpeg",
                 { "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=40",
                     "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", clip }),
        0);
    const QString bad = clips.filePath("bad.mp4");
    QFile garbage(bad);
    QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(4096, 'x')) == 4096);
    garbage.close();
    QVERIFY(QDir(conversionLogFolder()).removeRecursively());
    m_window->show();

    TraceCapture trace;
    TraceCapture errors(std::cerr);
    drop(urlData({ QUrl::fromLocalFile(clip), QUrl::fromLocalFile(bad) }));
    // The name, then the share on the same line or the next.
    const QRegularExpression shareShown("\\nclip\\.mp4[ \\n](\\d+) %");
    const auto shown = [&] {
        const QRegularExpressionMatch match = shareShown.match(m_dropArea->text());
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    };
    int first = -1;
    QTRY_VERIFY_WITH_TIMEOUT((first = shown()) >= 1, 30000);
    QVERIFY2(first <= 99, qPrintable(m_dropArea->text()));
    QTRY_VERIFY2_WITH_TIMEOUT(shown() > first && m_dropArea->text().contains(" left"),
        qPrintable(m_dropArea->text()), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(m_dropArea)->isIdle(), 60000);

    QTRY_VERIFY2(m_dropArea->text().contains("1 converted, 1 failed\nbad.mp4: Invalid data"),
        qPrintable(m_dropArea->text()));
    const QStringList logs = QDir(conversionLogFolder()).entryList(QDir::Files);
    QCOMPARE(logs.size(), 1);
    const QString log = conversionLogFolder() + '/' + logs.first();
    QVERIFY2(logs.first().startsWith("bad.mp4-"), qPrintable(logs.first()));
    QCOMPARE(QFileInfo(log).permissions() & 0x0fff, QFile::ReadUser | QFile::WriteUser);
    QCOMPARE(errors.lines(),
        QStringList { "Conversion failed: " + bad + " -> " + clips.filePath("bad_output.mp4")
            + ": ffmpeg exited with code 1: " + bad
            + ": Invalid data found when processing input (log: " + log + ")" });
}

void TestDropLabel::noLogFolder()
{
    // A file where the logs' folder should be: the converters start all the same, with their
    // messages on the program's standard error, which says once why.
    QVERIFY(QDir(conversionLogFolder()).removeRecursively());
    QVERIFY(QDir().mkpath(QFileInfo(conversionLogFolder()).path()));
    QFile blocker(conversionLogFolder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    const auto unblock = qScopeGuard([&blocker] { blocker.remove(); });
    TraceCapture trace;
    TraceCapture errors(std::cerr);
    drop(urlData({ QUrl::fromLocalFile("/tmp/v/a.mp4"), QUrl::fromLocalFile("/tmp/v/b.mp4") }));
    QVERIFY(m_converter.waitForRuns(2));
    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(m_dropArea)->isIdle(), 10000);
    QCOMPARE(errors.lines().size(), 1);
    QVERIFY2(errors.lines().first().startsWith("No conversion logs: " + conversionLogFolder()),
        qPrintable(errors.lines().first()));
}

void TestDropLabel::waitingFileGetsTracedArguments()
{
    // The slider moves while the last file waits: its converter still gets what its trace said.
    qputenv("ZORV_STANDIN_SLEEP", "0.3");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    TraceCapture trace;
    drop(urlData({ QUrl::fromLocalFile("/tmp/v/a.mp4"), QUrl::fromLocalFile("/tmp/v/b.mp4"),
        QUrl::fromLocalFile("/tmp/v/c.mp4") }));
    QVERIFY(ConverterQueue::of(m_dropArea)->batch().waiting > 0);
    WindowParts(*m_window).slider->setValue(5000);
    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(m_dropArea)->isIdle(), 10000);

    QStringList traced;
    for (int i = 5; i < trace.lines().size(); i += 6)
        traced << trace.lines()[i];
    QStringList started;
    for (const QStringList &run : m_converter.runs())
        started << run.join(' ') + ' ';
    QCOMPARE(started, traced);
}

void TestDropLabel::answerQuestion(const QString &button)
{
    m_question.clear();
    auto *look = new QTimer(this);
    connect(look, &QTimer::timeout, this, [this, look, button] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        m_question = box->text();
        for (QAbstractButton *choice : box->buttons()) {
            if (choice->text() == button)
                choice->click();
        }
        look->deleteLater();
    });
    look->start(20);
}

void TestDropLabel::closeWhileFilesWait_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<QString>("answer"); // empty: no question may be asked
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("started");
    QTest::addColumn<QStringList>("notStarted"); // as standard error names them

    const int turn = converterLimit();
    QTest::newRow("keep converting (the default)")
        << turn + 2 << "&Keep Converting" << true << turn + 2 << QStringList();
    QTest::newRow("stop the waiting files")
        << turn + 2 << "&Stop Waiting Files" << true << turn
        << QStringList { QString("Not started: /tmp/v/%1.mp4").arg(turn),
               QString("Not started: /tmp/v/%1.mp4").arg(turn + 1) };
    QTest::newRow("don't close") << turn + 2 << "&Don't Close" << false << turn + 2
                                 << QStringList();
    QTest::newRow("nothing waits: no question") << turn << "" << true << turn << QStringList();
}

void TestDropLabel::closeWhileFilesWait()
{
    QFETCH(int, files);
    QFETCH(QString, answer);
    QFETCH(bool, closed);
    QFETCH(int, started);
    QFETCH(QStringList, notStarted);

    qputenv("ZORV_STANDIN_SLEEP", "0.3");
    const auto awake = qScopeGuard([] { qunsetenv("ZORV_STANDIN_SLEEP"); });
    m_window->show();
    QList<QUrl> urls;
    for (int i = 0; i < files; ++i)
        urls << QUrl::fromLocalFile(QString("/tmp/v/%1.mp4").arg(i));
    TraceCapture trace;
    TraceCapture errors(std::cerr);
    drop(urlData(urls));
    answerQuestion(answer.isEmpty() ? "&Keep Converting" : answer);
    m_window->close();

    QCOMPARE(m_window->isVisible(), !closed);
    if (answer.isEmpty())
        QVERIFY2(m_question.isEmpty(), qPrintable(m_question));
    else
        QVERIFY2(m_question.startsWith("2 files wait to be converted, and "
                     + QString::number(converterLimit()) + " converting."),
            qPrintable(m_question));
    QTRY_VERIFY_WITH_TIMEOUT(ConverterQueue::of(m_dropArea)->isIdle(), 10000);
    QTest::qWait(100);
    QCOMPARE(m_converter.runs().size(), started);
    QCOMPARE(errors.lines(), notStarted);
}

void TestDropLabel::dropOfNoUrls()
{
    m_dropArea->setText("stale");
    TraceCapture trace;
    PassObserver observer(m_dropArea);
    // URLs on offer, but the list turns out empty.
    auto *data = new QMimeData;
    data->setData("text/uri-list", "\r\n");
    QVERIFY(data->hasUrls() && data->urls().isEmpty());
    drop(data);
    QCoreApplication::processEvents();

    QCOMPARE(trace.lines(), QStringList());
    QVERIFY(!observer.texts.contains("Converting ..."));
    QCOMPARE(m_dropArea->text(), dropPromptText());
    QTest::qWait(300);
    QCOMPARE(m_converter.runs().size(), 0);
}

void TestDropLabel::urlsWithoutOutputName_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("pathLine");

    QTest::newRow("web URL: empty path") << QUrl("https://example.org/v.mp4") << "";
    QTest::newRow("another host's file: empty path") << QUrl("file://host/share/v.mp4") << "";
    QTest::newRow("an option for the converter: empty path") << QUrl("file:-y.mp4") << "";
    QTest::newRow("file without a dot") << QUrl::fromLocalFile("/tmp/v/clip") << "/tmp/v/clip";
}

void TestDropLabel::urlsWithoutOutputName()
{
    QFETCH(QUrl, url);
    QFETCH(QString, pathLine);

    TraceCapture trace;
    PassObserver observer(m_dropArea);
    drop(urlData({ url }));

    QCOMPARE(trace.lines(), QStringList { pathLine });
    QCOMPARE(observer.texts.value(0), convertingText(pathLine));
    QTest::qWait(300);
    QCOMPARE(m_converter.runs().size(), 0);
}

void TestDropLabel::pathShownAndPassedVerbatim_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("path");

    QTest::newRow("localhost: the local path")
        << QUrl("file://localhost/tmp/v%20w.mp4") << "/tmp/v w.mp4";
    QTest::newRow("this machine by name: the local path")
        << QUrl("file://" + QSysInfo::machineHostName() + "/tmp/v.mp4") << "/tmp/v.mp4";
    QTest::newRow("place markers")
        << QUrl::fromLocalFile("/tmp/%1 %2/take %1.mp4") << "/tmp/%1 %2/take %1.mp4";
    QTest::newRow("non-ASCII") << QUrl::fromLocalFile("/tmp/Grüße/видео.mp4")
                               << "/tmp/Grüße/видео.mp4";
}

void TestDropLabel::pathShownAndPassedVerbatim()
{
    QFETCH(QUrl, url);
    QFETCH(QString, path);

    TraceCapture trace;
    PassObserver observer(m_dropArea);
    drop(urlData({ url }));

    QCOMPARE(observer.texts.value(0), "Converting " + path + "...");
    QCOMPARE(trace.lines().value(0), path);
    QVERIFY(m_converter.waitForRuns(1));
    QCOMPARE(m_converter.runs().first().value(2), path);
}

void TestDropLabel::temperatureReadFromStorePerFile_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("indexLine");

    QTest::newRow("absent: 2700 K") << QVariant() << "temp_index: 81";
    QTest::newRow("above the slider: used as stored") << QVariant(9000) << "temp_index: 270";
    QTest::newRow("not a number: 0 K") << QVariant("abc") << "temp_index: 0";
}

void TestDropLabel::temperatureReadFromStorePerFile()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, indexLine);

    // Stored after the window was built: the drop must read the store, not the slider.
    if (stored.isValid())
        appSettings.setValue(colorTemperatureKey, stored);
    TraceCapture trace;
    drop(urlData({ QUrl::fromLocalFile("/tmp/v/a.mp4") }));

    QCOMPARE(trace.lines().value(1), indexLine);
    QVERIFY(m_converter.waitForRuns(1));
}

void TestDropLabel::sliderMoveDuringDropApplies()
{
    // A key press waiting in the queue when the drop starts is handled at the first file's
    // event-processing step, so every file of this drop uses the new value.
    QSlider *slider = WindowParts(*m_window).slider;
    QCoreApplication::postEvent(
        slider, new QKeyEvent(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier));
    TraceCapture trace;
    drop(urlData({ QUrl::fromLocalFile("/tmp/v/a.mp4"), QUrl::fromLocalFile("/tmp/v/b.mp4") }));

    const QStringList lines = trace.lines();
    QCOMPARE(lines.value(1), "temp_index: 84");
    QCOMPARE(lines.value(7), "temp_index: 84");
    QCOMPARE(slider->value(), 2800);
    QVERIFY(m_converter.waitForRuns(2));
}

void TestDropLabel::noDialogWhileHandingOn()
{
    // Enter waiting in the queue when the drop starts reaches the drop area during the pass:
    // no file dialog opens over it. Any dialog that does is seen, and closed again.
    m_window->show();
    QStringList opened;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&opened] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            opened << dialog->windowTitle();
            dialog->reject();
        }
    });
    watch.start(50);
    QCoreApplication::postEvent(
        m_dropArea, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
    TraceCapture trace;
    drop(urlData({ QUrl::fromLocalFile("/tmp/v/a.mp4"), QUrl::fromLocalFile("/tmp/v/b.mp4") }));
    QTest::qWait(200);
    QCOMPARE(opened, QStringList());
    QCOMPARE(trace.lines().size(), 12);
    QVERIFY(m_converter.waitForRuns(2));
}

QTEST_MAIN(TestDropLabel)
#include "tst_droplabel.moc"
