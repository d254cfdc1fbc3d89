// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "-dup" run by the built program on a wineboot prefix whose profile links lead into a real home.
#include "support/WinebootHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using namespace TestSupport;

class DuplicatesOnAWinebootPrefix : public TWinebootHomeTest
{
protected:
    // The paths of the files Duplicat.log lists (its lines 5, 12, ...: the path of each file row), sorted.
    static QStringList LoggedFiles(const TProgramCopy &program)
    {
        const QList<QByteArray> lines = ReadFileBytes(program.FilePath("Duplicat.log")).split('\n');
        QStringList paths;
        for (qsizetype i = 4; i + 6 < lines.size(); i += 7)
            paths << QString::fromLatin1(lines.at(i).trimmed());
        paths.sort();
        return paths;
    }
};

// A folder below Z: is what the user stored, and an unattended run searches it; a run with
// nothing to search says so. Hidden folders of the folder searched are never listed.
TEST_F(DuplicatesOnAWinebootPrefix, DupSearchesTheStoredFolderAndSaysWhenThereIsNothingToSearch)
{
    const QString data = QFileInfo(Dir.path()).canonicalFilePath() + "/data";
    for (const char *name : {"a.txt", "sub/a copy.txt", ".git/objects/a.txt", ".ssh/a.txt"})
        Write(data + '/' + name, "the same bytes\n");
    const QByteArray zFolder = QString(data).replace('/', '\\').toLatin1();
    const struct {
        const char *name;
        QByteArray drives;
        int exitCode;
        QByteArray logLine;
        QByteArray stderrText;
        QStringList listed;
    } cases[] = {
        {"a folder below Z:", "Selected disk C=0\r\nSelected disk Z=1\r\nSelected disk Z dir=" + zFolder + "\r\n", 0,
         "Found 2 files!", "", {"Z:" + zFolder + "\\a.txt", "Z:" + zFolder + "\\sub\\a copy.txt"}},
        {"nothing chosen", "Selected disk C=0\r\nSelected disk Z=0\r\n", 1, "Nothing was searched: no drive or folder is chosen",
         "Vaskimo: -dup: Nothing was searched: no drive or folder is chosen\n", {}},
        {"a folder that is gone", "Selected disk C=0\r\nSelected disk Z=1\r\nSelected disk Z dir=" + zFolder + "\\gone\r\n", 1,
         "The folder Z:" + zFolder + "\\gone chosen to search does not exist",
         "Vaskimo: -dup: The folder Z:" + zFolder + "\\gone chosen to search does not exist\n", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TProgramCopy program(VASKIMO_EXE);
        ExpectRun(program, {"-dup", "-exit"}, "[Duplicate files]\r\n" + c.drives, c.exitCode, c.logLine, c.stderrText);
        EXPECT_EQ(LoggedFiles(program), c.listed);
    }
}

}  // namespace
