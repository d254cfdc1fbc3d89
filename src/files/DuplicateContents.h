// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: files of one size read side by side, once: classes of equal bytes and their digests.
//
// Every file is read once, block by block, all files' blocks of a round together. Files whose
// bytes are equal so far form a class; a class splits where its members' bytes part, and the
// part that splits off starts from the digest state of its class at that point. So each class's
// CRC and MD5 are computed once, over one member's bytes, and the cost is at most one read of
// every byte.
#pragma once

#include "md5.h"

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <vector>

class QIODevice;

namespace Duplicate {

struct TContentOutcome {
    bool Readable = false;  // gave exactly the expected number of bytes, then its end
    bool Alone = false;     // parted from every other file's bytes and was read no further
    int Class = -1;         // readable files of one class are equal byte for byte
    bool HaveCrc = false, HaveMd5 = false;
    std::uint32_t Crc = 0;
    TMD5Digest Md5{};
};

struct TSideBySideRequest {
    qint64 Size = 0;  // the size every file should have
    bool Crc = false, Md5 = false;
    // With the MD5 asked, a file whose bytes turn out equal to no other file's can join no set:
    // it is read no further and gets no digest (Alone, not Readable). Large files' last bytes are
    // then compared before their first, so that files which part only near their end are never
    // read whole. Only right when these files are all there is to compare.
    bool LonesUnread = false;
    // The digests run on threads of their own while the next blocks are read and compared.
    bool DigestThreads = false;
    std::function<bool()> Stop;  // polled every round; the outcomes are then incomplete
};

// files[i] may be nullptr or not open: that file is unreadable. The devices are read from their
// current position; a device that can seek may also be read at its end first.
std::vector<TContentOutcome> ReadSideBySide(const std::vector<QIODevice *> &files, const TSideBySideRequest &request);

}  // namespace Duplicate
