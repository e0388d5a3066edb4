// The line the program sends its guard: every path survives the trip, and a
// line that is not whole or not a state is no state at all (the guard then
// leaves the RAM disk alone rather than act on half of what it was told).
#include <gtest/gtest.h>

#include "engine/CGuard.h"

namespace tvmtest {
namespace {

struct StateRow {
    const char* name;
    CGuard::State state;
};

class GuardStateLine : public ::testing::TestWithParam<StateRow> {};

TEST_P(GuardStateLine, ComesBackAsItWasSent) {
    const CGuard::State& state = GetParam().state;
    const std::string line = state.Line();
    EXPECT_EQ(line.find('\n'), std::string::npos) << "one message is one line";
    const auto parsed = CGuard::State::Parse(line);
    ASSERT_TRUE(parsed) << line;
    EXPECT_EQ(*parsed, state);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, GuardStateLine,
    ::testing::Values(
        StateRow{"Plain", {"0123abcd", true, "/volumes/Tavelmorinth", "/home/u/Documents/TavelmorinthSource"}},
        StateRow{"LoadNotComplete", {"t", false, "/volumes/Tavelmorinth", "/home/u/Source"}},
        StateRow{"EscapedShellWords", {"t", true, "/volumes/Tavelmorinth", "/home/u/My\\ Files/\\'quoted\\'"}},
        StateRow{"TabsNewlinesBackslashes", {"t", true, "/volumes/Tavelmorinth", "/home/u/a\tb'\n'c\\\\d\\"}},
        StateRow{"Unicode", {"t", false, "/volumes/Tavelmorinth", "/home/u/Projekt \xC3\x84"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GuardStateParse, RefusesWhatIsNotAWholeState) {
    const std::string good = CGuard::State{"t", true, "/volumes/Tavelmorinth", "/home/u/S"}.Line();
    for (const std::string& line : {std::string(""), std::string("state"), good.substr(0, good.size() - 3) + "\t",
                                    std::string("state\tt\t2\t/volumes/Tavelmorinth\t/home/u/S"),
                                    std::string("state\t\t1\t/volumes/Tavelmorinth\t/home/u/S"),
                                    std::string("state\tt\t1\t/volumes/Tavelmorinth\t"),
                                    std::string("state\tt\t1\t/volumes/Tavelmorinth\t/home/u/S\\"),
                                    std::string("state\tt\t1\t/volumes/Tavelmorinth\t/home/u/S\\x"),
                                    good + "\textra", "other" + good.substr(5)}) {
        EXPECT_FALSE(CGuard::State::Parse(line)) << line;
    }
    EXPECT_TRUE(CGuard::State::Parse(good));
}

}  // namespace
}  // namespace tvmtest
