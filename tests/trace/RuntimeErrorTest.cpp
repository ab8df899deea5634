// Runtime error numbers and the descriptions the user reads in the report.

#include "trace/RuntimeError.h"

#include <gtest/gtest.h>

using namespace fetchora;

namespace {

struct Described {
    long number;
    const char *description;
};

void PrintTo(const Described &d, std::ostream *os)
{
    *os << d.number;
}

class RuntimeErrorText : public ::testing::TestWithParam<Described> {};

TEST_P(RuntimeErrorText, CarriesTheStandardDescription)
{
    const Described &d = GetParam();
    EXPECT_EQ(errorDescription(d.number), QString::fromUtf8(d.description));
    try {
        raiseError(d.number);
        FAIL() << "raiseError returned";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), d.number);
        EXPECT_EQ(e.description(), QString::fromUtf8(d.description));
        EXPECT_TRUE(e.source().isEmpty());
        EXPECT_EQ(std::string(e.what()), std::to_string(d.number) + ": " + d.description);
    }
}

INSTANTIATE_TEST_SUITE_P(Trace, RuntimeErrorText,
                         ::testing::Values(Described{5, "Invalid procedure call or argument"},
                                           Described{6, "Overflow"}, Described{7, "Out of memory"},
                                           Described{9, "Subscript out of range"},
                                           Described{11, "Division by zero"}, Described{13, "Type mismatch"},
                                           Described{48, "Error in loading DLL"},
                                           Described{52, "Bad file name or number"},
                                           Described{53, "File not found"}, Described{57, "Device I/O error"},
                                           Described{58, "File already exists"}, Described{61, "Disk full"},
                                           Described{70, "Permission denied"},
                                           Described{75, "Path/File access error"},
                                           Described{76, "Path not found"},
                                           Described{91, "Object variable or With block variable not set"},
                                           Described{424, "Object required"},
                                           Described{429, "ActiveX component can't create object"},
                                           // Numbers without a text of their own.
                                           Described{1004, "Application-defined or object-defined error"}),
                         [](const auto &info) { return "Error" + std::to_string(info.param.number); });

TEST(RuntimeError, NamedNumbersAreTheClassicOnes)
{
    EXPECT_EQ(err::TypeMismatch, 13);
    EXPECT_EQ(err::FileNotFound, 53);
    EXPECT_EQ(err::PermissionDenied, 70);
    EXPECT_EQ(err::PathFileAccessError, 75);
    EXPECT_EQ(err::PathNotFound, 76);
    EXPECT_EQ(err::ObjectVariableNotSet, 91);
    EXPECT_EQ(errorDescription(err::FileNotFoundOrDll), "Error in loading DLL");
}

TEST(RuntimeError, KeepsAGivenDescriptionAndSource)
{
    const RuntimeError e(err::FileNotFound, QStringLiteral("Datei nicht gefunden"), QStringLiteral("1taqDwnld!Start"));
    EXPECT_EQ(e.number(), 53);
    EXPECT_EQ(e.description(), "Datei nicht gefunden");
    EXPECT_EQ(e.source(), "1taqDwnld!Start");
}

}  // namespace
