// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the Twofish block cipher (128-bit block, 16 rounds, 128/192/256-bit keys) with CBC and CFB-8.
#pragma once

#include <cstddef>
#include <cstdint>

struct TTwofishContext {
    int KeySize;                  // bits: 128, 192 or 256
    std::uint32_t SubKeys[40];    // whitening and round subkeys
    std::uint32_t SBox[4][256];   // key-dependent S-boxes folded with the MDS matrix
    std::uint8_t IV[16];          // the initial vector
    std::uint8_t LastChain[16];   // the feedback register
};

// Keys of 1 to 32 bytes: up to 16 bytes give a 128-bit key, up to 24 a 192-bit key, else a
// 256-bit key, short keys padded with zero bytes. iv may be nullptr (a zero vector); it fills both
// the initial vector and the feedback register. Any other length raises ECryptoError.
void TwofishInit(TTwofishContext &context, const void *key, std::size_t keyLength, const std::uint8_t *iv = nullptr);

// One block; in and out may be the same.
void TwofishEncryptBlock(const TTwofishContext &context, const std::uint8_t in[16], std::uint8_t out[16]);
void TwofishDecryptBlock(const TTwofishContext &context, const std::uint8_t in[16], std::uint8_t out[16]);

// out := E(in xor feedback); the result becomes the feedback register.
void TwofishEncryptCBC(TTwofishContext &context, const std::uint8_t in[16], std::uint8_t out[16]);
// The feedback register := the initial vector.
void TwofishReset(TTwofishContext &context);

// 8-bit cipher feedback over length bytes; source and destination may be the same.
void TwofishEncryptCFB8(TTwofishContext &context, const void *source, void *destination, std::size_t length);
void TwofishDecryptCFB8(TTwofishContext &context, const void *source, void *destination, std::size_t length);

// Zeroes the whole context.
void TwofishBurn(TTwofishContext &context);
