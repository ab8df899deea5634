#pragma once
// The per-user application-settings store (the "registry" values that other
// programs read). Written, never read by the program.

#include <QString>

namespace fetchora {

class RegistryStore {
public:
    virtual ~RegistryStore() = default;
    virtual void SaveSetting(const QString &appName, const QString &section, const QString &key,
                             const QString &value) = 0;
};

// The platform's native per-user settings (QSettings, native format).
class NativeRegistryStore final : public RegistryStore {
public:
    void SaveSetting(const QString &appName, const QString &section, const QString &key, const QString &value) override;
};

}  // namespace fetchora
