#pragma once
// A fresh directory per test, removed with everything in it when the test ends.

#include <filesystem>
#include <fstream>
#include <random>
#include <string_view>

#include "core/path_text.h"

namespace vantorel::testing_support {

class TempDir {
  public:
    TempDir() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        path_ =
            std::filesystem::temp_directory_path() / ("vantorel-test-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }

    // A subdirectory, created with any parents.
    std::filesystem::path Dir(const std::filesystem::path& name) const {
        std::filesystem::path dir = path_ / name;
        std::filesystem::create_directories(dir);
        return dir;
    }

  private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

// A client directory holding a state file with these bytes.
inline PathString ClientWithState(const TempDir& temp, const std::filesystem::path& name,
                                  std::string_view bytes) {
    const std::filesystem::path dir = temp.Dir(name);
    WriteFile(dir / "State.SAH", bytes);
    return dir.native();
}

}  // namespace vantorel::testing_support
