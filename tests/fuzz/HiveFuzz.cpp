// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of Wine's text hives: load then save gives the same bytes; edits, saved and
// read again, change what they change and keep every other value.
#include "FuzzCheck.h"

#include "platform/HiveFile.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

namespace {

using TValue = std::tuple<QString, quint32, QByteArray>;  // name, type, bytes
using TValues = std::vector<TValue>;
using TTree = std::map<QString, TValues>;  // folded key path -> its values in stored order

void Walk(const THiveFile &hive, const THiveKey *key, const QString &path, TTree &tree,
          std::vector<std::pair<QString, const THiveKey *>> *keys)
{
    // The root key's values are Wine's "[]" block: a key like any other.
    TValues &values = tree[FoldName(path)];
    for (const THiveValue &v : key->Values)
        values.emplace_back(v.Name, v.Type, hive.ValueBytes(v));
    if (keys)
        keys->emplace_back(path, key);
    for (const THiveKey *child : key->Children)
        Walk(hive, child, path.isEmpty() ? child->Name : path + u'\\' + child->Name, tree, keys);
}

// Where the values stand inside a key may change; which values there are may not.
TTree Normalized(TTree tree)
{
    for (auto it = tree.begin(); it != tree.end();) {
        if (it->second.empty()) {
            it = tree.erase(it);
        } else {
            std::sort(it->second.begin(), it->second.end());
            ++it;
        }
    }
    return tree;
}

TTree Snapshot(THiveFile &hive)
{
    TTree tree;
    Walk(hive, hive.Root(), QString(), tree, nullptr);
    return Normalized(tree);
}

THiveKey *KeyAt(THiveFile &hive, const QString &path)
{
    THiveKey *key = hive.Root();
    for (const QString &part : path.split(u'\\', Qt::SkipEmptyParts))
        key = THiveFile::Child(key, part);
    return key;
}

TValues::iterator Find(TValues &values, const QString &name)
{
    return std::find_if(values.begin(), values.end(),
                        [&](const TValue &v) { return std::get<0>(v).compare(name, Qt::CaseInsensitive) == 0; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::TInput input(data, size);
    const int edits = input.Byte() % 4;
    uint8_t choices[12];
    for (uint8_t &c : choices)
        c = input.Byte();
    const QByteArray text = input.Rest();

    THiveFile hive(QString(), QStringLiteral("\\User\\S-1-5-21-0-0-0-1000"));
    if (!hive.LoadText(text))
        return 0;
    FUZZ_CHECK(hive.SaveText() == text);

    // The expected tree: the file's values in stored order, then each edit applied as documented.
    std::vector<std::pair<QString, const THiveKey *>> keys;
    TTree model;
    Walk(hive, hive.Root(), QString(), model, &keys);
    for (int e = 0; e < edits; ++e) {
        const uint8_t kind = choices[3 * e] % 4;
        const uint8_t which = choices[3 * e + 1];
        const uint8_t arg = choices[3 * e + 2];
        QString path = QStringLiteral("FuzzKey");
        if (kind != 3 && !keys.empty())
            path = keys[which % keys.size()].first;
        THiveKey *key = KeyAt(hive, path);
        if (!key)
            key = hive.CreateChild(hive.Root(), path);
        TValues &values = model[FoldName(path)];
        QString name = QStringLiteral("FuzzNew");
        if (kind == 1 && !values.empty())
            name = std::get<0>(values[arg % values.size()]);
        if (kind == 2) {
            if (values.empty())
                continue;
            name = std::get<0>(values[arg % values.size()]);
            const auto at = Find(values, name);
            FUZZ_CHECK(hive.DeleteValue(key, name));
            values.erase(at);
            continue;
        }
        // Binary data of a length that takes one line or several, or a string.
        const bool asString = arg & 1;
        const QByteArray bytes = asString ? HiveText::Utf16(QStringLiteral("new \"text\" \\ %1").arg(arg), true)
                                          : QByteArray(arg % 90, char(0xEA));
        const quint32 type = asString ? 1 : 3;
        hive.SetValue(key, name, type, bytes);
        const auto at = Find(values, name);
        if (at == values.end())
            values.emplace_back(name, type, bytes);
        else
            *at = TValue(std::get<0>(*at), type, bytes);
    }

    const QByteArray saved = hive.SaveText();
    THiveFile again{QString(), QString()};
    FUZZ_CHECK(again.LoadText(saved));
    FUZZ_CHECK(again.SaveText() == saved);
    FUZZ_CHECK(Snapshot(again) == Normalized(model));
    return 0;
}
