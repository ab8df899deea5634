#include "core/Options.h"

#include "core/Conversions.h"
#include "core/IniFile.h"
#include "core/Trace.h"

namespace fetchora {

QString optionText(const char *key, const char *fallback)
{
    return GetINIString(QStringLiteral("Options"), QLatin1String(key), QLatin1String(fallback), 256);
}

bool optionOn(TraceScope &t, const char *key, const char *fallback)
{
    bool on = CBool(QLatin1String(fallback));
    t.step([&] { on = CBool(optionText(key, fallback)); });
    return on;
}

long optionNumber(TraceScope &t, const char *key, const char *fallback)
{
    long number = CLng(QLatin1String(fallback));
    t.step([&] { number = CLng(optionText(key, fallback)); });
    return number;
}

}  // namespace fetchora
