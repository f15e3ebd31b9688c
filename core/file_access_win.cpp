#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>

#include "core/file_access.h"

namespace vantorel {
namespace {

class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

}  // namespace

std::optional<std::string_view> ReadFilePrefix(const PathString& path, std::span<char> buffer) {
    const FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    // A pipe or a device would block a synchronous read; only disk files are read.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    const DWORD wanted =
        static_cast<DWORD>(std::min<std::size_t>(buffer.size(), std::size_t{1} << 30));
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer.data(), wanted, &got, nullptr)) {
        return std::nullopt;
    }
    return std::string_view(buffer.data(), got);
}

}  // namespace vantorel
