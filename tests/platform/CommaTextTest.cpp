// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: splitting and joining comma text, rule by rule.
#include "platform/CommaText.h"

#include <gtest/gtest.h>

namespace {

const struct {
    const char *name;
    QString text;
    QStringList expected;
    char16_t delimiter = u',';
} splitCases[] = {
    {"empty text", "", {}},
    {"only blanks", "  \t ", {}},
    {"plain items", "a,b,c", {"a", "b", "c"}},
    {"blanks around items skipped", "  a , b\t,\r\nc  ", {"a", "b", "c"}},
    {"blank ends an unquoted item", "a b", {"a", "b"}},
    {"control character ends an item", QString("a") + QChar(1) + "b", {"a", "b"}},
    {"delimiter at start", ",a", {"", "a"}},
    {"delimiter at end", "a,", {"a", ""}},
    {"lone delimiter", ",", {"", ""}},
    {"two delimiters in a row", "a,,b", {"a", "", "b"}},
    {"blank between delimiters", "a, ,b", {"a", "", "b"}},
    {"delimiter then blanks at end", "a,  ", {"a"}},
    {"quoted with blank and delimiter", "\"C:\\Program Files\\\",x", {"C:\\Program Files\\", "x"}},
    {"doubled quote", "\"say \"\"hi\"\"\"", {"say \"hi\""}},
    {"empty quoted item", "\"\",a", {"", "a"}},
    {"text after closing quote starts an item", "\"a\"b,c", {"a", "b", "c"}},
    {"quote inside unquoted item kept", "a\"b\",c", {"a\"b\"", "c"}},
    {"unclosed quote takes the rest", "x,\"abc", {"x", "abc"}},
    {"unclosed quote of one character", "\"a", {"a"}},
    {"blacklist form", ",temp,\"program files\"", {"", "temp", "program files"}},
    {"other delimiter", "a.exe;b c.exe;", {"a.exe", "b", "c.exe", ""}, u';'},
    {"comma is plain with other delimiter", "a,b;c", {"a,b", "c"}, u';'},
};

TEST(CommaText, SplitsByTheRules)
{
    for (const auto &c : splitCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CommaTextToList(c.text, QChar(c.delimiter)), c.expected);
    }
}

const struct {
    const char *name;
    QStringList items;
    QString expected;
} joinCases[] = {
    {"no items", {}, ""},
    {"plain", {"a", "b"}, "a,b"},
    {"blank quoted", {"Program Files", "x"}, "\"Program Files\",x"},
    {"delimiter quoted", {"a,b"}, "\"a,b\""},
    {"quote doubled", {"say \"hi\""}, "\"say \"\"hi\"\"\""},
    {"control character quoted", {QString("a") + QChar(9)}, "\"a\t\""},
    {"empty items as nothing", {"", "a", ""}, ",a,"},
    {"one empty item stays one item", {""}, "\"\""},
};

TEST(CommaText, JoinsAndQuotesWhereNeeded)
{
    for (const auto &c : joinCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ListToCommaText(c.items), c.expected);
    }
}

TEST(CommaText, JoinedTextSplitsBack)
{
    const QStringList lists[] = {
        {"a", "b"}, {"", "a", ""}, {""}, {"x y", "\"q\"", "a,b", "C:\\"}, {QString::fromUtf8("Äiti ja Isä")},
    };
    for (const QStringList &items : lists) {
        SCOPED_TRACE(items.join('|').toStdString());
        EXPECT_EQ(CommaTextToList(ListToCommaText(items)), items);
        EXPECT_EQ(CommaTextToList(ListToCommaText(items, u';'), u';'), items);
    }
}

}  // namespace
