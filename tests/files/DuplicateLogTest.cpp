// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of reading "Duplicat.log": its files, and damaged counts that read as no list.
#include "files/DuplicateLog.h"

#include <gtest/gtest.h>

using namespace Duplicate;

namespace {

// Two sets of two files, as the window writes them.
QStringList Log(const QString &groups, const QString &rows)
{
    return {"Duplicate files log by Orvendal Vaskimo", "10.12.2026 10:00", groups, rows,
            "C:\\dups\\a1.bin", "17", "10.12.2026 9:00", "A", "1A2B3C4D", "N/A", "1",
            "C:\\dups\\sub\\a2.bin", "17", "10.12.2026 9:00", "A", "1A2B3C4D", "N/A", "1",
            "C:\\b1.txt", "5", "10.12.2026 9:01", "RA", "N/A", "N/A", "2",
            "C:\\other\\b2.txt", "5", "10.12.2026 9:01", "A", "N/A", "N/A", "2"};
}

}  // namespace

TEST(DuplicateLog, ReadsTheFilesItsCountsAnnounce)
{
    const TLogContent log = ReadLog(Log("2", "6"), "N/A");
    EXPECT_FALSE(log.Damaged);
    ASSERT_EQ(log.Files.size(), 4);
    EXPECT_EQ(log.Files[1].Folder, "C:\\dups\\sub");
    EXPECT_EQ(log.Files[1].Name, "a2.bin");
    EXPECT_EQ(log.Files[1].Size, 17);
    EXPECT_EQ(log.Files[1].CRCText, "1A2B3C4D");
    EXPECT_EQ(log.Files[1].MD5Text, "");
    EXPECT_EQ(log.Files[2].AttrText, "RA");
    EXPECT_EQ(log.Files[3].SetNumber, 2);

    // Fewer files announced than held, or more: what both allow.
    EXPECT_EQ(ReadLog(Log("2", "4"), "N/A").Files.size(), 2);
    EXPECT_EQ(ReadLog(Log("2", "60"), "N/A").Files.size(), 4);
    // A damaged file line ends the list there.
    QStringList cut = Log("2", "6");
    cut[4 + 7 * 2 + 1] = "five";
    EXPECT_EQ(ReadLog(cut, "N/A").Files.size(), 2);
}

TEST(DuplicateLog, CountsOutOfRangeMeanADamagedLog)
{
    const struct {
        const char *groups, *rows;
    } cases[] = {
        {"-2147483648", "5"},   // rows - groups would overflow
        {"-1", "4"},            // a negative count
        {"3", "2"},             // fewer rows than sets
        {"2", "99999999999"},   // past any count
        {"two", "6"},
        {"2", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.groups) + " " + c.rows);
        const TLogContent log = ReadLog(Log(c.groups, c.rows), "N/A");
        EXPECT_TRUE(log.Damaged);
        EXPECT_TRUE(log.Files.isEmpty());
    }
    EXPECT_TRUE(ReadLog({"Duplicate files log by Orvendal Vaskimo", "10.12.2026"}, "N/A").Damaged);
}
