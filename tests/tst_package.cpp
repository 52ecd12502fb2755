#include "support/xserver.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Runs a command to its end; its standard output, or a null string where it failed.
QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()) + QLatin1Char('\n');
}

} // namespace

// The Debian package, built from this tree, unpacked, and its program started from there.
class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void installedProgramRuns();
};

void TestPackage::installedProgramRuns()
{
    QTemporaryDir work;
    QVERIFY(work.isValid());
    QVERIFY(!run(QStringLiteral(ZORV_CPACK),
        { "-G", "DEB", "--config", QStringLiteral(ZORV_CPACK_CONFIG), "-B", work.path() })
                 .isNull());
    const QStringList packages = QDir(work.path()).entryList({ "*.deb" });
    QCOMPARE(packages.size(), 1);
    const QString package = work.filePath(packages.first());

    // The program cannot work without the Qt widgets runtime or the converter.
    const QString depends = run("dpkg-deb", { "-f", package, "Depends" });
    QVERIFY2(depends.contains(QLatin1String("libqt5widgets5")), qPrintable(depends));
    QVERIFY2(depends.contains(QRegularExpression("(^|, )ffmpeg(,|\\s)")), qPrintable(depends));

    const QString root = work.filePath("root");
    QVERIFY(!run("dpkg", { "-x", package, root }).isNull());
    const QString program = root + "/usr/bin/zorv-video-converter";
    QVERIFY(QFileInfo(program).isExecutable());
    QVERIFY(QFileInfo::exists(root + "/usr/share/applications/zorv-video-converter.desktop"));
    QVERIFY(QFileInfo::exists(
        root + "/usr/share/icons/hicolor/scalable/apps/zorv-video-converter.svg"));

    XServer x;
    QVERIFY2(x.isRunning(), "Xvfb is needed for this test");
    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    const QString window
        = x.startClient(app, program, {}, work.filePath("config"), "Zorv Video Converter");
    QVERIFY2(!window.isEmpty(), "the installed program showed no window");
    QVERIFY(x.closeWindow(window));
    QVERIFY(app.waitForFinished(10000));
    QCOMPARE(app.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
