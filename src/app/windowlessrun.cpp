#include "app/windowlessrun.h"

#include "app/commandline.h"
#include "app/startoptions.h"
#include "convert/launcher.h"
#include "convert/standarderror.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <csignal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// The run that hears the signals; one at a time.
QPointer<WindowlessRun> listening;

#ifdef Q_OS_WIN
BOOL WINAPI consoleEvent(DWORD event)
{
    // On the console's own thread: handed to the run's.
    const int signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    if (listening) {
        QMetaObject::invokeMethod(
            listening.data(), "interrupt", Qt::QueuedConnection, Q_ARG(int, signal));
    }
    return TRUE;
}

void listenForSignals(QObject *)
{
    SetConsoleCtrlHandler(consoleEvent, TRUE);
}
#else
int signalPipe[2] = { -1, -1 };

void signalled(int signal)
{
    // Only what is safe in a signal handler: the number down a pipe the event loop watches.
    const char number = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
}

void listenForSignals(QObject *owner)
{
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
        char number = 0;
        while (::read(signalPipe[0], &number, 1) == 1) {
            if (listening)
                listening->interrupt(number);
        }
    });
    struct sigaction action = {};
    action.sa_handler = signalled;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

} // namespace

WindowlessRun::WindowlessRun(
    const QStringList &files, std::optional<int> temperature, int notFiles, QObject *parent)
    : QObject(parent)
    , m_files(files)
    , m_temperature(temperature)
    , m_notFiles(notFiles)
    , m_queue(this)
    , m_reporter(&m_queue, int(files.size()), this)
{
    // The run ends when its work has, with its own status.
    QCoreApplication::setQuitLockEnabled(false);
    connect(&m_queue, &ConverterQueue::batchChanged, this, &WindowlessRun::endIfDone);
    listening = this;
    listenForSignals(this);
}

WindowlessRun::~WindowlessRun() = default;

void WindowlessRun::start()
{
    QTimer::singleShot(0, this, &WindowlessRun::pass);
}

void WindowlessRun::pass()
{
    QList<int> temperatures;
    if (m_temperature) {
        temperatures.reserve(m_files.size());
        for (int i = 0; i < m_files.size(); ++i)
            temperatures << *m_temperature;
    }
    FilePassHooks hooks;
    hooks.beginning = [this](int, const QString &) { return m_signal == 0; };
    hooks.refused
        = [this](const QString &path, const QString &why) { m_reporter.refused(path, why); };
    const int handedOn = passFiles(m_queue, m_files, temperatures, hooks);
    for (int i = handedOn; i < m_files.size(); ++i)
        m_reporter.say(notStartedLine(m_files.at(i)));
    m_files.clear();
    m_passEnded = true;
    endIfDone();
}

void WindowlessRun::interrupt(int signal)
{
    if (m_signal != 0) {
        if (signal == SIGINT)
            m_queue.stopRunning(true);
        return;
    }
    m_signal = signal;
    m_queue.stopTakingFiles();
    m_queue.stopRunning(false);
    endIfDone();
}

void WindowlessRun::endIfDone()
{
    if (!m_passEnded || !m_queue.isIdle() || m_ended)
        return;
    m_ended = true;
    m_reporter.finish();
    const Batch batch = m_queue.batch();
    int status = 0;
    if (m_signal != 0)
        status = 128 + m_signal;
    else if (!batch.failed.isEmpty() || m_reporter.refusedFiles() > 0 || m_notFiles > 0)
        status = 1;
    QCoreApplication::exit(status);
}

int convertWithoutWindow(int &argc, char *argv[], const StartOptions &options)
{
    QCoreApplication application(argc, argv);
    QStringList files;
    int notFiles = 0;
    QString why;
    if (!filesOfStart(options, &files, &notFiles, &why)) {
        sayOnStandardError(QStringLiteral("zorv-video-converter: %1").arg(why));
        return 2;
    }
    WindowlessRun run(files, options.temperature, notFiles);
    run.start();
    return QCoreApplication::exec();
}
