// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the report lists' sorts: by text in the user's locale ignoring case, or by a number;
// stable, and fast enough for lists of hundreds of thousands of rows.
#pragma once

#include <QCollator>
#include <QCollatorSortKey>
#include <QList>

#include <algorithm>
#include <utility>
#include <vector>

namespace LocaleSort {

// Orders items by the text textOf(item) gives; equal texts keep their order. Descending when not
// forward. One sort key per item: comparing keys costs a fraction of comparing texts.
template <class T, class TextOf>
void ByText(QList<T> &items, TextOf textOf, bool forward)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::pair<QCollatorSortKey, T>> keyed;
    keyed.reserve(size_t(items.size()));
    for (const T &item : std::as_const(items))
        keyed.emplace_back(collator.sortKey(textOf(item)), item);
    std::stable_sort(keyed.begin(), keyed.end(), [forward](const auto &a, const auto &b) {
        const int c = a.first.compare(b.first);
        return forward ? c < 0 : c > 0;
    });
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i] = std::move(keyed[size_t(i)].second);
}

// The same by a number numberOf(item).
template <class T, class NumberOf>
void ByNumber(QList<T> &items, NumberOf numberOf, bool forward)
{
    std::vector<std::pair<qint64, T>> keyed;
    keyed.reserve(size_t(items.size()));
    for (const T &item : std::as_const(items))
        keyed.emplace_back(qint64(numberOf(item)), item);
    std::stable_sort(keyed.begin(), keyed.end(), [forward](const auto &a, const auto &b) {
        return forward ? a.first < b.first : a.first > b.first;
    });
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i] = std::move(keyed[size_t(i)].second);
}

}  // namespace LocaleSort
