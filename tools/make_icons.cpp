// make_icons [--check] DIR ART...: turns the text pixel art into DIR/<picture name>.ico, one file
// per picture name with every size the art draws of it, smallest first. The program's icon,
// DIR/Program.ico, is Dish2 at every drawn size and enlarged for Explorer's large views. With
// --check nothing is written; it fails when a file in DIR is missing or holds anything but what
// the art yields, so committed icons cannot drift from their art.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/icon_art.h"
#include "tools/icon_ico.h"

namespace {

namespace art = vantorel::icon_art;

constexpr const char* kProgramIcon = "Program";
constexpr const char* kProgramPicture = "Dish2";
// Explorer's large views; these sizes are enlargements of a drawn size that divides them.
constexpr int kEnlargedSizes[] = {64, 256};
// Sizes from here up are stored as PNG, so the largest costs little in the program.
constexpr int kPngFrom = 256;

std::optional<std::vector<std::uint8_t>> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

std::string SizeText(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// Why a file is not what the art yields, put so that the person who edited either can see it.
std::string Difference(std::vector<art::Picture> wanted, const std::vector<std::uint8_t>& found) {
    const art::DecodeResult decoded = art::DecodeIco(found);
    if (!decoded.error.empty()) {
        return decoded.error;
    }
    std::erase_if(wanted, [](const art::Picture& p) { return p.width >= kPngFrom; });
    std::sort(wanted.begin(), wanted.end(),
              [](const art::Picture& a, const art::Picture& b) { return a.width < b.width; });
    if (decoded.pictures.size() != wanted.size()) {
        return "it has " + std::to_string(decoded.pictures.size()) + " sizes, not " +
               std::to_string(wanted.size());
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const art::Picture& want = wanted[i];
        const art::Picture& have = decoded.pictures[i];
        if (have.width != want.width || have.height != want.height) {
            return "it has " + SizeText(have.width, have.height) + " where the art has " +
                   SizeText(want.width, want.height);
        }
        for (int y = 0; y < want.height; ++y) {
            for (int x = 0; x < want.width; ++x) {
                if (have.At(x, y) != want.At(x, y)) {
                    return "pixel " + std::to_string(x) + "," + std::to_string(y) + " of the " +
                           SizeText(want.width, want.height) + " differs";
                }
            }
        }
    }
    return "its bytes differ";
}

// Dish2 at every drawn size, and each enlarged size made from the largest drawn size that
// divides it.
std::vector<art::Picture> ProgramImages(const std::vector<art::Picture>& drawn) {
    std::vector<art::Picture> images = drawn;
    for (const int size : kEnlargedSizes) {
        const art::Picture* source = nullptr;
        for (const art::Picture& picture : drawn) {
            if (picture.width == picture.height && size % picture.width == 0 &&
                (source == nullptr || picture.width > source->width)) {
                source = &picture;
            }
        }
        if (source != nullptr) {
            images.push_back(art::Enlarge(*source, size / source->width));
        }
    }
    return images;
}

int Run(const std::vector<std::string>& args) {
    std::size_t next = 0;
    const bool check = !args.empty() && args[0] == "--check";
    if (check) {
        ++next;
    }
    if (args.size() < next + 2) {
        std::fputs("usage: make_icons [--check] DIR ART...\n", stderr);
        return 2;
    }
    const std::filesystem::path dir = args[next++];
    std::string again = "make_icons " + dir.string();
    int status = 0;
    std::map<std::string, std::vector<art::Picture>> icons;
    for (; next < args.size(); ++next) {
        const std::string& artPath = args[next];
        again += " " + artPath;
        const std::optional<std::vector<std::uint8_t>> text = ReadFile(artPath);
        if (!text) {
            std::fprintf(stderr, "%s: cannot be read\n", artPath.c_str());
            status = 1;
            continue;
        }
        const art::ParseResult parsed = art::ParseArt(
            std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
        if (!parsed.ok()) {
            std::fprintf(stderr, "%s: %s\n", artPath.c_str(), parsed.error.c_str());
            status = 1;
            continue;
        }
        for (const art::Picture& picture : parsed.pictures) {
            std::vector<art::Picture>& sizes = icons[picture.name];
            for (const art::Picture& other : sizes) {
                if (other.width == picture.width) {
                    std::fprintf(stderr, "%s: a second %s picture of width %d\n", artPath.c_str(),
                                 picture.name.c_str(), picture.width);
                    status = 1;
                }
            }
            sizes.push_back(picture);
        }
    }
    if (status != 0) {
        return status;
    }
    if (const auto dish = icons.find(kProgramPicture); dish != icons.end()) {
        icons[kProgramIcon] = ProgramImages(dish->second);
    }
    for (const auto& [name, images] : icons) {
        const std::filesystem::path icon = dir / (name + ".ico");
        const std::vector<std::uint8_t> bytes = art::EncodeIco(images, kPngFrom);
        if (!check) {
            if (!WriteFile(icon, bytes)) {
                std::fprintf(stderr, "%s: cannot be written\n", icon.c_str());
                status = 1;
            }
            continue;
        }
        const std::optional<std::vector<std::uint8_t>> committed = ReadFile(icon);
        if (!committed) {
            std::fprintf(stderr, "%s: missing; run %s\n", icon.c_str(), again.c_str());
            status = 1;
        } else if (*committed != bytes) {
            std::fprintf(stderr, "%s: not what the art yields (%s); run %s\n", icon.c_str(),
                         Difference(images, *committed).c_str(), again.c_str());
            status = 1;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
