#include "ui/desktoppresenter.h"

#include "convert/converterqueue.h"
#include "ui/dropareastatus.h"

#include <QEventLoopLocker>
#include <QFileInfo>
#include <QWidget>

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>

#include <shobjidl.h>
#endif
#ifdef ZORV_HAS_DBUS
#include "app/sessionbus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QVariantMap>
#endif

namespace {

constexpr int paceMs = 250; // a few times a second, as docks expect
constexpr int noticeWaitMs = 2000; // for a notification service that is slow to answer

} // namespace

double batchShare(const Batch &batch)
{
    if (batch.total() == 0)
        return 0;
    double done = batch.done();
    for (const ConvertingFile &file : batch.progress)
        done += std::max(file.facts.share(), 0.0);
    return std::min(done / batch.total(), 1.0);
}

QString batchNoticeBody(const Batch &batch)
{
    constexpr int named = 3;
    QStringList lines;
    for (int i = 0; i < batch.failed.size() && i < named; ++i)
        lines << QFileInfo(batch.failed.at(i).input).fileName();
    if (batch.failed.size() > named)
        lines << QStringLiteral("and %1 more").arg(batch.failed.size() - named);
    return lines.join(QLatin1Char('\n'));
}

DesktopPresenter::DesktopPresenter(QWidget *window, const ConverterQueue *queue)
    : QObject(window)
    , m_window(window)
    , m_queue(queue)
{
    m_pace.setSingleShot(true);
    m_pace.setInterval(paceMs);
    connect(&m_pace, &QTimer::timeout, this, &DesktopPresenter::publish);
    connect(queue, &ConverterQueue::batchChanged, this, &DesktopPresenter::batchChanged);
}

DesktopPresenter::~DesktopPresenter() = default;

void DesktopPresenter::batchChanged()
{
    // The queue may fall idle between two files of one drop; the batch goes on.
    const bool busy = !m_queue->isIdle() || m_queue->isHandingOn();
    if (busy && !m_busy) {
        // Held from the start, so that the queue letting the program go at the end does not
        // end it before the notice has been sent.
        m_keepRunning = std::make_unique<QEventLoopLocker>();
    }
    const bool ended = m_busy && !busy;
    m_busy = busy;
    if (ended) {
        m_pace.stop();
        publish();
        if (!m_window->isVisible() || !m_window->isActiveWindow())
            notifyEnd(m_queue->batch());
        else
            m_keepRunning.reset();
    } else if (busy && !m_pace.isActive()) {
        m_pace.start();
    }
}

#ifdef ZORV_HAS_DBUS
void DesktopPresenter::publish()
{
    if (!hasSessionBus())
        return;
    const Batch batch = m_queue->batch();
    const bool busy = batch.converting + batch.waiting > 0;
    QDBusMessage update
        = QDBusMessage::createSignal(QStringLiteral("/com/zorvtech/ZorvVideoConverter"),
            QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress"), batchShare(batch));
    properties.insert(QStringLiteral("progress-visible"), busy);
    properties.insert(QStringLiteral("count"), qint64(batch.converting + batch.waiting));
    properties.insert(QStringLiteral("count-visible"), busy);
    update << QStringLiteral("application://com.zorvtech.ZorvVideoConverter.desktop") << properties;
    QDBusConnection::sessionBus().send(update);
}

void DesktopPresenter::notifyEnd(const Batch &batch)
{
    if (!hasSessionBus()) {
        m_keepRunning.reset();
        return;
    }
    QDBusMessage notify
        = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << QStringLiteral("Zorv Video Converter") << uint(0)
           << QStringLiteral("zorv-video-converter") << batchSummaryText(batch)
           << batchNoticeBody(batch) << QStringList() << QVariantMap() << -1;
    // Answered or not, the program goes on; without a window it ends once the notice is out.
    auto *answer = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(notify, noticeWaitMs), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this, answer] {
        answer->deleteLater();
        m_keepRunning.reset();
    });
}
#elif defined(Q_OS_WIN)
void DesktopPresenter::publish()
{
    // The taskbar button's own progress bar, red while any file of the batch has failed.
    if (!m_window->isVisible())
        return;
    ITaskbarList3 *taskbar = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
            reinterpret_cast<void **>(&taskbar))))
        return;
    const auto button = reinterpret_cast<HWND>(m_window->winId());
    if (SUCCEEDED(taskbar->HrInit())) {
        const Batch batch = m_queue->batch();
        if (batch.converting + batch.waiting == 0) {
            taskbar->SetProgressState(button, TBPF_NOPROGRESS);
        } else {
            constexpr ULONGLONG steps = 1000;
            taskbar->SetProgressState(button, batch.failed.isEmpty() ? TBPF_NORMAL : TBPF_ERROR);
            taskbar->SetProgressValue(button, ULONGLONG(batchShare(batch) * steps), steps);
        }
    }
    taskbar->Release();
}

void DesktopPresenter::notifyEnd(const Batch &)
{
    // The button flashes until the window is brought to the front.
    if (m_window->isVisible()) {
        FLASHWINFO flash = {};
        flash.cbSize = sizeof(flash);
        flash.hwnd = reinterpret_cast<HWND>(m_window->winId());
        flash.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
        FlashWindowEx(&flash);
    }
    m_keepRunning.reset();
}
#else
void DesktopPresenter::publish() { }

void DesktopPresenter::notifyEnd(const Batch &)
{
    m_keepRunning.reset();
}
#endif
