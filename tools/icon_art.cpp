#include "tools/icon_art.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

namespace vantorel::icon_art {

const std::array<Rgb, kPaletteSize>& Palette() {
    static constexpr std::array<Rgb, kPaletteSize> palette{{
        {0x00, 0x00, 0x00},
        {0x80, 0x00, 0x00},
        {0x00, 0x80, 0x00},
        {0x80, 0x80, 0x00},
        {0x00, 0x00, 0x80},
        {0x80, 0x00, 0x80},
        {0x00, 0x80, 0x80},
        {0xC0, 0xC0, 0xC0},
        {0x80, 0x80, 0x80},
        {0xFF, 0x00, 0x00},
        {0x00, 0xFF, 0x00},
        {0xFF, 0xFF, 0x00},
        {0x00, 0x00, 0xFF},
        {0xFF, 0x00, 0xFF},
        {0x00, 0xFF, 0xFF},
        {0xFF, 0xFF, 0xFF},
    }};
    return palette;
}

const std::array<std::string_view, kPaletteSize>& PaletteNames() {
    static constexpr std::array<std::string_view, kPaletteSize> names{
        "black", "maroon", "green", "olive",  "navy", "purple",  "teal", "silver",
        "grey",  "red",    "lime",  "yellow", "blue", "fuchsia", "aqua", "white"};
    return names;
}

namespace {

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

// Pieces of a message, appended in turn: a literal in front of a temporary string trips a
// false -Wrestrict in GCC 12.
template <typename... Pieces>
std::string Join(const Pieces&... pieces) {
    std::string text;
    (text.append(pieces), ...);
    return text;
}

// A character as a message shows it, between single quotes.
std::string Quoted(char c) {
    std::string text(3, '\'');
    text[1] = c;
    return text;
}

bool ParseSize(std::string_view text, int& width, int& height) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) {
        return false;
    }
    const auto number = [](std::string_view digits, int& out) {
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), out);
        return error == std::errc{} && end == digits.data() + digits.size();
    };
    // 256 is the largest size an icon directory entry can describe.
    return number(text.substr(0, x), width) && number(text.substr(x + 1), height) && width >= 1 &&
           height >= 1 && width <= 256 && height <= 256;
}

class Parser {
  public:
    ParseResult Run(std::string_view text) {
        std::size_t start = 0;
        while (start < text.size() && error_.empty()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            ++lineNumber_;
            Line(line);
            start = end + 1;
        }
        if (error_.empty()) {
            ++lineNumber_;
            FinishPicture();
        }
        if (error_.empty() && pictures_.empty()) {
            Fail("no picture in the art");
        }
        ParseResult result;
        if (error_.empty()) {
            result.pictures = std::move(pictures_);
        } else {
            result.error = std::move(error_);
        }
        return result;
    }

  private:
    void Fail(const std::string& message) {
        if (error_.empty()) {
            error_ = "line " + std::to_string(lineNumber_) + ": " + message;
        }
    }

    bool InPicture() const { return !pictures_.empty() && rowsRead_ < pictures_.back().height; }

    void Line(std::string_view line) {
        if (InPicture()) {
            Row(line);
            return;
        }
        if (line.empty() || line.front() == '#') {
            return;
        }
        const std::vector<std::string_view> words = Words(line);
        if (words.empty()) {
            return;
        }
        if (words[0] == "colour" && words.size() == 3) {
            Legend(words[1], words[2]);
        } else if (words[0] == "picture" && words.size() == 3) {
            StartPicture(words[1], words[2]);
        } else {
            Fail(Join("expected \"colour C NAME\" or \"picture NAME WxH\", got \"", line, "\""));
        }
    }

    void Legend(std::string_view symbol, std::string_view name) {
        if (symbol.size() != 1) {
            Fail(Join("a legend symbol is one character, not \"", symbol, "\""));
            return;
        }
        if (legend_.contains(symbol[0])) {
            Fail(Quoted(symbol[0]) + " is already in the legend");
            return;
        }
        if (name == "transparent") {
            legend_[symbol[0]] = std::nullopt;
            return;
        }
        const auto& names = PaletteNames();
        const auto found = std::find(names.begin(), names.end(), name);
        if (found == names.end()) {
            Fail(Join("\"", name, "\" is not a colour of the 16-colour palette"));
            return;
        }
        legend_[symbol[0]] = static_cast<Colour>(found - names.begin());
    }

    void StartPicture(std::string_view name, std::string_view size) {
        Picture picture;
        picture.name = name;
        if (!ParseSize(size, picture.width, picture.height)) {
            Fail(Join("\"", size, "\" is not a size from 1x1 to 256x256"));
            return;
        }
        if (!names_.insert(picture.name).second) {
            Fail("a second picture named " + picture.name);
            return;
        }
        picture.pixels.reserve(static_cast<std::size_t>(picture.width) *
                               static_cast<std::size_t>(picture.height));
        pictures_.push_back(std::move(picture));
        rowsRead_ = 0;
    }

    void Row(std::string_view line) {
        Picture& picture = pictures_.back();
        if (static_cast<int>(line.size()) != picture.width) {
            if (line.starts_with("picture ") || line.starts_with("colour ")) {
                Fail("picture " + picture.name + " ends after " + std::to_string(rowsRead_) +
                     " of its " + std::to_string(picture.height) + " rows");
                return;
            }
            Fail("row " + std::to_string(rowsRead_ + 1) + " of " + picture.name + " has " +
                 std::to_string(line.size()) + " pixels, not " + std::to_string(picture.width));
            return;
        }
        for (std::size_t column = 0; column < line.size(); ++column) {
            const auto found = legend_.find(line[column]);
            if (found == legend_.end()) {
                Fail(Quoted(line[column]) + " in column " + std::to_string(column + 1) +
                     " is not in the legend");
                return;
            }
            picture.pixels.push_back(found->second);
        }
        ++rowsRead_;
    }

    // Called at the end of the text: a picture cut short there has lost rows.
    void FinishPicture() {
        if (!pictures_.empty() && rowsRead_ < pictures_.back().height) {
            Fail("picture " + pictures_.back().name + " ends after " + std::to_string(rowsRead_) +
                 " of its " + std::to_string(pictures_.back().height) + " rows");
        }
    }

    std::map<char, Pixel> legend_;
    std::set<std::string> names_;
    std::vector<Picture> pictures_;
    int rowsRead_ = 0;
    int lineNumber_ = 0;
    std::string error_;
};

constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kPaletteBytes = std::size_t{4} * kPaletteSize;

// Bitmap rows are padded to whole 32-bit words.
std::size_t Stride(int width, int bitsPerPixel) {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel) + 31) / 32 * 4;
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::uint32_t Get16(const std::vector<std::uint8_t>& in, std::size_t at) {
    return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8;
}

std::uint32_t Get32(const std::vector<std::uint8_t>& in, std::size_t at) {
    return Get16(in, at) | Get16(in, at + 2) << 16;
}

}  // namespace

ParseResult ParseArt(std::string_view text) {
    return Parser().Run(text);
}

std::vector<std::uint8_t> EncodeIco(const Picture& picture) {
    const int width = picture.width;
    const int height = picture.height;
    const std::size_t colourStride = Stride(width, 4);
    const std::size_t maskStride = Stride(width, 1);
    const std::size_t bitsSize = (colourStride + maskStride) * static_cast<std::size_t>(height);
    const std::size_t imageSize = kHeaderSize + kPaletteBytes + bitsSize;

    std::vector<std::uint8_t> out;
    out.reserve(kDirectorySize + kEntrySize + imageSize);
    Put16(out, 0);  // reserved
    Put16(out, 1);  // an icon, not a cursor
    Put16(out, 1);  // one image
    // A size of 256 is written as 0.
    out.push_back(static_cast<std::uint8_t>(width & 0xFF));
    out.push_back(static_cast<std::uint8_t>(height & 0xFF));
    out.push_back(kPaletteSize);
    out.push_back(0);
    Put16(out, 1);  // planes
    Put16(out, 4);  // bits per pixel
    Put32(out, static_cast<std::uint32_t>(imageSize));
    Put32(out, static_cast<std::uint32_t>(kDirectorySize + kEntrySize));

    Put32(out, kHeaderSize);
    Put32(out, static_cast<std::uint32_t>(width));
    // The height counts the colour bitmap and the mask together.
    Put32(out, static_cast<std::uint32_t>(2 * height));
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, 0);  // uncompressed
    Put32(out, static_cast<std::uint32_t>(bitsSize));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, kPaletteSize);
    Put32(out, 0);
    for (const Rgb& colour : Palette()) {
        out.insert(out.end(), {colour.blue, colour.green, colour.red, 0});
    }

    // Both bitmaps run from the bottom row up.
    std::vector<std::uint8_t> colours(colourStride * static_cast<std::size_t>(height), 0);
    std::vector<std::uint8_t> mask(maskStride * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        const std::size_t row = static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const Pixel pixel = picture.At(x, y);
            const std::size_t column = static_cast<std::size_t>(x);
            if (!pixel) {
                mask[row * maskStride + column / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                continue;
            }
            const auto index = static_cast<std::uint8_t>(*pixel);
            colours[row * colourStride + column / 2] |=
                static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
        }
    }
    out.insert(out.end(), colours.begin(), colours.end());
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

DecodeResult DecodeIco(const std::vector<std::uint8_t>& bytes) {
    DecodeResult result;
    const auto fail = [&result](std::string message) {
        result.error = std::move(message);
        return result;
    };
    if (bytes.size() < kDirectorySize + kEntrySize) {
        return fail("shorter than an icon directory");
    }
    if (Get16(bytes, 0) != 0 || Get16(bytes, 2) != 1 || Get16(bytes, 4) != 1) {
        return fail("not an icon file of one image");
    }
    const std::size_t entry = kDirectorySize;
    const int width = bytes[entry] == 0 ? 256 : bytes[entry];
    const int height = bytes[entry + 1] == 0 ? 256 : bytes[entry + 1];
    if (bytes[entry + 2] != kPaletteSize || bytes[entry + 3] != 0 || Get16(bytes, entry + 4) != 1 ||
        Get16(bytes, entry + 6) != 4) {
        return fail("the directory entry does not describe 16 colours at 4 bits per pixel");
    }
    const std::size_t imageSize = Get32(bytes, entry + 8);
    const std::size_t offset = Get32(bytes, entry + 12);
    if (offset != kDirectorySize + kEntrySize || offset + imageSize != bytes.size()) {
        return fail("the image's offset and size do not match the file");
    }
    const std::size_t colourStride = Stride(width, 4);
    const std::size_t maskStride = Stride(width, 1);
    const std::size_t bitsSize = (colourStride + maskStride) * static_cast<std::size_t>(height);
    if (imageSize != kHeaderSize + kPaletteBytes + bitsSize) {
        return fail("the image size does not fit its width and height");
    }
    const std::size_t header = offset;
    if (Get32(bytes, header) != kHeaderSize ||
        Get32(bytes, header + 4) != static_cast<std::uint32_t>(width) ||
        Get32(bytes, header + 8) != static_cast<std::uint32_t>(2 * height) ||
        Get16(bytes, header + 12) != 1 || Get16(bytes, header + 14) != 4 ||
        Get32(bytes, header + 16) != 0 || Get32(bytes, header + 20) != bitsSize ||
        Get32(bytes, header + 32) != kPaletteSize) {
        return fail("the bitmap header does not match the directory entry");
    }
    const std::size_t palette = header + kHeaderSize;
    for (std::size_t i = 0; i < kPaletteSize; ++i) {
        const Rgb& colour = Palette()[i];
        const std::size_t at = palette + 4 * i;
        if (bytes[at] != colour.blue || bytes[at + 1] != colour.green ||
            bytes[at + 2] != colour.red || bytes[at + 3] != 0) {
            return fail("palette entry " + std::to_string(i) + " is not the standard colour");
        }
    }
    const std::size_t colours = palette + kPaletteBytes;
    const std::size_t mask = colours + colourStride * static_cast<std::size_t>(height);

    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const std::size_t row = static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const std::size_t column = static_cast<std::size_t>(x);
            const std::uint8_t pair = bytes[colours + row * colourStride + column / 2];
            const int index = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
            const bool transparent =
                (bytes[mask + row * maskStride + column / 8] & (0x80 >> (x % 8))) != 0;
            if (transparent && index != 0) {
                // Windows would draw this colour inverted over the background.
                return fail("pixel " + std::to_string(x) + "," + std::to_string(y) +
                            " is masked but not black");
            }
            picture.pixels.push_back(transparent ? Pixel{} : Pixel{static_cast<Colour>(index)});
        }
    }
    result.picture = std::move(picture);
    return result;
}

}  // namespace vantorel::icon_art
