// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: comparing hive files before and after a run.
#include "support/HiveCompare.h"

#include "platform/HiveFile.h"

#include <QDir>
#include <QFile>

namespace TestSupport {

namespace {
void Collect(const THiveFile &hive, const THiveKey *key, const QString &path, const QString &prefix, TPrefixValues *values)
{
    for (const THiveValue &v : key->Values)
        values->insert(prefix + u'|' + FoldName(path) + u'|' + v.Name, {v.Type, hive.ValueBytes(v)});
    for (const THiveKey *child : key->Children)
        Collect(hive, child, path.isEmpty() ? child->Name : path + u'\\' + child->Name, prefix, values);
}

// A hive's text in pieces: key lines, "#time=" lines, values (with their continuation lines), the rest.
struct TPiece {
    enum TKind { Key, Time, Value, Other } Kind = Other;
    QByteArray Text;
    QByteArray KeyName;  // the key the piece belongs to: its key line up to the closing "]"
};

QList<TPiece> Pieces(const QByteArray &text)
{
    QList<TPiece> pieces;
    QByteArray key;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        TPiece p;
        p.Text = lines.at(i);
        if (p.Text.startsWith('[')) {
            key = p.Text.left(p.Text.lastIndexOf(']') + 1);
            p.Kind = TPiece::Key;
        } else if (p.Text.startsWith("#time=")) {
            p.Kind = TPiece::Time;
        } else if (p.Text.startsWith('"') || p.Text.startsWith('@')) {
            p.Kind = TPiece::Value;
            while (p.Text.endsWith('\\') && i + 1 < lines.size() && lines.at(i + 1).startsWith("  "))
                p.Text += '\n' + lines.at(++i);
        }
        p.KeyName = key;
        pieces.append(p);
    }
    return pieces;
}
}  // namespace

TPrefixValues ValuesOf(const QString &prefixFolder)
{
    TPrefixValues values;
    for (const char *name : HiveNames) {
        THiveFile hive(QDir(prefixFolder).filePath(QString::fromLatin1(name)), QStringLiteral("\\Machine"));
        if (hive.Load())
            Collect(hive, hive.Root(), QString(), QString::fromLatin1(name), &values);
    }
    return values;
}

QString ValueId(const char *hive, const QString &keyPath, const QString &name)
{
    return QString::fromLatin1(hive) + u'|' + FoldName(keyPath) + u'|' + name;
}

QHash<QString, QByteArray> HiveTexts(const QString &prefixFolder)
{
    QHash<QString, QByteArray> hives;
    for (const char *name : HiveNames) {
        QFile f(QDir(prefixFolder).filePath(QString::fromLatin1(name)));
        hives.insert(QString::fromLatin1(name), f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
    }
    return hives;
}

bool OnlyValuesChanged(const QByteArray &before, const QByteArray &after, TTextChange *change, std::string *why)
{
    const QList<TPiece> b = Pieces(before), a = Pieces(after);
    qsizetype i = 0, j = 0;
    while (i < b.size() || j < a.size()) {
        if (i < b.size() && j < a.size() && b[i].Text == a[j].Text) {
            ++i, ++j;
        } else if (i < b.size() && j < a.size() && b[i].Kind == a[j].Kind
                   && (b[i].Kind == TPiece::Key || b[i].Kind == TPiece::Time) && b[i].KeyName == a[j].KeyName) {
            change->Timed.insert(b[i].KeyName);
            ++i, ++j;
        } else if (i < b.size() && b[i].Kind == TPiece::Value) {
            change->Removed[b[i].KeyName].append(b[i].Text);
            ++i;
        } else if (j < a.size() && a[j].Kind == TPiece::Value) {
            change->Added[a[j].KeyName].append(a[j].Text);
            ++j;
        } else {
            *why = "unexpected change near \"" + (i < b.size() ? b[i].Text.toStdString() : std::string("<end>"))
                   + "\" -> \"" + (j < a.size() ? a[j].Text.toStdString() : std::string("<end>")) + "\"";
            return false;
        }
    }
    return true;
}

}  // namespace TestSupport
