// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: renders every window (demo prefix, default size, after its search) to PNG files in a folder.
#include "WindowTour.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>

#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", qPrintable(arguments.value(0)));
        return 2;
    }
    const QDir folder(arguments[1]);
    if (!QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot make the folder %s\n", qPrintable(folder.path()));
        return 1;
    }
    TestSupport::TWindowTour tour;
    if (!tour.Ready()) {
        std::fprintf(stderr, "cannot copy the demo prefix\n");
        return 1;
    }
    int failures = 0;
    const auto render = [&](QWidget *window, const QString &name) {
        const QString file = folder.filePath(name + QStringLiteral(".png"));
        if (!window || !window->grab().save(file)) {
            std::fprintf(stderr, "cannot render %s\n", qPrintable(file));
            ++failures;
            return;
        }
        std::printf("%s\n", qPrintable(file));
    };
    for (const TestSupport::TTourStop &stop : tour.OpenAll()) {
        render(stop.Window, stop.Name);
        // A window of pages: each page too, the first as the window opens.
        QTabWidget *pages = nullptr;
        for (QTabWidget *tabs : stop.Window ? stop.Window->findChildren<QTabWidget *>() : QList<QTabWidget *>())
            if (tabs->window() == stop.Window)
                pages = tabs;
        for (int page = 1; pages && page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            render(stop.Window, stop.Name + QStringLiteral("-%1").arg(page + 1));
        }
        if (pages)
            pages->setCurrentIndex(0);
    }
    return failures == 0 ? 0 : 1;
}
