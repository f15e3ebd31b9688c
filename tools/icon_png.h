#pragma once
// The PNG image that an .ico file holds for its largest size, written with zlib.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "tools/icon_art.h"

namespace vantorel::icon_art {

inline constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P',  'N',  'G',
                                                           '\r', '\n', 0x1A, '\n'};

// A PNG of the picture: 8-bit RGBA, transparent pixels all zero, each row filtered against
// the row above and compressed by zlib at its best level.
std::vector<std::uint8_t> EncodePng(const Picture& picture);
// The CRC-32 of PNG chunks and zip files.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

}  // namespace vantorel::icon_art
