// Fetching that saves work: bodies that did not change, the history of every
// attempt and retention of old copies.

#include "CycleRig.h"
#include "cycle/History.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

using namespace fetchora;
using namespace fetchora::testing;

namespace {

QStringList historyFields(const CycleRig &rig, int column)
{
    QStringList out;
    for (const QByteArray &line : readAll(rig.box.path(QStringLiteral("history.log"))).split('\n'))
        if (!line.isEmpty())
            out << QString::fromUtf8(line).section(u'\t', column, column);
    return out;
}

}  // namespace

TEST(Smart, HistoryHasALineForEveryAttempt)
{
    CycleRig rig("CheckVersion=1\nMode1=0\n");
    rig.run("url:http://me:secret@h/report.txt click tick*60 version:V finish:A tick*60 version:V same tick*60 dlerr "
            "tick*60 cancel:yes abort tick*60 notfound");
    EXPECT_EQ(historyFields(rig, 1), (QStringList{"stored", "unchanged", "failed", "cancelled", "not-found"}));
    EXPECT_EQ(historyFields(rig, 6).first(), rig.save + QStringLiteral("/report.txt"));
    EXPECT_EQ(historyFields(rig, 5).first(), QCryptographicHash::hash("A", QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(historyFields(rig, 6).at(2), QStringLiteral("http 500 HTTP 500 Internal Server Error"));
    EXPECT_EQ(historyFields(rig, 6).at(4), QStringLiteral("http 404"));
    EXPECT_EQ(historyFields(rig, 7).first(), QStringLiteral("http://me:***@h/report.txt"));
    EXPECT_TRUE(QDateTime::fromString(historyFields(rig, 0).first(), Qt::ISODate).isValid());
    // At 1 MiB the log moves aside whole and a new one begins.
    const QByteArray full(kHistoryRotateBytes, 'x');
    writeFile(rig.box.path(QStringLiteral("history.log")), full);
    rig.run("click tick*60 dlerr");
    EXPECT_EQ(readAll(rig.box.path(QStringLiteral("history.log.1"))), full);
    // A download that falls due and cannot begin has its line too.
    rig.run("nofolder tick*60");
    EXPECT_EQ(historyFields(rig, 1), (QStringList{"failed", "failed"}));
    EXPECT_EQ(historyFields(rig, 6).last(), "err 76 Path not found: " + rig.save);
}

TEST(Smart, UnchangedOnlyWhileTheCopyIsThere)
{
    CycleRig rig("CheckVersion=1\nMode1=0\n");
    const QString copy = rig.save + QStringLiteral("/report.txt");
    rig.run("click tick*60 version:V finish:A tick*60 version:V same");
    EXPECT_EQ(rig.engine->storedVersions, QStringList{"V"}) << "asked by its version";
    QFile::remove(copy);  // the user takes the copy away
    rig.run("tick*60 version:V finish:A");
    EXPECT_EQ(rig.engine->storedVersions, QStringList{"V"}) << "asked without";
    EXPECT_EQ(readAll(copy), "A") << "stored again";
    // A body like the stored one, under a new version too, is the same copy; another body replaces it.
    rig.sameHash = QCryptographicHash::hash("A", QCryptographicHash::Sha256).toHex();
    rig.run("tick*60 version:W finish:B");
    EXPECT_EQ(readAll(copy) + entries(rig.box.path("tmp")).join("").toUtf8(), "A");
    rig.sameHash.clear();
    rig.run("tick*60 version:X finish:C");
    EXPECT_EQ(readAll(copy), "C");
    EXPECT_EQ(historyFields(rig, 1), (QStringList{"stored", "unchanged", "stored", "unchanged", "stored"}));
    // The URL typed anew: its first version is new, the next report of it the same.
    rig.run("click url:http://127.0.0.1:9/files/report.txt?new click tick*60 version:W finish:A tick*60 version:W");
    EXPECT_EQ(rig.engine->sameVersion, (QList<bool>{false, true, false, false, false, false, true}));
}

// The options reach the store: of four daily copies the newest stay (which ones the store keeps is its own test's).
TEST(Smart, RetentionKeepsTheNewestCopiesAsTheOptionsSay)
{
    for (const auto &[options, left] :
         {std::pair<QByteArray, int>{"KeepCopies=2\n", 2}, {"KeepDays=2\n", 3}, {"", 4}}) {
        CycleRig rig("Mode1=1\n" + options);
        rig.run("click");
        for (int day = 0; day < 4; ++day) {
            rig.clock.at = QDateTime(QDate(2026, 12, 1 + day), QTime(12, 0));
            rig.run(QStringLiteral("tick*60 finish:%1").arg(day));
        }
        QByteArray kept;
        for (const QString &name : entries(rig.save).filter(QStringLiteral("2026")))
            kept += readAll(rig.save + u'/' + name);
        EXPECT_EQ(kept, QByteArray("0123").right(left)) << options.constData();
    }
}
