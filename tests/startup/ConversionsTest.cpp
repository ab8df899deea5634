#include "startup/Conversions.h"
#include "trace/RuntimeError.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <functional>
#include <variant>

using namespace fetchora;

namespace {

// An expected result: a value, or the runtime error number the text raises.
struct Raises {
    long number;
};

template <class T>
struct ConvRow {
    ConvRow(const char *t, long long value) : text(t), expected(static_cast<T>(value)) {}
    ConvRow(const char *t, Raises error) : text(t), expected(error) {}
    const char *text;
    std::variant<T, Raises> expected;
};

template <class T>
void PrintTo(const ConvRow<T> &row, std::ostream *os)
{
    *os << '"' << row.text << '"';
}

template <class T>
void checkRow(const ConvRow<T> &row, const std::function<T(const QString &)> &convert)
{
    const QString text = QString::fromUtf8(row.text);
    if (const auto *raises = std::get_if<Raises>(&row.expected)) {
        try {
            const T value = convert(text);
            ADD_FAILURE() << "\"" << row.text << "\" gave " << value << " instead of error " << raises->number;
        } catch (const RuntimeError &e) {
            EXPECT_EQ(e.number(), raises->number) << '"' << row.text << '"';
            EXPECT_EQ(e.description(), errorDescription(raises->number));
        }
    } else {
        EXPECT_EQ(convert(text), std::get<T>(row.expected)) << '"' << row.text << '"';
    }
}

constexpr Raises kMismatch{err::TypeMismatch};
constexpr Raises kOverflow{err::Overflow};

// ---- CBool ------------------------------------------------------------------

class CBoolRows : public ::testing::TestWithParam<ConvRow<bool>> {};

TEST_P(CBoolRows, convertsLikeTheClassicRuntime)
{
    checkRow<bool>(GetParam(), [](const QString &s) { return CBool(s); });
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CBoolRows,
    ::testing::Values(ConvRow<bool>{"0", false}, ConvRow<bool>{"False", false}, ConvRow<bool>{"false", false},
                      ConvRow<bool>{"FALSE", false}, ConvRow<bool>{"1", true}, ConvRow<bool>{"True", true},
                      ConvRow<bool>{"tRuE", true}, ConvRow<bool>{"  True\t", true}, ConvRow<bool>{" 0 ", false},
                      ConvRow<bool>{"-1", true}, ConvRow<bool>{"6", true}, ConvRow<bool>{"0.0", false},
                      ConvRow<bool>{"0.5", true}, ConvRow<bool>{"-0", false}, ConvRow<bool>{"1e3", true},
                      ConvRow<bool>{"&H0", false}, ConvRow<bool>{"&HFF", true}, ConvRow<bool>{"yes", kMismatch},
                      ConvRow<bool>{"", kMismatch}, ConvRow<bool>{"   ", kMismatch},
                      ConvRow<bool>{"abc", kMismatch}, ConvRow<bool>{"True1", kMismatch},
                      ConvRow<bool>{"1 0", kMismatch}, ConvRow<bool>{"--1", kMismatch},
                      ConvRow<bool>{"&H", kMismatch}, ConvRow<bool>{"&HXYZ", kMismatch}));

// ---- CLng -------------------------------------------------------------------

class CLngRows : public ::testing::TestWithParam<ConvRow<int32_t>> {};

TEST_P(CLngRows, convertsLikeTheClassicRuntime)
{
    checkRow<int32_t>(GetParam(), [](const QString &s) { return CLng(s); });
}

using L = ConvRow<int32_t>;
INSTANTIATE_TEST_SUITE_P(
    Rows, CLngRows,
    ::testing::Values(L{"42", 42}, L{" -7 ", -7}, L{"+3", 3}, L{"\t15\t", 15}, L{"007", 7}, L{"2.5", 2},
                      L{"3.5", 4}, L{"-2.5", -2}, L{"0.5", 0}, L{"1.5", 2}, L{"2.51", 3}, L{"-3.5", -4},
                      L{".75", 1}, L{"5.", 5}, L{"1e3", 1000}, L{"1.5E1", 15}, L{"25e-1", 2}, L{"&H10", 16},
                      L{"&hff", 255}, L{"&HFFFF", 65535}, L{"&O17", 15}, L{"&HFFFFFFFF", -1},
                      L{"2147483647", 2147483647}, L{"-2147483648", INT32_MIN}, L{"2147483648", kOverflow},
                      L{"-2147483649", kOverflow}, L{"2147483647.5", kOverflow}, L{"2147483646.5", 2147483646},
                      L{"1e400", kOverflow}, L{"&H100000000", kOverflow}, L{"&HFFFFFFFFFFFFFFFFF", kOverflow},
                      L{"", kMismatch}, L{"abc", kMismatch}, L{"12abc", kMismatch}, L{"1,5", kMismatch},
                      L{"- 5", kMismatch}, L{".", kMismatch}, L{"1e", kMismatch}, L{"True", kMismatch},
                      L{"&H1G", kMismatch}, L{"&O8", kMismatch}));

// ---- CInt -------------------------------------------------------------------

class CIntRows : public ::testing::TestWithParam<ConvRow<int16_t>> {};

TEST_P(CIntRows, convertsLikeTheClassicRuntime)
{
    checkRow<int16_t>(GetParam(), [](const QString &s) { return CInt(s); });
}

using I = ConvRow<int16_t>;
INSTANTIATE_TEST_SUITE_P(Rows, CIntRows,
                         ::testing::Values(I{"6", 6}, I{" 1 ", 1}, I{"32767", 32767}, I{"-32768", INT16_MIN},
                                           I{"32768", kOverflow}, I{"-32769", kOverflow},
                                           I{"32767.5", kOverflow}, I{"0.5", 0}, I{"4.5", 4}, I{"&H10", 16},
                                           I{"&HFFFF", -1}, I{"&H10000", kOverflow}, I{"x", kMismatch},
                                           I{"", kMismatch}));

TEST(Conversions, ignoreTheLocaleDecimalSeparator)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(CLng(QStringLiteral("3.5")), 4);
    EXPECT_FALSE(CBool(QStringLiteral("0.0")));
    EXPECT_THROW(CLng(QStringLiteral("3,5")), RuntimeError);
    QLocale::setDefault(saved);
}

}  // namespace
