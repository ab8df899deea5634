#include "startup/modINIHandler.h"

#include "startup/modGlobal.h"
#include "trace/modTraceLITE.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <optional>
#include <vector>

// The file is handled as bytes in a single-byte code page (Latin-1 stands in
// for the ANSI code page: every byte maps to one character and back). Writes
// splice the new text into the original bytes, so comments, unknown keys,
// spacing and the file's own line endings survive untouched.

namespace fetchora {

namespace {

// A file written by an older, single-byte version (Windows-1252) is not valid
// UTF-8; its bytes are then read one character each, so umlauts survive.
QString fromFileBytes(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

enum class LineKind { Other, Section, Key };

struct IniLine {
    LineKind kind = LineKind::Other;
    qsizetype begin = 0;      // first byte of the line
    qsizetype eolBegin = 0;   // where the line ending ("\r\n", "\n" or nothing) starts
    qsizetype end = 0;        // first byte of the next line
    QByteArray name;          // section or key name, blanks removed
    qsizetype valueBegin = 0; // Key only: the value without surrounding blanks
    qsizetype valueEnd = 0;
    qsizetype equals = -1;    // Key only: position of '='
    bool holdsText = false;   // any line but a blank one: new keys go after the last of a section
};

std::vector<IniLine> parseIni(const QByteArray &data)
{
    std::vector<IniLine> lines;
    const qsizetype size = data.size();
    qsizetype pos = 0;
    while (pos < size) {
        IniLine line;
        line.begin = pos;
        const qsizetype nl = data.indexOf('\n', pos);
        if (nl < 0) {
            line.eolBegin = size;
            line.end = size;
        } else {
            line.eolBegin = (nl > pos && data[nl - 1] == '\r') ? nl - 1 : nl;
            line.end = nl + 1;
        }
        pos = line.end;

        qsizetype s = line.begin;
        qsizetype e = line.eolBegin;
        while (s < e && isBlank(data[s]))
            ++s;
        while (e > s && isBlank(data[e - 1]))
            --e;
        if (s == e) {
            lines.push_back(line);
            continue;
        }
        line.holdsText = true;
        if (data[s] == ';') {
            lines.push_back(line);  // comment
            continue;
        }
        if (data[s] == '[') {
            qsizetype close = e - 1;
            while (close > s && data[close] != ']')
                --close;
            if (close > s) {
                line.kind = LineKind::Section;
                line.name = data.mid(s + 1, close - s - 1).trimmed();
                lines.push_back(line);
                continue;
            }
        }
        const qsizetype eq = data.indexOf('=', s);
        if (eq < 0 || eq >= e) {
            lines.push_back(line);  // "name" without '=' holds no value
            continue;
        }
        qsizetype nameEnd = eq;
        while (nameEnd > s && isBlank(data[nameEnd - 1]))
            --nameEnd;
        qsizetype vb = eq + 1;
        while (vb < e && isBlank(data[vb]))
            ++vb;
        line.kind = LineKind::Key;
        line.name = data.mid(s, nameEnd - s);
        line.equals = eq;
        line.valueBegin = vb;
        line.valueEnd = e;
        lines.push_back(line);
    }
    return lines;
}

bool sameName(const QByteArray &fileName, const QString &wanted)
{
    return fromFileBytes(fileName).compare(wanted, Qt::CaseInsensitive) == 0;
}

struct Location {
    std::optional<size_t> section;  // index of the first matching section header
    std::optional<size_t> key;      // index of the first matching key inside it
    size_t lastText = 0;         // last non-blank line of the section (or its header)
};

// Only the first section of a name counts, and only the first key of a name
// inside it, as the system's profile reader does.
Location locate(const std::vector<IniLine> &lines, const QString &section, const QString &key)
{
    Location loc;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Section && sameName(lines[i].name, section)) {
            loc.section = i;
            break;
        }
    }
    if (!loc.section)
        return loc;
    loc.lastText = *loc.section;
    for (size_t i = *loc.section + 1; i < lines.size() && lines[i].kind != LineKind::Section; ++i) {
        if (lines[i].holdsText)
            loc.lastText = i;
        if (!loc.key && lines[i].kind == LineKind::Key && !key.isEmpty() && sameName(lines[i].name, key))
            loc.key = i;
    }
    return loc;
}

QString trimmedName(const QString &name)
{
    return name.trimmed();
}

QString readProfileString(const QString &section, const QString &key, const QString &def, int size)
{
    if (size <= 0)
        return QString();
    const int maxChars = size - 1;

    // The default loses its trailing blanks, as with the system reader.
    QString fallback = def;
    while (fallback.endsWith(QLatin1Char(' ')))
        fallback.chop(1);
    fallback = fallback.left(maxChars);

    const QString sec = trimmedName(section);
    const QString k = trimmedName(key);
    if (sec.isEmpty() || k.isEmpty() || strINIFile.isEmpty())
        return fallback;

    QFile file(strINIFile);
    if (!file.open(QIODevice::ReadOnly))
        return fallback;
    const QByteArray data = file.readAll();
    file.close();

    const std::vector<IniLine> lines = parseIni(data);
    const Location loc = locate(lines, sec, k);
    if (!loc.key)
        return fallback;

    const IniLine &line = lines[*loc.key];
    QByteArray value = data.mid(line.valueBegin, line.valueEnd - line.valueBegin);
    const qsizetype nul = value.indexOf('\0');
    if (nul >= 0)
        value.truncate(nul);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return fromFileBytes(value).left(maxChars);
}

// The text as the file holds it, in the system's 8-bit encoding (UTF-8 on
// any current desktop); a line break or NUL cannot be part of one line's value.
QByteArray toFileBytes(const QString &text)
{
    QByteArray bytes = text.toLocal8Bit();
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    bytes.replace('\r', ' ');
    bytes.replace('\n', ' ');
    return bytes;
}

void writeProfileString(const QString &section, const QString &key, const QString &value)
{
    const QString sec = trimmedName(section);
    const QString k = trimmedName(key);
    if (sec.isEmpty() || k.isEmpty() || strINIFile.isEmpty())
        return;

    QByteArray data;
    const QFileInfo info(strINIFile);
    if (info.exists()) {
        if (!info.isFile())
            return;
        // A file without its owner's write bit counts as read-only even for a
        // user (root) whom the bits would not stop.
        if (!(info.permissions() & QFileDevice::WriteOwner))
            return;
        QFile file(strINIFile);
        if (!file.open(QIODevice::ReadOnly))
            return;  // never replace what we could not read
        data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return;
        file.close();
    }

    QByteArray eol("\r\n");
    const qsizetype firstNl = data.indexOf('\n');
    if (firstNl >= 0 && !(firstNl > 0 && data[firstNl - 1] == '\r'))
        eol = "\n";

    const std::vector<IniLine> lines = parseIni(data);
    const Location loc = locate(lines, sec, k);
    const QByteArray valueBytes = toFileBytes(value);
    const QByteArray keyLine = toFileBytes(k) + '=' + valueBytes;

    QByteArray updated = data;
    if (loc.key) {
        const IniLine &line = lines[*loc.key];
        updated.replace(line.equals + 1, line.eolBegin - line.equals - 1, valueBytes);
    } else if (loc.section) {
        const IniLine &anchor = lines[loc.lastText];
        updated.insert(anchor.eolBegin, eol + keyLine);
    } else {
        if (!updated.isEmpty() && !updated.endsWith('\n'))
            updated += eol;
        updated += '[' + toFileBytes(sec) + ']' + eol + keyLine + eol;
    }
    if (info.exists() && updated == data)
        return;

    // The new content goes to a temporary file beside fcr.ini and replaces it
    // in one rename, so a crash leaves either the old or the new file. A missing
    // or read-only folder makes open() or commit() fail: silently, by design.
    QSaveFile out(strINIFile);
    if (!out.open(QIODevice::WriteOnly))
        return;
    if (out.write(updated) != updated.size()) {
        out.cancelWriting();
        return;
    }
    out.commit();
}

}  // namespace

QString GetINIString(const QString &Section, const QString &Key, const QString &Default, short Size)
{
    TraceScope t("modINIHandler", "Function GetINIString");
    QString result;
    t.step([&] { result = readProfileString(Section, Key, Default, Size); });
    return result;
}

void WriteINIString(const QString &Section, const QString &Key, const QString &Value)
{
    TraceScope t("modINIHandler", "Sub WriteINIString");
    t.step([&] { writeProfileString(Section, Key, Value); });
}

}  // namespace fetchora
