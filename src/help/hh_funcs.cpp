// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the help hook, the viewer start and the diagnostic log "HHDebug.txt".
#include "help/hh_funcs.h"

#include "help/ChmFile.h"
#include "platform/CodePage.h"
#include "platform/ProgramInfo.h"
#include "platform/Registry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

AppHelp::THandler &CurrentHandler()
{
    static AppHelp::THandler handler;
    return handler;
}

HHFuncs::TMessageHandler &MessageHandler()
{
    static HHFuncs::TMessageHandler handler;
    return handler;
}

struct TModule {
    THHModuleInfo Info;
    std::unique_ptr<TDLogFile> Log;
    QString TempFolder;
    QStringList ViewerPath;
};

TModule &Module()
{
    static TModule module;
    return module;
}

QString WithoutTrailingSlash(QString folder)
{
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

QString TempFolder()
{
    const QString &t = Module().TempFolder;
    return WithoutTrailingSlash(t.isEmpty() ? QDir::tempPath() : t);
}

// A probe file created and deleted: the only sure test that the log can be written there.
bool CanCreateFileIn(const QString &folder, const QString &probeName)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    const QString probe = folder + u'/' + probeName;
    if (QFileInfo::exists(probe))
        return QFileInfo(probe).isWritable();
    QFile f(probe);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.close();
    f.remove();
    return true;
}

void Log(const QString &text, const QList<TFormatArg> &args = {})
{
    if (TDLogFile *log = HHFuncs::DLog())
        log->Log(text, args);
}

// The prefix's user locale, as Windows keeps it: HKCU\Control Panel\International "Locale".
quint32 PrefixLcid()
{
    try {
        TRegistry reg(TRootKey::CurrentUser);
        if (reg.OpenKeyReadOnly(QStringLiteral("\\Control Panel\\International")) &&
            reg.ValueExists(QStringLiteral("Locale")))
            return reg.ReadString(QStringLiteral("Locale")).toUInt(nullptr, 16);
    } catch (const ERegistryException &) {
    }
    return 0;
}

// What keeps the help file from showing a page (an HHFuncs::THelpFileError), 0 when nothing; chm
// is left open on the file.
int HelpFileProblem(const QString &file, TChmFile &chm)
{
    const QFileInfo info(file);
    if (file.isEmpty() || !info.exists())
        return HHFuncs::HelpFileMissing;
    QFile readable(file);
    if (!info.isFile() || !readable.open(QIODevice::ReadOnly))
        return HHFuncs::HelpFileUnreadable;
    if (!chm.Open(file))
        return HHFuncs::HelpFileNotChm;
    if (chm.DefaultTopic().isEmpty())
        return HHFuncs::HelpFileWithoutPages;
    return 0;
}

} // namespace

// ---- application help

AppHelp::THandler AppHelp::SetHandler(THandler handler)
{
    THandler previous = std::move(CurrentHandler());
    CurrentHandler() = std::move(handler);
    return previous;
}

AppHelp::THandler AppHelp::Handler() { return CurrentHandler(); }

bool AppHelp::HelpCommand(quint16 command, qintptr data)
{
    const THandler handler = CurrentHandler();
    if (!handler)
        return false;
    bool callHelp = true;
    return handler(command, data, callHelp);
}

bool AppHelp::HelpContext(qintptr context) { return HelpCommand(HELP_CONTEXT, context); }

// ---- diagnostic log

TDLogFile::TDLogFile(const QString &path, bool debugMode, bool timeStamp, bool header, bool append)
    : FDebugMode(debugMode), FTimeStamp(timeStamp), FHeader(header), FAppend(append), FCodePage(AnsiCodePage())
{
    QString logDir = HHFuncs::Info().LogDir;
    if (logDir.isEmpty())
        logDir = TempFolder();
    FPath = path.isEmpty() ? logDir + QStringLiteral("/HHDebug.txt") : path;
    const QFileInfo info(FPath);
    if (!CanCreateFileIn(info.absolutePath(), QStringLiteral("$_Temp_$.$$$")))
        FPath = TempFolder() + u'/' + info.fileName();
    if (QFileInfo::exists(FPath)) {
        QFile::setPermissions(FPath, QFile::permissions(FPath) | QFileDevice::WriteOwner);
        if (!FAppend)
            QFile::remove(FPath);
    }
    if (FDebugMode && FHeader)
        WriteHeader();
}

TDLogFile::~TDLogFile() = default;

void TDLogFile::Log(const QString &text, const QList<TFormatArg> &args)
{
    if (!FDebugMode)
        return;
    QString line = args.isEmpty() ? text : SafeFormat(text, args);
    if (line == QLatin1String("-") || line == QLatin1String("="))
        line = QString(80, line.at(0));
    else if (line.startsWith(u'!') || line.startsWith(u'-') || line.startsWith(u'='))
        line.remove(0, 1);
    else if (FTimeStamp)
        line = QLocale().toString(QTime::currentTime(), QLocale::LongFormat) + QStringLiteral("   ") + line;
    // A diagnostic log grows line by line; rewriting it whole for each line would cost more than
    // the help it records. The system's own answer to the append is the one read.
    const int fd = ::open(QFile::encodeName(FPath).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    struct stat st;
    const off_t before = ::fstat(fd, &st) == 0 ? st.st_size : -1;
    const QByteArray bytes = EncodeAnsi(line, FCodePage) + "\r\n";
    qsizetype done = 0;
    int err = 0;
    while (done < bytes.size() && err == 0) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            err = n == 0 ? ENOSPC : errno;
    }
    if (err != 0 && before >= 0 && ::ftruncate(fd, before) != 0) {
        // The torn line stays; the report below still says the log is incomplete.
    }
    ::close(fd);
    if (err != 0 && !FWriteFailed) {
        FWriteFailed = true;
        std::fprintf(stderr, "Vaskimo: cannot write the help log %s: %s\n", qPrintable(FPath),
                     std::strerror(err));
    }
}

void TDLogFile::Error(const QString &text, const QList<TFormatArg> &args)
{
    const QString message = args.isEmpty() ? text : SafeFormat(text, args);
    HHFuncs::ShowMessage(message);
    Log(QStringLiteral("%s"), {message});
}

void TDLogFile::WriteHeader()
{
    const THHModuleInfo &m = HHFuncs::Info();
    const QString tab = QStringLiteral("\t");
    const quint32 lcid = PrefixLcid() & 0xFFFF;
    static const QRegularExpression numbers(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch kernel = numbers.match(QSysInfo::kernelVersion());
    QStringList parameters = m.Arguments.mid(1);
    QStringList commandLine;
    for (const QString &a : m.Arguments)
        commandLine << (a.contains(u' ') ? u'"' + a + u'"' : a);

    Log(QStringLiteral("="));
    Log(QStringLiteral("!Log File:             %s"), {tab + FPath});
    Log(QStringLiteral("!Date:                 %s"),
        {tab + QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat)});
    Log(QStringLiteral("!Operating System:      %s %d.%d (Build %d) %s"),
        {tab + QSysInfo::prettyProductName(), kernel.captured(1).toInt(), kernel.captured(2).toInt(),
         kernel.captured(3).toInt(), QStringLiteral("No Service Pack")});
    Log(QStringLiteral("!SysLocale.DefaultLCID: %s (%s)"),
        {tab + SafeFormat(QStringLiteral("0x%.4x"), int(lcid)), QString::number(lcid)});
    Log(QStringLiteral("!SysLocale.PriLangID:   %s (%s)"),
        {tab + SafeFormat(QStringLiteral("0x%.4x"), int(lcid & 0x3FF)), QString::number(lcid & 0x3FF)});
    Log(QStringLiteral("!SysLocale.SubLangID:   %s (%s)"),
        {tab + SafeFormat(QStringLiteral("0x%.4x"), int(lcid >> 10)), QString::number(lcid >> 10)});
    Log(QStringLiteral("!DecimalSeparator:      %s"), {tab + QLocale().decimalPoint()});
    Log(QStringLiteral("-"));
    Log(QStringLiteral("!EXE Path =          %s"), {tab + m.ModulePath});
    Log(QStringLiteral("!EXE Version =       %s"), {tab + ProgramInfo::Version()});
    Log(QStringLiteral("!Cmdline Param(s) =  %s"), {tab + parameters.join(QStringLiteral(" | "))});
    Log(QStringLiteral("!Actual CmdLine =  %s"), {tab + commandLine.join(u' ')});
    Log(QStringLiteral("!_RunDir =           %s"), {tab + m.RunDir});
    Log(QStringLiteral("!_ModuleName =       %s"), {tab + m.ModuleName});
    Log(QStringLiteral("!_ModuleDir =        %s"), {tab + m.ModuleDir});
    Log(QStringLiteral("!_ModulePath =        %s"), {tab + m.ModulePath});
    Log(QStringLiteral("!Module Version =       %s"), {tab + ProgramInfo::Version()});
    Log(QStringLiteral("-"));
    Log(QStringLiteral("!_hhInstalled =      %s"), {tab + QLatin1String(m.HHInstalled ? "YES" : "NO")});
    Log(QStringLiteral("!_hhVerStr =         %s"), {tab + m.HHVersion.Text});
    Log(QStringLiteral("!_hhFriendlyVerStr = %s"), {tab + m.HHFriendlyVersion});
    Log(QStringLiteral("-"));
    Log(QStringLiteral("!_ieInstalled =      %s"), {tab + QLatin1String(m.IEInstalled ? "YES" : "NO")});
    Log(QStringLiteral("!_ieVerStr =         %s"), {tab + m.IEVersion.Text});
    Log(QStringLiteral("!_ieFriendlyVerStr = %s"), {tab + m.IEFriendlyVersion});
    Log(QStringLiteral("="));
}

// ---- module

void HHFuncs::Start(const TStartInput &input)
{
    End();
    TModule &mod = Module();
    mod.TempFolder = input.TempFolder;
    THHModuleInfo &m = mod.Info;
    const QFileInfo module(input.ModulePath);
    m.ModulePath = module.absoluteFilePath();
    m.ModuleDir = WithoutTrailingSlash(module.absolutePath());
    m.ModuleName = module.fileName();
    m.Arguments = input.Arguments;
    m.RunDir = input.Arguments.isEmpty() ? QString()
                                         : WithoutTrailingSlash(QFileInfo(input.Arguments.first()).absolutePath());
    const QString beside = input.ProgramFolder.isEmpty() ? m.ModuleDir : WithoutTrailingSlash(input.ProgramFolder);
    m.LogDir = LogFolder(beside, TempFolder());
    m.DebugMode = DebugSwitch(beside, m.Arguments);
    // The versions come before the log, whose header reports them.
    m.HHVersion = HH::EngineVersion();
    m.HHInstalled = !m.HHVersion.IsEmpty();
    m.HHFriendlyVersion = HHFriendlyVersion(m.HHVersion);
    m.IEVersion = HH::BrowserVersion();
    m.IEInstalled = !m.IEVersion.IsEmpty();
    // The Internet Explorer names would only mislead about Qt's text browser.
    m.IEFriendlyVersion = m.IEInstalled ? QStringLiteral("Qt ") + QString::fromLatin1(qVersion()) : QString();
    mod.Log = std::make_unique<TDLogFile>(QString(), m.DebugMode);
}

void HHFuncs::End()
{
    Module().Log.reset();
    Module().Info = THHModuleInfo();
}

const THHModuleInfo &HHFuncs::Info() { return Module().Info; }

TDLogFile *HHFuncs::DLog() { return Module().Log.get(); }

bool HHFuncs::DebugSwitch(const QString &programFolder, const QStringList &arguments)
{
    if (!programFolder.isEmpty() && QFileInfo(programFolder + QStringLiteral("/debug.debug")).exists())
        return true;
    for (const QString &a : arguments.mid(1))
        if (a.compare(QLatin1String("/debug"), Qt::CaseInsensitive) == 0 ||
            a.compare(QLatin1String("-debug"), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString HHFuncs::LogFolder(const QString &moduleDir, const QString &tempFolder)
{
    if (CanCreateFileIn(moduleDir, QStringLiteral("$_Temp_$.$$$")))
        return WithoutTrailingSlash(moduleDir);
    return WithoutTrailingSlash(tempFolder);
}

// ---- hook

QString HHFuncs::CommandName(quint16 command)
{
    const char *name = "??";
    switch (command) {
    case 1: name = "HELP_CONTEXT"; break;
    case 2: name = "HELP_QUIT"; break;
    case 3: name = "HELP_INDEX or HELP_CONTENTS"; break;
    case 4: name = "HELP_HELPONHELP"; break;
    case 5: name = "HELP_SETINDEX or HELP_SETCONTENTS"; break;
    case 8: name = "HELP_CONTEXTPOPUP"; break;
    case 9: name = "HELP_FORCEFILE"; break;
    case 10: name = "HELP_CONTEXTMENU"; break;
    case 11: name = "HELP_FINDER"; break;
    case 12: name = "HELP_WM_HELP"; break;
    case 13: name = "HELP_SETPOPUP_POS"; break;
    case 257: name = "HELP_KEY"; break;
    case 258: name = "HELP_COMMAND"; break;
    case 261: name = "HELP_PARTIALKEY"; break;
    case 513: name = "HELP_MULTIKEY"; break;
    case 515: name = "HELP_SETWINPOS"; break;
    default: break;
    }
    return QString::number(command) + QStringLiteral(" (") + QLatin1String(name) + u')';
}

QString HHFuncs::TopicAddress(const QString &helpFile, const QString &topic, const QString &windowDefinition,
                              int prefixKind)
{
    const auto clean = [](QString s) { return s.replace(QLatin1String("%20"), QLatin1String(" ")).trimmed(); };
    const QString file = clean(helpFile);
    QString page = clean(topic);
    const QString window = clean(windowDefinition);
    QString address;
    if (!page.isEmpty()) {
        page.replace(u'\\', u'/');
        if (!page.startsWith(u'/'))
            page.prepend(u'/');
        address = file.isEmpty() ? page : file + QStringLiteral("::") + page;
    } else {
        address = file;
    }
    if (!window.isEmpty())
        address += u'>' + window;
    if (prefixKind == 1)
        address.prepend(QLatin1String("mk:@MSITStore:"));
    else if (prefixKind == 2)
        address.prepend(QLatin1String("ms-its:"));
    return address;
}

int HHFuncs::HHHelpContext(const QString &helpFile, qintptr context, const QString &windowDefinition, int hostType)
{
    Log(QStringLiteral("HHHelpContext(\"%s\", %d, \"%s\", %d)"),
        {helpFile, qint64(context), windowDefinition, hostType});
    const QString address = TopicAddress(helpFile, QString(), windowDefinition, hostType == 2 ? 1 : 0);
    return ShowContext(address, context, hostType);
}

int HHFuncs::ShowContext(const QString &address, qintptr context, int hostType)
{
    Log(QStringLiteral("ShowContext(\"%s\", %d)"), {address, qint64(context)});
    int result = 0;
    const THelpAddress parts = SplitHelpAddress(address);
    TChmFile chm;
    if (!Info().HHInstalled) {
        result = 1;
    } else if (const int problem = HelpFileProblem(parts.File, chm)) {
        result = problem;
    } else if (hostType == 0) {
        if (QObject *window = HH::HtmlHelp(address, HH_HELP_CONTEXT, quintptr(context)))
            HH::BringToForeground(window);
    } else if (hostType == 1 || hostType == 2) {
        const QString viewer = ViewerProgram();
        if (viewer.isEmpty()) {
            result = hostType == 1 ? 2 : 3;
        } else {
            // xchm finds the topic itself; an unmapped number would only earn an error there.
            QStringList arguments;
            if (context >= 0 && context <= 0xFFFFFFFF && !chm.ContextTopic(quint32(context)).isEmpty())
                arguments << QStringLiteral("--contextid=%1").arg(qint64(context));
            arguments << QFileInfo(parts.File).absoluteFilePath();
            ShellExecute(viewer, arguments);
        }
    }
    Log(QStringLiteral("  returned - %d"), {result});
    return result;
}

QString HHFuncs::ErrorText(int code, const QString &helpFile)
{
    const QString file = QDir::toNativeSeparators(helpFile);
    switch (code) {
    case 1: return QStringLiteral("MS Html Help is not installed on this PC.");
    case 2:
    case 3: return QStringLiteral("The help viewer xchm was not found on this PC. Install the package xchm to read the help.");
    case HelpFileMissing: return QStringLiteral("The help file \"%1\" does not exist.").arg(file);
    case HelpFileUnreadable: {
        const QFileInfo info(helpFile);
        QFile f(helpFile);
        // Only a regular file is opened here: opening a pipe would wait for a writer.
        const QString why = info.isDir()                 ? QStringLiteral("it is a folder")
                            : !info.isFile()             ? QStringLiteral("it is no regular file")
                            : f.open(QIODevice::ReadOnly) ? QStringLiteral("it cannot be opened")
                                                          : f.errorString();
        return QStringLiteral("The help file \"%1\" cannot be read: %2.").arg(file, why);
    }
    case HelpFileNotChm:
        return QStringLiteral("The help file \"%1\" is damaged: it cannot be read as compiled HTML Help.").arg(file);
    case HelpFileWithoutPages: return QStringLiteral("The help file \"%1\" is damaged: it holds no help page.").arg(file);
    default: return QStringLiteral("Unknown error returned by HHHelpContext");
    }
}

void HHFuncs::HHShowError(int code, const QString &helpFile)
{
    if (code == 0)
        return;
    const QString text = ErrorText(code, helpFile);
    ShowMessage(text);
    Log(QStringLiteral("HHShowError(%d), \"%s\""), {code, text});
}

void HHFuncs::SetViewerSearchPath(const QStringList &folders) { Module().ViewerPath = folders; }

QString HHFuncs::ViewerProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("xchm"), Module().ViewerPath);
}

bool HHFuncs::ShellExecute(const QString &program, const QStringList &arguments)
{
    enum { ErrorFileNotFound = 2, ErrorPathNotFound = 3, ErrorAccessDenied = 5, ErrorGenFailure = 31 };
    const QFileInfo file(program);
    int lastError = 0;
    if (!file.exists())
        lastError = QFileInfo(file.absolutePath()).isDir() ? ErrorFileNotFound : ErrorPathNotFound;
    else if (!file.isFile() || !file.isExecutable())
        lastError = ErrorAccessDenied;
    else if (!QProcess::startDetached(program, arguments))
        lastError = ErrorGenFailure;
    if (lastError == 0)
        return true;
    const QString text = SafeFormat(QStringLiteral("Function ShellExecute(%s)\rReturned: %s"),
                                    program + QStringLiteral(", ") + arguments.join(u' '),
                                    QStringLiteral("[Error:%1] ").arg(lastError) + ShellErrorText(lastError));
    ShowMessage(text);
    Log(QStringLiteral("%s"), {text});
    return false;
}

QString HHFuncs::ShellErrorText(int lastError)
{
    switch (lastError) {
    case 2: return QStringLiteral("File Not Found");
    case 3: return QStringLiteral("Path Not Found");
    case 5: return QStringLiteral("Access Denied");
    case 8: return QStringLiteral("Insufficient Memory");
    case 19: return QStringLiteral("Media Is Write Protected");
    case 21: return QStringLiteral("Device Not Ready");
    case 32:
    case 33: return QStringLiteral("File In Use");
    case 39:
    case 112: return QStringLiteral("Disk Full");
    case 276:
    case 1005:
    case 1392:
    case 1393: return QStringLiteral("Corrupt File Or Disk");
    case 1009:
    case 1358: return QStringLiteral("Corrupt Registry");
    case 1150: return QStringLiteral("Windows Version Incorrect");
    case 1151: return QStringLiteral("Not A Windows Or MSDos Program");
    default: return QStringLiteral("General Failure");
    }
}

HHFuncs::TMessageHandler HHFuncs::SetMessageHandler(TMessageHandler handler)
{
    TMessageHandler previous = std::move(MessageHandler());
    MessageHandler() = std::move(handler);
    return previous;
}

void HHFuncs::ShowMessage(const QString &text)
{
    if (MessageHandler())
        MessageHandler()(text);
    else
        qWarning("%s", qPrintable(text));
}

// ---- THookHelpSystem

THookHelpSystem::THookHelpSystem(const QString &helpFile, const QString &windowDefinition, quint8 hostType)
    : FHelpFile(helpFile), FWinDef(windowDefinition), FHostType(hostType)
{
    FPrevHandler = AppHelp::SetHandler(
        [this](quint16 command, qintptr data, bool &callHelp) { return HelpHook(command, data, callHelp); });
    Log(QStringLiteral("THookHelpSystem.Create(\"%s\",\"%s\", %d)"), {FHelpFile, FWinDef, int(FHostType)});
}

THookHelpSystem::~THookHelpSystem()
{
    if (FHostType == 0)
        HH::CloseAllHelpWindows();
    AppHelp::SetHandler(FPrevHandler);
    Log(QStringLiteral("THookHelpSystem.Destroy"));
}

bool THookHelpSystem::HelpHook(quint16 command, qintptr data, bool &callHelp)
{
    Log(QStringLiteral("THookHelpSystem.HelpHook(%s, %d)"), {HHFuncs::CommandName(command), qint64(data)});
    if (FChainDo && FPrevHandler)
        return FPrevHandler(command, data, callHelp);
    callHelp = false;
    switch (command) {
    case HELP_CONTEXT:
        if (FOnHelpContext)
            FOnHelpContext(data);
        else
            ShowHelpContext(data);
        break;
    case HELP_CONTEXTPOPUP:
        if (FOnHelpPopup)
            FOnHelpPopup(data, FPopupPos);
        else
            ShowHelpContext(data);
        break;
    case HELP_SETPOPUP_POS:
        // MAKELONG(x, y)
        FPopupPos = QPoint(qint16(quint32(data) & 0xFFFF), qint16(quint32(data) >> 16));
        break;
    default:
        callHelp = true;
        break;
    }
    return true;
}

int THookHelpSystem::ShowHelpContext(qintptr context)
{
    const int result = HHFuncs::HHHelpContext(FHelpFile, context, FWinDef, FHostType);
    HHFuncs::HHShowError(result, FHelpFile);
    return result;
}
