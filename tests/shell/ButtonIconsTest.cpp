// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the glyph buttons of every window show real icons: the desktop theme's, else the shipped Tango set.
#include "WindowTour.h"

#include "shell/Buttons.h"
#include "shell/Main.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using TestSupport::TTourStop;
using TestSupport::TWindowTour;

namespace {

const QString Tango = QStringLiteral("/usr/share/icons/Tango");

// What each button shows on a desktop whose theme has none of these names: Debian's Tango files.
struct TExpected { const char *window, *button, *tango; };
const TExpected Expected[] = {
    {"main", "btnRegistry", "categories/applications-system"},
    {"main", "btnAddRemove", "apps/system-installer"},
    {"main", "btnDuplicates", "actions/edit-copy"},
    {"main", "btnUnnecessary", "status/user-trash-full"},
    {"main", "btnStart", "emblems/emblem-symbolic-link"},
    {"main", "btnSpaceUsage", "devices/drive-harddisk"},
    {"main", "btnUndo", "actions/edit-undo"},
    {"main", "btnUpdate", "apps/system-software-update"},
    {"main", "btnOptions", "categories/preferences-system"},
    {"main", "btnAbout", "status/dialog-information"},
    {"main", "btnHelp", "apps/help-browser"},
    {"main", "btnClose", "actions/system-log-out"},
    {"main", "btnStartup", "apps/preferences-system-session"},
    {"main", "btnCache", "actions/edit-clear"},
    {"main", "btnHistory", "actions/appointment-new"},
    {"main", "btnMRU", "mimetypes/x-office-document"},
    {"main", "btnCookies", "apps/internet-web-browser"},
    {"add-remove", "btnUpdate", "actions/document-properties"},
    {"update", "btnOk", "actions/system-log-out"},
    {"update", "btnDownload", "actions/go-down"},
    {"update", "btnDownloadBlacklist", "actions/go-down"},
    {"update", "btnCheck", "apps/system-software-update"},
    {"duplicate-files", "btnFolder", "status/folder-open"},
    {nullptr, "btnFind", "actions/edit-find"},
    {nullptr, "btnStop", "actions/process-stop"},
    {nullptr, "btnAbort", "actions/process-stop"},
    {nullptr, "btnDelete", "actions/edit-delete"},
    {nullptr, "btnDeleteAll", "actions/edit-clear"},
    {nullptr, "btnSelectAll", "actions/edit-select-all"},
    {nullptr, "btnPrint", "actions/document-print"},
    {nullptr, "btnSave", "actions/document-save"},
    {nullptr, "btnClose", "actions/system-log-out"},
    {nullptr, "btnRefresh", "actions/view-refresh"},
    {nullptr, "btnUndo", "actions/edit-undo"},
    {nullptr, "btnUndoAll", "actions/edit-undo"},
    {nullptr, "btnUninstall", "actions/list-remove"},
    {nullptr, "btnUp", "actions/go-up"},
};

QString ExpectedTango(const QString &window, const QString &button)
{
    for (const bool byWindow : {true, false})
        for (const TExpected &e : Expected)
            if (button == QLatin1String(e.button) && (byWindow ? e.window && window == QLatin1String(e.window) : !e.window))
                return QLatin1String(e.tango);
    return {};
}

QImage Premultiplied(const QImage &image) { return image.convertToFormat(QImage::Format_ARGB32_Premultiplied); }

QImage TangoImage(const QString &file, int size)
{
    return Premultiplied(QImage(QStringLiteral("%1/%2x%2/%3.png").arg(Tango).arg(size).arg(file)));
}

int Colours(const QImage &image)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            seen.insert(image.pixel(x, y));
    return int(seen.size());
}

// A theme folder holding only what a test puts in it; the theme is forgotten at the end.
class TThemeFolder
{
public:
    explicit TThemeFolder(const QString &name, const QStringList &actions = {})
    {
        const QString root = FDir.filePath(name);
        QDir().mkpath(root + "/32x32/actions");
        QFile index(root + "/index.theme");
        if (index.open(QIODevice::WriteOnly))
            index.write("[Icon Theme]\nName=" + name.toLatin1() +
                        "\nDirectories=32x32/actions\n\n[32x32/actions]\nSize=32\nType=Fixed\n");
        for (const QString &icon : actions) {
            QImage solid(32, 32, QImage::Format_ARGB32);
            solid.fill(QColor(0x12, 0x34, 0x56));
            solid.save(root + "/32x32/actions/" + icon + ".png");
        }
        FPaths = QIcon::themeSearchPaths();
        FName = QIcon::themeName();
        QIcon::setThemeSearchPaths({FDir.path()});
        QIcon::setThemeName(name);
    }
    ~TThemeFolder()
    {
        QIcon::setThemeSearchPaths(FPaths);
        QIcon::setThemeName(FName);
    }

private:
    QTemporaryDir FDir;
    QStringList FPaths;
    QString FName;
};

// Every window of the tour on a desktop whose theme has none of the names: the shipped set shows.
TEST(ButtonIcons, EveryGlyphButtonOfEveryWindowShowsItsTangoIcon)
{
    ASSERT_TRUE(QFile::exists(Tango + "/index.theme")) << "tango-icon-theme is not installed";
    const TThemeFolder emptyTheme(QStringLiteral("empty"));
    TWindowTour tour;
    ASSERT_TRUE(tour.Ready());
    int checked = 0;
    for (const TTourStop &stop : tour.OpenAll()) {
        if (stop.Name == QLatin1String("options") || stop.Name == QLatin1String("about"))
            continue;  // their buttons are text buttons
        ASSERT_TRUE(stop.Window);
        for (TOVBitBtn *button : stop.Window->findChildren<TOVBitBtn *>()) {
            if (button->window() != stop.Window)
                continue;  // a tool window's, the tool being the main window's child
            SCOPED_TRACE((stop.Name + u' ' + button->objectName()).toStdString());
            const QString tango = ExpectedTango(stop.Name, button->objectName());
            ASSERT_FALSE(tango.isEmpty()) << "a glyph button without a glyph";
            const int size = button->iconSize().width() <= 16 ? 16 : 32;
            EXPECT_EQ(Premultiplied(button->icon().pixmap(size).toImage()), TangoImage(tango, size));
            ++checked;
        }
    }
    EXPECT_GE(checked, 17 + 30);

    // What the user sees: each main-window button paints a many-coloured glyph, no flat placeholder.
    for (TOVBitBtn *button : tour.MainWindow()->findChildren<TOVBitBtn *>()) {
        if (button->window() != tour.MainWindow())
            continue;
        SCOPED_TRACE(button->objectName().toStdString());
        const QImage shot = button->grab().toImage();
        const QImage glyphRow = shot.copy(0, 0, shot.width(), shot.height() / 2);
        EXPECT_GE(Colours(glyphRow), 40) << "a flat placeholder paints about 16";
    }
}

TEST(ButtonIcons, TheDesktopThemeComesFirst)
{
    const TThemeFolder theme(QStringLiteral("desktop"), {QStringLiteral("edit-find")});
    const QImage themed = ButtonIcons::Icon(QStringLiteral("edit-find")).pixmap(32).toImage();
    EXPECT_EQ(themed.pixelColor(16, 16), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(Colours(themed), 1);
    // A name the theme lacks: the shipped picture.
    EXPECT_EQ(Premultiplied(ButtonIcons::Icon(QStringLiteral("help-about")).pixmap(32).toImage()),
              TangoImage(QStringLiteral("status/dialog-information"), 32));
    EXPECT_TRUE(ButtonIcons::Icon(QStringLiteral("no-such-icon")).isNull());
    EXPECT_TRUE(ButtonIcons::Icon(QString()).isNull());
}

} // namespace
