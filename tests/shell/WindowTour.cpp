// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: every window of the program on a copy of the demo prefix, at its default size, after its search.
#include "WindowTour.h"

#include "files/Charts.h"
#include "files/Duplicate.h"
#include "files/Start.h"
#include "files/Unnecessary.h"
#include "net/Update.h"
#include "platform/WinePrefix.h"
#include "registry/LisaaPoista.h"
#include "registry/Rekisteri.h"
#include "registry/Startup.h"
#include "registry/Undo.h"
#include "shell/About.h"
#include "shell/Main.h"
#include "shell/MessageBoxes.h"
#include "shell/Options.h"
#include "registry/WaitFor.h"
#include "support/DemoPrefix.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <map>

namespace TestSupport {

namespace {

QAbstractButton *FindButton(QWidget *window, const char *name)
{
    return window->findChild<QAbstractButton *>(QString::fromLatin1(name));
}

// False when the window was never exposed.
[[nodiscard]] bool Show(QWidget *window)
{
    window->show();
    const bool exposed = QTest::qWaitForWindowExposed(window);
    QCoreApplication::processEvents();
    return exposed;
}

// A window that searches by itself when first shown (the startup manager) may be at it already.
// False when the search did not end.
[[nodiscard]] bool RunFind(QWidget *window)
{
    QAbstractButton *find = FindButton(window, "btnFind");
    QAbstractButton *stop = FindButton(window, "btnStop");
    if (find && find->isEnabled())
        find->click();
    else if (!stop || !stop->isEnabled())
        return true;
    return WaitForSearch(window);
}

}  // namespace

bool WaitForSearch(QWidget *window, int ms)
{
    QAbstractButton *find = FindButton(window, "btnFind");
    QAbstractButton *stop = FindButton(window, "btnStop");
    if (!find && !stop)
        return true;
    return WaitFor([&] { return (!find || find->isEnabled()) && (!stop || !stop->isEnabled()); }, ms);
}

struct TWindowTour::TImpl {
    QTemporaryDir Folder;
    std::shared_ptr<TWinePrefix> Previous;
    MessageBoxes::THandler PreviousBoxes;
    std::unique_ptr<TPaaIkkuna> Main;
    std::map<QString, QPointer<QWidget>> Open;

    QString ProgramFolder() const { return Folder.filePath(QStringLiteral("program")) + u'/'; }

    template <class T, class... A>
    T *Make(A &&...args)
    {
        auto *window = new T(Main.get(), std::forward<A>(args)...);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        return window;
    }

    // The registry cleaner deletes what it found, so that an undo file exists. False when its search
    // or its deletion did not end.
    [[nodiscard]] bool DeleteRegistryFinds()
    {
        std::unique_ptr<TRegistryIkkuna> cleaner(Make<TRegistryIkkuna>());
        if (!Show(cleaner.get()) || !RunFind(cleaner.get()))
            return false;
        if (QAbstractButton *all = FindButton(cleaner.get(), "btnDeleteAll"); all && all->isEnabled()) {
            all->click();
            if (!WaitForSearch(cleaner.get()))
                return false;
        }
        cleaner->hide();
        return true;
    }

    using TFactory = std::function<QWidget *(TImpl &)>;
    // In the order a new user might open them; the undo manager last, since it deletes the
    // registry cleaner's finds to have an undo file.
    static const QList<std::pair<QString, TFactory>> &Windows()
    {
        static const QList<std::pair<QString, TFactory>> windows = {
            {QStringLiteral("main"), [](TImpl &t) -> QWidget * { return t.Main.get(); }},
            {QStringLiteral("registry-cleaner"), [](TImpl &t) -> QWidget * { return t.Make<TRegistryIkkuna>(); }},
            {QStringLiteral("startup-manager"), [](TImpl &t) -> QWidget * { return t.Make<TStartupIkkuna>(); }},
            {QStringLiteral("add-remove"), [](TImpl &t) -> QWidget * { return t.Make<TLisaaPoistaIkkuna>(); }},
            {QStringLiteral("unnecessary-files"),
             [](TImpl &t) -> QWidget * { return t.Make<TTurhaIkkuna>(t.ProgramFolder()); }},
            {QStringLiteral("invalid-shortcuts"), [](TImpl &t) -> QWidget * { return t.Make<TStartIkkuna>(); }},
            {QStringLiteral("duplicate-files"),
             [](TImpl &t) -> QWidget * { return t.Make<TKaksoisIkkuna>(t.ProgramFolder()); }},
            {QStringLiteral("space-usage"), [](TImpl &t) -> QWidget * { return t.Make<TKaavioIkkuna>(); }},
            {QStringLiteral("update"), [](TImpl &t) -> QWidget * { return t.Make<TUpdateIkkuna>(); }},
            {QStringLiteral("options"),
             [](TImpl &t) -> QWidget * {
                 return t.Make<TOptionsIkkuna>(t.Main->Settings(), t.Main->FRunAtStartup, t.ProgramFolder(), true);
             }},
            {QStringLiteral("about"),
             [](TImpl &t) -> QWidget * { return t.Make<TAboutBox>(t.Main->Settings(), t.ProgramFolder()); }},
            {QStringLiteral("undo-manager"),
             [](TImpl &t) -> QWidget * { return t.DeleteRegistryFinds() ? t.Make<TUndoIkkuna>() : nullptr; }},
        };
        return windows;
    }

    QWidget *Create(const QString &name)
    {
        for (const auto &[known, factory] : Windows())
            if (known == name)
                return factory(*this);
        return nullptr;
    }
};

TWindowTour::TWindowTour(const QByteArray &options, const QMap<QString, QByteArray> &files,
                         const std::function<void()> &prepare)
    : d(std::make_unique<TImpl>())
{
    if (!d->Folder.isValid())
        return;
    const QString prefix = d->Folder.filePath(QStringLiteral("prefix"));
    if (CopyDemoPrefix(prefix) != 0)
        return;
    QDir().mkpath(d->ProgramFolder());
    QMap<QString, QByteArray> written = files;
    if (!options.isEmpty())
        written.insert(QStringLiteral("Options.ini"), options);
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        const QString path = d->ProgramFolder() + it.key();
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            return;
    }
    d->Previous = TWinePrefix::Current();
    TWinePrefix::SetCurrent(std::make_shared<TWinePrefix>(prefix));
    d->PreviousBoxes = MessageBoxes::SetHandler([](QWidget *, TMessageKind, const QString &) { return true; });
    if (prepare)
        prepare();
    d->Main = std::make_unique<TPaaIkkuna>(d->ProgramFolder());
    if (!Show(d->Main.get()))
        d->Main.reset();
}

TWindowTour::~TWindowTour()
{
    for (auto &[name, window] : d->Open)
        if (window && window != d->Main.get())
            delete window.data();
    d->Main.reset();
    MessageBoxes::SetHandler(d->PreviousBoxes);
    TWinePrefix::SetCurrent(d->Previous);
}

bool TWindowTour::Ready() const { return d->Main != nullptr; }

TPaaIkkuna *TWindowTour::MainWindow() const { return d->Main.get(); }

QString TWindowTour::ProgramFolder() const { return d->ProgramFolder(); }

QStringList TWindowTour::Names()
{
    QStringList names;
    for (const auto &window : TImpl::Windows())
        names.append(window.first);
    return names;
}

QWidget *TWindowTour::Open(const QString &name)
{
    if (!Ready())
        return nullptr;
    if (QPointer<QWidget> open = d->Open[name])
        return open;
    QWidget *window = d->Create(name);
    if (!window)
        return nullptr;
    d->Open[name] = window;
    if (!Show(window) || !RunFind(window))
        return nullptr;
    // The shortcut cleaner's details show what a click on a found shortcut shows.
    if (name == u"invalid-shortcuts") {
        auto *tree = window->findChild<QTreeWidget *>(QStringLiteral("PuuNakyy"));
        QTreeWidgetItem *item = tree ? tree->topLevelItem(0) : nullptr;
        while (item && item->childCount() > 0)
            item = item->child(0);
        if (item)
            tree->setCurrentItem(item);
    }
    return window;
}

QList<TTourStop> TWindowTour::OpenAll()
{
    QList<TTourStop> stops;
    for (const QString &name : Names())
        stops.append({name, Open(name)});
    return stops;
}

}  // namespace TestSupport
