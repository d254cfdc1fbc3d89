// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the log of a real "-dup" run reopened in the duplicate window offscreen: every set back, and every copy of a set deleted only on its own question.
#include "files/Duplicate.h"
#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/FileDelThds.h"
#include "support/DeletionLayers.h"
#include "support/WinebootHome.h"

#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

using namespace TestSupport;

class DuplicateLogOfARealRun : public TWinebootHomeTest
{
protected:
    void TearDown() override
    {
        TWinePrefix::SetCurrent(nullptr);
        TWinebootHomeTest::TearDown();
    }
    static void SelectFiles(TKaksoisIkkuna &w, const QStringList &paths)
    {
        w.FileList->clearSelection();
        for (int i = 0; i < w.Rows().size(); ++i)
            if (paths.contains(w.Rows().at(i)->Path))
                w.FileList->selectionModel()->select(w.FileList->model()->index(i, 0),
                                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    static QStringList Files(const TKaksoisIkkuna &w)
    {
        QStringList paths;
        for (const TDuplicateRow *r : w.Rows())
            if (r->IsFile())
                paths << r->Path;
        return paths;
    }
};

TEST_F(DuplicateLogOfARealRun, ReopensWithEveryNameAndAsksBeforeTheLastCopyGoes)
{
    // Greek and Cyrillic names lie outside the prefix's code page (1252); a .git folder is never searched.
    const QString data = QFileInfo(Dir.path()).canonicalFilePath() + "/data";
    const QStringList names = {QString::fromUtf8("Ωmega.txt"), QString::fromUtf8("копия Ωmega.txt"), "plain.txt",
                               "plain copy.txt", "third.bin", "sub/third.bin", ".git/objects/third.bin"};
    for (const QString &name : names)
        Write(data + '/' + name, name.contains("mega") ? "omega\n" : name.contains("plain") ? "plain\n" : "third\n");
    const QByteArray folder = QString(data).replace('/', '\\').toLatin1();
    TProgramCopy program(VASKIMO_EXE);
    ExpectRun(program, {"-dup", "-exit"},
              "[Duplicate files]\r\nSelected disk C=0\r\nSelected disk Z=1\r\nSelected disk Z dir=" + folder + "\r\n", 0,
              "Found 6 files!", "");

    TWinePrefix::SetCurrent(std::make_shared<TWinePrefix>(Prefix));
    TScopedHandlers boxes;
    FileDeletion::SetLayer(std::make_shared<THostDeletionLayer>(nullptr, Home + "/.local/share/Trash"));
    TKaksoisIkkuna w(nullptr, program.Folder());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.FormActivate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.ReadingOldList(); }, 30000));
    ASSERT_EQ(boxes.Shown.size(), 1) << boxes.Shown.join('|').toStdString();
    EXPECT_TRUE(boxes.Shown.at(0).startsWith("An existing list of duplicates found, created on "));
    QStringList expected;
    for (const QString &name : names.mid(0, 6))
        expected << "Z:" + QString::fromLatin1(folder) + '\\' + QString(name).replace('/', '\\');
    QStringList listed = Files(w);
    listed.sort();
    expected.sort();
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(w.GroupCount(), 3);

    // Every file of every set chosen: the question, the warning of the first deletion, then the
    // question that says how many sets would lose every copy, whose No keeps them all.
    boxes.Shown.clear();
    MessageBoxes::SetHandler([&boxes](QWidget *, TMessageKind, const QString &text) {
        boxes.Shown << text;
        return !text.startsWith("The deletion would remove every copy");
    });
    w.FileList->selectAll();
    QTest::mouseClick(w.btnDelete, Qt::LeftButton);
    ASSERT_EQ(boxes.Shown.size(), 3) << boxes.Shown.join('|').toStdString();
    EXPECT_EQ(boxes.Shown.at(0), "Are you sure you want to delete 6 file(s)?");
    EXPECT_EQ(boxes.Shown.at(2), "The deletion would remove every copy of 3 set(s) of duplicates: no file of them would "
                                 "be kept. Delete every copy of them?");
    EXPECT_EQ(FilesBelow({data}).size(), names.size());
    EXPECT_EQ(Files(w).size(), 6);

    // One copy of each set: nothing is lost, nothing more is asked; each set is left with one file
    // and leaves the list.
    boxes.Shown.clear();
    SelectFiles(w, {expected.at(0), expected.at(2), expected.at(4)});
    QTest::mouseClick(w.btnDelete, Qt::LeftButton);
    EXPECT_EQ(boxes.Shown, QStringList{"Are you sure you want to delete 3 file(s)?"});
    EXPECT_EQ(FilesBelow({data}).size(), names.size() - 3);
    EXPECT_TRUE(Files(w).isEmpty());
}

}  // namespace
