// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TBuffer, one fixed-size chunk of a socket's send queue.
//
// The socket appends to the last buffer of its queue and sends from the first. The untaken bytes are
// Storage()[TakenCount() .. WrittenCount() - 1]; 0 <= TakenCount <= WrittenCount <= Capacity always.
// No lock of its own: the socket layer's send lock guards every buffer of every queue.
#pragma once

#include <memory>

class TBuffer
{
public:
    // Size <= 0 gives the default of 1514 bytes (one Ethernet frame).
    explicit TBuffer(int Size);
    TBuffer(const TBuffer &) = delete;
    TBuffer &operator=(const TBuffer &) = delete;

    static constexpr int DefaultSize = 1514;

    const char *Storage() const { return FStorage.get(); }
    int Capacity() const { return FCapacity; }
    int WrittenCount() const { return FWrittenCount; }
    int TakenCount() const { return FTakenCount; }

    // Size <= 0 means 1514; the same size changes nothing. Held bytes move into the new storage.
    // A size below WrittenCount would lose data: it is refused and false is returned.
    bool SetCapacity(int Size);
    // Copies min(Len, free room) bytes to the end; returns that count (0 when full or Len <= 0).
    int Append(const void *Data, int Len);
    // The first untaken byte and, in Len, how many are untaken; nullptr and 0 when none.
    const char *PeekData(int &Len) const;
    // Takes min(Len, untaken) bytes out and returns the count; an emptied buffer is written again
    // from the start of its storage.
    int TakeOut(int Len);

private:
    std::unique_ptr<char[]> FStorage;
    int FCapacity = 0;
    int FWrittenCount = 0;
    int FTakenCount = 0;
};
