// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the update information file "Vaskimo.upd", version and blacklist comparisons, and the safe download and blacklist install steps.
//
// No widget and no socket here: the downloads take a fetch function that fills a stream, so the
// steps that protect the user's files (a partial download never lands under the real name, a
// failed blacklist download never costs the current blacklist) are tested without a network.
#pragma once

#include <QString>

#include <array>
#include <functional>
#include <optional>

class QIODevice;

namespace UpdateInfo {

inline const QString NotAvailable = QStringLiteral("N/A");
inline const QString InfoFileName = QStringLiteral("Vaskimo.upd");
inline const QString BlacklistFileName = QStringLiteral("BlackLst.vkb");
inline const QString BlacklistTempName = QStringLiteral("BlackLst.tmp");

// Section "UpdateInfo" of the information file; a missing key reads "N/A".
struct TUpdateInfo {
    QString Version = NotAvailable;           // "Version": newest program version, "a.b.c.d"
    QString UpdateURL = NotAvailable;         // "UpdateURL": the program update file
    QString ReadmeURL = NotAvailable;         // "ReadmeURL": a page with more information
    QString Details = NotAvailable;           // "Details"
    QString Blacklist = NotAvailable;         // "Blacklist": "Release N"
    QString BlackDownloadURL = NotAvailable;  // "BlackDownloadURL": the blacklist file
};
// Reads a host file; a missing or unreadable file gives all "N/A".
TUpdateInfo ReadUpdateInfo(const QString &hostFile);

// "a.b.c.d": up to four decimal numbers separated by "." (missing trailing ones are 0). nullopt for
// anything else ("N/A", "2.x", "1.2.3.4.5", blanks inside, a number too large for 32 bits).
using TVersion = std::array<quint32, 4>;
std::optional<TVersion> ParseProgramVersion(const QString &text);
// "Release N" (the word in any case, N decimal); nullopt for anything else.
std::optional<quint32> ParseRelease(const QString &text);

// The "Version" of section "General" of a blacklist file (host path); "Release 0" when the file or
// the key is missing.
QString BlacklistVersion(const QString &hostFile);

struct TComparison {
    bool NewProgram = false;
    bool NewBlacklist = false;
};
// The program is newer when the available version is greater, compared number by number from the
// first (2.1.0.0 against 1.5.0.0 offers nothing); an available version that does not parse offers
// nothing. The blacklist is newer when the available release is greater; a current blacklist whose
// release does not parse counts as release 0, an available one that does not parse offers nothing.
TComparison CompareVersions(const QString &current, const QString &available, const QString &currentBlacklist,
                            const QString &availableBlacklist);

// The window's result code after a successful check: 2 nothing newer, 3 program, 4 blacklist, 5 both.
// (1 is a failed download.)
enum TUpdateResult { urNone = 0, urError = 1, urNothingNew = 2, urNewProgram = 3, urNewBlacklist = 4, urBoth = 5 };
int ResultFor(const TComparison &c);

// The file name a program download is saved under: the last component of url after "/" became
// "\", taken after the last "\" or ":". Empty when that is no single plain Windows file name
// (empty, "." or "..", or holding ? * " < > | or control characters), so a download can never be
// written outside the update folder, and empty for the names of the program's own files there
// ("Options.ini", "BlackLst.vkb", ...: the update folder is the program's folder by default).
QString DownloadFileName(const QString &url);

// Fills stream with a document; false with *error when the download failed in any way (no
// connection, an HTTP status of 400 or more, an authentication that did not succeed, fewer
// bytes than the server announced, abort).
using TFetch = std::function<bool(QIODevice *stream, QString *error)>;

// Why a downloaded file is not what it should be; empty when it is.
using TFileCheck = std::function<QString(QIODevice &file)>;

// Downloads into hostFile: the document is written to a temporary file beside it and takes the
// name in one rename only when the fetch succeeded and check (when given) found nothing wrong, so
// a failed, partial or wrong download leaves an older file of that name as it was.
bool DownloadToFile(const QString &hostFile, const TFetch &fetch, QString *error, const TFileCheck &check = {});

// A program update must be a Windows program: "MZ", and the "PE\0\0" signature where the MZ header
// points. A captive portal's page or a server's error text served under "Setup.exe" is not one.
QString WindowsProgramProblem(QIODevice &file);

enum class TBlacklistInstall {
    Installed,       // "BlackLst.vkb" is the new file
    DownloadFailed,  // nothing changed ("BlackLst.tmp" removed)
    NotABlacklist,   // the document has no "Release N" version in [General]: nothing changed
    ReplaceFailed,   // the download is good but could not take the old file's place: nothing changed
};
// Downloads programFolder + "BlackLst.tmp" (host folder ending in "/"), checks that it is a
// blacklist and puts it in the place of "BlackLst.vkb" with one rename, which either leaves the old
// file or puts the new one there: no moment without a blacklist.
TBlacklistInstall InstallBlacklist(const QString &programFolder, const TFetch &fetch, QString *error);

// What one download may cost: bytes (0 any) and milliseconds for the whole request (0 no limit).
struct TGetLimits {
    qint64 MaxBytes = 0;
    int MaxMilliseconds = 0;
};

// Far above any real file of its kind, so that a broken or hostile server can neither fill memory or
// disk nor hold a check that nobody watches.
struct TUpdateLimits {
    TGetLimits Info = {64 * 1024, 60 * 1000};
    TGetLimits Blacklist = {4 * 1024 * 1024, 5 * 60 * 1000};
    TGetLimits Program = {256 * 1024 * 1024, 60 * 60 * 1000};
};

// The HTTP client as the update window uses it: one synchronous GET at a time.
class TUpdateHttp
{
public:
    virtual ~TUpdateHttp() = default;
    // An empty server means no proxy; port is decimal text ("80").
    virtual void SetProxy(const QString &server, const QString &port, const QString &username,
                          const QString &password) = 0;
    // Fills stream with the document at url, processing events while it waits (so an Abort button
    // works). False with *error when the download failed (see TFetch) or went past limits; a second
    // Get while one runs fails at once.
    virtual bool Get(const QString &url, QIODevice *stream, const TGetLimits &limits, QString *error) = 0;
    virtual void Abort() = 0;
    virtual bool Busy() const = 0;
    virtual qint64 ContentLength() const = 0;  // -1 while unknown
    virtual qint64 ReceivedBytes() const = 0;
    // Runs for every block of document data while Get runs.
    std::function<void()> OnDocData;
};

// Seam for the rename of the install (tests make it fail); the default is rename(2).
using TRename = std::function<bool(const QString &from, const QString &to)>;
void SetRenameForTests(TRename rename);

} // namespace UpdateInfo
