#pragma once
// The four settings that outlive a run, kept per user where the classic runtime kept
// "application, section, key" values, so settings an earlier release stored are read as they are.

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantorel {

inline constexpr wchar_t kSettingsKeyPath[] =
    L"Software\\VB and VBA Program Settings\\Vantorel\\Settings";
inline constexpr wchar_t kSettingsDisplayPath[] =
    L"HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Vantorel\\Settings";

// Larger stored values are not the meter's own and read as empty.
inline constexpr std::size_t kMaxSettingBytes = std::size_t{32} * 1024;
// The longest text that comes back unchanged: its NUL is stored with it.
inline constexpr std::size_t kMaxSettingChars = kMaxSettingBytes / sizeof(wchar_t) - 1;

inline bool SettingFits(const std::wstring& text) {
    return text.size() <= kMaxSettingChars;
}

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // The text stored under the key, or none when nothing is stored there.
    virtual std::optional<std::wstring> Read(std::wstring_view key) const = 0;
    // Stores the text, creating what is missing; false when the store refused it.
    virtual bool Write(std::wstring_view key, const std::wstring& value) = 0;
};

// The registry of the current user, opened afresh for every read and write.
class RegistrySettings : public SettingsStore {
  public:
    explicit RegistrySettings(HKEY root = HKEY_CURRENT_USER, std::wstring path = kSettingsKeyPath);

    // Missing: none. Not of type REG_SZ, or over kMaxSettingBytes: empty, so a reader that
    // has a default for a missing value does not take it for one that cannot be read.
    std::optional<std::wstring> Read(std::wstring_view key) const override;
    bool Write(std::wstring_view key, const std::wstring& value) override;

  private:
    HKEY root_;
    std::wstring path_;
};

std::wstring ReadSetting(const SettingsStore& store, std::wstring_view key,
                         std::wstring_view fallback = {});
bool WriteSetting(SettingsStore& store, std::wstring_view key, const std::wstring& value);

}  // namespace vantorel
