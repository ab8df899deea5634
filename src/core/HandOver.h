#pragma once
// The way back from a worker thread to the UI thread.
//
// A worker puts calls into a HandOver, a queue under a plain lock, and bumps
// a counter that wakes the UI thread, where a UiInbox runs them in order. The
// worker calls nothing of Qt on the way: Qt's own locks (its posted events,
// its thread pool) are ones a thread checker cannot see into, so every
// hand-over through them looked like a race, and a real race beside them
// could hide among those reports.
//
// The HandOver is shared by the inbox and its workers; whoever lets go last
// closes the counter. Calls that arrive after their inbox is gone are never
// run.

#include <QFuture>
#include <QObject>
#include <QPromise>
#include <QSocketNotifier>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

namespace fetchora {

class HandOver {
public:
    HandOver();
    ~HandOver();
    HandOver(const HandOver &) = delete;
    HandOver &operator=(const HandOver &) = delete;

    // Any thread.
    void post(std::function<void()> call);
    // The inbox's thread: everything posted so far, oldest first.
    std::deque<std::function<void()>> take();
    int wakeFd() const { return m_wake; }

private:
    std::mutex m_lock;
    std::deque<std::function<void()>> m_calls;
    const int m_wake;
};

// Lives on the UI thread (made there) and runs what its workers hand over.
class UiInbox : public QObject {
public:
    explicit UiInbox(QObject *parent = nullptr);
    const std::shared_ptr<HandOver> &handOver() const { return m_handOver; }

private:
    const std::shared_ptr<HandOver> m_handOver;
    QSocketNotifier m_notifier;  // after the hand-over: gone before its counter closes
};

// The inbox of the application's thread, made with the application and gone
// with it. UI thread only.
UiInbox &uiInbox();

// Detached threads still running. Made as a function's static, so that the
// end of the process waits in its destructor for them to end: for at most
// `boundMs`, or for as long as they take when it is negative.
class DetachedThreads {
public:
    explicit DetachedThreads(int boundMs) : m_boundMs(boundMs) {}
    ~DetachedThreads();
    DetachedThreads(const DetachedThreads &) = delete;
    DetachedThreads &operator=(const DetachedThreads &) = delete;
    void started() { ++m_live; }
    void ended() { --m_live; }
    int live() const { return m_live.load(); }

private:
    std::atomic<int> m_live{0};
    const int m_boundMs;
};

namespace handover_detail {
// Jobs still running; the end of the process waits for them without a bound,
// so that a copy being stored is finished rather than cut off.
DetachedThreads &runningJobs();
}  // namespace handover_detail

// A job given up at the end (its disk stopped answering) is still running:
// the end of the process must not wait for it.
inline bool jobsStillRunning()
{
    return handover_detail::runningJobs().live() > 0;
}

// Runs job(args...) on a thread of its own, with the arguments copied there,
// and reports its result on the UI thread through the returned future; the
// thread counts among `threads`, which the end of the process waits for as
// they say. UI thread only.
template <class F, class... Args>
auto runOffUiThreadIn(DetachedThreads &threads, F job, Args... args)
{
    using R = std::invoke_result_t<F &, Args &...>;
    auto promise = std::make_shared<QPromise<R>>();
    promise->start();
    QFuture<R> future = promise->future();
    std::shared_ptr<HandOver> back = uiInbox().handOver();
    threads.started();
    std::thread([&threads, promise = std::move(promise), back = std::move(back),
                 run = std::bind_front(std::move(job), std::move(args)...)]() mutable {
        {
            // The job and its copies end here, before the end of the
            // process can stop waiting for this thread.
            auto work = std::move(run);
            R result = work();
            back->post([promise, result = std::move(result)]() mutable {
                promise->addResult(std::move(result));
                promise->finish();
            });
        }
        // The promise is the UI thread's to end, even when this thread lets
        // go of the hand-over last.
        promise.reset();
        back.reset();
        threads.ended();
    }).detach();
    return future;
}

// The same, among the jobs the end of the process waits for without a
// bound: a copy being stored is finished rather than cut off.
template <class F, class... Args>
auto runOffUiThread(F job, Args... args)
{
    return runOffUiThreadIn(handover_detail::runningJobs(), std::move(job), std::move(args)...);
}

}  // namespace fetchora
