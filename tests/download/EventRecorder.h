#pragma once
// Collects what a download component reports, for tests that drive the real
// engine against the local test server.

#include "components/download/classFileDownload.h"
#include "support/QStringPrinter.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStringList>
#include <QThread>
#include <functional>
#include <optional>

namespace fetchora::testing {

struct RecordedEvent {
    QString name;  // "Start", "Progress", "ShowVersion", "Finished", ...
    long number = 0;
    QString text;
    qint64 loaded = 0;
    qint64 size = 0;
};

class EventRecorder : public DownloadEvents {
public:
    QList<RecordedEvent> events;
    // Called after an event is recorded; lets a test act inside the callback.
    std::function<void(const RecordedEvent &)> onEvent;
    // Answer given to ShowVersion when set.
    std::optional<bool> sameVersion;
    FileDownloadComponent *component = nullptr;

    void FileDownload_ConnectionError(long n, const QString &d) override { add("ConnectionError", n, d); }
    void FileDownload_DownloadError(long n, const QString &d) override { add("DownloadError", n, d); }
    void FileDownload_Abort() override { add("Abort"); }
    void FileDownload_NotFound() override { add("NotFound"); }
    void FileDownload_ShowVersion(const QString &s) override
    {
        if (sameVersion && component) {
            bool same = *sameVersion;
            component->SameVersion(same);
        }
        add("ShowVersion", 0, s);
    }
    void FileDownload_Finished() override { add("Finished"); }
    void FileDownload_Progress(qint64 loaded, qint64 size) override
    {
        add("Progress", 0, {}, loaded, size);
    }
    void FileDownload_Start() override { add("Start"); }

    static bool isLast(const QString &name)
    {
        static const QStringList last{"Finished", "Abort", "NotFound", "DownloadError", "ConnectionError"};
        return last.contains(name);
    }
    bool ended() const
    {
        for (const RecordedEvent &e : events)
            if (isLast(e.name))
                return true;
        return false;
    }
    const RecordedEvent *last() const { return events.isEmpty() ? nullptr : &events.back(); }
    int count(const QString &name) const
    {
        int n = 0;
        for (const RecordedEvent &e : events)
            n += e.name == name;
        return n;
    }
    // Names without the Progress events, which depend on timing.
    QStringList outline() const
    {
        QStringList names;
        for (const RecordedEvent &e : events)
            if (e.name != QLatin1String("Progress"))
                names << e.name;
        return names;
    }

    // Runs the event loop until the transfer has ended or the time is up.
    bool waitForEnd(int ms = 15000)
    {
        return waitUntil([this] { return ended(); }, ms);
    }
    static bool waitUntil(const std::function<bool()> &done, int ms) { return testing::waitUntil(done, ms); }
    static void settle(int ms = 200) { testing::settle(ms); }

private:
    void add(const char *name, long number = 0, const QString &text = {}, qint64 loaded = 0, qint64 size = 0)
    {
        events.push_back({QString::fromLatin1(name), number, text, loaded, size});
        if (onEvent)
            onEvent(events.back());
    }
};

}  // namespace fetchora::testing
