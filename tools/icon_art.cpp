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
        if (error_.empty()) {
            ExpandParts();
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
        } else if (words[0] == "part" && words.size() == 4) {
            Part(words[1], words[2], words[3]);
        } else if (words[0] == "picture" && words.size() == 3) {
            StartPicture(words[1], words[2]);
        } else {
            Fail(
                Join("expected \"colour C NAME\", \"part C NAME STEP\" or \"picture NAME WxH\", "
                     "got \"",
                     line, "\""));
        }
    }

    void Part(std::string_view symbol, std::string_view name, std::string_view step) {
        int value = 0;
        const auto [end, error] = std::from_chars(step.data(), step.data() + step.size(), value);
        if (error != std::errc{} || end != step.data() + step.size() || value < 1 ||
            value > kLastStep) {
            Fail(Join("\"", step, "\" is not a step from 1 to 6"));
            return;
        }
        if (name == "transparent") {
            Fail("a part has a colour, it cannot be transparent");
            return;
        }
        Legend(symbol, name);
        if (error_.empty()) {
            steps_[symbol[0]] = value;
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
        pictureSteps_.emplace_back();
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
            const auto step = steps_.find(line[column]);
            pictureSteps_.back().push_back(step == steps_.end() ? 0 : step->second);
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

    // A picture with part pixels becomes its seven steps, named by their number.
    void ExpandParts() {
        std::vector<Picture> expanded;
        for (std::size_t i = 0; i < pictures_.size() && error_.empty(); ++i) {
            const std::vector<int>& steps = pictureSteps_[i];
            if (std::all_of(steps.begin(), steps.end(), [](int step) { return step == 0; })) {
                expanded.push_back(std::move(pictures_[i]));
                continue;
            }
            for (int k = 0; k <= kLastStep; ++k) {
                Picture picture = pictures_[i];
                picture.name += std::to_string(k);
                if (!names_.insert(picture.name).second) {
                    Fail("a second picture named " + picture.name);
                    return;
                }
                for (std::size_t p = 0; p < steps.size(); ++p) {
                    if (steps[p] != 0 && steps[p] <= k) {
                        picture.pixels[p] = Colour::kRed;
                    }
                }
                expanded.push_back(std::move(picture));
            }
        }
        pictures_ = std::move(expanded);
    }

    static constexpr int kLastStep = 6;

    std::map<char, Pixel> legend_;
    std::map<char, int> steps_;  // part characters and their step
    std::set<std::string> names_;
    std::vector<Picture> pictures_;
    std::vector<std::vector<int>> pictureSteps_;  // per picture, per pixel; 0 for no part
    int rowsRead_ = 0;
    int lineNumber_ = 0;
    std::string error_;
};

constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kPaletteBytes = std::size_t{4} * kPaletteSize;
constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

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

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

std::uint32_t Get16(const std::vector<std::uint8_t>& in, std::size_t at) {
    return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8;
}

std::uint32_t Get32(const std::vector<std::uint8_t>& in, std::size_t at) {
    return Get16(in, at) | Get16(in, at + 2) << 16;
}

std::size_t BitsSize(int width, int height) {
    return (Stride(width, 4) + Stride(width, 1)) * static_cast<std::size_t>(height);
}

// One image as an icon file holds it: the bitmap header, the palette, the colours and the
// mask, both bitmaps from the bottom row up.
std::vector<std::uint8_t> BitmapImage(const Picture& picture) {
    const int width = picture.width;
    const int height = picture.height;
    const std::size_t colourStride = Stride(width, 4);
    const std::size_t maskStride = Stride(width, 1);
    std::vector<std::uint8_t> out;
    Put32(out, kHeaderSize);
    Put32(out, static_cast<std::uint32_t>(width));
    // The height counts the colour bitmap and the mask together.
    Put32(out, static_cast<std::uint32_t>(2 * height));
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, 0);  // uncompressed
    Put32(out, static_cast<std::uint32_t>(BitsSize(width, height)));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, kPaletteSize);
    Put32(out, 0);
    for (const Rgb& colour : Palette()) {
        out.insert(out.end(), {colour.blue, colour.green, colour.red, 0});
    }
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

// Writes bits to a deflate stream, least significant first.
class BitWriter {
  public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void Bits(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            Bit((value >> i) & 1U);
        }
    }
    // Huffman codes go most significant bit first.
    void Code(std::uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) {
            Bit((code >> i) & 1U);
        }
    }
    void Flush() {
        if (used_ != 0) {
            out_.push_back(byte_);
            byte_ = 0;
            used_ = 0;
        }
    }

  private:
    void Bit(std::uint32_t bit) {
        byte_ = static_cast<std::uint8_t>(byte_ | bit << used_);
        if (++used_ == 8) {
            Flush();
        }
    }

    std::vector<std::uint8_t>& out_;
    std::uint8_t byte_ = 0;
    int used_ = 0;
};

// The fixed Huffman code of a literal or length symbol.
void Symbol(BitWriter& bits, int symbol) {
    const auto value = static_cast<std::uint32_t>(symbol);
    if (symbol < 144) {
        bits.Code(0x30 + value, 8);
    } else if (symbol < 256) {
        bits.Code(0x190 + value - 144, 9);
    } else if (symbol < 280) {
        bits.Code(value - 256, 7);
    } else {
        bits.Code(0xC0 + value - 280, 8);
    }
}

constexpr std::array<int, 29> kLengthBase{3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                          15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                          67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> kDistanceBase{
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;

// The last entry of the table not above the value, as a symbol and its extra bits.
template <std::size_t N>
std::size_t Slot(const std::array<int, N>& bases, int value) {
    std::size_t slot = 0;
    while (slot + 1 < N && bases[slot + 1] <= value) {
        ++slot;
    }
    return slot;
}

void Match(BitWriter& bits, int length, int distance) {
    const std::size_t l = Slot(kLengthBase, length);
    Symbol(bits, 257 + static_cast<int>(l));
    bits.Bits(static_cast<std::uint32_t>(length - kLengthBase[l]), kLengthExtra[l]);
    const std::size_t d = Slot(kDistanceBase, distance);
    bits.Code(static_cast<std::uint32_t>(d), 5);
    // Distance codes 4 and up carry (code - 2) / 2 extra bits.
    const int extra = d < 4 ? 0 : static_cast<int>(d / 2 - 1);
    bits.Bits(static_cast<std::uint32_t>(distance - kDistanceBase[d]), extra);
}

// A zlib stream of one fixed-Huffman block. Only two earlier places are tried for a match,
// one pixel back and one row back, which is all an enlarged picture repeats.
std::vector<std::uint8_t> Zlib(const std::vector<std::uint8_t>& data, int pixel, int row) {
    std::vector<std::uint8_t> out{0x78, 0x01};
    BitWriter bits(out);
    bits.Bits(1, 1);  // the last block
    bits.Bits(1, 2);  // fixed codes
    std::size_t at = 0;
    while (at < data.size()) {
        int best = 0;
        int bestDistance = 0;
        for (const int distance : {pixel, row}) {
            if (static_cast<std::size_t>(distance) > at) {
                continue;
            }
            int length = 0;
            while (length < kMaxMatch && at + static_cast<std::size_t>(length) < data.size() &&
                   data[at + static_cast<std::size_t>(length)] ==
                       data[at + static_cast<std::size_t>(length) -
                            static_cast<std::size_t>(distance)]) {
                ++length;
            }
            if (length > best) {
                best = length;
                bestDistance = distance;
            }
        }
        if (best >= kMinMatch) {
            Match(bits, best, bestDistance);
            at += static_cast<std::size_t>(best);
        } else {
            Symbol(bits, data[at++]);
        }
    }
    Symbol(bits, 256);  // end of block
    bits.Flush();
    PutBig32(out, Adler32(data));
    return out;
}

void Chunk(std::vector<std::uint8_t>& out, const char (&type)[5],
           const std::vector<std::uint8_t>& data) {
    PutBig32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, Crc32(std::span(out).subspan(start)));
}

}  // namespace

ParseResult ParseArt(std::string_view text) {
    return Parser().Run(text);
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
        }
    }
    return ~crc;
}

std::uint32_t Adler32(std::span<const std::uint8_t> bytes) {
    constexpr std::uint32_t kModulus = 65521;
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const std::uint8_t byte : bytes) {
        a = (a + byte) % kModulus;
        b = (b + a) % kModulus;
    }
    return b << 16 | a;
}

std::vector<std::uint8_t> EncodePng(const Picture& picture) {
    const auto width = static_cast<std::size_t>(picture.width);
    const std::size_t stride = 1 + 4 * width;
    std::vector<std::uint8_t> raw;
    raw.reserve(stride * static_cast<std::size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < picture.width; ++x) {
            const Pixel pixel = picture.At(x, y);
            if (!pixel) {
                raw.insert(raw.end(), {0, 0, 0, 0});
                continue;
            }
            const Rgb& rgb = Palette()[static_cast<std::size_t>(*pixel)];
            raw.insert(raw.end(), {rgb.red, rgb.green, rgb.blue, 0xFF});
        }
    }
    std::vector<std::uint8_t> out(kPngSignature.begin(), kPngSignature.end());
    std::vector<std::uint8_t> header;
    PutBig32(header, static_cast<std::uint32_t>(picture.width));
    PutBig32(header, static_cast<std::uint32_t>(picture.height));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
    Chunk(out, "IHDR", header);
    Chunk(out, "IDAT", Zlib(raw, 4, static_cast<int>(stride)));
    Chunk(out, "IEND", {});
    return out;
}

Picture Enlarge(const Picture& picture, int n) {
    Picture big;
    big.name = picture.name;
    big.width = picture.width * n;
    big.height = picture.height * n;
    big.pixels.reserve(static_cast<std::size_t>(big.width) * static_cast<std::size_t>(big.height));
    for (int y = 0; y < big.height; ++y) {
        for (int x = 0; x < big.width; ++x) {
            big.pixels.push_back(picture.At(x / n, y / n));
        }
    }
    return big;
}

std::vector<std::uint8_t> EncodeIco(const Picture& picture) {
    return EncodeIco({picture}, 257);
}

std::vector<std::uint8_t> EncodeIco(std::vector<Picture> images, int pngFrom) {
    std::stable_sort(images.begin(), images.end(),
                     [](const Picture& a, const Picture& b) { return a.width < b.width; });
    std::vector<std::vector<std::uint8_t>> data;
    for (const Picture& image : images) {
        data.push_back(image.width >= pngFrom ? EncodePng(image) : BitmapImage(image));
    }
    std::vector<std::uint8_t> out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // an icon, not a cursor
    Put16(out, static_cast<std::uint32_t>(images.size()));
    std::size_t offset = kDirectorySize + kEntrySize * images.size();
    for (std::size_t i = 0; i < images.size(); ++i) {
        const bool png = images[i].width >= pngFrom;
        // A size of 256 is written as 0.
        out.push_back(static_cast<std::uint8_t>(images[i].width & 0xFF));
        out.push_back(static_cast<std::uint8_t>(images[i].height & 0xFF));
        out.push_back(png ? 0 : kPaletteSize);
        out.push_back(0);
        Put16(out, 1);             // planes
        Put16(out, png ? 32 : 4);  // bits per pixel
        Put32(out, static_cast<std::uint32_t>(data[i].size()));
        Put32(out, static_cast<std::uint32_t>(offset));
        offset += data[i].size();
    }
    for (const std::vector<std::uint8_t>& image : data) {
        out.insert(out.end(), image.begin(), image.end());
    }
    return out;
}

namespace {

// Reads one 4-bit image that a directory entry describes; gives the reason when it is not one.
std::string DecodeBitmap(const std::vector<std::uint8_t>& bytes, std::size_t entry,
                         Picture& picture) {
    const int width = bytes[entry] == 0 ? 256 : bytes[entry];
    const int height = bytes[entry + 1] == 0 ? 256 : bytes[entry + 1];
    if (bytes[entry + 2] != kPaletteSize || bytes[entry + 3] != 0 || Get16(bytes, entry + 4) != 1 ||
        Get16(bytes, entry + 6) != 4) {
        return "the directory entry does not describe 16 colours at 4 bits per pixel";
    }
    const std::size_t imageSize = Get32(bytes, entry + 8);
    const std::size_t header = Get32(bytes, entry + 12);
    const std::size_t colourStride = Stride(width, 4);
    const std::size_t maskStride = Stride(width, 1);
    const std::size_t bitsSize = BitsSize(width, height);
    if (imageSize != kHeaderSize + kPaletteBytes + bitsSize) {
        return "the image size does not fit its width and height";
    }
    if (Get32(bytes, header) != kHeaderSize ||
        Get32(bytes, header + 4) != static_cast<std::uint32_t>(width) ||
        Get32(bytes, header + 8) != static_cast<std::uint32_t>(2 * height) ||
        Get16(bytes, header + 12) != 1 || Get16(bytes, header + 14) != 4 ||
        Get32(bytes, header + 16) != 0 || Get32(bytes, header + 20) != bitsSize ||
        Get32(bytes, header + 32) != kPaletteSize) {
        return "the bitmap header does not match the directory entry";
    }
    const std::size_t palette = header + kHeaderSize;
    for (std::size_t i = 0; i < kPaletteSize; ++i) {
        const Rgb& colour = Palette()[i];
        const std::size_t at = palette + 4 * i;
        if (bytes[at] != colour.blue || bytes[at + 1] != colour.green ||
            bytes[at + 2] != colour.red || bytes[at + 3] != 0) {
            return "palette entry " + std::to_string(i) + " is not the standard colour";
        }
    }
    const std::size_t colours = palette + kPaletteBytes;
    const std::size_t mask = colours + colourStride * static_cast<std::size_t>(height);

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
                return "pixel " + std::to_string(x) + "," + std::to_string(y) +
                       " is masked but not black";
            }
            picture.pixels.push_back(transparent ? Pixel{} : Pixel{static_cast<Colour>(index)});
        }
    }
    return {};
}

}  // namespace

DecodeResult DecodeIco(const std::vector<std::uint8_t>& bytes) {
    DecodeResult result;
    const auto fail = [&result](std::string message) {
        result.pictures.clear();
        result.pngWidths.clear();
        result.error = std::move(message);
        return result;
    };
    if (bytes.size() < kDirectorySize + kEntrySize) {
        return fail("shorter than an icon directory");
    }
    const std::size_t count = Get16(bytes, 4);
    if (Get16(bytes, 0) != 0 || Get16(bytes, 2) != 1 || count == 0) {
        return fail("not an icon file");
    }
    // The images follow the directory one after the other, to the end of the file.
    std::size_t next = kDirectorySize + kEntrySize * count;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = kDirectorySize + kEntrySize * i;
        const std::size_t size = next <= bytes.size() ? Get32(bytes, entry + 8) : 0;
        if (next > bytes.size() || Get32(bytes, entry + 12) != next || size > bytes.size() - next ||
            (i + 1 == count && next + size != bytes.size())) {
            return fail("the image's offset and size do not match the file");
        }
        if (size >= kPngSignature.size() &&
            std::equal(kPngSignature.begin(), kPngSignature.end(),
                       bytes.begin() + static_cast<std::ptrdiff_t>(next))) {
            result.pngWidths.push_back(bytes[entry] == 0 ? 256 : bytes[entry]);
        } else {
            Picture picture;
            std::string error = DecodeBitmap(bytes, entry, picture);
            if (!error.empty()) {
                return fail(std::move(error));
            }
            result.pictures.push_back(std::move(picture));
        }
        next += size;
    }
    return result;
}

}  // namespace vantorel::icon_art
