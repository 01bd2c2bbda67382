// SHA-256 of a byte string, as lower-case hex: what a recording keeps of a transferred file
// instead of its bytes, and what a replay compares a transfer with.
#pragma once

#include <cstdint>
#include <span>
#include <string>

std::string Sha256Hex(std::span<const uint8_t> bytes);
