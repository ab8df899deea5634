// The one table of settings keys: what every reader and writer relies on.

#include "core/Conversions.h"
#include "core/Settings.h"
#include "core/Trace.h"
#include "support/AppSandbox.h"
#include "support/QStringPrinter.h"
#include "trace/Tracewright.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;

TEST(SettingsTable, EachKeyOnceWithADefaultOfItsKindInsideItsRange)
{
    QSet<QString> names;
    int rows = 0;
    for (const SettingRow *s = settingsTableBegin(); s != settingsTableEnd(); ++s, ++rows) {
        const QString name = QLatin1String(s->section) + u'/' + QLatin1String(s->name);
        EXPECT_FALSE(names.contains(name.toCaseFolded())) << name.toStdString() << " twice";
        names.insert(name.toCaseFolded());
        EXPECT_EQ(&rowOf(s->setting), s) << name.toStdString();
        const QString fallback = QLatin1String(s->fallback);
        if (s->kind == SettingRow::Kind::Flag) {
            EXPECT_NO_THROW(CBool(fallback)) << name.toStdString();
        }
        if (s->kind == SettingRow::Kind::Number) {
            const long n = CLng(fallback);
            EXPECT_TRUE(s->min <= n && n <= s->max) << name.toStdString();
        }
    }
    EXPECT_EQ(rows, int(Setting::CaFile) + 1);
}

// What the file holds, what a converting reader gets, and how many reports
// (boxes) and trace notes say that the default stood in.
TEST(SettingsTable, AValueThatDoesNotConvertOrIsOutOfRangeGivesTheDefaultWithOneWord)
{
    struct Row {
        const char *ini;
        Setting setting;
        long expected;
        int boxes, notes;
    } rows[] = {
        {"", Setting::Interval, 1, 0, 0},
        {"Intervall=15", Setting::Interval, 15, 0, 0},
        {"Intervall=abc", Setting::Interval, 1, 1, 0},
        {"Intervall=0", Setting::Interval, 1, 0, 1},
        {"Compress=True", Setting::Compress, 1, 0, 0},
        {"Mode1=", Setting::StampName, 1, 1, 0},
    };
    QStringList lines;
    tracetest::setLineSink([&](const QString &line) { lines << line; });
    for (const Row &r : rows) {
        AppSandbox box;
        box.writeIni(QByteArray("[Options]\n") + r.ini + '\n');
        tracetest::reset();
        lines.clear();
        const Settings &settings = box.profile->settings();
        long got = -1;
        {
            TraceScope t("modTest", "Sub Read");
            got = rowOf(r.setting).kind == SettingRow::Kind::Flag ? long(settings.flag(t, r.setting))
                                                                    : settings.number(t, r.setting);
        }
        EXPECT_EQ(got, r.expected) << r.ini;
        EXPECT_EQ(box.errorPrompt.count(), r.boxes) << r.ini;
        EXPECT_EQ(lines.filter(QStringLiteral("] NOTE ")).size(), r.notes) << r.ini;
        // The quiet readers of the notices and hooks agree, without a word.
        const long quiet = rowOf(r.setting).kind == SettingRow::Kind::Flag ? long(settings.flagQuietly(r.setting))
                                                                              : settings.numberQuietly(r.setting);
        EXPECT_EQ(quiet, r.expected) << r.ini;
    }
    tracetest::setLineSink({});
    tracetest::reset();
}
