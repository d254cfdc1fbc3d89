// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: files of one size read side by side, once: classes of equal bytes and their digests.
#include "DuplicateContents.h"

#include "Crc32.h"

#include <QIODevice>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace Duplicate {

namespace {

constexpr qint64 MaxBlock = 1 << 20;
constexpr qint64 MinBlock = 64 << 10;
constexpr qint64 RoundBytes = 4 << 20;  // the blocks of all files of one round together
constexpr int ThreadedSlots = 4;        // rounds the reads may run ahead of the digests
constexpr qint64 TailFirstSize = 1 << 20;  // files this large compare their last bytes first
constexpr qint64 TailBytes = 16 << 10;

// Reads until count bytes or the end; -1 on a read error.
qint64 ReadFull(QIODevice &file, char *buffer, qint64 count)
{
    qint64 got = 0;
    while (got < count) {
        const qint64 n = file.read(buffer + got, count - got);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

// What one round asks of the digests, applied in this order: the classes that split off take
// their class's state as it stood before the round, then every class adds its leader's block.
struct TRound {
    std::vector<std::pair<int, int>> Copies;  // new class, the class it split from
    std::vector<std::pair<int, const char *>> Adds;
    std::size_t Bytes = 0;
};

// The CRC and the MD5 of every class, each digest on a lane of its own: inline, or on a thread
// that applies the rounds in order while the caller reads the next ones.
class TDigests
{
public:
    TDigests(std::size_t classes, bool crc, bool md5, bool threads)
        : FCrc(classes, Crc32Start), FMd5(classes)
    {
        for (TMD5Context &context : FMd5)
            MD5Init(context);
        if (crc)
            FLanes.push_back(Lane::Crc);
        if (md5)
            FLanes.push_back(Lane::Md5);
        FDone.assign(FLanes.size(), 0);
        if (!threads)
            return;
        try {
            for (std::size_t k = 0; k < FLanes.size(); ++k)
                FThreads.emplace_back([this, k] { Run(k); });
        } catch (const std::system_error &) {
            Close(true);  // no thread to spare: the digests run inline
        }
    }
    ~TDigests() { Close(true); }

    // Waits until the buffers of the round depth rounds before round are free again.
    void WaitForSlot(std::size_t round, std::size_t depth)
    {
        if (FThreads.empty() || round < depth)
            return;
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [&] { return MinDone() >= round - depth + 1; });
        while (!FRounds.empty() && MinDone() > FBase) {
            FRounds.pop_front();
            ++FBase;
        }
    }

    void Push(TRound round)
    {
        if (FThreads.empty()) {
            for (std::size_t k = 0; k < FLanes.size(); ++k)
                Apply(FLanes[k], round);
            return;
        }
        {
            std::lock_guard lock(FMutex);
            FRounds.push_back(std::move(round));
        }
        FChanged.notify_all();
    }

    // Every round pushed is applied when this returns.
    void Finish() { Close(false); }

    std::uint32_t Crc(int c) const { return Crc32Final(FCrc[std::size_t(c)]); }
    TMD5Digest Md5(int c) const
    {
        TMD5Context context = FMd5[std::size_t(c)];
        TMD5Digest digest;
        MD5Final(digest, context);
        return digest;
    }

private:
    enum class Lane { Crc, Md5 };

    std::size_t MinDone() const { return FDone.empty() ? FBase + FRounds.size() : *std::min_element(FDone.begin(), FDone.end()); }

    void Close(bool abandon)
    {
        {
            std::lock_guard lock(FMutex);
            FClosed = true;
            FAbandoned = FAbandoned || abandon;
        }
        FChanged.notify_all();
        for (std::thread &t : FThreads)
            t.join();
        FThreads.clear();
    }

    void Run(std::size_t k)
    {
        std::unique_lock lock(FMutex);
        while (true) {
            FChanged.wait(lock, [&] { return FAbandoned || FDone[k] < FBase + FRounds.size() || FClosed; });
            if (FAbandoned || FDone[k] == FBase + FRounds.size())
                return;
            const TRound &round = FRounds[FDone[k] - FBase];  // stays: popped only once every lane is past it
            lock.unlock();
            Apply(FLanes[k], round);
            lock.lock();
            ++FDone[k];
            FChanged.notify_all();
        }
    }

    void Apply(Lane lane, const TRound &round)
    {
        if (lane == Lane::Crc) {
            for (const auto &[to, from] : round.Copies)
                FCrc[std::size_t(to)] = FCrc[std::size_t(from)];
            for (const auto &[c, data] : round.Adds)
                FCrc[std::size_t(c)] = Crc32Update(FCrc[std::size_t(c)], data, round.Bytes);
            return;
        }
        for (const auto &[to, from] : round.Copies)
            FMd5[std::size_t(to)] = FMd5[std::size_t(from)];
        for (const auto &[c, data] : round.Adds)
            MD5Update(FMd5[std::size_t(c)], data, round.Bytes);
    }

    // Each lane writes only its own digest's arrays.
    std::vector<std::uint32_t> FCrc;
    std::vector<TMD5Context> FMd5;
    std::vector<Lane> FLanes;
    std::vector<std::thread> FThreads;

    std::mutex FMutex;  // everything below
    std::condition_variable FChanged;
    std::deque<TRound> FRounds;  // FRounds[0] is round FBase
    std::size_t FBase = 0;
    std::vector<std::size_t> FDone;  // rounds each lane has applied
    bool FClosed = false, FAbandoned = false;
};

// Splits off from members (all equal up to now) those whose block differs from the first one's,
// in groups of equal blocks; members keeps the first one's group.
std::vector<std::vector<int>> SplitByBlock(std::vector<int> &members, const std::function<const char *(int)> &block,
                                           std::size_t bytes)
{
    std::vector<std::vector<int>> parts;
    std::vector<int> rest = std::move(members);
    while (!rest.empty()) {
        std::vector<int> same{rest.front()}, other;
        const char *leader = block(rest.front());
        for (std::size_t k = 1; k < rest.size(); ++k)
            (std::memcmp(leader, block(rest[k]), bytes) == 0 ? same : other).push_back(rest[k]);
        parts.push_back(std::move(same));
        rest = std::move(other);
    }
    members = std::move(parts.front());
    parts.erase(parts.begin());
    return parts;
}

}  // namespace

std::vector<TContentOutcome> ReadSideBySide(const std::vector<QIODevice *> &files, const TSideBySideRequest &request)
{
    const std::size_t n = files.size();
    std::vector<TContentOutcome> outcomes(n);
    std::vector<char> live(n, 0);
    std::vector<std::vector<int>> classes(1);
    for (std::size_t i = 0; i < n; ++i) {
        live[i] = files[i] && files[i]->isOpen();
        if (live[i])
            classes.front().push_back(int(i));
    }
    if (classes.front().empty())
        return outcomes;

    const qint64 block = std::max<qint64>(1, std::min(request.Size, std::clamp(RoundBytes / qint64(n), MinBlock, MaxBlock)));
    const bool threads = request.DigestThreads && (request.Crc || request.Md5);
    const std::size_t depth = threads ? ThreadedSlots : 1;
    std::vector<std::vector<char>> buffers(depth);  // declared before the digests, which use them to the end
    TDigests digests(n, request.Crc, request.Md5, threads);
    const bool lonesUnread = request.LonesUnread && request.Md5;
    // A class of one member is equal to no other file: with lonesUnread it leaves the reading.
    const auto settleLones = [&] {
        bool reading = false;
        for (std::vector<int> &members : classes) {
            std::erase_if(members, [&](int i) { return !live[std::size_t(i)]; });
            if (lonesUnread && members.size() == 1) {
                live[std::size_t(members.front())] = 0;
                outcomes[std::size_t(members.front())].Alone = true;
                members.clear();
            }
            reading = reading || !members.empty();
        }
        return reading;
    };

    // Files that part only near their end are told apart before anything else is read. A file
    // whose end cannot be read where its scanned size puts it is shorter: equal to nothing.
    const bool seekable = std::none_of(files.begin(), files.end(), [](QIODevice *f) { return f && f->isOpen() && f->isSequential(); });
    if (lonesUnread && seekable && request.Size >= TailFirstSize) {
        std::vector<char> &tails = buffers.front();
        tails.resize(n * std::size_t(TailBytes));
        const auto tailOf = [&](int i) { return tails.data() + std::size_t(i) * std::size_t(TailBytes); };
        for (std::size_t i = 0; i < n; ++i) {
            if (!live[i])
                continue;
            const qint64 start = files[i]->pos();
            live[i] = files[i]->seek(start + request.Size - TailBytes) && ReadFull(*files[i], tailOf(int(i)), TailBytes) == TailBytes
                      && files[i]->seek(start);
        }
        std::erase_if(classes.front(), [&](int i) { return !live[std::size_t(i)]; });
        if (!classes.front().empty())
            for (std::vector<int> &part : SplitByBlock(classes.front(), tailOf, std::size_t(TailBytes)))
                classes.push_back(std::move(part));  // nothing is added yet: every state is the start
    }

    qint64 offset = 0;
    for (std::size_t round = 0; offset < request.Size && settleLones(); ++round) {
        if (request.Stop && request.Stop())
            return std::vector<TContentOutcome>(n);
        const qint64 want = std::min(block, request.Size - offset);
        const std::size_t slot = round % depth;
        digests.WaitForSlot(round, depth);
        std::vector<char> &buffer = buffers[slot];
        buffer.resize(n * std::size_t(block));
        const auto blockOf = [&](int i) { return buffer.data() + std::size_t(i) * std::size_t(block); };
        for (std::size_t i = 0; i < n; ++i)
            if (live[i] && ReadFull(*files[i], blockOf(int(i)), want) != want)
                live[i] = 0;  // unreadable, or shorter than it was: equal to nothing

        TRound work;
        work.Bytes = std::size_t(want);
        const std::size_t existing = classes.size();
        for (std::size_t c = 0; c < existing; ++c) {
            std::erase_if(classes[c], [&](int i) { return !live[std::size_t(i)]; });
            if (classes[c].size() < 2)
                continue;
            for (std::vector<int> &part : SplitByBlock(classes[c], blockOf, std::size_t(want))) {
                work.Copies.emplace_back(int(classes.size()), int(c));
                classes.push_back(std::move(part));
            }
        }
        for (std::size_t c = 0; c < classes.size(); ++c)
            if (!classes[c].empty())
                work.Adds.emplace_back(int(c), blockOf(classes[c].front()));
        digests.Push(std::move(work));
        offset += want;
    }
    settleLones();
    // A file that still gives bytes has grown since it was listed.
    for (std::size_t i = 0; i < n; ++i) {
        char extra;
        if (live[i] && files[i]->read(&extra, 1) != 0)
            live[i] = 0;
    }
    digests.Finish();

    for (std::size_t c = 0; c < classes.size(); ++c) {
        if (classes[c].empty())
            continue;
        TContentOutcome outcome;
        outcome.Readable = true;
        outcome.Class = int(c);
        outcome.HaveCrc = request.Crc;
        if (request.Crc)
            outcome.Crc = digests.Crc(int(c));
        outcome.HaveMd5 = request.Md5;
        if (request.Md5)
            outcome.Md5 = digests.Md5(int(c));
        for (int i : classes[c])
            if (live[std::size_t(i)])
                outcomes[std::size_t(i)] = outcome;
    }
    return outcomes;
}

}  // namespace Duplicate
