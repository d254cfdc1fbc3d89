// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: small helpers of the cipher units: rotations, block exclusive-or, wiping, the error type.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

// Raised by the primitives for a bad key length or a malformed Base64 text.
class ECryptoError : public std::runtime_error
{
public:
    explicit ECryptoError(const QString &message) : std::runtime_error(message.toStdString()), FMessage(message) {}
    const QString &Message() const { return FMessage; }

private:
    QString FMessage;
};

constexpr std::uint32_t RotL32(std::uint32_t x, unsigned n) { return (x << (n & 31)) | (x >> ((32 - n) & 31)); }
constexpr std::uint32_t RotR32(std::uint32_t x, unsigned n) { return (x >> (n & 31)) | (x << ((32 - n) & 31)); }

// out := a xor b over size bytes; out may be a or b.
void XorBlock(const std::uint8_t *a, const std::uint8_t *b, std::uint8_t *out, std::size_t size);

// Zeroes memory in a way the compiler may not drop as a dead store.
void Burn(void *memory, std::size_t size);
