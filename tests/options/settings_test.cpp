#include "options/settings.h"

#include <gtest/gtest.h>

#include "tests/support/case_name.h"
#include "tests/support/win_test.h"

namespace vantorel {
namespace {

using namespace testing_support;

struct RoundTrip {
    const char* name;
    std::wstring value;
};

class SettingsRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(SettingsRoundTrip, ComesBackCharacterForCharacter) {
    TestRegistry registry;
    RegistrySettings store(HKEY_CURRENT_USER, registry.path());
    ASSERT_TRUE(WriteSetting(store, L"Path1", GetParam().value));
    EXPECT_EQ(ReadSetting(store, L"Path1"), GetParam().value);
    // And it is a plain REG_SZ, as an earlier release would have left it.
    const HKEY key = registry.OpenKey();
    DWORD type = 0;
    ASSERT_EQ(::RegQueryValueExW(key, L"Path1", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

INSTANTIATE_TEST_SUITE_P(Values, SettingsRoundTrip,
                         testing::Values(RoundTrip{"Empty", L""},
                                         RoundTrip{"Plain", L"C:\\seti\\client1"},
                                         RoundTrip{"TrailingBackslash", L"C:\\seti\\"},
                                         RoundTrip{"Blanks", L"  C:\\with blanks\\  "},
                                         RoundTrip{"NonAscii", L"D:\\Z\u00e4hler\\\u03a9\u8a08"},
                                         RoundTrip{"Fraction", L"2.5"}, RoundTrip{"Junk", L"5abc"},
                                         RoundTrip{"Long", std::wstring(16000, L'x')}),
                         CaseName());

TEST(Settings, MissingValuesAndKeysGiveTheirDefaults) {
    TestRegistry registry;
    const RegistrySettings store(HKEY_CURRENT_USER, registry.path());
    EXPECT_EQ(ReadSetting(store, L"Path2"), L"");
    EXPECT_EQ(ReadSetting(store, L"Interval", L"1"), L"1");
    RegistrySettings(HKEY_CURRENT_USER, registry.path()).Write(L"Path2", L"only two");
    EXPECT_EQ(ReadSetting(store, L"Path1"), L"");
    EXPECT_EQ(ReadSetting(store, L"Path2"), L"only two");
    EXPECT_EQ(ReadSetting(store, L"Path3"), L"");
}

struct Foreign {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
};

class ForeignValue : public testing::TestWithParam<Foreign> {};

TEST_P(ForeignValue, ReadsAsEmptyNotAsTheDefaultAndStaysUntouched) {
    TestRegistry registry;
    const HKEY key = registry.OpenKey();
    const std::vector<BYTE>& data = GetParam().data;
    ASSERT_EQ(::RegSetValueExW(key, L"Interval", 0, GetParam().type, data.data(),
                               static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    const RegistrySettings store(HKEY_CURRENT_USER, registry.path());
    EXPECT_EQ(ReadSetting(store, L"Interval", L"1"), L"");
    // Reading wrote nothing back.
    DWORD type = 0;
    DWORD size = 0;
    ::RegQueryValueExW(key, L"Interval", nullptr, &type, nullptr, &size);
    ::RegCloseKey(key);
    EXPECT_EQ(type, GetParam().type);
    EXPECT_EQ(size, data.size());
}

std::vector<BYTE> WideBytes(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

INSTANTIATE_TEST_SUITE_P(Values, ForeignValue,
                         testing::Values(Foreign{"Number", REG_DWORD, {7, 0, 0, 0}},
                                         Foreign{"Expandable", REG_EXPAND_SZ, WideBytes(L"%TEMP%")},
                                         Foreign{"Binary", REG_BINARY, {1, 2, 3}},
                                         Foreign{"Huge", REG_SZ,
                                                 WideBytes(std::wstring(20000, L'9'))}),
                         CaseName());

TEST(Settings, AValueWithoutItsNulOrWithAnInnerNulReadsUpToIt) {
    TestRegistry registry;
    const HKEY key = registry.OpenKey();
    const wchar_t noNul[] = {L'4', L'2'};
    ::RegSetValueExW(key, L"Path1", 0, REG_SZ, reinterpret_cast<const BYTE*>(noNul), sizeof noNul);
    const wchar_t inner[] = {L'a', L'\0', L'b', L'\0'};
    ::RegSetValueExW(key, L"Path2", 0, REG_SZ, reinterpret_cast<const BYTE*>(inner), sizeof inner);
    ::RegCloseKey(key);
    const RegistrySettings store(HKEY_CURRENT_USER, registry.path());
    EXPECT_EQ(ReadSetting(store, L"Path1"), L"42");
    EXPECT_EQ(ReadSetting(store, L"Path2"), L"a");
}

TEST(Settings, AKeyDeletedMeanwhileIsCreatedAgainByTheNextWrite) {
    TestRegistry registry;
    RegistrySettings store(HKEY_CURRENT_USER, registry.path());
    ASSERT_TRUE(store.Write(L"Path1", L"one"));
    ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, registry.path().c_str()), ERROR_SUCCESS);
    EXPECT_EQ(ReadSetting(store, L"Path1"), L"");
    EXPECT_TRUE(store.Write(L"Path1", L"again"));
    EXPECT_EQ(ReadSetting(store, L"Path1"), L"again");
}

TEST(Settings, AWriteTheRegistryRefusesReportsFailure) {
    // The store must say so, not pretend it saved.
    TestRegistry registry;
    RegistrySettings tooLong(HKEY_CURRENT_USER, registry.path() + L"\\" + std::wstring(300, L'k'));
    EXPECT_FALSE(tooLong.Write(L"Path1", L"x")) << "a key name over 255 characters";
    RegistrySettings unopenable(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x12345678)),
                                L"Nowhere");
    EXPECT_FALSE(unopenable.Write(L"Path1", L"x"));
    EXPECT_EQ(unopenable.Read(L"Path1"), std::nullopt);
}

TEST(Settings, TheProgramsOwnKeyIsTheClassicOne) {
    // Settings an earlier release left are read unchanged: same key, same value names.
    EXPECT_STREQ(kSettingsKeyPath, L"Software\\VB and VBA Program Settings\\Vantorel\\Settings");
    // The current user's registry is the test's own key meanwhile: the settings of a meter
    // that the user runs on this machine are not touched.
    TestRegistry registry;
    const HKEY own = registry.OpenKey();
    ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, own), ERROR_SUCCESS);
    const bool written = RegistrySettings().Write(L"Path1", L"written by the tests");
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegCloseKey(own);
    EXPECT_TRUE(written);
    wchar_t text[64] = {};
    DWORD size = sizeof text;
    EXPECT_EQ(
        ::RegGetValueW(HKEY_CURRENT_USER, (registry.path() + L"\\" + kSettingsKeyPath).c_str(),
                       L"Path1", RRF_RT_REG_SZ, nullptr, text, &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(text, L"written by the tests");
}

}  // namespace
}  // namespace vantorel
