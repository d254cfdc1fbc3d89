// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: vkchm, the build's help compiler: a folder of help pages and a context map become one .chm file.
//
//   vkchm --title TITLE --default TOPIC [--contents FILE] [--map FILE] --output FILE.chm FOLDER
//
// Every file under FOLDER goes into the archive under its relative path. The map file lists the
// windows' help contexts, one "NUMBER TOPIC" a line ("#" starts a comment). The build fails, and
// says why, when a mapped or named topic or a page's local link names no file of the folder.
#include "help/ChmWriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fail(const QString &message)
{
    std::fprintf(stderr, "vkchm: %s\n", qPrintable(message));
    std::exit(1);
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("cannot read %1: %2").arg(path, f.errorString()));
    return f.readAll();
}

// The folder's files by archive name ("/tools/a.htm").
QMap<QString, QString> Files(const QString &folder)
{
    QMap<QString, QString> files;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(u'/' + root.relativeFilePath(path), path);
    }
    return files;
}

QMap<quint32, QString> ReadMap(const QString &path, const QMap<QString, QString> &files)
{
    QMap<quint32, QString> contexts;
    const QStringList lines = QString::fromUtf8(ReadAll(path)).split(u'\n');
    static const QRegularExpression entry(QStringLiteral("^(\\d+)\\s+(\\S+)$"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).section(u'#', 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const QString where = QStringLiteral("%1:%2").arg(path).arg(i + 1);
        const QRegularExpressionMatch m = entry.match(line);
        bool ok = false;
        const quint32 number = m.hasMatch() ? m.captured(1).toUInt(&ok) : 0;
        if (!ok)
            Fail(QStringLiteral("%1: \"%2\" is not \"NUMBER TOPIC\"").arg(where, line));
        if (contexts.contains(number))
            Fail(QStringLiteral("%1: context %2 is mapped twice").arg(where).arg(number));
        if (!files.contains(u'/' + m.captured(2)))
            Fail(QStringLiteral("%1: topic %2 is no file of the help").arg(where, m.captured(2)));
        contexts.insert(number, m.captured(2));
    }
    return contexts;
}

// Links to other pages, pictures and stylesheets must name files of the help.
void CheckLinks(const QMap<QString, QString> &files)
{
    static const QRegularExpression link(
        QStringLiteral("(?:href|src)\\s*=\\s*\"([^\"]*)\"|<param\\s+name=\"Local\"\\s+value=\"([^\"]*)\""),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QString suffix = QFileInfo(it.key()).suffix().toLower();
        if (suffix != QLatin1String("htm") && suffix != QLatin1String("html") && suffix != QLatin1String("hhc"))
            continue;
        const QString page = QString::fromUtf8(ReadAll(it.value()));
        const QString folder = QFileInfo(it.key()).path();
        QRegularExpressionMatchIterator links = link.globalMatch(page);
        while (links.hasNext()) {
            const QRegularExpressionMatch m = links.next();
            QString target = m.captured(1).isNull() ? m.captured(2) : m.captured(1);
            target = target.section(u'#', 0, 0);
            if (target.isEmpty() || scheme.match(target).hasMatch())
                continue;
            const QString resolved = QDir::cleanPath(target.startsWith(u'/') ? target : folder + u'/' + target);
            if (!files.contains(resolved))
                Fail(QStringLiteral("%1: the link \"%2\" names no file of the help").arg(it.value(), target));
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Compiles a folder of help pages into a .chm file."));
    parser.addHelpOption();
    const QCommandLineOption title(QStringLiteral("title"), QStringLiteral("The help's title."), QStringLiteral("text"));
    const QCommandLineOption defaultTopic(QStringLiteral("default"), QStringLiteral("The first page shown."),
                                          QStringLiteral("topic"));
    const QCommandLineOption contents(QStringLiteral("contents"), QStringLiteral("The contents file (.hhc)."),
                                      QStringLiteral("file"));
    const QCommandLineOption map(QStringLiteral("map"), QStringLiteral("The help contexts: \"NUMBER TOPIC\" lines."),
                                 QStringLiteral("file"));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("The .chm file to write."),
                                    QStringLiteral("file"));
    parser.addOptions({title, defaultTopic, contents, map, output});
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("The help's pages."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1 || !parser.isSet(output) || !parser.isSet(defaultTopic))
        Fail(QStringLiteral("give --default, --output and one folder (see --help)"));

    const QString folder = parser.positionalArguments().first();
    if (!QFileInfo(folder).isDir())
        Fail(QStringLiteral("%1 is no folder").arg(folder));
    const QMap<QString, QString> files = Files(folder);
    for (const QCommandLineOption &named : {defaultTopic, contents})
        if (parser.isSet(named) && !files.contains(u'/' + parser.value(named)))
            Fail(QStringLiteral("--%1 %2 is no file of the help").arg(named.names().first(), parser.value(named)));
    CheckLinks(files);

    TChmWriter writer;
    writer.System(parser.value(defaultTopic), parser.value(title), parser.value(contents));
    if (parser.isSet(map))
        writer.ContextMap(ReadMap(parser.value(map), files));
    for (auto it = files.begin(); it != files.end(); ++it)
        writer.Add(it.key(), ReadAll(it.value()));
    QString why;
    if (!writer.Save(parser.value(output), &why))
        Fail(QStringLiteral("cannot write %1: %2").arg(parser.value(output), why));
    return 0;
}
