#include "support/standinconverter.h"
#include "support/xserver.h"

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

private:
    XServer m_x;
    QTemporaryDir m_configHome;
    StandInConverter m_converter;
    QProcess m_app;
    QString m_window;
};

void TestDragDrop::initTestCase()
{
    QVERIFY2(m_x.isRunning(), "Xvfb is needed for this test");
    QVERIFY(m_converter.isValid() && m_configHome.isValid());

    // The stand-in is first on the PATH that the application inherits.
    m_window = m_x.startClient(
        m_app, QStringLiteral(ZORV_APPLICATION), {}, m_configHome.path(), "Zorv Video Converter");
    QVERIFY2(!m_window.isEmpty(), "the window did not appear");
    QVERIFY(m_x.xdotool({ "windowmove", "--sync", m_window, "0", "0" }));
}

void TestDragDrop::drag_data()
{
    QTest::addColumn<QStringList>("sourceArguments");
    QTest::addColumn<int>("targetY"); // in the window, whose drop area fills the upper part
    QTest::addColumn<QStringList>("trace");
    QTest::addColumn<int>("sourceAction");

    const QStringList files = { "/tmp/zorv e2e/first.mp4", "/tmp/zorv e2e/second.mkv" };
    // Offered copy, move and link, a plain drag proposes a move, which the drop area takes as
    // it is. Refused drags end with no action.
    QTest::newRow("two files onto the drop area") << files << 200 << files << int(Qt::MoveAction);
    QTest::newRow("text only: refused")
        << QStringList { "--text" } << 200 << QStringList() << int(Qt::IgnoreAction);
    QTest::newRow("files released over the slider: refused")
        << files << 482 << QStringList() << int(Qt::IgnoreAction);
}

void TestDragDrop::drag()
{
    QFETCH(QStringList, sourceArguments);
    QFETCH(int, targetY);
    QFETCH(QStringList, trace);
    QFETCH(int, sourceAction);

    m_converter.clear();
    m_app.readAllStandardOutput();

    QProcess source;
    const auto cleanup = qScopeGuard([&source] { stopProcess(source); });
    const QString sourceWindow = m_x.startClient(source, QStringLiteral(ZORV_DRAG_SOURCE),
        sourceArguments, m_configHome.path(), "Zorv drag source");
    QVERIFY2(!sourceWindow.isEmpty(), "the drag source did not appear");

    // Press on the source, move over in steps as a hand would, release over the target.
    const QString y = QString::number(targetY);
    QVERIFY(m_x.xdotool({ "mousemove", "--sync", "600", "200", "mousedown", "1", "sleep", "0.3",
        "mousemove", "450", "200", "sleep", "0.3", "mousemove", "210", y, "sleep", "0.3",
        "mousemove", "200", y, "sleep", "0.3", "mouseup", "1" }));

    // Qt's X11 drag source reports the action of the target's last answer while moving; that
    // the drop itself is left unaccepted does not reach it.
    QTRY_VERIFY_WITH_TIMEOUT(source.canReadLine(), 10000);
    QCOMPARE(source.readLine().trimmed(), "drag ended: " + QByteArray::number(sourceAction));

    QStringList pathLines;
    if (!trace.isEmpty()) {
        QVERIFY(m_converter.waitForRuns(trace.size()));
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(m_app.peek(1 << 20)).count(QLatin1Char('\n')),
            6 * trace.size(), 5000);
    } else {
        QTest::qWait(500); // time for anything wrongly started to show up
    }
    const QStringList lines
        = QString::fromUtf8(m_app.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (int i = 0; i + 6 <= lines.size(); i += 6)
        pathLines << lines[i];
    QCOMPARE(pathLines, trace);
    QCOMPARE(m_converter.runs().size(), trace.size());
}

QTEST_GUILESS_MAIN(TestDragDrop)
#include "tst_dragdrop.moc"
