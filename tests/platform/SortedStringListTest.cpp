// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: sorted string lists: locale order ignoring case, duplicates ignored or kept, per-thread use.
#include "platform/SortedStringList.h"

#include <QLocale>
#include <QThread>

#include <gtest/gtest.h>

#include <vector>

namespace {

class SortedStringListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FOldLocale = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void TearDown() override { QLocale::setDefault(FOldLocale); }

private:
    QLocale FOldLocale;
};

TEST_F(SortedStringListTest, IgnoresCaseWhenSortingAndIgnoresDuplicates)
{
    TSortedStringList list;
    bool added = false;
    EXPECT_EQ(list.Add("beta", &added), 0);
    EXPECT_TRUE(added);
    list.Add("Alpha");
    list.Add("gamma");
    EXPECT_EQ(list.Add("BETA", &added), 1);
    EXPECT_FALSE(added);
    EXPECT_EQ(list.Items(), QStringList({"Alpha", "beta", "gamma"}));
    EXPECT_EQ(list.IndexOf("ALPHA"), 0);
    EXPECT_EQ(list.IndexOf("delta"), -1);
    EXPECT_TRUE(list.Contains("Gamma"));
    EXPECT_EQ(list.Count(), 3);
}

TEST_F(SortedStringListTest, AcceptModeSortsButRemovesNothing)
{
    TSortedStringList list(TSortedStringList::TDuplicates::Accept);
    list.AddStrings({"b", "A", "B", "a", "c"});
    ASSERT_EQ(list.Count(), 5);
    // Equals keep the order in which they came.
    EXPECT_EQ(list.Items(), QStringList({"A", "a", "b", "B", "c"}));
    EXPECT_EQ(list.IndexOf("B"), 2);
    EXPECT_TRUE(list.Remove("b"));
    EXPECT_EQ(list.Items(), QStringList({"A", "a", "B", "c"}));
}

TEST_F(SortedStringListTest, AccentedNamesFollowTheLocaleNotTheCodePoints)
{
    TSortedStringList list;
    list.AddStrings({"Zebra", QString::fromUtf8("Émile"), "eagle", "Ezra", QString::fromUtf8("émile")});
    // Code-point order would put both "É" names after "Zebra"; case differences are duplicates.
    EXPECT_EQ(list.Items(), QStringList({"eagle", QString::fromUtf8("Émile"), "Ezra", "Zebra"}));
    // An accent is more than case: "Emile" is a different name.
    bool added = false;
    list.Add("Emile", &added);
    EXPECT_TRUE(added);
    EXPECT_EQ(list.IndexOf("Emile") + 1, list.IndexOf(QString::fromUtf8("ÉMILE")));
}

TEST_F(SortedStringListTest, CommaTextFillsWithoutDuplicates)
{
    TSortedStringList list;
    list.SetCommaText(",temp,\"program files\",TEMP");
    EXPECT_EQ(list.Items(), QStringList({"", "program files", "temp"}));
    EXPECT_EQ(list.CommaText(), ",\"program files\",temp");
}

TEST_F(SortedStringListTest, FindGivesTheInsertionPointOfAMissingItem)
{
    TSortedStringList list;
    list.AddStrings({"a", "c", "e"});
    int index = -1;
    EXPECT_FALSE(list.Find("D", &index));
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(list.Find("C", &index));
    EXPECT_EQ(index, 1);
}

TEST_F(SortedStringListTest, CopiesAreIndependentAndUsableFromOtherThreads)
{
    TSortedStringList original;
    original.AddStrings({"x", "y"});
    std::vector<TSortedStringList> copies(4, original);
    std::vector<QThread *> threads;
    for (TSortedStringList &copy : copies) {
        threads.push_back(QThread::create([&copy] {
            for (int i = 0; i < 2000; ++i)
                copy.Add(QStringLiteral("item %1").arg(i % 500));
        }));
        threads.back()->start();
    }
    for (QThread *t : threads) {
        t->wait();
        delete t;
    }
    for (const TSortedStringList &copy : copies)
        EXPECT_EQ(copy.Count(), 502);
    EXPECT_EQ(original.Count(), 2);
}

}  // namespace
