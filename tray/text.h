#pragma once
// Conversions between the core's UTF-8 texts and the wide texts of the Win32 API.

#include <string>
#include <string_view>

namespace vantorel {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The text in the system's ANSI code page, as the version-1 tray record carries it; letters
// the code page lacks become its default character.
std::string ToAnsi(std::wstring_view wide);

}  // namespace vantorel
