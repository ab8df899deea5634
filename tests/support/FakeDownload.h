#pragma once
// A download component that does nothing by itself: tests count what the window asked of it and raise its events.

#include "download/FileDownload.h"

#include <memory>

namespace fetchora::testing {

struct FakeDownloadLog {
    int starts = 0;         // StartDownload calls
    TransferResult result;  // what the transfer ending now reports
};

inline DownloadFactory fakeDownloadFactory(std::shared_ptr<FakeDownloadLog> log)
{
    struct Fake : FileDownloadComponent {
        std::shared_ptr<FakeDownloadLog> log;
        explicit Fake(std::shared_ptr<FakeDownloadLog> l) : log(std::move(l)) {}
        void SameVersion(bool &) override {}
        bool StartDownload(const QString &, const QString &) override { return ++log->starts, true; }
        void AbortDownload() override {}
        void setStoredVersion(const QString &) override {}
        TransferResult result() const override { return log->result; }
    };
    return [log](DownloadEvents *) { return std::make_unique<Fake>(log); };
}

}  // namespace fetchora::testing
