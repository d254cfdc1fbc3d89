// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the splash window: the built-in JPEG, the maker's notice and the version line.
#include "shell/Splash.h"

#include "platform/ProgramInfo.h"
#include "shell/About.h"
#include "shell/JpegImage.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

TOdota::TOdota(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    Q_INIT_RESOURCE(Splash);
    setObjectName("Odota");
    Kuva = new QLabel(this);
    Kuva->setObjectName("Kuva");
    QFile picture(QStringLiteral(":/splash/pictures/Splash.jpg"));
    if (picture.open(QIODevice::ReadOnly)) {
        const QImage image = JpegImage::Decode(picture.readAll());
        if (!image.isNull())
            Kuva->setPixmap(QPixmap::fromImage(image));
    }
    Notice = new QLabel(Kuva);
    Notice->setObjectName("Notice");
    Version = new QLabel(Kuva);
    Version->setObjectName("Version");
    for (QLabel *label : {Notice, Version}) {
        label->setStyleSheet(QStringLiteral("color: white; background: transparent"));
        label->setAlignment(Qt::AlignHCenter);
    }
    auto *text = new QVBoxLayout(Kuva);
    text->addStretch(1);
    text->addWidget(Version);
    text->addWidget(Notice);
}

QString TOdota::GetVersion() { return ProgramInfo::Version(); }

TOdota *TOdota::ShowSplash()
{
    auto *splash = new TOdota;
    splash->show();
    // The start that follows runs without the event loop: a window the X server has not yet
    // mapped and exposed would stay blank (or never show) until the main window is ready.
    QElapsedTimer waited;
    waited.start();
    while (!(splash->windowHandle() && splash->windowHandle()->isExposed()) && waited.elapsed() < ExposeWaitMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    splash->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return splash;
}

void TOdota::showEvent(QShowEvent *event)
{
    Notice->setText(About::MakerNotice(QDate::currentDate()));
    Version->setText(QStringLiteral("Vaskimo ") + GetVersion() + QStringLiteral(", 100% freeware!"));
    Kuva->adjustSize();
    const QSize picture = Kuva->pixmap().isNull() ? Kuva->sizeHint().expandedTo(QSize(400, 240)) : Kuva->pixmap().size();
    Kuva->setGeometry(QRect(QPoint(0, 0), picture));
    setFixedSize(picture);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    QWidget::showEvent(event);
}
