#pragma once
// A download component that does nothing by itself: tests see what the window asked of it and raise its events.

#include "components/download/FileDownload.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace fetchora::testing {

struct FakeDownloadLog {
    struct Call {
        QString url, target;
    };
    QList<Call> starts;          // every StartDownload, in order
    QList<bool> sameVersion;     // every SameVersion answer
    int alive = 0;               // instances not yet destroyed
    bool acceptStart = true;     // what StartDownload returns
    QStringList storedVersions;  // every setStoredVersion
    TransferResult result;       // what the transfer ending now reports
};

class FakeDownload : public FileDownloadComponent {
public:
    FakeDownload(std::shared_ptr<FakeDownloadLog> log) : m_log(std::move(log)) { ++m_log->alive; }
    ~FakeDownload() override { --m_log->alive; }
    void SameVersion(bool &same) override { m_log->sameVersion.push_back(same); }
    bool StartDownload(const QString &URL, const QString &TargetFile) override
    {
        m_log->starts.push_back({URL, TargetFile});
        return m_log->acceptStart;
    }
    void AbortDownload() override {}
    void setStoredVersion(const QString &v) override { m_log->storedVersions << v; }
    TransferResult result() const override { return m_log->result; }

private:
    std::shared_ptr<FakeDownloadLog> m_log;
};

inline DownloadFactory fakeDownloadFactory(std::shared_ptr<FakeDownloadLog> log)
{
    return [log](DownloadEvents *) { return std::make_unique<FakeDownload>(log); };
}

}  // namespace fetchora::testing
