// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the sorted string list over a per-list case-insensitive collator.
#include "platform/SortedStringList.h"

#include "platform/CommaText.h"

QCollator TSortedStringList::MakeCollator()
{
    // A fresh collator rather than a copy: copies share their engine, and a shared engine would
    // tie two lists used by different threads together.
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

TSortedStringList::TSortedStringList(TDuplicates duplicates)
    : FDuplicates(duplicates), FCollator(MakeCollator())
{
}

TSortedStringList::TSortedStringList(const TSortedStringList &other)
    : FDuplicates(other.FDuplicates), FCollator(MakeCollator()), FItems(other.FItems)
{
}

TSortedStringList &TSortedStringList::operator=(const TSortedStringList &other)
{
    if (this != &other) {
        FDuplicates = other.FDuplicates;
        FItems = other.FItems;
    }
    return *this;
}

TSortedStringList::TSortedStringList(TSortedStringList &&other) noexcept
    : FDuplicates(other.FDuplicates), FCollator(MakeCollator()), FItems(std::move(other.FItems))
{
}

TSortedStringList &TSortedStringList::operator=(TSortedStringList &&other) noexcept
{
    FDuplicates = other.FDuplicates;
    FItems = std::move(other.FItems);
    return *this;
}

TSortedStringList::~TSortedStringList() = default;

int TSortedStringList::Compare(const QString &a, const QString &b) const
{
    return FCollator.compare(a, b);
}

bool TSortedStringList::Find(const QString &item, int *index) const
{
    int low = 0;
    int high = Count() - 1;
    bool found = false;
    while (low <= high) {
        const int mid = low + (high - low) / 2;
        const int c = Compare(FItems.at(mid), item);
        if (c < 0) {
            low = mid + 1;
        } else {
            high = mid - 1;
            if (c == 0)
                found = true;
        }
    }
    if (index)
        *index = low;
    return found;
}

int TSortedStringList::IndexOf(const QString &item) const
{
    int index = 0;
    return Find(item, &index) ? index : -1;
}

int TSortedStringList::Add(const QString &item, bool *added)
{
    int index = 0;
    const bool found = Find(item, &index);
    if (found && FDuplicates == TDuplicates::Ignore) {
        if (added)
            *added = false;
        return index;
    }
    if (found) {
        while (index < Count() && Compare(FItems.at(index), item) == 0)
            ++index;
    }
    FItems.insert(index, item);
    if (added)
        *added = true;
    return index;
}

void TSortedStringList::AddStrings(const QStringList &items)
{
    for (const QString &item : items)
        Add(item);
}

void TSortedStringList::SetCommaText(const QString &text, QChar delimiter, QChar quote)
{
    FItems.clear();
    AddStrings(CommaTextToList(text, delimiter, quote));
}

QString TSortedStringList::CommaText(QChar delimiter, QChar quote) const
{
    return ListToCommaText(FItems, delimiter, quote);
}

void TSortedStringList::Delete(int index)
{
    FItems.removeAt(index);
}

bool TSortedStringList::Remove(const QString &item)
{
    const int index = IndexOf(item);
    if (index < 0)
        return false;
    FItems.removeAt(index);
    return true;
}
