#include "core/RegistryStore.h"

#include <QSettings>

namespace fetchora {

// Organisation and application are both the application name, so the values
// land in one place per program (on Linux: ~/.config/<app>/<app>.conf).
void NativeRegistryStore::SaveSetting(const QString &appName, const QString &section, const QString &key,
                                      const QString &value)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, appName, appName);
    settings.beginGroup(section);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
}

}  // namespace fetchora
