// The art text: the 16-colour palette, the parser that turns text pixel art into pictures
// (its format is in icon_art.h), and enlarging a picture.
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

}  // namespace

ParseResult ParseArt(std::string_view text) {
    return Parser().Run(text);
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

}  // namespace vantorel::icon_art
