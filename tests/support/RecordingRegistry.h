#pragma once
// A registry store that keeps what was written, for tests.

#include "startup/RegistryStore.h"

#include <QMap>
#include <QString>

namespace fetchora::testing {

class RecordingRegistry : public RegistryStore {
public:
    void SaveSetting(const QString &appName, const QString &section, const QString &key, const QString &value) override
    {
        m_values[appName + QLatin1Char('/') + section + QLatin1Char('/') + key] = value;
    }
    QString value(const QString &key) const { return m_values.value(QStringLiteral("Fetchora/Options/") + key); }

private:
    QMap<QString, QString> m_values;
};

}  // namespace fetchora::testing
