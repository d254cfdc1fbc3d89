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

// The file name an address gives a download: its path's last segment (after "/" or "\\"), without
// query and fragment, percent-decoded. Empty when that is no single plain Windows file name
// (empty, "." or "..", or holding ? * " < > | or control characters), so a download can never be
// written outside the update folder, and empty for the names of the program's own files there
// ("Options.ini", "BlackLst.vkb", ...: the update folder is the program's folder by default).
QString DownloadFileName(const QString &url);
// The file name of a Content-Disposition value ("attachment; filename=\"Setup.exe\"", RFC 6266,
// with RFC 8187's filename* preferred), checked as DownloadFileName checks; empty when none.
QString DispositionFileName(const QString &value);
// The name a program update is saved under, so that it starts through Wine: the first of the
// address the update information file gave, the reply's Content-Disposition and the address it
// finally came from (after relocations) that ends in ".exe"; else the first name any of them gives,
// with ".exe" added (only a Windows program is ever saved). Empty when none gives a name.
QString ProgramFileName(const QString &address, const QString &contentDisposition, const QString &finalAddress);

// Fills stream with a document; false with *error when the download failed in any way (no
// connection, an HTTP status of 400 or more, an authentication that did not succeed, fewer
// bytes than the server announced, abort).
using TFetch = std::function<bool(QIODevice *stream, QString *error)>;

// What a reply said beside its bytes; asked for while or after its body arrives.
struct TReplyFacts {
    bool LengthKnown = true;     // Content-Length or chunks framed the body; false: only the close ended it
    QString ContentDisposition;  // the header's value; empty when the reply had none
    QString FinalAddress;        // the address the document came from, after relocations
};
using TFacts = std::function<TReplyFacts()>;

// Downloads a small document (at most what the fetch's limits take) and writes it as hostFile's
// whole content through the durable writer: a failed or partial download leaves an older file of
// that name as it was, and a disk that cannot take it says why ("No space left on device").
bool DownloadToFile(const QString &hostFile, const TFetch &fetch, QString *error);

// Why a saved "Vaskimo.upd" is no update information file (no [UpdateInfo] section: a hotel's
// sign-in page, a proxy's error page); empty when it is one.
QString UpdateInfoProblem(const QString &hostFile);

// A program update must be a Windows program: "MZ", and the "PE\0\0" signature where the MZ header
// points. A captive portal's page or a server's error text served under "Setup.exe" is not one.
// When only the close ended the download (lengthKnown false), the file must also be as long as its
// own headers say: the headers, every section's data, the certificate table and the COFF symbol
// and string tables.
QString WindowsProgramProblem(const QByteArray &bytes, bool lengthKnown = true);

// Downloads a program update into folder (a host folder ending in "/") through the durable writer,
// under ProgramFileName() of address and what the reply says (asked once its first byte arrives).
// The file takes its name only when the whole download is a Windows program: an older file of that
// name stays otherwise. *savedName gets the name.
bool DownloadProgram(const QString &folder, const QString &address, const TFetch &fetch, const TFacts &facts,
                     QString *savedName, QString *error);

// Why a blacklist whose length only the close told is cut short (a last line without its end, a
// line that is no INI line, a quoted entry never closed); empty when its structure is whole.
QString BlacklistStructureProblem(const QByteArray &bytes);

enum class TBlacklistInstall {
    Installed,       // "BlackLst.vkb" is the new file
    DownloadFailed,  // nothing changed ("BlackLst.tmp" removed)
    NotABlacklist,   // the document has no "Release N" version in [General], or is cut short: nothing changed
    ReplaceFailed,   // the download is good but could not take the old file's place: nothing changed
};
// Downloads the blacklist, checks it, writes it as programFolder + "BlackLst.tmp" (host folder
// ending in "/") and puts that in the place of "BlackLst.vkb" with one rename, which either leaves
// the old file or puts the new one there: no moment without a blacklist.
TBlacklistInstall InstallBlacklist(const QString &programFolder, const TFetch &fetch, const TFacts &facts,
                                   QString *error);

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
    // What the reply of the running or last Get said beside its bytes.
    virtual TReplyFacts Facts() const { return {}; }
    // Runs for every block of document data while Get runs.
    std::function<void()> OnDocData;
};


} // namespace UpdateInfo
