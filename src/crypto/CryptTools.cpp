// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: block exclusive-or and wiping of key material.
#include "crypto/CryptTools.h"

#include <cstring>

void XorBlock(const std::uint8_t *a, const std::uint8_t *b, std::uint8_t *out, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i)
        out[i] = a[i] ^ b[i];
}

void Burn(void *memory, std::size_t size)
{
    if (size > 0)
        explicit_bzero(memory, size);
}
