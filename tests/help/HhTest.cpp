// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the help loader: version names and order, counted loading, help addresses.
#include "help/hh.h"

#include <QObject>

#include <gtest/gtest.h>

TEST(HhVersions, HelpEngineNames)
{
    struct TRow { const char *name; const char *version; const char *friendly; };
    const TRow rows[] = {
        {"newer than every row", "5.2.3790", "> 1.4a"},
        {"exactly the newest row", "5.2.3669", "1.4a"},
        {"between rows", "4.74.8800", "1.31"},
        {"a row with a build", "4.74.8793.5", "1.31"},
        {"oldest row", "4.72.7290", "1.0"},
        {"older than every row", "4.72.7289.65535", "< 1.0"},
        {"no version", "", ""},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(HHFriendlyVersion(TFileVersion::FromText(QString::fromLatin1(row.version))),
                  QString::fromLatin1(row.friendly));
    }
}

TEST(HhVersions, BrowserNames)
{
    struct TRow { const char *name; const char *version; const char *friendly; };
    const TRow rows[] = {
        {"above 8", "8.0.0.1", "> Internet Explorer 8"},
        {"8 itself is above 7", "8.0.0.0", "> Internet Explorer 7"},
        {"from the newest 6 row", "6.4.2", "Internet Explorer 6 (Windows Server 2003)"},
        {"XP SP2 build", "6.0.2900.2180", "Internet Explorer 6 (Windows XP SP2)"},
        {"one build below XP SP2", "6.0.2900.2179", "Internet Explorer 6 SP1"},
        {"5.5", "5.50.4134.600", "Internet Explorer 5.5"},
        {"oldest", "4.40.308", "Internet Explorer 1.0 (Plus!)"},
        {"below oldest", "4.40.307.9", "< Internet Explorer 1.0 (Plus!)"},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(IEFriendlyVersion(TFileVersion::FromText(QString::fromLatin1(row.version))),
                  QString::fromLatin1(row.friendly));
    }
}

TEST(HhVersions, PartsCompareAsUnsignedWords)
{
    EXPECT_GT(CompareVersions(TFileVersion::Of(4, 0xFFFF, 0, 0), TFileVersion::Of(4, 1, 0, 0)), 0);
    EXPECT_LT(CompareVersions(TFileVersion::Of(4, 1, 0, 1), TFileVersion::Of(4, 1, 1, 0)), 0);
    EXPECT_EQ(CompareVersions(TFileVersion::FromText("6.4"), TFileVersion::Of(6, 4, 0, 0)), 0);
    EXPECT_EQ(TFileVersion::FromText("6.4").Text, QStringLiteral("6.4.0.0"));
    for (const char *bad : {"", "6.x", "1.2.3.4.5", "70000"}) {
        SCOPED_TRACE(bad);
        EXPECT_TRUE(TFileVersion::FromText(QString::fromLatin1(bad)).IsEmpty());
    }
}

TEST(HhLoader, LoadsOnceUnloadsWithTheLastEnd)
{
    int calls = 0;
    QObject window;
    HH::RegisterEngine({[&](const QString &, quint32, quintptr) {
                            ++calls;
                            return &window;
                        },
                        {}});
    EXPECT_FALSE(HH::Loaded());
    EXPECT_EQ(HH::HtmlHelp("a.chm", HH_HELP_CONTEXT, 1), nullptr);
    EXPECT_TRUE(HH::EngineVersion().IsEmpty());
    EXPECT_TRUE(HH::Load());
    EXPECT_TRUE(HH::Load());
    EXPECT_FALSE(HH::EngineVersion().IsEmpty());
    HH::Unload();
    EXPECT_TRUE(HH::Loaded());
    EXPECT_EQ(HH::HtmlHelp("a.chm", HH_HELP_CONTEXT, 1), &window);
    HH::Unload();
    EXPECT_FALSE(HH::Loaded());
    HH::Unload();  // one end too many changes nothing
    EXPECT_FALSE(HH::Loaded());
    EXPECT_EQ(calls, 1);
    HH::RegisterEngine({});
    EXPECT_FALSE(HH::Load());  // nothing registered: HTML Help is not there
    HH::Unload();
    EXPECT_FALSE(HH::BrowserVersion().IsEmpty());
}

TEST(HhAddress, SplitsFileTopicAndWindow)
{
    struct TRow { const char *address, *file, *topic, *window; };
    const TRow rows[] = {
        {"/h/A.chm", "/h/A.chm", "", ""},
        {"/h/A.chm::/a/b.htm>main", "/h/A.chm", "/a/b.htm", "main"},
        {"mk:@MSITStore:/h/A.chm>main", "/h/A.chm", "", "main"},
        {"ms-its:/h/A.chm::/x.htm", "/h/A.chm", "/x.htm", ""},
    };
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.address);
        const THelpAddress a = SplitHelpAddress(QString::fromLatin1(row.address));
        EXPECT_EQ(a.File, QString::fromLatin1(row.file));
        EXPECT_EQ(a.Topic, QString::fromLatin1(row.topic));
        EXPECT_EQ(a.Window, QString::fromLatin1(row.window));
    }
}
