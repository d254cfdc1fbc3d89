// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: single-block DES of FIPS 46-3 (the LM and NT responses of NTLM).
#pragma once

#include <cstdint>

// One 64-bit block under the 64-bit key (the parity bits are ignored). Output may alias Input.
void DesBlock(const std::uint8_t Input[8], std::uint8_t Output[8], const std::uint8_t Key[8], bool Encrypt);
