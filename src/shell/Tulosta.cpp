// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the progress window and the modal run of one deletion thread behind it.
#include "shell/Tulosta.h"

#include "shell/Buttons.h"
#include "shell/DeletionReasons.h"
#include "shell/FileDelThds.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/Main.h"
#include "shell/Settings.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include <cmath>

TTulostaIkkuna::TTulostaIkkuna(QWidget *parent) : QDialog(parent)
{
    setObjectName("TulostaIkkuna");
    setWindowTitle("Printing...");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    Reunus = new QFrame(this);
    Reunus->setObjectName("Reunus");
    Reunus->setFrameShape(QFrame::Box);
    Reunus->setFrameShadow(QFrame::Raised);
    setFixedSize(369, 137);

    Prosentti = new QLabel(QStringLiteral("0%"), Reunus);
    Prosentti->setObjectName("Prosentti");
    Prosentti->setAlignment(Qt::AlignCenter);
    QFont font = Prosentti->font();
    if (PaaIkkuna) {
        const TFontSetting &user = PaaIkkuna->Settings().FUserFont;
        if (!user.Name.isEmpty())
            font.setFamily(user.Name);
        if (user.Size > 0)
            font.setPointSize(user.Size);
    }
    font.setBold(true);
    Prosentti->setFont(font);
    Prosentti->setStyleSheet(QStringLiteral("color: blue"));

    ProgressBar = new QProgressBar(Reunus);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setTextVisible(false);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);

    btnAbort = new TOVBitBtn(QStringLiteral("&Abort"), Reunus);
    btnAbort->setObjectName("btnAbort");
    btnAbort->setToolTip(QStringLiteral("Stop printing (ESC)"));
    btnAbort->setMinimumHeight(40);
    btnAbort->setAutoDefault(false);

    auto *inner = new QVBoxLayout(Reunus);
    inner->addWidget(Prosentti);
    inner->addWidget(ProgressBar);
    inner->addWidget(btnAbort);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(Reunus);

    if (LanguageFile())
        TranslateForms(this);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TTulostaIkkuna::SetProgress(int done, int total)
{
    if (total <= 0)
        return;
    ProgressBar->setMaximum(total);
    ProgressBar->setValue(done);
    Prosentti->setText(QString::number(std::lround(double(done) * 100.0 / double(total))) + "%");
}

void TTulostaIkkuna::CloseWindow()
{
    FMayClose = true;
    done(QDialog::Accepted);
    close();
}

void TTulostaIkkuna::closeEvent(QCloseEvent *event)
{
    if (FMayClose)
        event->accept();
    else
        event->ignore();
}

void TTulostaIkkuna::reject()
{
    if (FMayClose)
        QDialog::reject();
    else if (btnAbort->isEnabled())
        btnAbort->click();
}

void TTulostaIkkuna::paintEvent(QPaintEvent *event)
{
    if (PaaIkkuna) {
        QPainter painter(this);
        PaaIkkuna->PaintBackground(this, painter, true);
    }
    QDialog::paintEvent(event);
}

void FileDeletion::DeleteFilesThreaded(QWidget *parent, const QStringList &files, bool permanent, bool forceRetry,
                                       const std::function<void(bool aborted)> &onDone)
{
    bool aborted = false;
    SetLastReasons({});
    auto *window = new TTulostaIkkuna(parent);
    window->setWindowTitle(LangMessage("M049MF", "Deleting..."));
    window->btnAbort->setToolTip(QString());
    window->Prosentti->setText("0%");

    QPointer<TTulostaIkkuna> progressWindow(window);
    QPointer<TFileDeletionThread> thread = new TFileDeletionThread(
        window, files,
        [progressWindow](int done, int total) {
            if (progressWindow)
                progressWindow->SetProgress(done, total);
        },
        permanent, forceRetry);
    QObject::connect(window->btnAbort, &QAbstractButton::clicked, window, [&aborted, window, thread] {
        aborted = true;
        window->btnAbort->setEnabled(false);
        window->setWindowTitle(LangMessage("M037MF", "Aborting..."));
        if (thread)
            thread->Terminate();
    });
    thread->SetOnTerminate([window](TSharedThd *) { window->CloseWindow(); });
    thread->Resume();
    window->exec();
    // The worker has ended: OnTerminate is what ends the modal run. Deleting the window waits
    // for nothing more.
    SetLastReasons(thread ? thread->EntryReasons() : QHash<QString, QString>());
    delete window;
    if (onDone)
        onDone(aborted);
}
