#pragma once
// Read-only access to a client's file: the one place of the core that talks to the
// operating system. The open shares read, write and delete, so the client may rewrite,
// truncate, rename or delete its file at any moment; nothing here writes or locks it.

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "core/path_text.h"

namespace vantorel {

// Opens the file, reads once into the buffer and closes it again on every path. Gives the
// bytes read (empty for an empty file), or no value when the open or the read fails. Neither
// blocks on a pipe or a device standing where the file should be: on Windows only disk files
// are read, elsewhere the open does not wait.
std::optional<std::string_view> ReadFilePrefix(const PathString& path, std::span<char> buffer);

}  // namespace vantorel
