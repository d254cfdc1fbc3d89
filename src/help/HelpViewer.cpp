// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the help viewer window, its CHM-backed text browser and the engine behind host type 0.
#include "help/HelpViewer.h"

#include "platform/CodePage.h"
#include "shell/MessageBoxes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QPointer>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QVBoxLayout>

namespace {

const QString Scheme = QStringLiteral("chm");

QPointer<THelpViewer> &Viewer()
{
    static QPointer<THelpViewer> viewer;
    return viewer;
}

QObject *EngineHtmlHelp(const QString &address, quint32 command, quintptr data)
{
    if (command == HH_CLOSE_ALL) {
        if (THelpViewer *v = Viewer())
            v->close();
        delete Viewer();
        return nullptr;
    }
    if (command != HH_HELP_CONTEXT)
        return nullptr;
    const THelpAddress parts = SplitHelpAddress(address);
    const bool created = !Viewer();
    if (created)
        Viewer() = new THelpViewer();
    THelpViewer *viewer = Viewer();
    if (!viewer->ShowContext(parts.File, quint32(data))) {
        if (created)
            delete viewer;
        return nullptr;
    }
    // Tool windows are modal: a viewer outside the modal window would take no input.
    QWidget *modal = QApplication::activeModalWidget();
    if (modal != viewer && viewer->parentWidget() != modal)
        viewer->setParent(modal, Qt::Window);
    viewer->show();
    return viewer;
}

void EngineForeground(QObject *window)
{
    if (auto *w = qobject_cast<QWidget *>(window)) {
        w->showNormal();
        w->raise();
        w->activateWindow();
    }
}

class TF1Filter : public QObject
{
public:
    explicit TF1Filter(THelpSession *session) : FSession(session) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        QWidget *modal = QApplication::activeModalWidget();
        auto *widget = qobject_cast<QWidget *>(watched);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier || !modal || !widget ||
            widget->window() != modal)
            return false;
        FSession->ShowHelp(QString());
        return true;
    }

private:
    THelpSession *FSession;
};

} // namespace

TChmBrowser::TChmBrowser(QWidget *parent) : QTextBrowser(parent), FCodePage(AnsiCodePage())
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &TChmBrowser::LinkClicked);
}

bool TChmBrowser::OpenFile(const QString &hostPath)
{
    auto chm = std::make_unique<TChmFile>(hostPath);
    if (!chm->IsOpen())
        return false;
    FChm = std::move(chm);
    clear();
    return true;
}

bool TChmBrowser::ShowTopic(const QString &topic)
{
    QString path = topic;
    QString fragment;
    if (const qsizetype hash = path.indexOf(u'#'); hash >= 0) {
        fragment = path.mid(hash + 1);
        path.truncate(hash);
    }
    path = Chm::ObjectPath(path);
    if (!FChm || path.isEmpty() || !FChm->Contains(path))
        return false;
    QUrl url;
    url.setScheme(Scheme);
    url.setPath(path);
    if (!fragment.isEmpty())
        url.setFragment(fragment);
    setSource(url, QTextDocument::HtmlResource);
    return true;
}

QString TChmBrowser::CurrentTopic() const
{
    return source().scheme() == Scheme ? source().path() : QString();
}

// Everything a page pulls in comes from the archive; nothing is fetched from outside it.
QVariant TChmBrowser::loadResource(int type, const QUrl &name)
{
    if (!FChm)
        return {};
    QUrl url = name;
    if (url.isRelative())
        url = source().resolved(url);
    if (url.scheme() != Scheme)
        return {};
    const std::optional<QByteArray> data = FChm->Read(url.path());
    if (!data)
        return {};
    if (type != QTextDocument::HtmlResource && type != QTextDocument::StyleSheetResource)
        return *data;
    // Help pages were written in a Windows code page and often do not say which.
    if (QStringConverter::encodingForData(*data))
        return *data;  // a byte-order mark
    static const QRegularExpression charset(QStringLiteral("charset\\s*=\\s*[\"']?([A-Za-z0-9_.:-]+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString named = charset.match(QString::fromLatin1(data->left(1024))).captured(1).toLower();
    if (named.startsWith(QLatin1String("windows-")))
        return DecodeAnsi(*data, named.mid(8).toInt());
    if (named == QLatin1String("iso-8859-1") || named == QLatin1String("latin1"))
        return DecodeAnsi(*data, 1252);
    if (!named.isEmpty())
        return *data;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(*data);
    return utf8.hasError() ? DecodeAnsi(*data, FCodePage) : text;
}

void TChmBrowser::LinkClicked(const QUrl &link)
{
    const QUrl url = link.isRelative() ? source().resolved(link) : link;
    if (url.scheme() == Scheme) {
        if (url.path() == source().path() && url.hasFragment())
            scrollToAnchor(url.fragment());
        else
            ShowTopic(url.path() + (url.hasFragment() ? u'#' + url.fragment() : QString()));
        return;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto"))
        QDesktopServices::openUrl(url);
}

THelpViewer::THelpViewer(QWidget *parent) : QWidget(parent, Qt::Window), FBrowser(new TChmBrowser(this))
{
    setObjectName(QStringLiteral("HelpViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *back = new QPushButton(QStringLiteral("&Back"), this);
    back->setObjectName(QStringLiteral("btnBack"));
    back->setAutoDefault(false);
    back->setEnabled(false);
    connect(back, &QPushButton::clicked, FBrowser, &QTextBrowser::backward);
    connect(FBrowser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    auto *close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(6, 6, 6, 0);
    buttons->addWidget(back);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(FBrowser);
    resize(720, 560);
}

bool THelpViewer::ShowContext(const QString &helpFile, quint32 context)
{
    const TChmFile *chm = FBrowser->Chm();
    if (!chm || QFileInfo(chm->FileName()) != QFileInfo(helpFile)) {
        if (!FBrowser->OpenFile(helpFile))
            return false;
        chm = FBrowser->Chm();
    }
    setWindowTitle(chm->Title().isEmpty() ? QFileInfo(helpFile).completeBaseName() : chm->Title());
    for (const QString &t : {chm->ContextTopic(context), chm->DefaultTopic()})
        if (!t.isEmpty() && FBrowser->ShowTopic(t))
            return true;
    return false;
}

THelpViewer *THelpViewer::Current() { return Viewer(); }

int THelpViewer::ActiveHelpContext()
{
    QWidget *start = QApplication::focusWidget();
    if (!start)
        start = QApplication::activeWindow();
    for (QObject *o = start; o; o = o->parent()) {
        bool ok = false;
        const int context = o->property("HelpContext").toInt(&ok);
        if (ok && context != 0)
            return context;
    }
    return 0;
}

void THelpViewer::RegisterEngine()
{
    HH::RegisterEngine({EngineHtmlHelp, EngineForeground});
    HHFuncs::SetMessageHandler([](const QString &text) { MessageBoxes::Error(QApplication::activeWindow(), text); });
}

THelpSession::THelpSession(const QString &programFile, const QStringList &arguments, const QString &programFolder)
{
    THelpViewer::RegisterEngine();
    HH::Load();
    HHFuncs::Start({programFile, arguments, QString(), programFolder});
    if (qApp) {
        FF1Filter = std::make_unique<TF1Filter>(this);
        qApp->installEventFilter(FF1Filter.get());
    }
}

THelpSession::~THelpSession()
{
    FHook.reset();
    HHFuncs::End();
    HH::Unload();
}

void THelpSession::InstallHook(const QString &helpFile)
{
    FHook.reset();
    FHelpFile = helpFile;
    if (QFileInfo(helpFile).suffix().toLower() == QLatin1String("chm"))
        FHook = std::make_unique<THookHelpSystem>(helpFile, QString(), 0);
}

void THelpSession::ShowHelp(const QString &helpFile)
{
    const QString file = helpFile.isEmpty() ? FHelpFile : helpFile;
    if (AppHelp::HelpContext(THelpViewer::ActiveHelpContext()))
        return;
    if (!QFileInfo::exists(file))
        HHFuncs::ShowMessage(HHFuncs::ErrorText(HHFuncs::HelpFileMissing, file));
    else
        HHFuncs::ShowMessage(
            QStringLiteral("The help file \"%1\" cannot be shown: only compiled HTML Help (.chm) files have a viewer here.")
                .arg(QDir::toNativeSeparators(file)));
}
