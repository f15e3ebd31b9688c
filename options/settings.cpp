#include "options/settings.h"

#include <vector>

#include "tray/handles.h"

namespace vantorel {

RegistrySettings::RegistrySettings(HKEY root, std::wstring path)
    : root_(root), path_(std::move(path)) {}

std::optional<std::wstring> RegistrySettings::Read(std::wstring_view key) const {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const UniqueKey settings(opened);
    const std::wstring name(key);
    // The value may change between asking for its size and reading it: ask again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD bytes = 0;
        if (::RegQueryValueExW(settings.get(), name.c_str(), nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        if (type != REG_SZ || bytes > kMaxSettingBytes) {
            return std::wstring();
        }
        std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD got = bytes;
        const LSTATUS status = ::RegQueryValueExW(settings.get(), name.c_str(), nullptr, &type,
                                                  reinterpret_cast<BYTE*>(data.data()), &got);
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return std::nullopt;
        }
        if (type != REG_SZ) {
            return std::wstring();
        }
        // Stored with or without its terminating NUL; the text ends at the first one.
        std::wstring text(data.data(), got / sizeof(wchar_t));
        if (const std::size_t nul = text.find(L'\0'); nul != std::wstring::npos) {
            text.resize(nul);
        }
        return text;
    }
    return std::wstring();  // there, but never still long enough to read
}

bool RegistrySettings::Write(std::wstring_view key, const std::wstring& value) {
    HKEY created = nullptr;
    if (::RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &created,
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueKey settings(created);
    const std::wstring name(key);
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(settings.get(), name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
}

std::wstring ReadSetting(const SettingsStore& store, std::wstring_view key,
                         std::wstring_view fallback) {
    std::optional<std::wstring> value = store.Read(key);
    return value ? std::move(*value) : std::wstring(fallback);
}

bool WriteSetting(SettingsStore& store, std::wstring_view key, const std::wstring& value) {
    return store.Write(key, value);
}

}  // namespace vantorel
