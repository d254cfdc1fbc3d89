// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the about box: product line with the version, the year rule, the platform line from the prefix, links.
#include "shell/About.h"

#include "platform/ProgramInfo.h"
#include "shell/Buttons.h"
#include "shell/Settings.h"
#include "platform/WinePrefix.h"
#include "support/DemoPrefix.h"
#include "support/PrefixBuilder.h"

#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using TestSupport::THive;
using TestSupport::TPrefixBuilder;

namespace {

TEST(AboutTest, PlatformLines)
{
    const struct {
        const char *name;
        TPlatformVersion version;
        const char *expected;
    } cases[] = {
        {"XP with a service pack", {2, 5, 1, 2600, "Service Pack 2"}, "Windows XP (Build 2600: Service Pack 2)"},
        {"2000", {2, 5, 0, 2195, ""}, "Windows 2000 (Build 2195)"},
        {"NT 5.2", {2, 5, 2, 3790, ""}, "Windows NT 5.2 (Build 3790)"},
        {"Windows 10 as Wine reports it", {2, 10, 0, 19045, ""}, "Windows NT 10.0 (Build 19045)"},
        {"98", {1, 4, 10, 2222, ""}, "Windows 98 (Build 2222)"},
        {"ME", {1, 4, 90, 3000, ""}, "Windows ME (Build 3000)"},
        {"95", {1, 4, 0, 950, ""}, "Windows 95 (Build 950)"},
        {"the 95 line, another major", {1, 5, 1, 1, ""}, "Windows 5.1 (Build 1)"},
        {"Win32s", {0, 3, 10, 0, ""}, "Win32 on Windows 3.xx (Build 0)"},
        {"unknown family", {7, 1, 2, 5, ""}, "Unknown 1.2 (Build 5)"},
        {"build: the low 16 bits only", {1, 4, 10, 0x040A08AE, "A"}, "Windows 98 (Build 2222: A)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(About::PlatformDescription(c.version), QString::fromUtf8(c.expected));
    }
}

TEST(AboutTest, NoticeYearIsNeverBefore2006)
{
    EXPECT_TRUE(About::MakerNotice(QDate(2004, 6, 1)).endsWith("-2006 Orvendal"));
    EXPECT_TRUE(About::MakerNotice(QDate(2006, 1, 1)).endsWith("-2006 Orvendal"));
    EXPECT_TRUE(About::MakerNotice(QDate(2031, 12, 31)).endsWith("-2031 Orvendal"));
}

TEST(AboutTest, MemoryUsesThousandsSeparators)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(About::MemoryDescription(16384000), "16,384,000 KB");
    EXPECT_EQ(About::MemoryDescription(512), "512 KB");
    QLocale::setDefault(QLocale::system());
    EXPECT_GT(About::PhysicalMemoryKB(), 0u);
}

TEST(AboutTest, PlatformVersionFromThePrefix)
{
    const QString nt = "Software\\Microsoft\\Windows NT\\CurrentVersion";
    const QString win9x = "Software\\Microsoft\\Windows\\CurrentVersion";
    const struct {
        const char *name;
        QString key;
        QByteArray values;
        const char *expected;
    } cases[] = {
        {"XP with a service pack", nt,
         "\"CurrentVersion\"=\"5.1\"\n\"CurrentBuildNumber\"=\"2600\"\n\"CSDVersion\"=\"Service Pack 3\"\n",
         "Windows XP (Build 2600: Service Pack 3)"},
        {"Windows 10: the version numbers win over CurrentVersion", nt,
         "\"CurrentVersion\"=\"6.3\"\n\"CurrentMajorVersionNumber\"=dword:0000000a\n"
         "\"CurrentMinorVersionNumber\"=dword:00000000\n\"CurrentBuild\"=\"19045\"\n",
         "Windows NT 10.0 (Build 19045)"},
        {"the 95 line", win9x, "\"VersionNumber\"=\"4.10.2222\"\n", "Windows 98 (Build 2222)"},
        {"no version at all", nt, "", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TPrefixBuilder b;
        b.AddKey(THive::System, c.key, c.values);
        auto prefix = b.MakeCurrent();
        const auto v = About::PrefixPlatformVersion();
        if (!c.expected) {
            EXPECT_FALSE(v.has_value());
            TSettings s;
            TAboutBox box(nullptr, s, b.Folder());
            EXPECT_TRUE(box.Windows->text().isEmpty()) << "an unreadable version leaves the line empty";
            continue;
        }
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(About::PlatformDescription(*v), QString::fromUtf8(c.expected));
    }
}

TEST(AboutTest, BoxShowsVersionAndOpensOnlyWebAndMailLinks)
{
    TPrefixBuilder b;
    b.AddString(THive::System, "Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion", "5.2");
    b.AddString(THive::System, "Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentBuildNumber", "3790");
    auto prefix = b.MakeCurrent();
    TSettings s;
    s.FUserFont.Size = 13;
    TAboutBox box(nullptr, s, b.Folder());
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_TRUE(box.ProductName->text().startsWith("Vaskimo " + ProgramInfo::Version())) << box.ProductName->text().toStdString();
    EXPECT_EQ(box.Label6->text(), box.ProductName->text());
    EXPECT_EQ(box.Windows->text(), "Windows NT 5.2 (Build 3790)");
    EXPECT_TRUE(box.Memory->text().endsWith(" KB"));
    EXPECT_EQ(box.Freeware->text(), "Totally FREEWARE!");
    EXPECT_TRUE(box.Version->text().endsWith(QString("-%1 Orvendal").arg(std::max(2006, QDate::currentDate().year()))));

    QStringList opened;
    About::SetLinkOpener([&](const QString &address) { opened << address; });
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_EQ(box.Homepage->font().pointSize(), 13) << "links take the user font";
    QTest::mouseClick(box.Homepage, Qt::LeftButton);
    QTest::mouseClick(box.Email, Qt::LeftButton);
    EXPECT_EQ(opened.size(), 2);
    EXPECT_TRUE(opened.value(0).startsWith("http"));
    EXPECT_TRUE(opened.value(1).startsWith("mailto:"));
    box.Email->setToolTip("file:///etc/passwd");
    QTest::mouseClick(box.Email, Qt::LeftButton);
    EXPECT_EQ(opened.size(), 2) << "a hint that is no web or mail address opens nothing";
    About::SetLinkOpener({});

    QSignalSpy accepted(&box, &QDialog::accepted);
    QTest::mouseClick(box.btnOk, Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 1);
}

// What a user reads on the demo prefix: one product line (Label6 is its shadow, under it), the
// prefix's Windows as wineboot records it, and the memory with a caption.
TEST(AboutTest, OnTheDemoPrefixEveryLineSaysWhatItIs)
{
    QTemporaryDir temp;
    const QString copy = temp.path() + "/demo";
    ASSERT_EQ(TestSupport::CopyDemoPrefix(copy), 0);
    TWinePrefix::SetCurrent(std::make_shared<TWinePrefix>(copy));
    TSettings s;
    TAboutBox box(nullptr, s, temp.path() + u'/');
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));

    EXPECT_EQ(box.Windows->text(), "Windows NT 6.1 (Build 7601: Service Pack 1)");
    EXPECT_EQ(box.Label6->geometry(), box.ProductName->geometry()) << "the shadow lies under the product line";
    const QObjectList siblings = box.ProductName->parentWidget()->children();
    EXPECT_LT(siblings.indexOf(box.Label6), siblings.indexOf(box.ProductName)) << "the product line paints last";
    EXPECT_NE(box.Label6->palette().color(QPalette::WindowText), box.ProductName->palette().color(QPalette::WindowText));

    const struct { QLabel *caption, *value; const char *text; } rows[] = {
        {box.WindowsCaption, box.Windows, "System:"},
        {box.MemoryCaption, box.Memory, "Physical memory:"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.caption->text(), row.text);
        EXPECT_TRUE(row.caption->isVisible());
        EXPECT_EQ(row.caption->geometry().center().y(), row.value->geometry().center().y()) << "on the value's line";
        EXPECT_LT(row.caption->geometry().right(), row.value->geometry().left()) << "left of the value";
    }
    EXPECT_TRUE(box.Memory->text().endsWith(" KB"));
    TWinePrefix::SetCurrent(nullptr);
}

} // namespace
