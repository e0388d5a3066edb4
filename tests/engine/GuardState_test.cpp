// The line the program sends its guard: every path survives the trip, and a
// line that is not whole or not a state is no state at all (the guard then
// leaves the RAM disk alone rather than act on half of what it was told).
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/GuardChannel.h"

namespace tvmtest {
namespace {

struct StateRow {
    const char* name;
    GuardState state;
};

class GuardStateLine : public ::testing::TestWithParam<StateRow> {};

TEST_P(GuardStateLine, ComesBackAsItWasSent) {
    const GuardState& state = GetParam().state;
    const std::string line = state.Line();
    EXPECT_EQ(line.find('\n'), std::string::npos) << "one message is one line";
    const auto parsed = GuardState::Parse(line);
    ASSERT_TRUE(parsed) << line;
    EXPECT_EQ(*parsed, state);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, GuardStateLine,
    ::testing::Values(
        StateRow{"Plain",
                 {"0123abcd", true, "/volumes/Tavelmorinth", "/home/u/Documents/TavelmorinthSource",
                  RootsHeld{RootId{2049, 131074, 1000}, RootId{41, 1, 1000}, RootId{41, 1, 1000}}}},
        StateRow{"LargestNumbers",
                 {"t", true, "/volumes/Tavelmorinth", "/home/u/S",
                  RootsHeld{RootId{UINT64_MAX, UINT64_MAX, UINT32_MAX}, RootId{0, 0, 0}, RootId{1, 2, 3}}}},
        StateRow{"NoRootsHeld", {"t", true, "/volumes/Tavelmorinth", "/home/u/S", RootsHeld{}}},
        StateRow{"LoadNotComplete", {"t", false, "/volumes/Tavelmorinth", "/home/u/Source", {}}},
        StateRow{"EscapedShellWords", {"t", true, "/volumes/Tavelmorinth", "/home/u/My\\ Files/\\'quoted\\'", {}}},
        StateRow{"TabsNewlinesBackslashes", {"t", true, "/volumes/Tavelmorinth", "/home/u/a\tb'\n'c\\\\d\\", {}}},
        StateRow{"Unicode", {"t", false, "/volumes/Tavelmorinth", "/home/u/Projekt \xC3\x84", {}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GuardStateParse, RefusesWhatIsNotAWholeState) {
    const std::string good =
        GuardState{"t", true, "/volumes/Tavelmorinth", "/home/u/S", RootsHeld{RootId{1, 2, 3}, {}, {}}}.Line();
    const std::string head = "state\tt\t1\t/volumes/Tavelmorinth\t/home/u/S\t";
    for (const std::string& line : {std::string(""), std::string("state"), good.substr(0, good.size() - 3) + "\t",
                                    std::string("state\tt\t2\t/volumes/Tavelmorinth\t/home/u/S\t-,-,-"),
                                    std::string("state\t\t1\t/volumes/Tavelmorinth\t/home/u/S\t-,-,-"),
                                    std::string("state\tt\t1\t/volumes/Tavelmorinth\t\t-,-,-"),
                                    std::string("state\tt\t1\t/volumes/Tavelmorinth\t/home/u/S\\\t-,-,-"),
                                    std::string("state\tt\t1\t/volumes/Tavelmorinth\t/home/u/S\\x\t-,-,-"),
                                    std::string("state\tt\t1\t/volumes/Tavelmorinth\t/home/u/S"),  // no roots
                                    head, head + "-,-", head + "-,-,-,-", head + "1:2,-,-", head + "1:2:3:4,-,-",
                                    head + "1:2:x,-,-", head + "-1:2:3,-,-", head + "1::3,-,-",
                                    head + "18446744073709551616:1:1,-,-", head + "1:1:4294967296,-,-",
                                    good + "\textra", "other" + good.substr(5)}) {
        EXPECT_FALSE(GuardState::Parse(line)) << line;
    }
    EXPECT_TRUE(GuardState::Parse(good));
}

}  // namespace
}  // namespace tvmtest
