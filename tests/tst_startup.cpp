#include "support/teststore.h"
#include "ui/mainwindow.h"
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
    void scaledDesktop();
    void glIntegrationTheUserSetIsKept();

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
        { "-name", "zorv-startup" }, m_configHome.path(), "Zorv Video Converter");
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    QString geometry;
    QVERIFY(m_x.xdotool({ "getwindowgeometry", "--shell", window }, &geometry));
    QVERIFY2(
        geometry.contains(QString("WIDTH=%1\nHEIGHT=500").arg(400 + previewSpacing + previewWidth)),
        qPrintable(geometry));

    // Drawn by the raster engine alone: no GL driver is ever loaded. (Debian's Qt GUI library
    // links the vendor-neutral libGL, libGLX and libGLdispatch itself; they load no driver.)
    QFile maps(QStringLiteral("/proc/%1/maps").arg(app.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QString mapped = QString::fromUtf8(maps.readAll());
    static const QRegularExpression gl(
        "/lib(GLX|EGL)_[^/\\s]*\\.so|_dri\\.so|/libqxcb-(glx|egl)-integration\\.so");
    QVERIFY2(!mapped.contains(gl), qPrintable(gl.match(mapped).captured()));

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

void TestStartup::scaledDesktop()
{
    // A desktop at 200 % tells X11 programs so through Xft.dpi; the window grows with it, so
    // its point-sized text fits as it does at 100 %.
    XServer x;
    QVERIFY(x.isRunning());
    QProcess xrdb;
    xrdb.setProcessEnvironment(x.environment());
    xrdb.start("xrdb", { "-merge" });
    QVERIFY(xrdb.waitForStarted());
    xrdb.write("Xft.dpi: 192\n");
    xrdb.closeWriteChannel();
    QVERIFY(xrdb.waitForFinished() && xrdb.exitCode() == 0);

    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    const QString window = x.startClient(
        app, QStringLiteral(ZORV_APPLICATION), {}, m_configHome.path(), "Zorv Video Converter");
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    QString geometry;
    QVERIFY(x.xdotool({ "getwindowgeometry", "--shell", window }, &geometry));
    QVERIFY2(geometry.contains(
                 QString("WIDTH=%1\nHEIGHT=1000").arg(2 * (400 + previewSpacing + previewWidth))),
        qPrintable(geometry));
}

void TestStartup::glIntegrationTheUserSetIsKept()
{
    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    const QString window = m_x.startClient(app, "bash",
        { "-c", "QT_XCB_GL_INTEGRATION=xcb_glx exec \"$0\"", QStringLiteral(ZORV_APPLICATION) },
        m_configHome.path(), "Zorv Video Converter");
    QVERIFY2(!window.isEmpty(), "the window did not appear");
    QFile maps(QStringLiteral("/proc/%1/maps").arg(app.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY(maps.readAll().contains("/libqxcb-glx-integration.so"));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
