#include "update/mdlOrder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Standin.h"
#include "framework/SpecialFolder.h"

using namespace tvmtest;

namespace {

const std::string kCounter = "/Download/download.php?id=30";
const std::string kVersion = "/Download/Tavelmorinth/Version.dat";

class VersionCheck : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Running()) << "the HTTP stand-in did not start";
        settings = fw::SpecialFolder::ApplicationData()->NativePath() + "/TavelmorinthSettings";
        versionFile = settings + "/BKVersion.dat";
        std::filesystem::create_directories(settings);
    }
    void TearDown() override { std::filesystem::remove_all(settings); }
    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const Request& r : server.Requests()) targets.push_back(r.target);
        return targets;
    }

    Standin server;
    std::string settings, versionFile;
};

struct VersionCase {
    const char* name;
    Route version;        // what the server does with the version file
    std::string stored;   // then in BKVersion.dat
    std::string offered;  // GetVersionInfo
};

class VersionCheckCases : public VersionCheck, public testing::WithParamInterface<VersionCase> {};

TEST_P(VersionCheckCases, CountsTheStartFetchesTheVersionFileAndReadsItsLastLine) {
    const VersionCase& c = GetParam();
    WriteFile(versionFile, "an older and longer version file\n0.9.9\n");
    server.SetRoutes({Answer(kCounter, "counted"), c.version});
    mdlOrder::GetVersionInfoFromBK();
    EXPECT_EQ(Targets(), (std::vector<std::string>{kCounter, kVersion}));
    EXPECT_EQ(ReadFile(versionFile), c.stored);
    EXPECT_EQ(mdlOrder::GetVersionInfo(), c.offered);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionCheckCases,
    testing::Values(
        VersionCase{"two_lines_give_the_last", Answer(kVersion, "1.0.1\n1.0.3"), "1.0.1\n1.0.3", "1.0.3"},
        VersionCase{"windows_line_ends_are_kept_in_the_file", Answer(kVersion, "1.0.1\r\n1.0.3"), "1.0.1\r\n1.0.3", "1.0.3"},
        VersionCase{"a_single_line", Answer(kVersion, "1.0.2"), "1.0.2", "1.0.2"},
        VersionCase{"byte_E9_reads_as_e_acute", Answer(kVersion, "1.0.\xE9"), "1.0.\xE9", "1.0.\u00E9"},
        VersionCase{"byte_80_reads_as_the_euro_sign", Answer(kVersion, "\x80"), "\x80", "\u20AC"},
        VersionCase{"an_empty_version_file_offers_nothing", Answer(kVersion, ""), "", ""},
        VersionCase{"an_error_page_is_not_taken_for_a_version", Answer(kVersion, "<html>gone</html>", 404), "", ""}),
    [](const testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

TEST_F(VersionCheck, NoAnswerLeavesAnEmptyVersionFileEvenWhenItHeldAVersion) {
    WriteFile(versionFile, "1.0.3\n");
    server.SetRoutes({Silent(kCounter), Probing(Silent(kVersion), versionFile)});
    const double seconds = Timed([] { mdlOrder::GetVersionInfoFromBK(); });
    EXPECT_EQ(Targets(), (std::vector<std::string>{kCounter, kVersion})) << "the download follows a dead counter";
    EXPECT_EQ(server.Requests()[1].probe, 0) << "emptied before the server was asked";
    EXPECT_TRUE(std::filesystem::exists(versionFile));
    EXPECT_EQ(ReadFile(versionFile), "");
    EXPECT_EQ(mdlOrder::GetVersionInfo(), "");
    EXPECT_GE(seconds, 1.8) << "each request waits its second";
    EXPECT_LE(seconds, 3.5);
}

TEST_F(VersionCheck, AVersionFileCutShortOffersNothing) {
    server.SetRoutes({Answer(kCounter), Stall(kVersion, "1.0.")});
    mdlOrder::GetVersionInfoFromBK();
    EXPECT_EQ(ReadFile(versionFile), "");
    EXPECT_EQ(mdlOrder::GetVersionInfo(), "");
}

TEST_F(VersionCheck, WithoutASettingsFolderNothingIsStoredAndNothingOffered) {
    std::filesystem::remove_all(settings);
    server.SetRoutes({Answer(kCounter), Answer(kVersion, "1.0.3")});
    EXPECT_NO_THROW(mdlOrder::GetVersionInfoFromBK());
    EXPECT_FALSE(std::filesystem::exists(settings));
    EXPECT_EQ(mdlOrder::GetVersionInfo(), "");
}

TEST_F(VersionCheck, AMissingOrUnreadableVersionFileOffersNothing) {
    EXPECT_EQ(mdlOrder::GetVersionInfo(), "") << "missing";
    std::filesystem::create_directory(versionFile);
    EXPECT_EQ(mdlOrder::GetVersionInfo(), "") << "a folder in its place";
}

}  // namespace
