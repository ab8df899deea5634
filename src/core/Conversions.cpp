#include "core/Conversions.h"

#include "core/RuntimeError.h"

#include <cmath>
#include <limits>
#include <optional>

// The settings file is written by this program, so numbers always use '.' as
// the decimal point whatever the user's locale says.

namespace fetchora {

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QStringView trimBlanks(QStringView s)
{
    while (!s.isEmpty() && isBlank(s.front()))
        s = s.mid(1);
    while (!s.isEmpty() && isBlank(s.back()))
        s.chop(1);
    return s;
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

struct Number {
    double value = 0;    // decimal numbers
    bool radix = false;  // "&H..." / "&O...": value in bits
    unsigned long long bits = 0;
};

// "&H1F" (hex) and "&O17" (octal) literals; at most 64 bits.
std::optional<Number> parseRadix(QStringView s)
{
    if (s.size() < 3 || s[0] != QLatin1Char('&'))
        return std::nullopt;
    const QChar kind = s[1].toUpper();
    const int base = kind == QLatin1Char('H') ? 16 : kind == QLatin1Char('O') ? 8 : 0;
    if (!base)
        return std::nullopt;
    Number n;
    n.radix = true;
    for (QChar c : s.mid(2)) {
        const int d = c.isDigit() && c.unicode() < 128 ? c.unicode() - '0'
                      : (base == 16 && c.toUpper() >= QLatin1Char('A') && c.toUpper() <= QLatin1Char('F'))
                          ? c.toUpper().unicode() - 'A' + 10
                          : -1;
        if (d < 0 || d >= base)
            return std::nullopt;
        if (n.bits > (std::numeric_limits<unsigned long long>::max() >> (base == 16 ? 4 : 3)))
            raiseError(err::Overflow);
        n.bits = n.bits * base + d;
    }
    return n;
}

// [sign] digits [. digits] [E|D [sign] digits], blanks around allowed.
std::optional<Number> parseNumber(const QString &text)
{
    const QStringView s = trimBlanks(text);
    if (s.isEmpty())
        return std::nullopt;
    if (s[0] == QLatin1Char('&'))
        return parseRadix(s);

    qsizetype i = 0;
    if (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))
        ++i;
    qsizetype digits = 0;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == QLatin1Char('.')) {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (!digits)
        return std::nullopt;
    QString normal = s.left(i).toString();
    if (i < s.size() && (s[i].toUpper() == QLatin1Char('E') || s[i].toUpper() == QLatin1Char('D'))) {
        qsizetype j = i + 1;
        if (j < s.size() && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-')))
            ++j;
        const qsizetype expStart = j;
        while (j < s.size() && isDigit(s[j]))
            ++j;
        if (j == expStart)
            return std::nullopt;
        normal += QLatin1Char('e') + s.mid(i + 1, j - i - 1).toString();
        i = j;
    }
    if (i != s.size())
        return std::nullopt;

    bool ok = false;
    Number n;
    n.value = normal.toDouble(&ok);  // QString::toDouble always uses the C locale
    // The syntax is checked above, so a failure here is a range problem: too
    // large stays infinite (overflow for whole numbers), too small is zero.
    if (!ok && !std::isinf(n.value))
        n.value = 0.0;
    return n;
}

template <class Int>
Int toWhole(const QString &text)
{
    const std::optional<Number> n = parseNumber(text);
    if (!n)
        raiseError(err::TypeMismatch);
    using U = std::make_unsigned_t<Int>;
    if (n->radix) {
        // A literal that fits the type's width is its bit pattern: &HFFFF is -1 as 16 bits.
        if (n->bits > std::numeric_limits<U>::max())
            raiseError(err::Overflow);
        return static_cast<Int>(static_cast<U>(n->bits));
    }
    if (!std::isfinite(n->value))
        raiseError(err::Overflow);
    const double rounded = std::nearbyint(n->value);  // default mode: half to even
    if (rounded < double(std::numeric_limits<Int>::min()) || rounded > double(std::numeric_limits<Int>::max()))
        raiseError(err::Overflow);
    return static_cast<Int>(rounded);
}

}  // namespace

bool CBool(const QString &text)
{
    const QStringView s = trimBlanks(text);
    if (s.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (s.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    const std::optional<Number> n = parseNumber(text);
    if (!n)
        raiseError(err::TypeMismatch);
    return n->radix ? n->bits != 0 : n->value != 0.0;
}

int32_t CLng(const QString &text)
{
    return toWhole<int32_t>(text);
}

int16_t CInt(const QString &text)
{
    return toWhole<int16_t>(text);
}

}  // namespace fetchora
