#pragma once
// Every key of fcr.ini, once: its section, name, kind, default and range. All
// reading and writing of settings goes through this table, so a default
// cannot differ between the window, the dialog, the service, the hooks and
// the notices.
//
// A value that does not convert, or lies outside its range, gives the
// default; the reader that converts reports it once, in its procedure's own
// way, and goes on with the default.

#include "core/IniFile.h"

#include <QString>

namespace fetchora {

class TraceScope;

enum class Setting {
    Language,      // [Global] "Deutsch" or "English"
    SavePath,      // the save folder
    Url,           // the address
    Interval,      // minutes between downloads ("Intervall")
    Compress,      // into a ZIP archive
    CompRate,      // its level: 0, 1, 6 or 9
    Password,      // the ZIP's password ("Pwd")
    StampName,     // date and time in the name ("Mode1")
    Overwrite,     // replace the copy of the same name ("Mode2")
    StartNow,      // the first download at once ("Start")
    CheckVersion,  // skip a copy the server says is unchanged
    ShowErrors,    // connection errors in a box
    KeepCopies,    // retention: the newest N (0: all)
    KeepDays,      // retention: the last D days (0: all)
    Notify,        // desktop notices: 0 none, 1 outages, 2 every copy
    OnStored,      // hook after a stored copy
    OnFailed,      // hook after a failed attempt
    HookTimeout,   // seconds a hook may run
    CaFile,        // the certificate authorities to trust for https ("CAFile")
};

struct SettingRow {
    enum class Kind { Text, Flag, Number };
    Setting setting;
    const char *section;
    const char *name;
    Kind kind;
    const char *fallback;  // as the file would hold it
    long min = 0, max = 0;  // Number only
};

const SettingRow &rowOf(Setting setting);
// The rows in table order, for code that walks them (and tests).
const SettingRow *settingsTableBegin();
const SettingRow *settingsTableEnd();

// One profile's settings file seen through the table.
class Settings {
public:
    explicit Settings(QString iniPath) : m_file(std::move(iniPath)) {}

    const IniFile &file() const { return m_file; }

    // The text as the file holds it (or the default), traced as the
    // settings file's read.
    QString text(Setting setting) const;
    // The same read without trace lines, for what runs beside the traced
    // procedures (notices and hooks), so a session's trace reads as always.
    QString textQuietly(Setting setting) const;
    void write(Setting setting, const QString &value) const;

    // Converted and checked against the range. What does not convert or is
    // out of range is reported in `t`'s way, and the default stands.
    bool flag(TraceScope &t, Setting setting) const;
    long number(TraceScope &t, Setting setting) const;
    // Converted without a report (the default stands in silently).
    bool flagQuietly(Setting setting) const;
    long numberQuietly(Setting setting) const;

private:
    IniFile m_file;
};

}  // namespace fetchora
