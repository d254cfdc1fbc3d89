// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TEtsiRekisteri, the registry cleaner's scanner: string values that name missing paths.
//
// One worker walks one root from a start key down and reports every string value whose name or
// data names a file or folder on a fixed drive that does not exist. The local-machine scan divides
// its top-level keys between two workers; the first creates the second (on the owner's thread) and
// hands it over through OnSplit. Every handler runs on the owner's thread (TSharedThd).
#pragma once

#include "platform/Registry.h"
#include "platform/SortedStringList.h"
#include "shell/SharedThd.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TWinePrefix;
class TEtsiRekisteri;

// modifiedTime: the key's last-write time as stored (UTC fields, never converted); the window
// shows it as text and sorts by the time itself.
using TFoundHandler = std::function<void(const QString &rootName, const QString &keyPath,
                                         const QDateTime &modifiedTime, const QString &valueName,
                                         const QString &data)>;
using TProgressHandler = std::function<void(int position, int total)>;
using TTotalHandler = std::function<void(int total)>;
using TSplitHandler = std::function<void(TEtsiRekisteri *child)>;

class TEtsiRekisteri final : public TSharedThd
{
    Q_OBJECT

public:
    // keyPath: absolute, with a leading "\" ("\Software", or "\" for the root itself).
    // partCount: the start key's subkeys are divided into that many parts; partIndex is 1-based.
    // prefix nullptr: TWinePrefix::Current().
    TEtsiRekisteri(QObject *owner, const TSortedStringList &exclusions, TFoundHandler onFound,
                   TProgressHandler onProgress, TTotalHandler onTotal, TRootKey rootKey,
                   const QString &keyPath, int partCount, int partIndex, TSplitHandler onSplit,
                   std::shared_ptr<TWinePrefix> prefix = nullptr);
    ~TEtsiRekisteri() override;

    int PartIndex() const { return FPartIndex; }
    TRootKey Root() const { return FRootKey; }

    // Whether text is fine, that is not a path on a fixed drive that is missing.
    static bool PathIsFine(const QString &text, const std::shared_ptr<TWinePrefix> &prefix);
    // A skip entry (lower-cased) in a lower-cased text: anywhere for a word ("norton"); an entry
    // that holds a "\\" (a key path) only where whole key names stand.
    static bool SkipMatches(const QString &text, const QString &skip);
    // Whether a candidate is dropped: a skip entry matches the full key, name or data, or the data
    // (else the name) cut three characters after its last "." exists.
    static bool IsExcludedOrTrimmedPathExists(const QStringList &lowerSkips, const QString &fullKey,
                                              const QString &valueName, const QString &data,
                                              const std::shared_ptr<TWinePrefix> &prefix);
    // The names of part partIndex (1-based) of partCount: indexes Round((i-1)x) to Round(ix)-1,
    // x = count / partCount, halves rounded to even.
    static QStringList PartOfNames(const QStringList &names, int partCount, int partIndex);

protected:
    void DoWork() override;

private:
    int CountSecondLevelKeys(const QStringList &names) const;
    void ScanKey(const QStringList &names, bool useNames);
    void CheckValues();
    bool StepsCountedHere() const;

    TSortedStringList FExclusions;
    QStringList FLowerSkips;
    TFoundHandler FOnFound;
    TProgressHandler FOnProgress;
    TTotalHandler FOnTotal;
    TSplitHandler FOnSplit;
    TRootKey FRootKey;
    QString FKeyPath;
    int FPartCount;
    int FPartIndex;
    std::shared_ptr<TWinePrefix> FPrefix;
    std::unique_ptr<TRegistry> FRegistry;
    QString FRootName;
    int FPosition = 0;
    int FTotal = 0;
};
