#include "support/teststore.h"
#include "support/xserver.h"

#include <QTemporaryDir>
#include <QtTest>

// The real binary on a real X server: the slider answers the keyboard, every change lands in
// the settings file, and the next start picks it up.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void keyboardChangesPersistAcrossStarts();

private:
    // Starts the application, presses Right on its slider and waits for the file to hold
    // expected; then closes its window.
    void runOnceAndStepRight(const QString &expected);

    XServer m_x;
    QTemporaryDir m_configHome;
};

void TestStartup::runOnceAndStepRight(const QString &expected)
{
    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    const QString window = m_x.startClient(app, QStringLiteral(ZORV_APPLICATION),
        { "--an-unknown-option" }, m_configHome.path(), "Zorv Video Converter");
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    QString geometry;
    QVERIFY(m_x.xdotool({ "getwindowgeometry", "--shell", window }, &geometry));
    QVERIFY2(geometry.contains("WIDTH=400\nHEIGHT=500"), qPrintable(geometry));

    // No window manager activates it for us.
    QVERIFY(m_x.xdotool({ "windowfocus", "--sync", window }));
    QVERIFY(m_x.xdotool({ "key", "Right" }));

    const QString file = settingsFileIn(m_configHome.path());
    QTRY_COMPARE_WITH_TIMEOUT(storedEntryIn(file), expected, 10000);

    // Closing the window ends the program cleanly.
    QVERIFY(m_x.closeWindow(window));
    QVERIFY(app.waitForFinished(10000));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
}

void TestStartup::keyboardChangesPersistAcrossStarts()
{
    QVERIFY2(m_x.isRunning(), "Xvfb is needed for this test");
    QVERIFY(m_configHome.isValid());

    runOnceAndStepRight("2800");
    if (QTest::currentTestFailed())
        return;
    // One step from the restored 2800, not from the default.
    runOnceAndStepRight("2900");
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
