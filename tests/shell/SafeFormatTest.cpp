// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the checked formatter: placeholders, type checks and a hostile table.
#include "shell/SafeFormat.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <limits>
#include <ostream>

void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

class SafeFormatTest : public ::testing::Test
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

QString Failed(const QString &format) { return SafeFormatErrorText + QStringLiteral("\r\r") + format; }

TEST_F(SafeFormatTest, FormatsThePlaceholdersTheMessagesUse)
{
    const struct {
        const char *name;
        const char *format;
        QList<TFormatArg> args;
        const char *expected;
    } cases[] = {
        {"plain text", "no placeholders", {}, "no placeholders"},
        {"percent", "100%%", {}, "100%"},
        {"string", "File %s not found", {"a.txt"}, "File a.txt not found"},
        {"two ints", "%d of %d", {3, 10}, "3 of 10"},
        {"negative int", "%d", {-42}, "-42"},
        {"int precision pads zeros", "%.3d", {7}, "007"},
        {"negative with precision", "%.3d", {-7}, "-007"},
        {"int64", "%d", {qint64(1) << 40}, "1099511627776"},
        {"int64 min", "%d", {std::numeric_limits<qint64>::min()}, "-9223372036854775808"},
        {"unsigned of -1 int", "%u", {-1}, "4294967295"},
        {"hex upper case", "%x", {0xbeef}, "BEEF"},
        {"hex eight digits", "%.8x", {0x1f}, "0000001F"},
        {"hex of -1 int", "%x", {-1}, "FFFFFFFF"},
        {"hex of -1 int64", "%x", {qint64(-1)}, "FFFFFFFFFFFFFFFF"},
        {"hex two digits", "%.2x", {10}, "0A"},
        {"number no decimals", "%.0n bytes", {1234567.0}, "1,234,567 bytes"},
        {"number default", "%n", {1234.5}, "1,234.50"},
        {"number small", "%.0n", {999.0}, "999"},
        {"number from an int64", "%.0n KB", {qint64(5000000000)}, "5,000,000,000 KB"},
        {"fixed from an int", "%.1f", {3}, "3.0"},
        {"number rounds", "%.0n", {1499.6}, "1,500"},
        {"negative number", "%.1n", {-1234567.25}, "-1,234,567.3"},
        {"fixed default", "%f", {3.14159}, "3.14"},
        {"fixed precision", "%.4f", {2.0}, "2.0000"},
        {"fixed no grouping", "%.0f", {1234567.0}, "1234567"},
        {"negative zero rounds to zero", "%.2f", {-0.001}, "0.00"},
        {"general", "%g", {0.5}, "0.5"},
        {"general integer", "%g", {100.0}, "100"},
        {"general large", "%g", {1e20}, "1E20"},
        {"general tiny", "%g", {1e-7}, "1E-7"},
        {"general precision", "%.3g", {3.14159}, "3.14"},
        {"scientific", "%e", {1500.0}, "1.50000000000000E+003"},
        {"scientific precision", "%.3e", {-0.00123}, "-1.23E-003"},
        {"width right", "[%5d]", {42}, "[   42]"},
        {"width left", "[%-5d]", {42}, "[42   ]"},
        {"width string", "[%6s]", {"ab"}, "[    ab]"},
        {"string precision cuts", "%.3s", {"abcdef"}, "abc"},
        {"width smaller than text", "%2s", {"abcdef"}, "abcdef"},
        {"star width", "[%*d]", {4, 7}, "[   7]"},
        {"star precision", "%.*f", {1, 2.24}, "2.2"},
        {"indexed", "%1:s %0:s", {"a", "b"}, "b a"},
        {"indexed then next", "%1:s %s %0:s", {"a", "b", "c"}, "b c a"},
        {"indexed repeated", "%0:s-%0:s", {"x"}, "x-x"},
        {"upper-case type", "%S=%D", {"k", 5}, "k=5"},
        {"extra args ignored", "%s", {"a", "b", 3}, "a"},
        {"infinity", "%f", {std::numeric_limits<double>::infinity()}, "INF"},
        {"nan", "%.0n", {std::numeric_limits<double>::quiet_NaN()}, "NAN"},
        {"unicode text", "%s!", {QStringLiteral("Hyvää päivää")}, "Hyvää päivää!"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SafeFormat(QString::fromUtf8(c.format), c.args), QString::fromUtf8(c.expected));
    }
}

TEST_F(SafeFormatTest, UsesTheProgramsNumberSeparatorsAndGroupsCounts)
{
    // The host's own locale plays no part: the prefix's separators do.
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const TNumberSeparators before = NumberSeparators();
    EXPECT_EQ(SafeFormat(QStringLiteral("%.2n"), 1234567.5), QStringLiteral("1,234,567.50"));
    SetNumberSeparators({QStringLiteral("."), QStringLiteral(",")});
    EXPECT_EQ(SafeFormat(QStringLiteral("%.2n"), 1234567.5), QStringLiteral("1.234.567,50"));
    EXPECT_EQ(SafeFormat(QStringLiteral("%.1f"), 2.5), QStringLiteral("2,5"));
    EXPECT_EQ(SafeFormat(QStringLiteral("%.2e"), 2.5), QStringLiteral("2,5E+000"));
    // "%d" groups a count only: an identifier or a plain number stays as it is.
    EXPECT_EQ(SafeFormat(QStringLiteral("Contains %d entries!"), TFormatArg::Count(400006)), QStringLiteral("Contains 400.006 entries!"));
    EXPECT_EQ(SafeFormat(QStringLiteral("%d"), TFormatArg::Count(-1234)), QStringLiteral("-1.234"));
    EXPECT_EQ(SafeFormat(QStringLiteral("%d"), TFormatArg::Count(999)), QStringLiteral("999"));
    EXPECT_EQ(SafeFormat(QStringLiteral("%d"), 400006), QStringLiteral("400006"));
    EXPECT_EQ(SafeFormat(QStringLiteral("%x"), TFormatArg::Count(4096)), QStringLiteral("1000"));
    SetNumberSeparators(before);
    QLocale::setDefault(QLocale::c());
}

TEST_F(SafeFormatTest, VariadicFormMatchesTheList)
{
    EXPECT_EQ(SafeFormat(QStringLiteral("%s: %d (%.8x)"), QStringLiteral("n"), 5, 255u),
              QStringLiteral("n: 5 (000000FF)"));
}

// Every row is a translation gone wrong: each must give the fixed text, never a crash or a read
// past the arguments.
TEST_F(SafeFormatTest, HostileFormatsGiveTheFixedText)
{
    const struct {
        const char *name;
        const char *format;
        QList<TFormatArg> args;
    } cases[] = {
        {"string where a number goes", "%s items", {5}},
        {"number where a string goes", "%d", {"x"}},
        {"float where an int goes", "%d", {1.5}},
        {"string for %n", "%.0n", {"5"}},
        {"string for %f", "%f", {"5"}},
        {"too few arguments", "%d of %d", {3}},
        {"no arguments", "%s", {}},
        {"trailing percent", "50%", {}},
        {"percent then width only", "%5", {1}},
        {"dot at end", "%.", {1}},
        {"unknown type", "%y", {1}},
        {"pointer type", "%p", {1}},
        {"money type", "%m", {1.0}},
        {"C length modifier", "%ld", {1}},
        {"C flags", "%+d", {1}},
        {"index past the arguments", "%5:s", {"a"}},
        {"huge index", "%99999999999:s", {"a"}},
        {"huge width", "%999999999d", {1}},
        {"width just over the cap", "%4097d", {1}},
        {"huge precision", "%.99999999s", {"a"}},
        {"star without argument", "%*d", {}},
        {"star with a string", "%*d", {"x", 1}},
        {"negative star width", "%*d", {-5, 1}},
        {"star beyond the cap", "%*d", {100000, 1}},
        {"star eats the value", "%*d", {5}},
        {"index then missing type", "%0:", {"a"}},
        {"non-ascii type", "%ä", {1}},
        {"percent n then nothing", "%n%", {1.0}},
        {"index then dash then overflow", "%0:-99999999999s", {"a"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString format = QString::fromUtf8(c.format);
        EXPECT_EQ(SafeFormat(format, c.args), Failed(format));
        QString out = QStringLiteral("untouched");
        EXPECT_FALSE(TryFormat(format, c.args, &out));
        EXPECT_EQ(out, QStringLiteral("untouched"));
    }
}

TEST_F(SafeFormatTest, WidthAtTheCapIsAccepted)
{
    EXPECT_EQ(SafeFormat(QStringLiteral("%4096d"), 1).size(), 4096);
}

// Every prefix of a rich format, and every single-character mutation of it, must come back
// without crashing (asan builds catch a read past the end).
TEST_F(SafeFormatTest, SurvivesEveryTruncationAndMutation)
{
    const QString format = QStringLiteral("%1:-8.3s|%0:*d|%.8x %.0n %g %e %%|%u");
    const QList<TFormatArg> args{5, "text", 2.5, 7};
    const QString alphabet = QStringLiteral("%:-.*0123456789dsxnfgeuS ");
    for (qsizetype n = 0; n <= format.size(); ++n)
        (void)SafeFormat(format.left(n), args);
    for (qsizetype i = 0; i < format.size(); ++i) {
        for (const QChar c : alphabet) {
            QString mutated = format;
            mutated[i] = c;
            for (int k = 0; k <= args.size(); ++k)
                (void)SafeFormat(mutated, args.mid(0, k));
        }
    }
    SUCCEED();
}

}  // namespace
