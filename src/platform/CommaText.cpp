// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: splitting and joining of comma text.
#include "platform/CommaText.h"

namespace {
bool IsBlank(QChar c) { return c.unicode() <= 0x20; }
}

QStringList CommaTextToList(const QString &text, QChar delimiter, QChar quote)
{
    QStringList result;
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < n && IsBlank(text.at(i)))
            ++i;
    };
    skipBlanks();
    while (i < n) {
        QString item;
        if (text.at(i) == quote) {
            ++i;
            while (i < n) {
                if (text.at(i) == quote) {
                    if (i + 1 < n && text.at(i + 1) == quote) {
                        item += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text.at(i++);
            }
        } else {
            const qsizetype start = i;
            while (i < n && !IsBlank(text.at(i)) && text.at(i) != delimiter)
                ++i;
            item = text.mid(start, i - start);
        }
        result.append(item);
        skipBlanks();
        if (i < n && text.at(i) == delimiter) {
            ++i;
            if (i == n)
                result.append(QString());
            skipBlanks();
        }
    }
    return result;
}

QString QuotedText(const QString &item, QChar quote)
{
    QString result;
    result.reserve(item.size() + 2);
    result += quote;
    for (QChar c : item) {
        if (c == quote)
            result += quote;
        result += c;
    }
    result += quote;
    return result;
}

QString ListToCommaText(const QStringList &items, QChar delimiter, QChar quote)
{
    if (items.size() == 1 && items.first().isEmpty())
        return QString(2, quote);
    QString result;
    bool first = true;
    for (const QString &item : items) {
        if (!first)
            result += delimiter;
        first = false;
        bool needsQuotes = false;
        for (QChar c : item) {
            if (IsBlank(c) || c == quote || c == delimiter) {
                needsQuotes = true;
                break;
            }
        }
        result += needsQuotes ? QuotedText(item, quote) : item;
    }
    return result;
}
