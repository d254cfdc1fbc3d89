// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fitting the finders' list columns to their texts with one measurement per column.
#include "files/FileColumns.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QTreeView>

#include <algorithm>

namespace FileColumns {

void TColumnFitter::Widen(QTreeView *view, int column, const QStringList &texts, int padding)
{
    if (view->font() != FFont) {
        FFont = view->font();
        FMetrics = QFontMetrics(FFont);
        FAscii.fill(0);
        FOther.clear();
    }
    // Kerning can put a text that is estimated a little narrower ahead: the few widest estimates
    // are measured.
    constexpr std::size_t Measured = 4;
    std::array<std::pair<int, const QString *>, Measured> widest{};
    for (const QString &text : texts) {
        const std::pair<int, const QString *> candidate{Estimate(text), &text};
        if (widest.back().second && candidate.first <= widest.back().first)
            continue;
        widest.back() = candidate;
        std::sort(widest.begin(), widest.end(), [](const auto &a, const auto &b) {
            return a.second && (!b.second || a.first > b.first);
        });
    }
    int wanted = -1;
    for (const auto &[estimate, text] : widest)
        if (text)
            wanted = std::max(wanted, FMetrics.horizontalAdvance(*text) + padding);
    if (wanted < 0)
        return;
    if (view->header()->sectionSize(column) < wanted)
        view->header()->resizeSection(column, wanted);
}

int TColumnFitter::Estimate(const QString &text)
{
    int width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < FAscii.size()) {
            if (FAscii[u] == 0)
                FAscii[u] = FMetrics.horizontalAdvance(c) + 1;  // + 1: measured, even when 0 wide
            width += FAscii[u] - 1;
        } else {
            auto known = FOther.constFind(u);
            if (known == FOther.constEnd())
                known = FOther.insert(u, FMetrics.horizontalAdvance(c));
            width += *known;
        }
    }
    return width;
}

}  // namespace FileColumns
