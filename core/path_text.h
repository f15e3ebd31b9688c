#pragma once
// Directory texts in the platform's own wide or narrow form, so a directory with any
// letters reaches the file system unchanged: UTF-16 on Windows, bytes (UTF-8) elsewhere.

#include <string>

namespace vantorel {

#ifdef _WIN32
using PathChar = wchar_t;
#define VANTOREL_PATH(text) L##text
#else
using PathChar = char;
#define VANTOREL_PATH(text) text
#endif

using PathString = std::basic_string<PathChar>;

#ifdef _WIN32
inline constexpr PathChar kPathSeparator = L'\\';
#else
inline constexpr PathChar kPathSeparator = '/';
#endif

}  // namespace vantorel
