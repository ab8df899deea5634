#pragma once
// A registry store that keeps what was written, for tests.

#include "startup/RegistryStore.h"

#include <QMap>
#include <QString>

namespace fetchora::testing {

class RecordingRegistry : public RegistryStore {
public:
    void SaveSetting(const QString &appName, const QString &section, const QString &key,
                     const QString &value) override
    {
        values[appName + QLatin1Char('/') + section + QLatin1Char('/') + key] = value;
        ++writes;
    }
    QString value(const QString &key) const { return values.value(QStringLiteral("Fetchora/Options/") + key); }

    QMap<QString, QString> values;
    int writes = 0;
};

}  // namespace fetchora::testing
