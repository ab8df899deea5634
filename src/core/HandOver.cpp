#include "core/HandOver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <utility>

namespace fetchora {

HandOver::HandOver() : m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

HandOver::~HandOver()
{
    if (m_wake >= 0)
        ::close(m_wake);
}

void HandOver::post(std::function<void()> call)
{
    bool first = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        first = m_calls.empty();
        m_calls.push_back(std::move(call));
    }
    // One wake per batch: the inbox takes everything there is when it wakes.
    if (first) {
        const eventfd_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
    }
}

std::deque<std::function<void()>> HandOver::take()
{
    eventfd_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_wake, &count, sizeof count);
    std::lock_guard<std::mutex> guard(m_lock);
    return std::exchange(m_calls, {});
}

UiInbox::UiInbox(QObject *parent)
    : QObject(parent), m_handOver(std::make_shared<HandOver>()), m_notifier(m_handOver->wakeFd(), QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, [this] {
        for (auto &call : m_handOver->take())
            call();
    });
}

DetachedThreads::~DetachedThreads()
{
    const QDeadlineTimer end(m_boundMs);  // negative: for ever
    while (m_live.load() > 0 && !end.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

UiInbox &uiInbox()
{
    static QPointer<UiInbox> inbox;
    if (!inbox)
        inbox = new UiInbox(QCoreApplication::instance());
    return *inbox;
}

namespace handover_detail {

DetachedThreads &runningJobs()
{
    static DetachedThreads running(-1);
    return running;
}

}  // namespace handover_detail

}  // namespace fetchora
