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

// The Debian package, built from this tree, checked as Debian's own tools check one, unpacked,
// and its program started from there.
class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void checkersAccept_data();
    void checkersAccept();
    void installedProgramRuns();

private:
    QTemporaryDir m_work;
    QString m_package;
    QString m_root;
};

void TestPackage::initTestCase()
{
    QVERIFY(m_work.isValid());
    QVERIFY(!run(QStringLiteral(ZORV_CPACK),
        { "-G", "DEB", "--config", QStringLiteral(ZORV_CPACK_CONFIG), "-B", m_work.path() })
                 .isNull());
    const QStringList packages = QDir(m_work.path()).entryList({ "*.deb" });
    QCOMPARE(packages.size(), 1);
    m_package = m_work.filePath(packages.first());
    m_root = m_work.filePath("root");
    QVERIFY(!run("dpkg", { "-x", m_package, m_root }).isNull());
}

void TestPackage::checkersAccept_data()
{
    QTest::addColumn<QString>("checker");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file"); // in the package, or the package itself where empty

    QTest::newRow("lintian: no error, no warning")
        << "lintian" << QStringList { "--fail-on", "error,warning" } << "";
    QTest::newRow("desktop entry")
        << "desktop-file-validate" << QStringList()
        << "/usr/share/applications/com.zorvtech.ZorvVideoConverter.desktop";
    QTest::newRow("AppStream metadata")
        << "appstreamcli" << QStringList { "validate", "--no-net" }
        << "/usr/share/metainfo/com.zorvtech.ZorvVideoConverter.metainfo.xml";
}

void TestPackage::checkersAccept()
{
    QFETCH(QString, checker);
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);

    const QString path = file.isEmpty() ? m_package : m_root + file;
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    const QString output = run(checker, arguments << path);
    QVERIFY2(!output.isNull(), qPrintable(checker + " refused " + path));
}

void TestPackage::installedProgramRuns()
{
    // The program cannot work without the Qt widgets runtime or the converter.
    const QString depends = run("dpkg-deb", { "-f", m_package, "Depends" });
    QVERIFY2(depends.contains(QLatin1String("libqt5widgets5")), qPrintable(depends));
    QVERIFY2(depends.contains(QRegularExpression("(^|, )ffmpeg(,|\\s)")), qPrintable(depends));

    const QString program = m_root + "/usr/bin/zorv-video-converter";
    QVERIFY(QFileInfo(program).isExecutable());
    QVERIFY(QFileInfo::exists(
        m_root + "/usr/share/icons/hicolor/scalable/apps/zorv-video-converter.svg"));
    QVERIFY(QFileInfo::exists(m_root + "/usr/share/man/man1/zorv-video-converter.1.gz"));
    // The session bus starts the installed program, by its full path.
    QFile service(m_root + "/usr/share/dbus-1/services/com.zorvtech.ZorvVideoConverter.service");
    QVERIFY(service.open(QIODevice::ReadOnly));
    QVERIFY(service.readAll().contains("\nExec=/usr/bin/zorv-video-converter\n"));

    XServer x;
    QVERIFY2(x.isRunning(), "Xvfb is needed for this test");
    QProcess app;
    const auto stop = qScopeGuard([&app] { stopProcess(app); });
    const QString window
        = x.startClient(app, program, {}, m_work.filePath("config"), "Zorv Video Converter");
    QVERIFY2(!window.isEmpty(), "the installed program showed no window");
    QVERIFY(x.closeWindow(window));
    QVERIFY(app.waitForFinished(10000));
    QCOMPARE(app.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
