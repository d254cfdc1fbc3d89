// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TBuffer, one fixed-size chunk of a socket's send queue.
#include "net/WSockBuf.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int Size)
{
    SetCapacity(Size);
}

bool TBuffer::SetCapacity(int Size)
{
    if (Size <= 0)
        Size = DefaultSize;
    if (Size == FCapacity)
        return true;
    if (FWrittenCount == FTakenCount) {
        FStorage = std::make_unique<char[]>(Size);
        FCapacity = Size;
        FWrittenCount = FTakenCount = 0;
        return true;
    }
    if (Size < FWrittenCount)
        return false;
    auto storage = std::make_unique<char[]>(Size);
    std::memcpy(storage.get(), FStorage.get(), FWrittenCount);
    FStorage = std::move(storage);
    FCapacity = Size;
    return true;
}

int TBuffer::Append(const void *Data, int Len)
{
    if (Data == nullptr || Len <= 0)
        return 0;
    const int count = std::min(Len, FCapacity - FWrittenCount);
    if (count > 0) {
        std::memcpy(FStorage.get() + FWrittenCount, Data, count);
        FWrittenCount += count;
    }
    return count;
}

const char *TBuffer::PeekData(int &Len) const
{
    Len = FWrittenCount - FTakenCount;
    if (Len <= 0) {
        Len = 0;
        return nullptr;
    }
    return FStorage.get() + FTakenCount;
}

int TBuffer::TakeOut(int Len)
{
    if (Len <= 0)
        return 0;
    const int count = std::min(Len, FWrittenCount - FTakenCount);
    FTakenCount += count;
    if (FTakenCount >= FWrittenCount)
        FWrittenCount = FTakenCount = 0;
    return count;
}
