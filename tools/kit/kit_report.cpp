// kit-report: the runner and reporter of the Windows test kit, so that run-tests.cmd needs no
// XML in batch. Called as
//   kit-report start             before the first program: the old report goes
//   kit-report run NAME          runs bin\NAME.exe with GoogleTest's XML output in results
//   kit-report report NAME...    writes report.txt beside run-tests.cmd and prints it
// A program that does not start, crashes, hangs, or leaves no results counts as failed, and
// the report's exit status is 0 only when every program passed.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Under Wine the whole kit takes about a minute; a program still running after this hangs.
constexpr DWORD kTimeLimitMs = 15 * 60 * 1000;
// Where the tests keep their settings: one subkey per test, each removed by its test.
constexpr wchar_t kTestsKey[] = L"Software\\Vantorel Tests";

std::wstring Widen(std::string_view utf8) {
    std::wstring wide(utf8.size(), L'\0');
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                             wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    std::string narrow(wide.size() * 3, '\0');
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(),
                              static_cast<int>(narrow.size()), nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return narrow;
}

// The kit's folder: the one above bin\, where this program lives.
std::wstring KitFolder() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    for (int up = 0; up < 2; ++up) {
        path.resize(std::min(path.size(), path.find_last_of(L'\\')));
    }
    return path;
}

std::wstring ResultFile(const std::wstring& program, const wchar_t* extension) {
    return KitFolder() + L"\\results\\" + program + extension;
}

std::optional<std::string> ReadWhole(const std::wstring& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    ::CloseHandle(file);
    return bytes;
}

bool WriteWhole(const std::wstring& path, std::string_view bytes) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    return ::CloseHandle(file) && ok;
}

// To a console as its own text, so any letter shows; to a pipe or file as UTF-8.
void Print(std::string_view utf8) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(out, &mode)) {
        const std::wstring wide = Widen(utf8);
        ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        ::WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
}

std::string ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text != nullptr ? Narrow(text) : std::string();
    ::LocalFree(text);
    // Some messages leave a place for the file's name.
    if (const std::size_t place = message.find("%1"); place != std::string::npos) {
        message.replace(place, 2, "the program");
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return "error " + std::to_string(error) + (message.empty() ? "" : " (" + message + ")");
}

// --- the system ------------------------------------------------------------------------

std::wstring RegistryText(const wchar_t* name) {
    wchar_t text[256] = {};
    DWORD size = sizeof text;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", name,
                       RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
        return {};
    }
    return text;
}

std::string WindowsVersion() {
    // GetVersionEx answers what the manifest lets it; RtlGetVersion tells the truth.
    using GetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto getVersion = reinterpret_cast<GetVersionFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (getVersion == nullptr || getVersion(&info) != 0) {
        return "unknown";
    }
    std::string text = std::to_string(info.dwMajorVersion) + "." +
                       std::to_string(info.dwMinorVersion) + " build " +
                       std::to_string(info.dwBuildNumber);
    DWORD revision = 0;
    DWORD size = sizeof revision;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                       L"UBR", RRF_RT_REG_DWORD, nullptr, &revision, &size) == ERROR_SUCCESS) {
        text += "." + std::to_string(revision);
    }
    std::wstring product = RegistryText(L"ProductName");
    // Windows 11 still calls itself Windows 10 there.
    if (info.dwBuildNumber >= 22000 && product.rfind(L"Windows 10", 0) == 0) {
        product.replace(8, 2, L"11");
    }
    std::wstring release = RegistryText(L"DisplayVersion");
    if (release.empty()) {
        release = RegistryText(L"ReleaseId");
    }
    std::wstring name = product;
    for (const std::wstring& part : {release, std::wstring(info.szCSDVersion)}) {
        if (!part.empty()) {
            name += (name.empty() ? L"" : L" ") + part;
        }
    }
    if (!name.empty()) {
        text += " (" + Narrow(name) + ")";
    }
    using WineVersionFunction = const char*(CDECL*)();
    const auto wineVersion = reinterpret_cast<WineVersionFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "wine_get_version")));
    if (wineVersion != nullptr) {
        text += ", under Wine " + std::string(wineVersion());
    }
    return text;
}

std::string SystemFacts() {
    const HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    wchar_t decimal[16] = {};
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 16);
    ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SNAME, locale, LOCALE_NAME_MAX_LENGTH);
    return "Windows: " + WindowsVersion() + "\n" + "System DPI: " + std::to_string(dpi) + " (" +
           std::to_string(dpi * 100 / 96) + " %)\n" +
           "ANSI code page: " + std::to_string(::GetACP()) + "\n" + "Decimal symbol: \"" +
           Narrow(decimal) + "\" (user locale " + Narrow(locale) + ")\n";
}

// --- results -------------------------------------------------------------------------------

struct Suite {
    std::string name;
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    std::vector<std::string> failures;  // the failed tests, or what became of the program
    std::vector<std::string> skips;     // each skipped test with its reason
};

std::string Unescape(std::string_view text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t end = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
        if (end == std::string_view::npos) {
            plain += text[i];
            continue;
        }
        const std::string_view entity = text.substr(i + 1, end - i - 1);
        if (entity == "lt") {
            plain += '<';
        } else if (entity == "gt") {
            plain += '>';
        } else if (entity == "amp") {
            plain += '&';
        } else if (entity == "quot") {
            plain += '"';
        } else if (entity == "apos") {
            plain += '\'';
        } else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            const unsigned long code = std::strtoul(std::string(entity.substr(hex ? 2 : 1)).c_str(),
                                                    nullptr, hex ? 16 : 10);
            plain += Narrow(std::wstring(1, static_cast<wchar_t>(code)));
        } else {
            plain += text.substr(i, end - i + 1);
        }
        i = end;
    }
    return plain;
}

// The value of one attribute of a tag, or "" where the tag has none.
std::string Attribute(std::string_view tag, std::string_view name) {
    const std::string key = " " + std::string(name) + "=\"";
    const std::size_t start = tag.find(key);
    if (start == std::string_view::npos) {
        return {};
    }
    const std::size_t from = start + key.size();
    return Unescape(tag.substr(from, tag.find('"', from) - from));
}

void CountTests(std::string_view xml, Suite& suite) {
    std::size_t at = 0;
    while ((at = xml.find("<testcase ", at)) != std::string_view::npos) {
        const std::size_t tagEnd = xml.find('>', at);
        if (tagEnd == std::string_view::npos) {
            break;
        }
        const std::string_view tag = xml.substr(at, tagEnd - at);
        std::string_view body;
        if (tag.back() != '/') {
            body = xml.substr(tagEnd, xml.find("</testcase>", tagEnd) - tagEnd);
        }
        at = tagEnd;
        if (Attribute(tag, "status") == "notrun") {
            continue;
        }
        const std::string test = Attribute(tag, "classname") + "." + Attribute(tag, "name");
        if (body.find("<failure") != std::string_view::npos) {
            ++suite.failed;
            suite.failures.push_back(test);
        } else if (Attribute(tag, "result") == "skipped" ||
                   body.find("<skipped") != std::string_view::npos) {
            ++suite.skipped;
            // GoogleTest writes the place of the skip first, then its reason.
            const std::size_t skip = body.find("<skipped");
            std::string why;
            if (skip != std::string_view::npos) {
                why = Attribute(body.substr(skip, body.find('>', skip) - skip), "message");
                why.erase(0, why.find('\n') == std::string::npos ? 0 : why.find('\n') + 1);
            }
            suite.skips.push_back(test + ": " + (why.empty() ? "no reason given" : why));
        } else {
            ++suite.passed;
        }
    }
}

std::string ExitText(const std::string& outcome) {
    const unsigned long code = std::strtoul(outcome.c_str(), nullptr, 10);
    if (code < 0xC0000000UL) {
        return "exit code " + outcome;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", code);
    return std::string("exit code ") + hex + " (a crash)";
}

Suite Collect(const std::wstring& program) {
    Suite suite;
    suite.name = Narrow(program);
    std::string problem;
    const std::optional<std::string> outcome = ReadWhole(ResultFile(program, L".exit"));
    const std::optional<std::string> xml = ReadWhole(ResultFile(program, L".xml"));
    if (xml) {
        CountTests(*xml, suite);
    }
    if (!outcome) {
        problem = "did not run";
    } else if (*outcome == "timeout") {
        problem = "still running after " + std::to_string(kTimeLimitMs / 60000) +
                  " minutes, so it was stopped";
    } else if (outcome->rfind("could not start", 0) == 0) {
        problem = *outcome;
    } else if (!xml) {
        problem = "ended with " + ExitText(*outcome) + " before it wrote its results";
    } else if (suite.passed + suite.failed + suite.skipped == 0) {
        problem = "ran no test";
    } else if (*outcome != "0" && suite.failed == 0) {
        problem = "ended with " + ExitText(*outcome) + " though no test failed";
    }
    if (!problem.empty()) {
        ++suite.failed;
        suite.failures.push_back("the program " + problem);
    }
    return suite;
}

std::string SuiteLine(const Suite& suite) {
    return suite.name + ": " + std::to_string(suite.passed) + " passed, " +
           std::to_string(suite.failed) + " failed, " + std::to_string(suite.skipped) + " skipped";
}

// --- the steps ---------------------------------------------------------------------------

int Start() {
    ::DeleteFileW((KitFolder() + L"\\report.txt").c_str());
    Print(
        "Vantorel tests: a few minutes. Leave the mouse and the keyboard alone meanwhile:\n"
        "some tests press keys and move the pointer as a user would.\n\n");
    return 0;
}

int Run(const std::wstring& program) {
    const std::wstring results = KitFolder() + L"\\results";
    ::CreateDirectoryW(results.c_str(), nullptr);
    const std::wstring xml = ResultFile(program, L".xml");
    ::DeleteFileW(xml.c_str());
    ::DeleteFileW(ResultFile(program, L".exit").c_str());

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE log =
        ::CreateFileW(ResultFile(program, L".log").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                      &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE nothing = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = log;
    startup.hStdError = log;
    const std::wstring path = KitFolder() + L"\\bin\\" + program + L".exe";
    std::wstring commandLine = L"\"" + path + L"\" \"--gtest_output=xml:" + xml + L"\"";
    PROCESS_INFORMATION process{};
    const ULONGLONG began = ::GetTickCount64();
    std::string outcome;
    // Started in the results folder, so that nothing a test leaves lands anywhere else.
    if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          results.c_str(), &startup, &process)) {
        outcome = "could not start: " + ErrorText(::GetLastError());
    } else {
        if (::WaitForSingleObject(process.hProcess, kTimeLimitMs) == WAIT_TIMEOUT) {
            ::TerminateProcess(process.hProcess, 1);
            ::WaitForSingleObject(process.hProcess, 10000);
            outcome = "timeout";
        } else {
            DWORD code = 0;
            ::GetExitCodeProcess(process.hProcess, &code);
            outcome = std::to_string(code);
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(log);
    ::CloseHandle(nothing);
    WriteWhole(ResultFile(program, L".exit"), outcome);
    Print(SuiteLine(Collect(program)) + " (" + std::to_string((::GetTickCount64() - began) / 1000) +
          " s)\n");
    return 0;
}

// Only when run-tests.cmd was double-clicked: then the console is its own (no process but cmd
// and this one in it) and would close with it. From a prompt, in PowerShell, or with no
// console for input (CI), nothing waits. cmd's own command line tells a double-click, "/c",
// from a prompt that ran the file, where Windows gives it (Wine's cmd gives none).
void WaitForAKeyIfTheWindowIsOurs() {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    DWORD processes[4];
    if (!::GetConsoleMode(input, &mode) || ::GetConsoleProcessList(processes, 4) > 2) {
        return;
    }
    wchar_t commandLine[4096] = {};
    ::GetEnvironmentVariableW(L"KIT_CMDLINE", commandLine, 4096);
    ::CharLowerW(commandLine);
    const std::wstring_view cmd(commandLine);
    if (!cmd.empty() && cmd.find(L" /c ") == std::wstring_view::npos) {
        return;
    }
    Print("\nPress any key to close this window.\n");
    // Keys the tests pressed may wait in the console's input: they must not close it.
    ::FlushConsoleInputBuffer(input);
    INPUT_RECORD record{};
    DWORD read = 0;
    while (::ReadConsoleInputW(input, &record, 1, &read) && read == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) {
            break;
        }
    }
}

int Report(const std::vector<std::wstring>& programs) {
    std::string report = "Vantorel tests on Windows\n\n" + SystemFacts() + "\n";
    std::string failures;
    std::string skips;
    Suite total;
    total.name = "Total";
    for (const std::wstring& program : programs) {
        const Suite suite = Collect(program);
        report += SuiteLine(suite) + "\n";
        total.passed += suite.passed;
        total.failed += suite.failed;
        total.skipped += suite.skipped;
        for (const std::string& failure : suite.failures) {
            failures += "  " + suite.name + ": " + failure + "\n";
        }
        for (const std::string& skip : suite.skips) {
            skips += "  " + suite.name + ": " + skip + "\n";
        }
    }
    report += SuiteLine(total) + "\n";
    if (!failures.empty()) {
        report += "\nFailed:\n" + failures;
    }
    if (!skips.empty()) {
        report += "\nSkipped, and why:\n" + skips;
    }
    report += total.failed == 0 ? "\nEverything passed.\n"
                                : "\nSome tests failed: please send report.txt and the results "
                                  "folder (see README.TXT).\n";

    // The tests remove their own keys; the one that held them goes too, with whatever a test
    // that crashed left in it.
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kTestsKey);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kTestsKey);

    // CR LF and a byte order mark, so that Notepad shows it as it is on every Windows.
    std::string file = "\xEF\xBB\xBF";
    for (const char c : report) {
        file += c == '\n' ? "\r\n" : std::string(1, c);
    }
    const bool written = WriteWhole(KitFolder() + L"\\report.txt", file);
    Print("\n" + report);
    if (!written) {
        Print("report.txt could not be written beside run-tests.cmd.\n");
    }
    WaitForAKeyIfTheWindowIsOurs();
    return total.failed == 0 && written ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The true system DPI, not the 96 that Windows shows programs unaware of it.
    ::SetProcessDPIAware();
    const std::wstring_view step = argc > 1 ? argv[1] : L"";
    if (step == L"start" && argc == 2) {
        return Start();
    }
    if (step == L"run" && argc == 3) {
        return Run(argv[2]);
    }
    if (step == L"report" && argc > 2) {
        return Report(std::vector<std::wstring>(argv + 2, argv + argc));
    }
    std::fputs("usage: kit-report start | run PROGRAM | report PROGRAM...\n", stderr);
    return 2;
}
