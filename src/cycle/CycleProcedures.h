#pragma once
// The cycle's procedures as a trace shows them, written once for both front
// ends: each opens its procedure's scope under the front end's module name
// ("frmMain" for the window, "modService" without one) and forwards into the
// cycle. A front end derives from this, gives the module name and the cycle
// it owns, and implements only what it shows.

#include "cycle/DownloadCycle.h"

namespace fetchora {

class CycleProcedures : public CycleHost {
public:
    void cmdStart_Click() override;
    void Start() override;
    void Timer1_Timer() override;
    void StoreJob_Finished() override;
    void FileDownload_Start() override;
    void FileDownload_Progress(qint64 BytesLoaded, qint64 FileSize) override;
    void FileDownload_ShowVersion(const QString &s) override;
    void FileDownload_Abort() override;
    void FileDownload_NotFound() override;
    void FileDownload_ConnectionError(long Number, const QString &Descr) override;
    void FileDownload_DownloadError(long Number, const QString &Descr) override;
    void FileDownload_Finished() override;

protected:
    // `module` must outlive the object (a string literal).
    explicit CycleProcedures(const char *module) : m_module(module) {}
    ~CycleProcedures() override = default;
    // The cycle the procedures forward into; owned by the front end, which
    // destroys it before anything it calls back into.
    void forwardTo(DownloadCycle *cycle) { m_forwardTo = cycle; }
    // An error event that comes while the front end is still loading is the
    // loading's, not the cycle's.
    virtual bool loading() const { return false; }
    const char *module() const { return m_module; }

private:
    const char *const m_module;
    DownloadCycle *m_forwardTo = nullptr;
};

}  // namespace fetchora
