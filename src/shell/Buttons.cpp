// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: glyph buttons that report the mouse, and the password edit.
#include "shell/Buttons.h"

#include "shell/IniLangUi.h"

#include <QEvent>
#include <QFile>
#include <QShortcut>
#include <QStyleOptionButton>
#include <QStylePainter>

static void InitIconResources() { Q_INIT_RESOURCE(Icons); }

namespace {

constexpr int GlyphSpacing = 2;                   // pixels between the glyph and the caption
constexpr int TextFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap | Qt::TextShowMnemonic;

struct TGlyph {
    const char *Window;  // nullptr: any window
    const char *Button;
    const char *Icon;
};

// freedesktop.org icon names; the shipped set (src/resources/icons) holds one of each.
const TGlyph Glyphs[] = {
    {"PaaIkkuna", "btnRegistry", "applications-system"},
    {"PaaIkkuna", "btnAddRemove", "system-software-install"},
    {"PaaIkkuna", "btnDuplicates", "edit-copy"},
    {"PaaIkkuna", "btnUnnecessary", "user-trash-full"},
    {"PaaIkkuna", "btnStart", "emblem-symbolic-link"},
    {"PaaIkkuna", "btnSpaceUsage", "drive-harddisk"},
    {"PaaIkkuna", "btnUndo", "edit-undo"},
    {"PaaIkkuna", "btnUpdate", "system-software-update"},
    {"PaaIkkuna", "btnOptions", "preferences-system"},
    {"PaaIkkuna", "btnAbout", "help-about"},
    {"PaaIkkuna", "btnHelp", "help-browser"},
    {"PaaIkkuna", "btnClose", "application-exit"},
    {"PaaIkkuna", "btnStartup", "system-run"},
    {"PaaIkkuna", "btnCache", "edit-clear"},
    {"PaaIkkuna", "btnHistory", "document-open-recent"},
    {"PaaIkkuna", "btnMRU", "x-office-document"},
    {"PaaIkkuna", "btnCookies", "internet-web-browser"},
    {"LisaaPoistaIkkuna", "btnUpdate", "document-properties"},  // "Update value"
    {"UpdateIkkuna", "btnOk", "window-close"},                  // captioned "Close"
    {"UpdateIkkuna", "btnDownload", "go-down"},
    {"UpdateIkkuna", "btnDownloadBlacklist", "go-down"},
    {"UpdateIkkuna", "btnCheck", "system-software-update"},
    {"KaksoisIkkuna", "btnFolder", "folder-open"},
    {nullptr, "btnFind", "edit-find"},
    {nullptr, "btnStop", "process-stop"},
    {nullptr, "btnAbort", "process-stop"},
    {nullptr, "btnDelete", "edit-delete"},
    {nullptr, "btnDeleteAll", "edit-clear"},
    {nullptr, "btnSelectAll", "edit-select-all"},
    {nullptr, "btnPrint", "document-print"},
    {nullptr, "btnSave", "document-save"},
    {nullptr, "btnClose", "window-close"},
    {nullptr, "btnRefresh", "view-refresh"},
    {nullptr, "btnUndo", "edit-undo"},
    {nullptr, "btnUndoAll", "edit-undo"},
    {nullptr, "btnUninstall", "list-remove"},
    {nullptr, "btnUp", "go-up"},
};

}  // namespace

QString ButtonIcons::IconName(const QString &windowName, const QString &buttonName)
{
    for (const bool byWindow : {true, false})
        for (const TGlyph &g : Glyphs)
            if (buttonName == QLatin1String(g.Button) &&
                (byWindow ? g.Window && windowName == QLatin1String(g.Window) : !g.Window))
                return QLatin1String(g.Icon);
    return {};
}

QIcon ButtonIcons::Icon(const QString &name)
{
    if (name.isEmpty())
        return {};
    static const bool resources = (InitIconResources(), true);
    Q_UNUSED(resources);
    QIcon shipped;
    for (const char *size : {"16", "32"}) {
        const QString file = QStringLiteral(":/icons/%1/%2.png").arg(QLatin1String(size), name);
        if (QFile::exists(file))
            shipped.addFile(file);
    }
    return QIcon::fromTheme(name, shipped);
}

TOVBitBtn::TOVBitBtn(QWidget *parent) : QPushButton(parent) {}

TOVBitBtn::TOVBitBtn(const QString &caption, QWidget *parent) : QPushButton(caption, parent) {}

void TOVBitBtn::SetCancel(bool cancel)
{
    if (cancel == Cancel())
        return;
    if (!cancel) {
        delete FCancel;
        FCancel = nullptr;
        return;
    }
    FCancel = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    FCancel->setContext(Qt::WindowShortcut);
    connect(FCancel, &QShortcut::activated, this, [this] {
        if (isEnabled() && isVisible())
            click();
    });
}

QSize TOVBitBtn::sizeHint() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    const QSize glyph = icon().isNull() ? QSize(0, 0) : iconSize();
    const int wrapWidth = qMax(glyph.width(), fontMetrics().averageCharWidth() * 12);
    const QRect textRect = text().isEmpty() ? QRect()
                                            : fontMetrics().boundingRect(QRect(0, 0, wrapWidth, 4096), TextFlags, text());
    const int spacing = glyph.isEmpty() || textRect.isEmpty() ? 0 : GlyphSpacing;
    const QSize contents(qMax(glyph.width(), textRect.width()), glyph.height() + spacing + textRect.height());
    return style()->sizeFromContents(QStyle::CT_PushButton, &option, contents, this);
}

QSize TOVBitBtn::minimumSizeHint() const
{
    return sizeHint();
}

bool TOVBitBtn::event(QEvent *event)
{
    if (event->type() == QEvent::Polish && icon().isNull())
        setIcon(ButtonIcons::Icon(ButtonIcons::IconName(window()->objectName(), objectName())));
    return QPushButton::event(event);
}

void TOVBitBtn::enterEvent(QEnterEvent *event)
{
    QPushButton::enterEvent(event);
    emit OnMouseEnter(this);
}

void TOVBitBtn::leaveEvent(QEvent *event)
{
    QPushButton::leaveEvent(event);
    emit OnMouseExit(this);
}

// The style paints the bevel and focus frame; the glyph goes on top, centred, and the caption
// wraps under it.
void TOVBitBtn::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);

    initStyleOption(&option);
    QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown() || isChecked()) {
        contents.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    }
    const QSize glyph = icon().isNull() ? QSize(0, 0) : iconSize();
    const QRect textRect = fontMetrics().boundingRect(QRect(0, 0, contents.width(), 4096), TextFlags, text());
    const int spacing = glyph.isEmpty() || text().isEmpty() ? 0 : GlyphSpacing;
    const int total = glyph.height() + spacing + (text().isEmpty() ? 0 : textRect.height());
    int top = contents.top() + qMax(0, (contents.height() - total) / 2);
    if (!glyph.isEmpty()) {
        const QPixmap pixmap = icon().pixmap(glyph, isEnabled() ? QIcon::Normal : QIcon::Disabled,
                                             isChecked() ? QIcon::On : QIcon::Off);
        const QSize shown = pixmap.deviceIndependentSize().toSize();
        painter.drawPixmap(contents.left() + (contents.width() - shown.width()) / 2, top, pixmap);
        top += glyph.height() + spacing;
    }
    if (!text().isEmpty()) {
        const QRect area(contents.left(), top, contents.width(), contents.bottom() - top + 1);
        style()->drawItemText(&painter, area, TextFlags, palette(), isEnabled(), text(), QPalette::ButtonText);
    }
}

TOVSpeedButton::TOVSpeedButton(QWidget *parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
}

void TOVSpeedButton::enterEvent(QEnterEvent *event)
{
    QToolButton::enterEvent(event);
    update();
    emit OnMouseEnter(this);
    FMouseInside = true;
}

void TOVSpeedButton::leaveEvent(QEvent *event)
{
    QToolButton::leaveEvent(event);
    update();
    emit OnMouseExit(this);
    FMouseInside = false;
}

TOVPassEdit::TOVPassEdit(QWidget *parent) : QLineEdit(parent)
{
    setEchoMode(QLineEdit::Password);
    SetHoldsUserData(this);
}

TOVBitBtn *NewToolButton(QWidget *window, const char *objectName, const QString &caption)
{
    auto *button = new TOVBitBtn(caption, window);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAutoDefault(false);
    return button;
}
