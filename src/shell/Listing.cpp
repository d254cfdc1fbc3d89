// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: listing print (QPrinter, a ruled table with a page footer) and listing save (XHTML 1.0).
#include "shell/Listing.h"

#include "platform/CodePage.h"
#include "platform/DurableFile.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/MessageBoxes.h"
#include "shell/Tulosta.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>
#include <QTreeView>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <set>

namespace {

// One row as the view showed it when the job began; nullopt = the row has no such sub-item.
using TRowTexts = QList<std::optional<QString>>;

struct TListingSnapshot {
    QStringList Captions;
    QList<int> ScreenWidths;
    QList<TRowTexts> Rows;
    bool HasSelection = false;
    QList<int> SelectedRows;  // indexes into Rows, in view order
};

Listing::TRowsQuestion &RowsQuestion()
{
    static Listing::TRowsQuestion question;
    return question;
}

Listing::TPrintStep &PrintStepHook()
{
    static Listing::TPrintStep hook;
    return hook;
}

TListingSnapshot Snapshot(QTreeView *view)
{
    TListingSnapshot s;
    const QAbstractItemModel *model = view ? view->model() : nullptr;
    if (!model)
        return s;
    const QHeaderView *header = view->header();
    QList<int> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (logical >= 0 && logical < model->columnCount() && !header->isSectionHidden(logical))
            columns << logical;
    }
    for (int c : columns) {
        s.Captions << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        s.ScreenWidths << header->sectionSize(c);
    }
    const int rows = model->rowCount();
    s.Rows.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        TRowTexts row;
        for (int c : columns) {
            const QVariant v = model->data(model->index(r, c), Qt::DisplayRole);
            if (v.isValid())
                row << v.toString();
            else
                row << std::nullopt;
        }
        s.Rows << row;
    }
    if (const QItemSelectionModel *selection = view->selectionModel()) {
        std::set<int> selected;
        for (const QModelIndex &index : selection->selectedIndexes())
            if (index.isValid() && !index.parent().isValid())
                selected.insert(index.row());
        s.SelectedRows = QList<int>(selected.begin(), selected.end());
        s.HasSelection = !selected.empty();
    }
    return s;
}

TListingRows AskRows(QWidget *parent, const QString &text)
{
    if (RowsQuestion())
        return RowsQuestion()(parent, text);
    // A handler in place means nobody may see a real box: ask through it, Yes/No only.
    MessageBoxes::THandler handler = MessageBoxes::SetHandler({});
    MessageBoxes::SetHandler(handler);
    if (handler)
        return MessageBoxes::Confirm(parent, text) ? TListingRows::Selected : TListingRows::All;
    switch (QMessageBox::question(parent, QApplication::applicationName(), text,
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes)) {
    case QMessageBox::Yes:
        return TListingRows::Selected;
    case QMessageBox::No:
        return TListingRows::All;
    default:
        return TListingRows::Cancel;
    }
}

// The rows to write, or nullopt on Cancel.
std::optional<QList<int>> ChooseRows(QWidget *parent, const TListingSnapshot &s, const QString &question)
{
    if (s.HasSelection) {
        const TListingRows answer = AskRows(parent, question);
        if (answer == TListingRows::Cancel)
            return std::nullopt;
        if (answer == TListingRows::Selected)
            return s.SelectedRows;
    }
    QList<int> all(s.Rows.size());
    std::iota(all.begin(), all.end(), 0);
    return all;
}

QList<int> PaperWidths(const QList<int> &screen, int pageWidth)
{
    QList<int> paper;
    qint64 sum = 0;
    for (int w : screen)
        sum += std::max(0, w);
    for (int w : screen) {
        // All columns squeezed to nothing on screen still get their share of the paper.
        const double share = sum > 0 ? double(std::max(0, w)) / double(sum) : 1.0 / double(screen.size());
        paper << int(std::lround(share * pageWidth));
    }
    return paper;
}

// Characters XML 1.0 cannot carry at all, not even as a reference.
bool IsXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
           || (c >= 0x10000 && c <= 0x10FFFF);
}

QByteArray Escaped(const QString &text, int codePage)
{
    QByteArray out;
    const QList<uint> ucs = text.toUcs4();
    for (uint c : ucs) {
        switch (c) {
        case '&': out += "&amp;"; continue;
        case '<': out += "&lt;"; continue;
        case '>': out += "&gt;"; continue;
        case '"': out += "&quot;"; continue;
        case '\'': out += "&#39;"; continue;
        default: break;
        }
        if (!IsXmlChar(c))
            c = 0xFFFD;
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        bool lossless = false;
        const QByteArray bytes = EncodeAnsi(QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1), codePage, &lossless);
        if (lossless && !bytes.isEmpty())
            out += bytes;
        else
            out += "&#" + QByteArray::number(c) + ';';
    }
    return out;
}

} // namespace

Listing::TRowsQuestion Listing::SetRowsQuestion(TRowsQuestion question)
{
    TRowsQuestion previous = RowsQuestion();
    RowsQuestion() = std::move(question);
    return previous;
}

void Listing::SetPrintStepHook(TPrintStep hook) { PrintStepHook() = std::move(hook); }

bool Listing::RunPrintDialog(QWidget *parent, QPrinter &printer)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    return dialog.exec() == QDialog::Accepted;
}

QString Listing::DefaultExtension(int filterIndex)
{
    return filterIndex == 0 ? QStringLiteral("htm") : QStringLiteral("txt");
}

QString Listing::RunSaveDialog(QWidget *parent)
{
    QFileDialog dialog(parent);
    dialog.setObjectName("SaveDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setSizeGripEnabled(true);
    const QStringList filters = {QStringLiteral("HTML-files (*.htm *.html)"), QStringLiteral("Text files (*.txt)")};
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(DefaultExtension(0));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString &filter) {
        // SaveDialogTypeChange
        dialog.setDefaultSuffix(DefaultExtension(int(filters.indexOf(filter))));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString Listing::CodePageCharset(int codePage)
{
    switch (codePage) {
    case 874: return QStringLiteral("windows-874");
    case 932: return QStringLiteral("Shift_JIS");
    case 936: return QStringLiteral("GBK");
    case 949: return QStringLiteral("EUC-KR");
    case 950: return QStringLiteral("Big5");
    case 1250: case 1251: case 1253: case 1254: case 1255: case 1256: case 1257: case 1258:
        return QStringLiteral("windows-%1").arg(codePage);
    default: return QStringLiteral("windows-1252");
    }
}

TListingResult PrintListView(QTreeView *view, const QString &title, QPrinter &printer, QWidget *parent)
{
    // The progress window is not modal and the loop lets events through: a second Print click
    // must not start a job inside this one.
    static bool printing = false;
    if (printing)
        return TListingResult::Cancelled;
    printing = true;
    const auto release = qScopeGuard([] { printing = false; });
    const TListingSnapshot s = Snapshot(view);
    const std::optional<QList<int>> rows =
        ChooseRows(parent, s, LangMessage("M136MF", "Do you want to print only the selected items?"));
    if (!rows)
        return TListingResult::Cancelled;

    bool reportAbort = false;
    TTulostaIkkuna progress(parent);
    QObject::connect(progress.btnAbort, &QAbstractButton::clicked, &progress, [&] {
        // AbortReport
        progress.btnAbort->setEnabled(false);
        progress.setWindowTitle(LangMessage("M037MF", "Aborting..."));
        reportAbort = true;
    });
    progress.ProgressBar->setRange(0, std::max<int>(1, rows->size()));
    progress.ProgressBar->setValue(0);
    progress.Prosentti->setText(QStringLiteral("0%"));
    progress.show();

    printer.setDocName(title);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(&printer)) {
        progress.CloseWindow();
        // The callers do not look at the result: say it here, or nothing tells that nothing printed.
        MessageBoxes::Error(parent, QStringLiteral("The printer could not start printing \"%1\".").arg(title));
        return TListingResult::Failed;
    }
    const QRect page = painter.viewport();
    const int pageWidth = page.width();
    const int pageHeight = page.height();
    const QList<int> widths = PaperWidths(s.ScreenWidths, pageWidth);
    QFont normal = painter.font();
    normal.setBold(false);
    painter.setFont(normal);
    const int h = painter.fontMetrics().height();
    const int line = std::max(1, h + 4);

    int pageNumber = 1;
    auto footer = [&](int r) {
        QFont bold = normal;
        bold.setBold(true);
        painter.setFont(bold);
        painter.setPen(Qt::black);
        const QRect band(0, line * r + 2, pageWidth, line);
        painter.drawText(band, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                         QStringLiteral("Page ") + QString::number(pageNumber));
    };
    auto cellText = [&](int left, int top, int width, const QString &text) {
        const QRect cell(left, top, width, line);
        painter.save();
        painter.setClipRect(cell);
        painter.drawText(QRect(left + 1, top + 2, std::max(0, width - 1), line - 2),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        painter.restore();
    };
    auto header = [&] {
        QFont bold = normal;
        bold.setBold(true);
        painter.setFont(bold);
        int left = 0;
        for (int c = 0; c < widths.size(); ++c) {
            painter.fillRect(QRect(left, 0, widths[c], line), Qt::black);
            painter.setPen(Qt::white);
            cellText(left, 0, widths[c], s.Captions[c]);
            left += widths[c];
        }
        left = 0;
        painter.setPen(Qt::white);
        painter.setBrush(Qt::NoBrush);
        for (int c = 0; c < widths.size(); ++c) {
            painter.drawRect(QRect(left, 0, widths[c] - 1, line - 1));
            left += widths[c];
        }
        painter.setPen(Qt::black);
        painter.setFont(normal);
    };

    QPointer<QTreeView> guard(view);
    int r = 0;
    int lastHeaderPage = 0;
    bool aborted = false;
    const int total = int(rows->size());
    for (int done = 0; done < total; ++done) {
        ++r;
        if (line * (r + 2) >= pageHeight) {
            footer(r);
            painter.setFont(normal);
            printer.newPage();
            ++pageNumber;
            r = 1;
        }
        if (pageNumber != lastHeaderPage) {
            header();
            lastHeaderPage = pageNumber;
        }
        const TRowTexts &row = s.Rows[(*rows)[done]];
        const int top = line * r;
        int left = 0;
        for (int c = 0; c < widths.size(); ++c) {
            painter.fillRect(QRect(left, top, widths[c], line), Qt::white);
            if (c < row.size() && row[c])
                cellText(left, top, widths[c], *row[c]);
            left += widths[c];
        }
        left = 0;
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        for (int c = 0; c < widths.size(); ++c) {
            painter.drawRect(QRect(left, top, widths[c] - 1, line - 1));
            left += widths[c];
        }
        progress.SetProgress(done + 1, total);
        if (PrintStepHook())
            PrintStepHook()(done + 1, total);
        QCoreApplication::processEvents();
        // The user closing the list's window mid-job abandons the job too.
        if (reportAbort || (view && !guard)) {
            aborted = true;
            break;
        }
    }
    if (aborted) {
        printer.abort();
        painter.end();
        // A file printer (PDF) keeps what it wrote so far: an abandoned job leaves no pages behind.
        if (!printer.outputFileName().isEmpty())
            QFile::remove(printer.outputFileName());
        progress.CloseWindow();
        return TListingResult::Aborted;
    }
    progress.btnAbort->setEnabled(false);
    int footerLine = 1;
    while (line * (footerLine + 2) < pageHeight)
        ++footerLine;
    footer(footerLine);
    painter.end();
    progress.CloseWindow();
    return TListingResult::Done;
}

TListingResult SaveListViewHtml(QTreeView *view, const QString &fileName, const QString &title, QWidget *parent,
                                int codePage)
{
    const TListingSnapshot s = Snapshot(view);
    const std::optional<QList<int>> rows =
        ChooseRows(parent, s, LangMessage("M135MF", "Do you want to save only the selected items?"));
    if (!rows)
        return TListingResult::Cancelled;
    if (codePage <= 0)
        codePage = AnsiCodePage();
    const QByteArray charset = Listing::CodePageCharset(codePage).toLatin1();

    QByteArray out;
    auto put = [&out](const QByteArray &text) { out += text + "\r\n"; };
    auto text = [codePage](const QString &t) { return Escaped(t, codePage); };
    // An 8-bit XML file must name its encoding, or a reader takes it for UTF-8; browsers read the meta.
    put("<?xml version=\"1.0\" encoding=\"" + charset + "\"?>");
    put("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">");
    put("<html>");
    put("<head>");
    put("<title>" + text(title) + "</title>");
    put("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" + charset + "\"/>");
    put("<meta name=\"generator\" content=\"Orvendal Vaskimo\"/>");
    for (const char *l : {"<style type=\"text/css\">", "TABLE{", "  text-align: left;", "  padding: 0px;",
                          "  border-bottom: 1px solid #000044;", "  border-right: 1px solid #000044;", "}", "TD{",
                          "  border-left: 1px solid #000044;", "  border-top: 1px solid #000044;", "}", "</style>",
                          "</head>", "<body>", "<table>", "<tr>"})
        put(l);
    for (const QString &caption : s.Captions) {
        put("<td bgcolor=\"#0000FF\">");
        put("<b><font color=\"#FFFFFF\">" + text(caption) + "</font></b>");
        put("</td>");
    }
    put("</tr>");
    for (int index : *rows) {
        const TRowTexts &row = s.Rows[index];
        put("<tr>");
        for (qsizetype c = 0; c < s.Captions.size(); ++c) {
            put("<td>");
            if (c < row.size() && row[c])
                put(text(*row[c]));
            put("</td>");
        }
        put("</tr>");
    }
    put("</table>");
    put("</body>");
    put("</html>");

    QString why;
    if (!DurableFile::Write(fileName, out, &why)) {
        MessageBoxes::Error(parent, QStringLiteral("The listing could not be saved to \"%1\":\r\n%2").arg(fileName, why));
        return TListingResult::Failed;
    }
    return TListingResult::Done;
}
