#include "core/Options.h"

#include "core/IniFile.h"
#include "core/Profile.h"
#include "core/Settings.h"
#include "core/Trace.h"

#include <algorithm>

namespace fetchora {

namespace {

Setting settingNamed(const char *key)
{
    const auto *row = std::find_if(settingsTableBegin(), settingsTableEnd(),
                                   [&](const SettingSpec &s) { return qstrcmp(s.name, key) == 0; });
    Q_ASSERT(row != settingsTableEnd());
    return row->setting;
}

}  // namespace

QString optionText(const char *key, const char *)
{
    return Settings(strINIFile).text(settingNamed(key));
}

bool optionOn(TraceScope &t, const char *key, const char *)
{
    return Settings(strINIFile).flag(t, settingNamed(key));
}

long optionNumber(TraceScope &t, const char *key, const char *)
{
    return Settings(strINIFile).number(t, settingNamed(key));
}

}  // namespace fetchora
