// make_icons [--check] DIR ART...: turns the text pixel art into DIR/<picture name>.ico, one file
// per picture. With --check nothing is written; it fails when a file in DIR is missing or holds
// anything but what the art yields, so committed icons cannot drift from their art.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tools/icon_art.h"

namespace {

namespace art = vantorel::icon_art;

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

// Why a file is not what the art yields, put so that the person who edited either can see it.
std::string Difference(const art::Picture& wanted, const std::vector<std::uint8_t>& found) {
    const art::DecodeResult decoded = art::DecodeIco(found);
    if (!decoded.picture) {
        return decoded.error;
    }
    const art::Picture& have = *decoded.picture;
    if (have.width != wanted.width || have.height != wanted.height) {
        return "it is " + std::to_string(have.width) + "x" + std::to_string(have.height);
    }
    for (int y = 0; y < wanted.height; ++y) {
        for (int x = 0; x < wanted.width; ++x) {
            if (have.At(x, y) != wanted.At(x, y)) {
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs";
            }
        }
    }
    return "its bytes differ";
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
    int status = 0;
    for (; next < args.size(); ++next) {
        const std::string& artPath = args[next];
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
            const std::filesystem::path icon = dir / (picture.name + ".ico");
            const std::vector<std::uint8_t> bytes = art::EncodeIco(picture);
            if (!check) {
                if (!WriteFile(icon, bytes)) {
                    std::fprintf(stderr, "%s: cannot be written\n", icon.c_str());
                    status = 1;
                }
                continue;
            }
            const std::optional<std::vector<std::uint8_t>> committed = ReadFile(icon);
            if (!committed) {
                std::fprintf(stderr, "%s: missing; run make_icons %s %s\n", icon.c_str(),
                             dir.c_str(), artPath.c_str());
                status = 1;
            } else if (*committed != bytes) {
                std::fprintf(stderr, "%s: not what %s yields (%s); run make_icons %s %s\n",
                             icon.c_str(), artPath.c_str(), Difference(picture, *committed).c_str(),
                             dir.c_str(), artPath.c_str());
                status = 1;
            }
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
