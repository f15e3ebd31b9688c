// What the world can do to the meter: a client writing while it reads, paths that are not
// client directories, a registry that misbehaves and a shell that is not there yet.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/state_file.h"
#include "options/frm_options.h"
#include "tests/support/case_name.h"
#include "tests/support/temp_dir.h"
#include "tests/support/win_test.h"
#include "tray/text.h"

namespace vantorel {
namespace {

using namespace testing_support;

// The client's side of the race: the operations a client (or a user copying files) does to
// its state file. Windows lets no one replace or re-create a file while any handle to it is
// open, so a rename over the file, or a create right after a delete, can meet the meter in
// the moment of its one read; those are tried again, and counted. Everything else must work
// at the first try.
class Client {
  public:
    explicit Client(std::wstring dir) : dir_(std::move(dir)), file_(dir_ + L"\\State.SAH") {}

    // One operation, chosen by step; gives the failing call's name, or nothing.
    const char* Step(unsigned step) {
        const std::string value = "prog=" + Fraction(step) + ",more=1\r\n";
        switch (step % 5) {
            case 0:  // rewrite in place, as the C runtime's "w" mode does
                return Write(file_, value, CREATE_ALWAYS) ? nullptr : "rewrite";
            case 1:  // truncate to nothing, then write again
                if (!Write(file_, "", TRUNCATE_EXISTING)) {
                    return "truncate";
                }
                return Write(file_, value, OPEN_EXISTING) ? nullptr : "write after truncate";
            case 2:  // grow: more fields after the first
                return Write(file_, std::string(4000, 'x') + "\r\n", OPEN_EXISTING,
                             FILE_APPEND_DATA)
                           ? nullptr
                           : "grow";
            case 3: {  // write a new file beside it and rename it over the old one
                const std::wstring fresh = dir_ + L"\\State.new";
                if (!Write(fresh, value, CREATE_ALWAYS)) {
                    return "write new";
                }
                return Retried([&] {
                    return ::MoveFileExW(fresh.c_str(), file_.c_str(), MOVEFILE_REPLACE_EXISTING) !=
                           FALSE;
                })
                           ? nullptr
                           : "rename over";
            }
            default:  // delete, then start afresh
                if (!::DeleteFileW(file_.c_str())) {
                    return "delete";
                }
                return Retried([&] { return Write(file_, value, CREATE_NEW); })
                           ? nullptr
                           : "create after delete";
        }
    }

    unsigned collisions = 0;  // tries that met an open handle
    DWORD longestWaitMs = 0;

  private:
    // Tries again while the file is held, for at most a second: far longer than one read.
    template <typename Operation>
    bool Retried(Operation operation) {
        const DWORD start = ::GetTickCount();
        while (!operation()) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
                error != ERROR_FILE_EXISTS) {
                return false;
            }
            ++collisions;
            if (::GetTickCount() - start > 1000) {
                return false;
            }
            ::Sleep(0);
        }
        longestWaitMs = std::max(longestWaitMs, ::GetTickCount() - start);
        return true;
    }

    static std::string Fraction(unsigned step) {
        const unsigned thousandths = (step * 37) % 1001;
        char text[16];
        std::snprintf(text, sizeof text, "%u.%05u", thousandths / 1000, thousandths % 1000 * 100);
        return text;
    }

    // Clients open their file as the C runtime does: others may read and write it.
    static bool Write(const std::wstring& path, const std::string& bytes, DWORD disposition,
                      DWORD access = GENERIC_WRITE) {
        const HANDLE file = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        DWORD written = 0;
        const BOOL ok =
            bytes.empty() ||
            ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        const DWORD error = ::GetLastError();
        ::CloseHandle(file);
        ::SetLastError(error);
        return ok && (bytes.empty() || written == bytes.size());
    }

    std::wstring dir_;
    std::wstring file_;
};

// Every percentage of a tip such as "47.30% \ 100.00%" lies within 0 to 100.
bool TipWithinRange(const std::string& tip) {
    std::size_t start = 0;
    while (start < tip.size()) {
        std::size_t end = tip.find(" \\ ", start);
        if (end == std::string::npos) {
            end = tip.size();
        }
        const std::string piece = tip.substr(start, end - start);
        if (piece.empty() && start == 0) {  // the first client had no value
            start = end + 3;
            continue;
        }
        if (piece.size() < 4 || piece.back() != '%') {
            return false;
        }
        const double percent =
            std::strtod(("0" + piece.substr(0, piece.size() - 1)).c_str(), nullptr);
        if (!(percent >= 0.0 && percent <= 100.0)) {
            return false;
        }
        start = end + 3;
    }
    return true;
}

TEST(ClientRace, EveryTickReadsAValueOrNoneAndTheClientNeverFails) {
    OptionsRig rig;
    TempDir temp;
    std::array<std::wstring, 3> dirs;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        dirs[i] = ClientWithState(temp, "client" + std::to_string(i), "prog=0.00000\r\n");
        Store(rig.registry, (L"Path" + std::to_wstring(i + 1)).c_str(), dirs[i]);
    }
    FrmOptions frm(rig.Services());
    frm.Start();

    constexpr unsigned kSteps = 3000;
    std::atomic<bool> done{false};
    std::string failure;
    unsigned failedStep = 0;
    std::array<Client, 3> clients{Client(dirs[0]), Client(dirs[1]), Client(dirs[2])};
    std::thread writer([&] {
        for (unsigned step = 0; step < kSteps && failure.empty(); ++step) {
            if (const char* failed = clients[step % 3].Step(step / 3)) {
                failure =
                    std::string(failed) + " failed with error " + std::to_string(::GetLastError());
                failedStep = step;
            }
        }
        done = true;
    });

    unsigned ticks = 0;
    unsigned badTips = 0;
    std::string badTip;
    while (!done) {
        Tick(frm);
        ++ticks;
        const std::string tip = TipText(rig.shell.Last().record);
        if (!TipWithinRange(tip) && !tip.empty()) {
            ++badTips;
            badTip = tip;
        }
    }
    writer.join();

    EXPECT_EQ(failure, "") << "at step " << failedStep;
    EXPECT_EQ(badTips, 0u) << "for instance \"" << badTip << "\"";
    EXPECT_GT(ticks, 10u) << "the ticks ran alongside the writer";
    EXPECT_TRUE(rig.told.texts.empty());
    unsigned collisions = 0;
    DWORD longestWaitMs = 0;
    for (const Client& client : clients) {
        collisions += client.collisions;
        longestWaitMs = std::max(longestWaitMs, client.longestWaitMs);
    }
    std::printf(
        "%u client operations, %u ticks alongside; %u renames or re-creates met a read "
        "and went through at a later try, after at most %lu ms\n",
        kSteps, ticks, collisions, longestWaitMs);
}

struct OddPath {
    const char* name;
    // Builds the directory text from a scratch folder.
    std::wstring (*make)(const TempDir& temp);
    std::optional<double> value = std::nullopt;
};

std::wstring Scratch(const TempDir& temp) {
    return temp.path().native();
}

const OddPath kOddPaths[] = {
    {"DirectoryThatIsAFile",
     [](const TempDir& temp) {
         WriteFile(temp.path() / "plain.txt", "prog=0.50000\r\n");
         return Scratch(temp) + L"\\plain.txt";
     }},
    {"StateFileThatIsADirectory",
     [](const TempDir& temp) {
         temp.Dir("client/State.SAH");
         return Scratch(temp) + L"\\client";
     }},
    {"PathBeyondMaxPath",
     [](const TempDir& temp) { return Scratch(temp) + std::wstring(300, L'a'); }},
    {"PathOfFortyThousandCharacters",
     [](const TempDir& temp) { return Scratch(temp) + L"\\" + std::wstring(40000, L'b'); }},
    {"LongPathPrefixToNothing",
     [](const TempDir& temp) { return L"\\\\?\\" + Scratch(temp) + L"\\missing"; }},
    {"LongPathPrefixWithClosingBackslash",
     [](const TempDir& t) { return L"\\\\?\\" + ClientWithState(t, "v", "prog=0.5\r\n") + L"\\"; },
     0.5},
    {"DeviceNul", [](const TempDir&) { return std::wstring(L"NUL"); }},
    {"DeviceCon", [](const TempDir&) { return std::wstring(L"CON"); }},
    {"DeviceNamespace", [](const TempDir&) { return std::wstring(L"\\\\.\\NUL"); }},
    {"PipeNamespaceWithoutServer", [](const TempDir&) { return std::wstring(L"\\\\.\\pipe"); }},
    {"Volume", [](const TempDir&) { return std::wstring(L"\\\\.\\C:"); }},
    // TEST-NET-1: reserved for documentation, never answers.
    {"NetworkPathThatDoesNotAnswer",
     [](const TempDir&) { return std::wstring(L"\\\\192.0.2.1\\share"); }},
    {"WildcardsAndBadCharacters", [](const TempDir&) { return std::wstring(L"C:\\*?<>|"); }},
    {"Blanks", [](const TempDir&) { return std::wstring(L"   "); }},
    {"QuotedByCopyAsPath",
     [](const TempDir& t) { return L"\"" + ClientWithState(t, "q", "prog=0.5\r\n") + L"\""; }, 0.5},
};

class OddPathTest : public testing::TestWithParam<OddPath> {};

TEST_P(OddPathTest, GivesItsValueOrNoneAndNoMessage) {
    TempDir temp;
    const std::wstring dir = GetParam().make(temp);
    EXPECT_EQ(ReadClientProgress(dir), GetParam().value);

    // The same through the window: the client is left out, the others still count.
    OptionsRig rig;
    const std::wstring good = ClientWithState(temp, "good", "prog=0.25000\r\n");
    FrmOptions frm(rig.Services());
    frm.Start();
    frm.Paths()[0].SetText(dir);
    frm.Paths()[1].SetText(good);
    const std::wstring designCaption = frm.Menu().ProgressCaption(0);
    Tick(frm);
    // The separator follows the index, so a first client without a value leaves it leading.
    EXPECT_EQ(TipText(rig.shell.Last().record),
              GetParam().value ? "50.00% \\ 25.00%" : " \\ 25.00%");
    EXPECT_EQ(frm.Menu().ProgressCaption(0), GetParam().value ? L"Progress: 50.00%" : designCaption)
        << "a client without a value keeps its line";
    EXPECT_EQ(frm.Menu().ProgressCaption(1), L"Progress: 25.00%");
    EXPECT_TRUE(rig.told.texts.empty());
}

INSTANTIATE_TEST_SUITE_P(Paths, OddPathTest, testing::ValuesIn(kOddPaths), CaseName());

TEST(RegistryFaults, AKeyDeletedWhileRunningLosesNothingTheFieldsHold) {
    OptionsRig rig;
    TempDir temp;
    const std::wstring dir = ClientWithState(temp, "one", "prog=0.50000\r\n");
    Store(rig.registry, L"Path1", dir);
    Store(rig.registry, L"Interval", L"7");
    FrmOptions frm(rig.Services());
    frm.Start();
    ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, rig.registry.path().c_str()), ERROR_SUCCESS);

    Tick(frm);
    EXPECT_EQ(TipText(rig.shell.Last().record), "50.00%") << "the fields are the live state";
    ::SendMessageW(frm.hwnd(), WM_COMMAND, FrmOptions::kOkId, 0);
    EXPECT_EQ(rig.registry.Read(L"Path1"), dir);
    EXPECT_EQ(rig.registry.Read(L"Interval"), L"7");
    EXPECT_EQ(rig.registry.Read(L"Path2"), L"");
    EXPECT_TRUE(rig.told.texts.empty());
}

TEST(RegistryFaults, AHugeStoredDirectoryIsNeitherUsedNorOverwrittenUntilASave) {
    OptionsRig rig;
    const std::wstring huge(40000, L'h');
    Store(rig.registry, L"Path1", huge);
    Store(rig.registry, L"Path2", L"C:\\second");
    {
        FrmOptions frm(rig.Services());
        frm.Start();
        EXPECT_EQ(frm.Paths()[0].Text(), L"") << "read as its default";
        EXPECT_TRUE(frm.IsShown()) << "so the window asks for a first directory";
        Tick(frm);
        ::SendMessageW(frm.hwnd(), WM_COMMAND, FrmOptions::kCloseId, 0);  // Remove Meter
    }
    HKEY key = rig.registry.OpenKey();
    DWORD bytes = 0;
    ASSERT_EQ(::RegQueryValueExW(key, L"Path1", nullptr, nullptr, nullptr, &bytes), ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(bytes, (huge.size() + 1) * sizeof(wchar_t)) << "the stored value is untouched";
    EXPECT_TRUE(rig.registry.written.empty());
}

TEST(RegistryFaults, AFailedWriteKeepsTheKeysItDidNotReach) {
    OptionsRig rig;
    Store(rig.registry, L"Path1", L"C:\\old one");
    Store(rig.registry, L"Path2", L"C:\\old two");
    Store(rig.registry, L"Path3", L"C:\\old three");
    Store(rig.registry, L"Interval", L"9");
    FrmOptions frm(rig.Services());
    frm.Start();
    frm.ShowModeless();
    rig.registry.failFrom = L"Path2";
    frm.Paths()[0].SetText(L"C:\\new one");
    frm.Paths()[1].SetText(L"C:\\new two");
    frm.Paths()[2].SetText(L"C:\\new three");
    frm.UpdateField().SetText(L"30");
    ::SendMessageW(frm.hwnd(), WM_COMMAND, FrmOptions::kOkId, 0);
    EXPECT_EQ(rig.registry.Read(L"Path1"), L"C:\\new one");
    EXPECT_EQ(rig.registry.Read(L"Path2"), L"C:\\old two");
    EXPECT_EQ(rig.registry.Read(L"Path3"), L"C:\\old three");
    EXPECT_EQ(rig.registry.Read(L"Interval"), L"9");
    EXPECT_EQ(rig.told.texts.size(), 1u);
    EXPECT_TRUE(frm.IsShown());
}

TEST(ShellFaults, NoNotificationAreaUntilTaskbarCreated) {
    OptionsRig rig;
    // The add at load, and the add and modify each of three ticks tries, find no
    // notification area.
    rig.shell.results.assign(7, FALSE);
    FrmOptions frm(rig.Services());
    frm.Start();
    for (int i = 0; i < 3; ++i) {
        Tick(frm);
    }
    ::SendMessageW(frm.hwnd(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    Tick(frm);
    Tick(frm);
    EXPECT_EQ(rig.shell.Messages(),
              (std::vector<DWORD>{NIM_ADD, NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_MODIFY, NIM_ADD,
                                  NIM_MODIFY, NIM_ADD, NIM_MODIFY, NIM_MODIFY}));
    EXPECT_EQ(TipText(rig.shell.Last().record), "");
}

}  // namespace
}  // namespace vantorel
