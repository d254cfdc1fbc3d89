// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what the fuzz harnesses share: the check that ends a run with the broken rule, input and file helpers.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Aborts, so libFuzzer keeps the input as a crash and the replay's test fails naming it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace Fuzz {

inline QByteArray Bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Reads the input front to back: a few control bytes first, the rest as the document.
class TInput
{
public:
    TInput(const uint8_t *data, size_t size) : FData(data), FSize(size) {}
    // The next byte, 0 once the input is used up.
    uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
    QByteArray Rest()
    {
        const QByteArray rest(reinterpret_cast<const char *>(FData + FPos), qsizetype(FSize - FPos));
        FPos = FSize;
        return rest;
    }

private:
    const uint8_t *FData;
    size_t FSize;
    size_t FPos = 0;
};

// A folder of the run for parsers that read files: in TMPDIR when set (scripts/fuzz.sh sets it and
// removes it, as libFuzzer ends without cleaning up), else in memory where the system has a place
// for it (saving syncs to the disk otherwise); gone when a replay ends.
inline QString Folder()
{
    const bool inMemory = qEnvironmentVariableIsEmpty("TMPDIR") && QFile::exists(QStringLiteral("/dev/shm"));
    static QTemporaryDir folder((inMemory ? QStringLiteral("/dev/shm") : QDir::tempPath())
                                + QStringLiteral("/vaskimo-fuzz-XXXXXX"));
    FUZZ_CHECK(folder.isValid());
    return folder.path();
}

// Writes bytes to name inside Folder() and returns the file's path.
inline QString WriteFile(const QString &name, const QByteArray &bytes)
{
    const QString path = Folder() + u'/' + name;
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
    return path;
}

}  // namespace Fuzz
