// The Windows reader against clients that hold their state file open in the usual ways.

#include <windows.h>

#include <gtest/gtest.h>

#include "core/state_file.h"
#include "tests/support/case_name.h"
#include "tests/support/temp_dir.h"

namespace vantorel {
namespace {

using testing_support::ClientWithState;
using testing_support::TempDir;

class ClientHandle {
  public:
    ClientHandle(const std::filesystem::path& file, DWORD access, DWORD share)
        : handle_(::CreateFileW(file.c_str(), access, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ClientHandle(const ClientHandle&) = delete;
    ClientHandle& operator=(const ClientHandle&) = delete;
    ~ClientHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_;
};

struct ShareCase {
    const char* name;
    DWORD access;
    DWORD share;
    bool readable;
};

class ReaderSharingTest : public testing::TestWithParam<ShareCase> {};

TEST_P(ReaderSharingTest, ReadsWhileTheClientHoldsItsFile) {
    TempDir temp;
    const PathString dir = ClientWithState(temp, "client", "prog=0.5\n");
    const ClientHandle client(std::filesystem::path(dir) / L"State.SAH", GetParam().access,
                              GetParam().share);
    ASSERT_TRUE(client.ok());
    const std::optional<double> got = ReadClientProgress(dir);
    if (GetParam().readable) {
        EXPECT_EQ(got, 0.5);
    } else {
        EXPECT_EQ(got, std::nullopt);
    }
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

INSTANTIATE_TEST_SUITE_P(
    Clients, ReaderSharingTest,
    testing::Values(ShareCase{"Writing", GENERIC_WRITE, FILE_SHARE_READ, true},
                    ShareCase{"WritingSharingAll", GENERIC_READ | GENERIC_WRITE, kShareAll, true},
                    ShareCase{"AboutToRename", GENERIC_READ | DELETE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, true},
                    ShareCase{"ReadingOnly", GENERIC_READ, FILE_SHARE_READ, true},
                    ShareCase{"Exclusive", GENERIC_READ | GENERIC_WRITE, 0, false}),
    testing_support::CaseName());

TEST(ReaderSharing, NeverStandsInTheClientsWay) {
    // The reader holds the file only within the call; afterwards the client may open it
    // exclusively, rename it and delete it.
    TempDir temp;
    const PathString dir = ClientWithState(temp, "client", "prog=0.5\n");
    const auto file = std::filesystem::path(dir) / L"State.SAH";
    ASSERT_EQ(ReadClientProgress(dir), 0.5);
    {
        const ClientHandle exclusive(file, GENERIC_READ | GENERIC_WRITE, 0);
        EXPECT_TRUE(exclusive.ok());
    }
    const auto renamed = std::filesystem::path(dir) / L"State.old";
    EXPECT_TRUE(::MoveFileExW(file.c_str(), renamed.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(::DeleteFileW(renamed.c_str()));
    EXPECT_EQ(ReadClientProgress(dir), std::nullopt);
}

TEST(ReaderSharing, APipeWhereTheFileShouldBeIsRefused) {
    // A named pipe would block a synchronous read for ever.
    const HANDLE pipe =
        ::CreateNamedPipeW(L"\\\\.\\pipe\\vantorel-test\\State.SAH", PIPE_ACCESS_DUPLEX,
                           PIPE_TYPE_BYTE, 1, 64, 64, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadClientProgress(L"\\\\.\\pipe\\vantorel-test"), std::nullopt);
    ::CloseHandle(pipe);
}

}  // namespace
}  // namespace vantorel
