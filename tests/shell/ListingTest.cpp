// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: listing save byte for byte (escaping, code page, missing sub-items, row choice) and printing to PDF.
#include "shell/Listing.h"

#include "shell/Buttons.h"
#include "shell/MessageBoxes.h"
#include "shell/Tulosta.h"
#include "support/MessageBoxCatcher.h"
#include "support/SmallDisk.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

QByteArray Crlf(const char *text)
{
    QByteArray b(text);
    b.replace("\n", "\r\n");
    return b;
}

const char *const Head = R"(<?xml version="1.0" encoding="windows-1252"?>
<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">
<html>
<head>
<title>Invalid entries &amp; &lt;more&gt;</title>
<meta http-equiv="Content-Type" content="text/html; charset=windows-1252"/>
<meta name="generator" content="Orvendal Vaskimo"/>
<style type="text/css">
TABLE{
  text-align: left;
  padding: 0px;
  border-bottom: 1px solid #000044;
  border-right: 1px solid #000044;
}
TD{
  border-left: 1px solid #000044;
  border-top: 1px solid #000044;
}
</style>
</head>
<body>
<table>
<tr>
<td bgcolor="#0000FF">
<b><font color="#FFFFFF">Name</font></b>
</td>
<td bgcolor="#0000FF">
<b><font color="#FFFFFF">Size &amp; &lt;type&gt;</font></b>
</td>
<td bgcolor="#0000FF">
<b><font color="#FFFFFF">Path</font></b>
</td>
</tr>
)";

const char *const Tail = R"(</table>
</body>
</html>
)";

// Row 0 needs escaping, row 1 holds characters inside and outside code page 1252, row 2 has
// only its caption, row 3 an empty sub-item (which still is one).
struct TListFixture {
    QStandardItemModel Model{0, 3};
    QTreeView View;
    TListFixture()
    {
        Model.setHorizontalHeaderLabels({"Name", "Size & <type>", "Path"});
        Model.appendRow({new QStandardItem("a<b>&\"c\"'"), new QStandardItem("12"), new QStandardItem("Z:\\tmp\\x.tmp")});
        Model.appendRow({new QStandardItem(QString::fromUtf8("Caf\u00e9 \u20ac")), new QStandardItem("7"),
                         new QStandardItem(QString::fromUtf8("Z:\\Con \uc790\ubc31"))});
        Model.appendRow({new QStandardItem("only caption")});
        Model.appendRow({new QStandardItem("r3"), new QStandardItem(""), new QStandardItem("p")});
        View.setModel(&Model);
        View.setSelectionMode(QAbstractItemView::ExtendedSelection);
        View.setSelectionBehavior(QAbstractItemView::SelectRows);
    }
};

const char *const RowsGolden[] = {
    "<tr>\n<td>\na&lt;b&gt;&amp;&quot;c&quot;&#39;\n</td>\n<td>\n12\n</td>\n<td>\nZ:\\tmp\\x.tmp\n</td>\n</tr>\n",
    "<tr>\n<td>\nCaf\xe9 \x80\n</td>\n<td>\n7\n</td>\n<td>\nZ:\\Con &#51088;&#48177;\n</td>\n</tr>\n",
    "<tr>\n<td>\nonly caption\n</td>\n<td>\n</td>\n<td>\n</td>\n</tr>\n",
    "<tr>\n<td>\nr3\n</td>\n<td>\n\n</td>\n<td>\np\n</td>\n</tr>\n",
};

QByteArray Golden(std::initializer_list<int> rows)
{
    QByteArray b = Crlf(Head);
    for (int r : rows)
        b += Crlf(RowsGolden[r]);
    return b + Crlf(Tail);
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class ListingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Boxes.Answer = false;  // confirmations are refused
    }
    void TearDown() override
    {
        Listing::SetRowsQuestion({});
        Listing::SetPrintStepHook({});
    }
    void Answer(TListingRows answer)
    {
        Listing::SetRowsQuestion([this, answer](QWidget *, const QString &text) {
            Questions << text;
            return answer;
        });
    }
    QTemporaryDir Dir;
    TestSupport::TBoxes Boxes;
    QStringList Questions;
};

TEST_F(ListingTest, SavedListingMatchesGoldenBytes)
{
    TListFixture f;
    const QString file = Dir.filePath("list.htm");
    Answer(TListingRows::All);
    ASSERT_EQ(SaveListViewHtml(&f.View, file, "Invalid entries & <more>", nullptr, 1252), TListingResult::Done);
    EXPECT_EQ(ReadAll(file), Golden({0, 1, 2, 3}));
    EXPECT_TRUE(Questions.isEmpty()) << "nothing selected: nothing to ask";
    EXPECT_TRUE(Boxes.Shown.isEmpty());
}

TEST_F(ListingTest, ASaveOnAFullDiskKeepsTheEarlierListingAndSaysWhy)
{
    TestSupport::TSmallDisk disk(QStringLiteral("512k"));
    VASKIMO_NEED_DISK(disk);
    TListFixture f;
    const QString file = disk.Path() + "/list.htm";
    Answer(TListingRows::All);
    ASSERT_EQ(SaveListViewHtml(&f.View, file, "Invalid entries & <more>", nullptr, 1252), TListingResult::Done);
    ASSERT_TRUE(disk.Fill());
    f.Model.removeRows(0, 1);
    EXPECT_EQ(SaveListViewHtml(&f.View, file, "Invalid entries & <more>", nullptr, 1252), TListingResult::Failed);
    EXPECT_EQ(ReadAll(file), Golden({0, 1, 2, 3}));
    EXPECT_EQ(Boxes.Shown, QStringList{"The listing could not be saved to \"" + file + "\":\r\nNo space left on device"});
}

TEST_F(ListingTest, SelectionQuestionChoosesRows)
{
    const struct {
        const char *name;
        TListingRows answer;
        TListingResult result;
        std::initializer_list<int> rows;
    } cases[] = {
        {"yes: the selected rows in view order", TListingRows::Selected, TListingResult::Done, {1, 3}},
        {"no: every row", TListingRows::All, TListingResult::Done, {0, 1, 2, 3}},
        {"cancel: no file", TListingRows::Cancel, TListingResult::Cancelled, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TListFixture f;
        // Selected bottom-up: the file still follows the view's order.
        f.View.selectionModel()->select(f.Model.index(3, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        f.View.selectionModel()->select(f.Model.index(1, 2), QItemSelectionModel::Select);
        const QString file = Dir.filePath(QString("sel%1.htm").arg(int(c.answer)));
        Questions.clear();
        Answer(c.answer);
        EXPECT_EQ(SaveListViewHtml(&f.View, file, "Invalid entries & <more>", nullptr, 1252), c.result);
        EXPECT_EQ(Questions, QStringList{"Do you want to save only the selected items?"});
        if (c.result == TListingResult::Cancelled)
            EXPECT_FALSE(QFile::exists(file));
        else
            EXPECT_EQ(ReadAll(file), Golden(c.rows));
    }
}

TEST_F(ListingTest, EmptyListHoldsOnlyTheHeaderRow)
{
    TListFixture f;
    f.Model.removeRows(0, f.Model.rowCount());
    const QString file = Dir.filePath("empty.htm");
    ASSERT_EQ(SaveListViewHtml(&f.View, file, "Invalid entries & <more>", nullptr, 1252), TListingResult::Done);
    EXPECT_EQ(ReadAll(file), Golden({}));
}

TEST_F(ListingTest, DeclaredEncodingFollowsTheCodePage)
{
    TListFixture f;
    f.Model.removeRows(1, 3);
    f.Model.item(0, 0)->setText(QString::fromUtf8("\u0416 \u00e9"));  // Cyrillic Zhe, e acute
    const QString file = Dir.filePath("1251.htm");
    ASSERT_EQ(SaveListViewHtml(&f.View, file, "t", nullptr, 1251), TListingResult::Done);
    const QByteArray bytes = ReadAll(file);
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"));
    EXPECT_TRUE(bytes.contains("content=\"text/html; charset=windows-1251\""));
    // 1251 holds Zhe (0xC6) but not e acute.
    EXPECT_TRUE(bytes.contains("\r\n\xc6 &#233;\r\n")) << bytes.constData();
}

TEST_F(ListingTest, UnwritableFileIsReportedAndLeavesNothing)
{
    TListFixture f;
    const QString file = Dir.filePath("no such folder/list.htm");
    EXPECT_EQ(SaveListViewHtml(&f.View, file, "t", nullptr, 1252), TListingResult::Failed);
    ASSERT_EQ(Boxes.Shown.size(), 1);
    EXPECT_TRUE(Boxes.Shown[0].contains(file));
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(ListingTest, BatchHandlerAnswersTheQuestionAsYesNo)
{
    TListFixture f;
    f.View.selectionModel()->select(f.Model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QString file = Dir.filePath("batch.htm");
    // The fixture's handler answers every question No: all rows.
    ASSERT_EQ(SaveListViewHtml(&f.View, file, "Invalid entries & <more>", nullptr, 1252), TListingResult::Done);
    EXPECT_EQ(Boxes.Shown, QStringList{"Do you want to save only the selected items?"});
    EXPECT_EQ(ReadAll(file), Golden({0, 1, 2, 3}));
}

TEST_F(ListingTest, SaveDialogDefaultsToHtmAndTxtForTheSecondFilter)
{
    const struct {
        const char *name;
        int filter;
        const char *expected;
    } cases[] = {
        {"first filter", 0, "out.htm"},
        {"second filter", 1, "out.txt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QStringList filters;
        QTimer::singleShot(0, [&] {
            auto *dialog = QApplication::activeModalWidget()->findChild<QFileDialog *>("SaveDialog");
            if (!dialog)
                dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            filters = dialog->nameFilters();
            EXPECT_EQ(dialog->defaultSuffix(), "htm");
            if (auto *types = dialog->findChild<QComboBox *>("fileTypeCombo")) {
                // As the user picks it.
                types->setCurrentIndex(c.filter);
                emit types->activated(c.filter);
                emit types->textActivated(types->currentText());
            }
            else
                ADD_FAILURE() << "no file type list";
            dialog->selectFile(Dir.filePath("out"));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        EXPECT_EQ(Listing::RunSaveDialog(nullptr), Dir.filePath(c.expected));
        EXPECT_EQ(filters, (QStringList{"HTML-files (*.htm *.html)", "Text files (*.txt)"}));
    }
}

// ---- printing

void FillRows(QStandardItemModel &model, int rows)
{
    model.clear();
    model.setColumnCount(3);
    model.setHorizontalHeaderLabels({"Key", "Value", "Data"});
    for (int i = 0; i < rows; ++i)
        model.appendRow({new QStandardItem(QString("row %1").arg(i)), new QStandardItem("v"),
                         new QStandardItem(QString(200, QChar('x')))});
}

int PdfPages(const QString &path)
{
    const QString pdf = QString::fromLatin1(ReadAll(path));
    return int(pdf.count(QRegularExpression("/Type\\s*/Page(?!s)")));
}

void PreparePrinter(QPrinter &printer, const QString &file)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
}

// Rows per page by the layout rule: lines of (text height + 4) from the top, the header on line 0,
// the footer on the first line r for which (r + 2) lines reach the page's height.
int RowsPerPage(const QString &scratch)
{
    QPrinter printer(QPrinter::HighResolution);
    PreparePrinter(printer, scratch);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter(&printer);
    const int line = painter.fontMetrics().height() + 4;
    const int height = painter.viewport().height();
    int footer = 1;
    while (line * (footer + 2) < height)
        ++footer;
    return footer - 1;
}

class ListingPrintTest : public ListingTest
{
protected:
    TListingResult Print(int rows, const QString &name)
    {
        FillRows(Model, rows);
        View.setModel(&Model);
        QPrinter printer(QPrinter::HighResolution);
        PreparePrinter(printer, Dir.filePath(name));
        return PrintListView(&View, "Startup listing", printer);
    }
    QStandardItemModel Model;
    QTreeView View;
};

TEST_F(ListingPrintTest, PageCountFollowsTheLineLayout)
{
    const int perPage = RowsPerPage(Dir.filePath("scratch.pdf"));
    ASSERT_GT(perPage, 5);
    const struct {
        const char *name;
        int rows, pages;
    } cases[] = {
        {"empty list: one page with the footer", 0, 1},
        {"one row", 1, 1},
        {"a full page", perPage, 1},
        {"one row more", perPage + 1, 2},
        {"a long list", 3 * perPage + 1, 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QString("p%1.pdf").arg(c.rows);
        ASSERT_EQ(Print(c.rows, name), TListingResult::Done);
        EXPECT_GT(QFileInfo(Dir.filePath(name)).size(), 0);
        EXPECT_EQ(PdfPages(Dir.filePath(name)), c.pages);
    }
}

TEST_F(ListingPrintTest, ProgressShowsTenPercentSteps)
{
    QStringList labels;
    Listing::SetPrintStepHook([&](int, int) {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *window = qobject_cast<TTulostaIkkuna *>(w); window && window->isVisible())
                labels << window->Prosentti->text();
    });
    ASSERT_EQ(Print(10, "ten.pdf"), TListingResult::Done);
    EXPECT_EQ(labels, (QStringList{"10%", "20%", "30%", "40%", "50%", "60%", "70%", "80%", "90%", "100%"}));
}

TEST_F(ListingPrintTest, AbortStopsAfterTheCurrentRow)
{
    int steps = 0;
    QString caption;
    Listing::SetPrintStepHook([&](int done, int) {
        ++steps;
        if (done == 3)
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *window = qobject_cast<TTulostaIkkuna *>(w); window && window->isVisible()) {
                    window->btnAbort->click();
                    caption = window->windowTitle();
                }
    });
    EXPECT_EQ(Print(50, "abort.pdf"), TListingResult::Aborted);
    EXPECT_FALSE(QFile::exists(Dir.filePath("abort.pdf"))) << "an abandoned job leaves no printed pages";
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(caption, "Aborting...");
}

TEST_F(ListingPrintTest, NoJobStartsInsideARunningOne)
{
    TListingResult inner = TListingResult::Done;
    Listing::SetPrintStepHook([&](int done, int) {
        if (done == 2) {
            QPrinter second(QPrinter::HighResolution);
            PreparePrinter(second, Dir.filePath("inner.pdf"));
            inner = PrintListView(&View, "again", second);
        }
    });
    EXPECT_EQ(Print(5, "outer.pdf"), TListingResult::Done);
    EXPECT_EQ(inner, TListingResult::Cancelled);
    EXPECT_EQ(PdfPages(Dir.filePath("outer.pdf")), 1);
}

TEST_F(ListingPrintTest, ClosingTheListWindowAbandonsTheJob)
{
    auto *view = new QTreeView;
    FillRows(Model, 20);
    view->setModel(&Model);
    Listing::SetPrintStepHook([&](int done, int) {
        if (done == 4)
            delete view;
    });
    QPrinter printer(QPrinter::HighResolution);
    PreparePrinter(printer, Dir.filePath("closed.pdf"));
    EXPECT_EQ(PrintListView(view, "Startup listing", printer), TListingResult::Aborted);
}

TEST_F(ListingPrintTest, PrinterThatCannotStartIsReported)
{
    FillRows(Model, 3);
    View.setModel(&Model);
    QPrinter printer(QPrinter::HighResolution);
    PreparePrinter(printer, Dir.filePath("no such folder/x.pdf"));
    EXPECT_EQ(PrintListView(&View, "Startup listing", printer), TListingResult::Failed);
    ASSERT_EQ(Boxes.Shown.size(), 1);
    EXPECT_TRUE(Boxes.Shown[0].contains("Startup listing"));
}

TEST_F(ListingPrintTest, CancelStartsNoJob)
{
    FillRows(Model, 5);
    View.setModel(&Model);
    View.selectionModel()->select(Model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Answer(TListingRows::Cancel);
    QPrinter printer(QPrinter::HighResolution);
    PreparePrinter(printer, Dir.filePath("cancel.pdf"));
    int steps = 0;
    Listing::SetPrintStepHook([&](int, int) { ++steps; });
    EXPECT_EQ(PrintListView(&View, "Startup listing", printer), TListingResult::Cancelled);
    EXPECT_EQ(Questions, QStringList{"Do you want to print only the selected items?"});
    EXPECT_EQ(steps, 0);
    EXPECT_FALSE(QFile::exists(Dir.filePath("cancel.pdf")));
}

TEST_F(ListingPrintTest, SelectedRowsOnlyArePrinted)
{
    FillRows(Model, 10);
    View.setModel(&Model);
    for (int r : {7, 2, 5})
        View.selectionModel()->select(Model.index(r, 1), QItemSelectionModel::Select);
    Answer(TListingRows::Selected);
    QPrinter printer(QPrinter::HighResolution);
    PreparePrinter(printer, Dir.filePath("sel.pdf"));
    int total = 0;
    Listing::SetPrintStepHook([&](int, int t) { total = t; });
    EXPECT_EQ(PrintListView(&View, "Startup listing", printer), TListingResult::Done);
    EXPECT_EQ(total, 3);
}

} // namespace
