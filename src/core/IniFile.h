#pragma once
// The settings file fcr.ini: a profile (INI) file read and written key by key.
// Section and key names match without regard to case; a missing file, section
// or key gives the default; a value comes back without surrounding blanks and
// without one pair of enclosing quotes, cut to Size-1 characters; a write
// replaces one key's value and leaves every other byte of the file alone. A
// value with blanks at its ends or enclosing quotes is written inside one more
// pair of quotes, so a value reads back as it was written (up to that length).
// Reading never creates the file; a failed write is silent.

#include <QString>

namespace fetchora {

class IniFile {
public:
    explicit IniFile(QString path) : m_path(std::move(path)) {}
    const QString &path() const { return m_path; }

    // Traced as the settings file's read and write procedures.
    QString read(const QString &section, const QString &key, const QString &fallback, short size = 256) const;
    void write(const QString &section, const QString &key, const QString &value) const;
    // The same read without its trace lines, for what runs beside the traced
    // procedures (the notices and hooks after an attempt), so the trace of a
    // session reads as it always has.
    QString readQuietly(const QString &section, const QString &key, const QString &fallback, short size = 256) const;

private:
    QString m_path;
};

}  // namespace fetchora
