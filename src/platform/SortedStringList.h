// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a string list kept in the user's locale order ignoring case, duplicates ignored or kept.
//
// Items are ordered by a case-insensitive locale comparison (QCollator). In the Ignore mode an item
// that compares equal to one already present is not added again; in the Accept mode it is inserted
// after its equals ("sort but remove nothing"). Each list has its own collator, so a list may be
// used by one thread while other lists are used by others; one list is not safe for two threads.
#pragma once

#include <QCollator>
#include <QString>
#include <QStringList>

class TSortedStringList
{
public:
    enum class TDuplicates { Ignore, Accept };

    explicit TSortedStringList(TDuplicates duplicates = TDuplicates::Ignore);
    TSortedStringList(const TSortedStringList &other);
    TSortedStringList &operator=(const TSortedStringList &other);
    TSortedStringList(TSortedStringList &&other) noexcept;
    TSortedStringList &operator=(TSortedStringList &&other) noexcept;
    ~TSortedStringList();

    TDuplicates Duplicates() const { return FDuplicates; }

    // The index of the item: where it was inserted, or where its equal already stands; added (when
    // given) tells whether the list grew.
    int Add(const QString &item, bool *added = nullptr);
    void AddStrings(const QStringList &items);
    // Clears the list and adds the items of the comma text (see CommaText.h).
    void SetCommaText(const QString &text, QChar delimiter = u',', QChar quote = u'"');
    QString CommaText(QChar delimiter = u',', QChar quote = u'"') const;

    // Binary search: true when an equal item is present (index = the first of them); otherwise
    // index is where the item would be inserted.
    bool Find(const QString &item, int *index) const;
    int IndexOf(const QString &item) const;  // -1 when absent
    bool Contains(const QString &item) const { return IndexOf(item) >= 0; }

    int Count() const { return int(FItems.size()); }
    bool IsEmpty() const { return FItems.isEmpty(); }
    const QString &at(int index) const { return FItems.at(index); }
    const QString &operator[](int index) const { return FItems.at(index); }
    const QStringList &Items() const { return FItems; }
    QStringList::const_iterator begin() const { return FItems.cbegin(); }
    QStringList::const_iterator end() const { return FItems.cend(); }

    void Delete(int index);
    bool Remove(const QString &item);  // removes the first equal item; false when absent
    void Clear() { FItems.clear(); }

    // The comparison the list is ordered by: <0, 0, >0.
    int Compare(const QString &a, const QString &b) const;

private:
    static QCollator MakeCollator();

    TDuplicates FDuplicates;
    QCollator FCollator;
    QStringList FItems;
};
