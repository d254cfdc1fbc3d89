// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the progress window and the modal deletion run: percent, Abort, Esc, the empty list.
#include "shell/Tulosta.h"

#include "shell/Buttons.h"
#include "shell/FileDelThds.h"
#include "support/DeletionLayers.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace {

// Its deletes wait (up to five seconds) while Release is false.
class TSlowLayer : public TestSupport::TMemoryDeletionLayer
{
public:
    std::atomic<bool> Release{true};

    TSlowLayer()
    {
        OnDelete = [this] {
            for (int i = 0; i < 500 && !Release; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        };
    }
};

TTulostaIkkuna *OpenProgressWindow()
{
    return qobject_cast<TTulostaIkkuna *>(QApplication::activeModalWidget());
}

struct TLayerScope {
    explicit TLayerScope(std::shared_ptr<TDeletionFileLayer> layer) { FileDeletion::SetLayer(std::move(layer)); }
    ~TLayerScope() { FileDeletion::SetLayer(nullptr); }
};

TEST(ProgressWindow, PercentBarAndClosing)
{
    TTulostaIkkuna window;
    EXPECT_EQ(window.windowTitle(), "Printing...");
    EXPECT_EQ(window.btnAbort->text(), "&Abort");
    EXPECT_EQ(window.btnAbort->toolTip(), "Stop printing (ESC)");
    window.SetProgress(2, 3);
    EXPECT_EQ(window.Prosentti->text(), "67%");
    EXPECT_EQ(window.ProgressBar->maximum(), 3);
    EXPECT_EQ(window.ProgressBar->value(), 2);
    window.SetProgress(0, 0);
    EXPECT_EQ(window.Prosentti->text(), "67%");

    window.show();
    int aborts = 0;
    QObject::connect(window.btnAbort, &QAbstractButton::clicked, [&aborts] { ++aborts; });
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(aborts, 1);
    EXPECT_TRUE(window.isVisible());
    window.CloseWindow();
    EXPECT_FALSE(window.isVisible());
}

TEST(DeleteFilesThreaded, EmptyListEndsAtOnceNotAborted)
{
    auto layer = std::make_shared<TSlowLayer>();
    TLayerScope scope(layer);
    int calls = 0;
    bool aborted = true;
    QString label;
    QTimer peek;
    QObject::connect(&peek, &QTimer::timeout, [&label] {
        if (TTulostaIkkuna *w = OpenProgressWindow())
            label = w->Prosentti->text();
    });
    peek.start(0);
    FileDeletion::DeleteFilesThreaded(nullptr, {}, true, true, [&](bool a) {
        ++calls;
        aborted = a;
    });
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(aborted);
    EXPECT_TRUE(layer->Calls.isEmpty());
    EXPECT_TRUE(label.isEmpty() || label == "0%");
    EXPECT_EQ(OpenProgressWindow(), nullptr);
}

TEST(DeleteFilesThreaded, AbortStopsAfterTheRunningBatch)
{
    auto layer = std::make_shared<TSlowLayer>();
    layer->Existing = {"C:\\a", "C:\\b"};
    layer->Locked = {"C:\\b"};
    layer->Release = false;
    TLayerScope scope(layer);
    QString caption;
    bool enabledAfter = true;
    QTimer::singleShot(50, [&] {
        TTulostaIkkuna *w = OpenProgressWindow();
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->windowTitle(), "Deleting...");
        EXPECT_TRUE(w->btnAbort->toolTip().isEmpty());
        QTest::mouseClick(w->btnAbort, Qt::LeftButton);
        caption = w->windowTitle();
        enabledAfter = w->btnAbort->isEnabled();
        layer->Release = true;
    });
    bool aborted = false;
    FileDeletion::DeleteFilesThreaded(nullptr, {"C:\\a", "C:\\b"}, false, true, [&](bool a) { aborted = a; });
    EXPECT_TRUE(aborted);
    EXPECT_EQ(caption, "Aborting...");
    EXPECT_FALSE(enabledAfter);
    // The locked file's retry never came: the abort was seen before it.
    EXPECT_EQ(layer->Calls, QList<QStringList>({{"C:\\a"}}));
    EXPECT_TRUE(layer->Existing.contains("C:\\b"));
    EXPECT_EQ(OpenProgressWindow(), nullptr);
}

TEST(DeleteFilesThreaded, TheBarMovesBetweenBatchesAndAbortStopsThere)
{
    auto layer = std::make_shared<TSlowLayer>();
    QStringList files;
    for (int i = 0; i < 3000; ++i)
        files.append(QStringLiteral("C:\\f%1").arg(i, 4, 10, QChar('0')));
    layer->Existing = QSet<QString>(files.begin(), files.end());
    layer->Release = false;  // the first delete waits until the bar is watched
    TLayerScope scope(layer);
    QList<int> values;
    QTimer::singleShot(0, [&] {
        TTulostaIkkuna *w = OpenProgressWindow();
        ASSERT_NE(w, nullptr);
        QObject::connect(w->ProgressBar, &QProgressBar::valueChanged, w, [&, w](int value) {
            values.append(value);
            // After the third batch the user presses Abort.
            if (values.size() == 3)
                QTest::mouseClick(w->btnAbort, Qt::LeftButton);
        });
        layer->Release = true;
    });
    bool aborted = false;
    FileDeletion::DeleteFilesThreaded(nullptr, files, true, false, [&](bool a) { aborted = a; });
    EXPECT_TRUE(aborted);
    // The bar stood at what each batch had deleted by then, and no batch began after Abort.
    ASSERT_EQ(layer->Calls.size(), 3);
    const int first = int(layer->Calls.at(0).size()), second = int(layer->Calls.at(1).size()),
              third = int(layer->Calls.at(2).size());
    EXPECT_EQ(values, QList<int>({first, first + second, first + second + third}));
    EXPECT_EQ(layer->Existing.size(), 3000 - first - second - third);
    EXPECT_EQ(OpenProgressWindow(), nullptr);
}

} // namespace
