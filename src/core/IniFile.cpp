#include "core/IniFile.h"

#include "core/PrivateFiles.h"
#include "core/Trace.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <ctime>
#include <map>
#include <optional>
#include <sys/stat.h>

// The file is handled as bytes in a single-byte code page (Latin-1 stands in
// for the ANSI code page: every byte maps to one character and back). Writes
// splice the new text into the original bytes, so comments, unknown keys,
// spacing and the file's own line endings survive untouched.

namespace fetchora {

namespace {

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = utf8.decode(bytes);
    return !utf8.hasError();
}

// Windows-1252 differs from Latin-1 in 0x80–0x9F only: the euro sign, the
// typographic quotes and dashes that a German password or folder may hold.
// The five holes of the code page stay as Latin-1 maps them.
QString fromWindows1252(const QByteArray &bytes)
{
    static const char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text = QString::fromLatin1(bytes);
    for (QChar &c : text)
        if (c.unicode() >= 0x80 && c.unicode() <= 0x9F)
            c = QChar(kHigh[c.unicode() - 0x80]);
    return text;
}

// A file written by an older, single-byte version (Windows-1252) is not valid
// UTF-8, and is read in that code page.
QString fromFileBytes(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return fromWindows1252(bytes);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

enum class LineKind { Other, Section, Key };

struct IniLine {
    LineKind kind = LineKind::Other;
    qsizetype begin = 0;       // first byte of the line
    qsizetype eolBegin = 0;    // where the line ending ("\r\n", "\n" or nothing) starts
    QByteArray name;           // section or key name, blanks removed
    qsizetype valueBegin = 0;  // Key only: the value without surrounding blanks
    qsizetype valueEnd = 0;
    qsizetype equals = -1;  // Key only: position of '='
};

// One pass over the file, line by line, without keeping the lines: a file of
// millions of blank lines costs time in proportion and no memory. `visit`
// sees every line that holds text (blank ones are of no use to anybody) and
// returns false to stop.
template <class Visit>
void scanIni(const QByteArray &data, Visit visit)
{
    const qsizetype size = data.size();
    for (qsizetype pos = 0; pos < size;) {
        IniLine line;
        line.begin = pos;
        const qsizetype nl = data.indexOf('\n', pos);
        line.eolBegin = nl < 0 ? size : ((nl > pos && data[nl - 1] == '\r') ? nl - 1 : nl);
        pos = nl < 0 ? size : nl + 1;

        qsizetype s = line.begin;
        qsizetype e = line.eolBegin;
        while (s < e && isBlank(data[s]))
            ++s;
        while (e > s && isBlank(data[e - 1]))
            --e;
        if (s == e)
            continue;
        if (data[s] == '[') {
            qsizetype close = e - 1;
            while (close > s && data[close] != ']')
                --close;
            if (close > s) {
                line.kind = LineKind::Section;
                line.name = data.mid(s + 1, close - s - 1).trimmed();
            }
        }
        const qsizetype eq = data.indexOf('=', s);
        if (line.kind == LineKind::Other && data[s] != ';' && eq >= 0 && eq < e) {
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
        }
        if (!visit(line))
            return;
    }
}

QString folded(const QByteArray &fileName)
{
    return fromFileBytes(fileName).toCaseFolded();
}

struct Location {
    std::optional<IniLine> section;  // the first matching section header
    std::optional<IniLine> key;      // the first matching key inside it
    IniLine lastText;                // last non-blank line of the section (or its header)
};

// Only the first section of a name counts, and only the first key of a name
// inside it, as the system's profile reader does.
Location locate(const QByteArray &data, const QString &section, const QString &key)
{
    Location loc;
    const QString sec = section.toCaseFolded(), k = key.toCaseFolded();
    scanIni(data, [&](const IniLine &line) {
        if (line.kind == LineKind::Section) {
            if (loc.section)
                return false;
            if (folded(line.name) == sec)
                loc.section = loc.lastText = line;
            return true;
        }
        if (loc.section) {
            loc.lastText = line;
            if (!loc.key && line.kind == LineKind::Key && folded(line.name) == k)
                loc.key = line;
        }
        return true;
    });
    return loc;
}

// A settings file is a few hundred bytes; one beyond this is no settings file
// and is treated as missing, so it cannot take the memory of the machine.
constexpr qint64 kMaxIniBytes = 64 << 20;

// The values of the file as the reader finds them, built once per change of
// the file (seen by its identity, size and times), not once per read. A file
// changed within the grain of the file system's clock could change again
// unseen under the same times, so such a reading is not trusted.
struct IniCache {
    QByteArray path;
    struct stat st {};
    bool racy = false;
    std::map<QString, std::map<QString, QString>> values;  // folded section, folded key
};

IniCache &cache()
{
    static IniCache c;
    return c;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
           && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec
           && a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The values of fcr.ini, or null when there is none to read.
const IniCache *currentValues(const QString &iniPath)
{
    IniCache &c = cache();
    const QByteArray path = QFile::encodeName(iniPath);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxIniBytes)
        return nullptr;
    if (c.path == path && !c.racy && sameFile(c.st, st))
        return &c;
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray data = file.readAll();
    c.values.clear();
    std::map<QString, QString> *current = nullptr;
    scanIni(data, [&](const IniLine &line) {
        if (line.kind == LineKind::Section) {
            const QString name = folded(line.name);
            current = c.values.count(name) ? nullptr : &c.values[name];
        } else if (current && line.kind == LineKind::Key) {
            QByteArray value = data.mid(line.valueBegin, line.valueEnd - line.valueBegin);
            const qsizetype nul = value.indexOf('\0');
            if (nul >= 0)
                value.truncate(nul);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.mid(1, value.size() - 2);
            current->try_emplace(folded(line.name), fromFileBytes(value));
        }
        return true;
    });
    c.path = path;
    c.st = st;
    c.racy = std::time(nullptr) - st.st_mtim.tv_sec < 3;
    return &c;
}

QString trimmedName(const QString &name)
{
    return name.trimmed();
}

QString readProfileString(const QString &iniPath, const QString &section, const QString &key, const QString &def, int size)
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
    if (sec.isEmpty() || k.isEmpty() || iniPath.isEmpty())
        return fallback;

    const IniCache *c = currentValues(iniPath);
    if (!c)
        return fallback;
    const auto inSection = c->values.find(sec.toCaseFolded());
    if (inSection == c->values.end())
        return fallback;
    const auto value = inSection->second.find(k.toCaseFolded());
    return value == inSection->second.end() ? fallback : value->second.left(maxChars);
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

// The reader drops the blanks around a value and one pair of enclosing
// quotes. A value that has either goes inside one more pair of quotes, so
// it reads back exactly as it was written (a password above all).
QByteArray quotedIfNeeded(const QByteArray &bytes)
{
    const bool blankEnd = !bytes.isEmpty() && (isBlank(bytes.front()) || isBlank(bytes.back()));
    const bool enclosed =
        bytes.size() >= 2 && (bytes.front() == '"' || bytes.front() == '\'') && bytes.back() == bytes.front();
    return blankEnd || enclosed ? '"' + bytes + '"' : bytes;
}

void writeProfileString(const QString &iniPath, const QString &section, const QString &key, const QString &value)
{
    const QString sec = trimmedName(section);
    const QString k = trimmedName(key);
    if (sec.isEmpty() || k.isEmpty() || iniPath.isEmpty())
        return;

    QByteArray data;
    const QFileInfo info(iniPath);
    if (info.exists()) {
        if (!info.isFile())
            return;
        // A file without its owner's write bit counts as read-only even for a
        // user (root) whom the bits would not stop.
        if (!(info.permissions() & QFileDevice::WriteOwner) || info.size() > kMaxIniBytes)
            return;
        QFile file(iniPath);
        if (!file.open(QIODevice::ReadOnly))
            return;  // never replace what we could not read
        data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return;
        file.close();
    }

    // A file of the older single-byte version becomes UTF-8 at its first
    // write, every line as it read: a UTF-8 value spliced into it would make
    // the rest of the file read wrong.
    const bool converted = !isUtf8(data);
    if (converted)
        data = fromWindows1252(data).toUtf8();

    QByteArray eol("\r\n");
    const qsizetype firstNl = data.indexOf('\n');
    if (firstNl >= 0 && !(firstNl > 0 && data[firstNl - 1] == '\r'))
        eol = "\n";

    const Location loc = locate(data, sec, k);
    const QByteArray valueBytes = quotedIfNeeded(toFileBytes(value));
    const QByteArray keyLine = toFileBytes(k) + '=' + valueBytes;

    QByteArray updated = data;
    if (loc.key) {
        updated.replace(loc.key->equals + 1, loc.key->eolBegin - loc.key->equals - 1, valueBytes);
    } else if (loc.section) {
        updated.insert(loc.lastText.eolBegin, eol + keyLine);
    } else {
        if (!updated.isEmpty() && !updated.endsWith('\n'))
            updated += eol;
        updated += '[' + toFileBytes(sec) + ']' + eol + keyLine + eol;
    }
    if (info.exists() && updated == data && !converted)
        return;

    // The new content goes to a temporary file beside fcr.ini and replaces it
    // in one rename, so a crash leaves either the old or the new file. A missing
    // or read-only folder makes open() or commit() fail: silently, by design.
    // The file holds passwords: it is only ever its owner's (a new one starts
    // as an empty private file, whose rights the temporary one takes over).
    if (!info.exists())
        createPrivateFile(iniPath);
    QSaveFile out(iniPath);
    if (!out.open(QIODevice::WriteOnly) || !makePrivate(out))
        return;
    // commit() renames whatever a full disk let through: the data goes out
    // first, and a write that stops short cancels.
    if (out.write(updated) != updated.size() || !out.flush()) {
        out.cancelWriting();
        return;
    }
    out.commit();
    cache().path.clear();
}

}  // namespace

QString IniFile::read(const QString &section, const QString &key, const QString &fallback, short size) const
{
    TraceScope t("modINIHandler", "Function GetINIString");
    QString result;
    t.step([&] { result = readProfileString(m_path, section, key, fallback, size); });
    return result;
}

QString IniFile::readQuietly(const QString &section, const QString &key, const QString &fallback, short size) const
{
    try {
        return readProfileString(m_path, section, key, fallback, size);
    } catch (...) {
        return fallback;
    }
}

void IniFile::write(const QString &section, const QString &key, const QString &value) const
{
    TraceScope t("modINIHandler", "Sub WriteINIString");
    t.step([&] { writeProfileString(m_path, section, key, value); });
}

}  // namespace fetchora
