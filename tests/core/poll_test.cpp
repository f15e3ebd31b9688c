#include "core/poll.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "tests/support/case_name.h"
#include "tests/support/temp_dir.h"

namespace vantorel {
namespace {

const NumberLocale kDot{".", ","};

// A reader over made-up clients that records which directories it was asked for.
class FakeClients {
  public:
    explicit FakeClients(std::map<PathString, double> progress) : progress_(std::move(progress)) {}

    ProgressReader Reader() {
        return [this](const PathString& dir) -> std::optional<double> {
            asked.push_back(dir);
            const auto it = progress_.find(dir);
            if (it == progress_.end()) {
                return std::nullopt;
            }
            return it->second;
        };
    }

    std::vector<PathString> asked;

  private:
    std::map<PathString, double> progress_;
};

const PathString kA = VANTOREL_PATH("a");
const PathString kB = VANTOREL_PATH("b");
const PathString kC = VANTOREL_PATH("c");
const PathString kMissing = VANTOREL_PATH("missing");

struct PollCase {
    const char* name;
    ClientDirectories directories;
    std::array<std::optional<std::string>, kClientCount> captions;
    std::string tooltip;
    std::string iconKey;
    std::vector<PathString> asked;
};

class PollClientsTest : public testing::TestWithParam<PollCase> {};

TEST_P(PollClientsTest, BuildsCaptionsTooltipAndKey) {
    const PollCase& c = GetParam();
    FakeClients clients({{kA, 0.5}, {kB, 0.25}, {kC, 0.99999}});
    const PollResult result = PollClients(c.directories, kDot, clients.Reader());
    EXPECT_EQ(result.captions, c.captions);
    EXPECT_EQ(result.tooltip, c.tooltip);
    EXPECT_EQ(result.iconKey, c.iconKey);
    EXPECT_EQ(clients.asked, c.asked);
    EXPECT_EQ(ClientsToRead(c.directories), c.asked.size());
}

using Captions = std::array<std::optional<std::string>, kClientCount>;

INSTANTIATE_TEST_SUITE_P(
    Ticks, PollClientsTest,
    testing::Values(
        PollCase{"NoDirectory", {}, {}, "", "Dish0", {}},
        PollCase{"TwoClients",
                 {kA, kB, {}},
                 Captions{"Progress: 50.00%", "Progress: 25.00%", std::nullopt},
                 "50.00% \\ 25.00%",
                 "Dish2",
                 {kA, kB}},
        PollCase{"FirstUnreadable",
                 {kMissing, kA, {}},
                 Captions{std::nullopt, "Progress: 50.00%", std::nullopt},
                 " \\ 50.00%",
                 "Dish3",
                 {kMissing, kA}},
        PollCase{"StopsAtTheFirstEmpty",
                 {kA, {}, kB},
                 Captions{"Progress: 50.00%", std::nullopt, std::nullopt},
                 "50.00%",
                 "Dish3",
                 {kA}},
        PollCase{
            "EmptyFirstStopsAll", ClientDirectories{PathString{}, kA, kB}, {}, "", "Dish0", {}},
        PollCase{"BlanksAreNotEmpty",
                 {VANTOREL_PATH(" "), kB, {}},
                 Captions{std::nullopt, "Progress: 25.00%", std::nullopt},
                 " \\ 25.00%",
                 "Dish1",
                 {VANTOREL_PATH(" "), kB}},
        PollCase{"ThreeNearlyDone",
                 {kC, kC, kC},
                 Captions{"Progress: 100.00%", "Progress: 100.00%", "Progress: 100.00%"},
                 "100.00% \\ 100.00% \\ 100.00%",
                 "Dish5",
                 {kC, kC, kC}},
        PollCase{"NoneReadable",
                 {kMissing, kMissing, kMissing},
                 {},
                 "",
                 "Dish0",
                 {kMissing, kMissing, kMissing}},
        PollCase{"OnlyLastReadable",
                 {kMissing, kMissing, kB},
                 Captions{std::nullopt, std::nullopt, "Progress: 25.00%"},
                 " \\ 25.00%",
                 "Dish1",
                 {kMissing, kMissing, kB}}),
    testing_support::CaseName());

TEST(PollClients, AverageOutsideRangeIsHeldAtTheEnds) {
    FakeClients clients({{kA, 3.0}, {kB, -2.0}});
    EXPECT_EQ(PollClients({kA, {}, {}}, kDot, clients.Reader()).iconKey, "Dish6");
    EXPECT_EQ(PollClients({kB, {}, {}}, kDot, clients.Reader()).iconKey, "Dish0");
}

TEST(PollClients, TakesEachValueByItsClient) {
    // The second client's value stands second, and one behind an empty directory counts for
    // nothing.
    const PollResult result =
        PollClients({kA, kB, {}}, kDot, ClientValues{std::nullopt, 0.5, 0.25});
    EXPECT_EQ(result.captions, (Captions{std::nullopt, "Progress: 50.00%", std::nullopt}));
    EXPECT_EQ(result.tooltip, " \\ 50.00%");
    EXPECT_EQ(result.iconKey, "Dish3");
}

TEST(PollClients, UsesTheLocalesDecimalSeparator) {
    FakeClients clients({{kA, 0.475937}});
    const PollResult result = PollClients({kA, {}, {}}, NumberLocale{",", "."}, clients.Reader());
    EXPECT_EQ(result.tooltip, "47,59%");
    EXPECT_EQ(result.captions[0], "Progress: 47,59%");
}

TEST(PollClients, ReadsRealStateFiles) {
    testing_support::TempDir temp;
    using testing_support::ClientWithState;
    const ClientDirectories dirs{ClientWithState(temp, "one", "prog=0.475937\n"),
                                 (temp.path() / "absent").native(),
                                 ClientWithState(temp, "three", "prog=1.000000\n")};
    const PollResult result = PollClients(dirs, kDot);
    EXPECT_EQ(result.captions, (Captions{"Progress: 47.59%", std::nullopt, "Progress: 100.00%"}));
    EXPECT_EQ(result.tooltip, "47.59% \\ 100.00%");
    EXPECT_EQ(result.iconKey, "Dish4");  // average 0.7379685
}

}  // namespace
}  // namespace vantorel
