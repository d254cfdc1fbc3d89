// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: DES after FIPS 46-3, on bit arrays (one bit per byte) as the standard's tables number them.
#include "net/IcsDES.h"

#include <cstring>

namespace {

// Bit n of the tables (1-based) is the (n-1)-th bit counted from the most significant bit of byte 0.
const std::uint8_t kIP[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

const std::uint8_t kFP[64] = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};

const std::uint8_t kE[48] = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

const std::uint8_t kP[32] = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

const std::uint8_t kPC1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

const std::uint8_t kPC2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
    23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
    44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

const std::uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S[box][row][column]: row from the outer bits of the 6-bit group, column from the inner four.
const std::uint8_t kS[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

void ToBits(const std::uint8_t *Bytes, std::uint8_t *Bits, int Count)
{
    for (int i = 0; i < Count; ++i)
        Bits[i] = (Bytes[i / 8] >> (7 - i % 8)) & 1;
}

template <int N>
void Permute(const std::uint8_t (&Table)[N], const std::uint8_t *In, std::uint8_t *Out)
{
    for (int i = 0; i < N; ++i)
        Out[i] = In[Table[i] - 1];
}

void RotateLeft28(std::uint8_t *Half, int Count)
{
    std::uint8_t tmp[28];
    for (int i = 0; i < 28; ++i)
        tmp[i] = Half[(i + Count) % 28];
    std::memcpy(Half, tmp, 28);
}

}  // namespace

void DesBlock(const std::uint8_t Input[8], std::uint8_t Output[8], const std::uint8_t Key[8], bool Encrypt)
{
    std::uint8_t keyBits[64], cd[56], subkeys[16][48];
    ToBits(Key, keyBits, 64);
    Permute(kPC1, keyBits, cd);
    for (int round = 0; round < 16; ++round) {
        RotateLeft28(cd, kShifts[round]);
        RotateLeft28(cd + 28, kShifts[round]);
        Permute(kPC2, cd, subkeys[round]);
    }

    std::uint8_t blockBits[64], lr[64];
    ToBits(Input, blockBits, 64);
    Permute(kIP, blockBits, lr);
    std::uint8_t *left = lr, *right = lr + 32;
    for (int round = 0; round < 16; ++round) {
        const std::uint8_t *k = subkeys[Encrypt ? round : 15 - round];
        std::uint8_t expanded[48], sOut[32], f[32];
        Permute(kE, right, expanded);
        for (int i = 0; i < 48; ++i)
            expanded[i] ^= k[i];
        for (int box = 0; box < 8; ++box) {
            const std::uint8_t *g = expanded + 6 * box;
            const int row = g[0] << 1 | g[5];
            const int column = g[1] << 3 | g[2] << 2 | g[3] << 1 | g[4];
            const std::uint8_t value = kS[box][row][column];
            for (int b = 0; b < 4; ++b)
                sOut[4 * box + b] = (value >> (3 - b)) & 1;
        }
        Permute(kP, sOut, f);
        for (int i = 0; i < 32; ++i) {
            const std::uint8_t next = left[i] ^ f[i];
            left[i] = right[i];
            right[i] = next;
        }
    }
    // The last round's halves go to the final permutation swapped: R16 L16.
    std::uint8_t preOutput[64], outBits[64];
    std::memcpy(preOutput, right, 32);
    std::memcpy(preOutput + 32, left, 32);
    Permute(kFP, preOutput, outBits);
    for (int i = 0; i < 8; ++i) {
        std::uint8_t byte = 0;
        for (int b = 0; b < 8; ++b)
            byte = std::uint8_t(byte << 1 | outBits[8 * i + b]);
        Output[i] = byte;
    }
}
