#include "core/Settings.h"

#include "core/Conversions.h"
#include "core/Trace.h"

#include <iterator>

namespace fetchora {

namespace {

using Kind = SettingRow::Kind;

constexpr SettingRow kTable[] = {
    {Setting::Language, "Global", "Language", Kind::Text, "Deutsch"},
    {Setting::SavePath, "Options", "SavePath", Kind::Text, ""},
    {Setting::Url, "Options", "URL", Kind::Text, ""},
    {Setting::Interval, "Options", "Intervall", Kind::Number, "1", 1, 525600},
    {Setting::Compress, "Options", "Compress", Kind::Flag, "0"},
    {Setting::CompRate, "Options", "CompRate", Kind::Number, "6", 0, 9},
    {Setting::Password, "Options", "Pwd", Kind::Text, ""},
    {Setting::StampName, "Options", "Mode1", Kind::Flag, "1"},
    {Setting::Overwrite, "Options", "Mode2", Kind::Flag, "0"},
    {Setting::StartNow, "Options", "Start", Kind::Flag, "0"},
    {Setting::CheckVersion, "Options", "CheckVersion", Kind::Flag, "0"},
    {Setting::ShowErrors, "Options", "ShowErrors", Kind::Flag, "0"},
    {Setting::KeepCopies, "Options", "KeepCopies", Kind::Number, "0", 0, 1000000},
    {Setting::KeepDays, "Options", "KeepDays", Kind::Number, "0", 0, 36500},
    {Setting::Notify, "Options", "Notify", Kind::Number, "1", 0, 2},
    {Setting::OnStored, "Options", "OnStored", Kind::Text, ""},
    {Setting::OnFailed, "Options", "OnFailed", Kind::Text, ""},
    {Setting::HookTimeout, "Options", "HookTimeout", Kind::Number, "60", 1, 86400},
    {Setting::CaFile, "Options", "CAFile", Kind::Text, ""},
};

// The table is indexed by the enum: a row out of place is a compile error.
constexpr bool inEnumOrder()
{
    for (std::size_t i = 0; i < std::size(kTable); ++i)
        if (static_cast<std::size_t>(kTable[i].setting) != i)
            return false;
    return true;
}
static_assert(inEnumOrder(), "the settings table lists the keys in the order of enum Setting");

QString nameOf(const SettingRow &s)
{
    return QLatin1String(s.name);
}

}  // namespace

const SettingRow &rowOf(Setting setting)
{
    return kTable[static_cast<std::size_t>(setting)];
}

const SettingRow *settingsTableBegin()
{
    return std::begin(kTable);
}

const SettingRow *settingsTableEnd()
{
    return std::end(kTable);
}

QString Settings::text(Setting setting) const
{
    const SettingRow &s = rowOf(setting);
    return m_file.read(QLatin1String(s.section), nameOf(s), QLatin1String(s.fallback), 256);
}

QString Settings::textQuietly(Setting setting) const
{
    const SettingRow &s = rowOf(setting);
    return m_file.readQuietly(QLatin1String(s.section), nameOf(s), QLatin1String(s.fallback), 256);
}

void Settings::write(Setting setting, const QString &value) const
{
    const SettingRow &s = rowOf(setting);
    m_file.write(QLatin1String(s.section), nameOf(s), value);
}

bool Settings::flag(TraceScope &t, Setting setting) const
{
    bool on = CBool(QLatin1String(rowOf(setting).fallback));
    t.step([&] { on = CBool(text(setting)); });
    return on;
}

long Settings::number(TraceScope &t, Setting setting) const
{
    const SettingRow &s = rowOf(setting);
    const long fallback = CLng(QLatin1String(s.fallback));
    long n = fallback;
    t.step([&] { n = CLng(text(setting)); });
    if (n < s.min || n > s.max) {
        TraceNote(t.module(), t.procedure(),
                  QStringLiteral("%1=%2 is outside %3 to %4: %5 instead")
                      .arg(nameOf(s))
                      .arg(n)
                      .arg(s.min)
                      .arg(s.max)
                      .arg(fallback));
        n = fallback;
    }
    return n;
}

bool Settings::flagQuietly(Setting setting) const
{
    try {
        return CBool(textQuietly(setting));
    } catch (...) {
        return CBool(QLatin1String(rowOf(setting).fallback));
    }
}

long Settings::numberQuietly(Setting setting) const
{
    const SettingRow &s = rowOf(setting);
    const long fallback = CLng(QLatin1String(s.fallback));
    try {
        const long n = CLng(textQuietly(setting));
        return n < s.min || n > s.max ? fallback : n;
    } catch (...) {
        return fallback;
    }
}

}  // namespace fetchora
