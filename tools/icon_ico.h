#pragma once
// The .ico files: writing pictures as 16-colour icon images (the largest as PNG), and reading
// back exactly what is written, so that committed icons can be checked against their art.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/icon_art.h"

namespace vantorel::icon_art {

// The .ico file of one picture: one image, 4 bits per pixel with the full palette, and a 1-bit
// mask that is set where the picture is transparent. Width and height from 1 to 256.
std::vector<std::uint8_t> EncodeIco(const Picture& picture);
// The .ico file of several sizes of one picture, smallest first. Images at least pngFrom wide
// are stored as 32-bit PNG, which Windows reads since Vista; the rest as above.
std::vector<std::uint8_t> EncodeIco(std::vector<Picture> images, int pngFrom);

struct DecodeResult {
    std::vector<Picture> pictures;  // named "" since an .ico file keeps no name
    std::vector<int> pngWidths;     // the PNG images, not decoded here
    std::string error;              // empty on success; otherwise no pictures
};

// Reads back exactly the kind of file EncodeIco writes and refuses anything else: images of 4
// bits per pixel, uncompressed, with the standard palette, and PNG images by their header.
DecodeResult DecodeIco(const std::vector<std::uint8_t>& bytes);

}  // namespace vantorel::icon_art
