#include <filesystem>

#include "AppFixture.h"

namespace {

class Settings : public AppFixture {};

TEST_F(Settings, FirstStartTakesTheDefaultsAndReadsNoCopy) {
    // A copy in the default folder must not be read while no main file exists.
    const std::string source = home + "/Documents/TavelmorinthSource";
    WriteFile(source + "/TavelmorinthSettings/Settings.dat", "1.024\n10m\n/elsewhere\n0100\n0200\n");
    std::filesystem::permissions(source, std::filesystem::perms::owner_all);
    App& a = app();
    a.GetOptions();
    EXPECT_TRUE(a.bFirstStart);
    EXPECT_EQ(a.sSize, "256");
    EXPECT_EQ(a.sInterval, "60");
    EXPECT_EQ(a.sPath, home + "/Documents/TavelmorinthSource");
    EXPECT_EQ(a.sStateTop, "40");
    EXPECT_EQ(a.sStateLeft, "10");
    EXPECT_EQ(Mode(source), 0700) << "no permissions are set on a first start";
}

TEST_F(Settings, TheCopyInTheSourceFolderOverridesTheMainFileButNeverMovesTheSourceFolder) {
    // The copy travels with the folder (an archive, a shared or a synced folder):
    // a folder it names other than the one it lies in is not taken.
    const std::string source = root + "/src one";
    const std::string other = root + "/other";
    std::filesystem::create_directories(other);
    std::filesystem::permissions(other, std::filesystem::perms::owner_all);
    WriteFile(settingsFile(), "512\n20\n" + root + "/src\\ one\n0040\n0010\n");
    WriteFile(source + "/TavelmorinthSettings/Settings.dat", "1.024\n10m\n" + other + "\n0050\n0020\n");
    std::filesystem::permissions(source, std::filesystem::perms::none);
    App& a = app();
    a.GetOptions();
    EXPECT_FALSE(a.bFirstStart);
    EXPECT_EQ(a.sSize, "1.024");
    EXPECT_EQ(a.sInterval, "10m");
    EXPECT_EQ(a.sPath, root + "/src\\ one") << "the copy moved the source folder";
    EXPECT_EQ(a.sStateTop, "0050");
    EXPECT_EQ(a.sStateLeft, "0020");
    EXPECT_EQ(Mode(source), 0700) << "the folder the main file names is opened again, to its owner only as it was closed";
    EXPECT_EQ(Mode(other), 0700) << "the folder the copy names was touched";

    // A copy as a save writes it, naming its own folder, reads the same as before.
    WriteFile(source + "/TavelmorinthSettings/Settings.dat", "2.048\n5m\n" + root + "/src\\ one\n0060\n0030\n");
    a.GetOptions();
    EXPECT_EQ(a.sSize, "2.048");
    EXPECT_EQ(a.sInterval, "5m");
    EXPECT_EQ(a.sPath, root + "/src\\ one");
    EXPECT_EQ(a.sStateTop, "0060");
    EXPECT_EQ(a.sStateLeft, "0030");
}

TEST_F(Settings, SevenLinesAreReadAsTwoGroupsOfFive) {
    WriteFile(settingsFile(), "512\n20\n/nowhere\n0040\n0010\n1.280\n30\n");
    App& a = app();
    a.GetOptions();
    EXPECT_EQ(a.sSize, "1.280");
    EXPECT_EQ(a.sInterval, "30");
    EXPECT_EQ(a.sPath, home + "/Documents/TavelmorinthSource");
    EXPECT_EQ(a.sStateTop, "40");
    EXPECT_EQ(a.sStateLeft, "10");
}

TEST_F(Settings, AnEmptyFileAtAReloadKeepsTheFieldsAndStillReadsTheCopy) {
    const std::string source = root + "/src";
    WriteFile(source + "/TavelmorinthSettings/Settings.dat", "2.048\n");
    WriteFile(settingsFile(), "");
    App& a = app();
    a.sSize = "512";
    a.sInterval = "5m";
    a.sPath = source;
    a.sStateTop = "0100";
    a.sStateLeft = "0200";
    a.GetOptions();
    EXPECT_FALSE(a.bFirstStart);
    EXPECT_EQ(a.sSize, "2.048");
    EXPECT_EQ(a.sInterval, "60") << "the copy's missing lines read empty, then take their defaults";
    EXPECT_EQ(a.sPath, source) << "the copy's missing path line moved the source folder";
}

struct SaveCase {
    const char* name;
    const char* newSize;
    const char* newInterval;
    bool newPath;
    const char* mainLines;  // first two lines of the main file
    const char* copyLines;  // first two lines of the copy
    bool applied;
};

class SaveOptions : public AppFixture, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SaveOptions, WritesBothFilesAndAppliesOnlyACompleteSet) {
    const SaveCase& c = GetParam();
    const std::string source = root + "/source";
    const std::string chosen = root + "/chosen";
    std::filesystem::create_directories(source);
    App& a = app();
    a.sSize = "512";
    a.sInterval = "20";
    a.sPath = source;
    a.sStateTop = "0040";
    a.sStateLeft = "0010";
    a.sNewSize = c.newSize;
    a.sNewInterval = c.newInterval;
    a.sNewPath = c.newPath ? chosen : "";
    const bool anyPending = *c.newSize || *c.newInterval || c.newPath;
    a.SaveOptions();

    EXPECT_EQ(ReadFile(settingsFile()),
              std::string(c.mainLines) + (anyPending ? (c.newPath ? chosen : "") : source) + "\n0040\n0010\n");
    EXPECT_EQ(ReadFile(source + "/TavelmorinthSettings/Settings.dat"), std::string(c.copyLines) + source + "\n0040\n0010\n");
    if (c.applied) {
        EXPECT_EQ(a.sPath, chosen);
        EXPECT_EQ(a.sSize, c.newSize);
        EXPECT_EQ(a.sInterval, c.newInterval);
        EXPECT_EQ(a.sNewSize + a.sNewInterval + a.sNewPath, "");
    } else {
        EXPECT_EQ(a.sPath, source);
        EXPECT_EQ(a.sSize, "512");
        EXPECT_EQ(a.sNewPath, c.newPath ? chosen : "");
        EXPECT_EQ(a.sNewInterval, c.newInterval);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveOptions,
    ::testing::Values(
        SaveCase{"NothingPendingWritesTheCurrentValues", "", "", false, "512\n20\n", "512\n20\n", false},
        SaveCase{"AllThreePendingAreWrittenAndApplied", "1.024", "10m", true, "1.024\n10m\n", "1.024\n10m\n", true},
        SaveCase{"OnlyAPathPendingLeavesTheMainFileSizeAndIntervalEmpty", "", "", true, "\n\n", "512\n20\n", false},
        SaveCase{"NoSizeOfferedWritesAnEmptyFirstLine", "", "2m", true, "\n2m\n", "\n2m\n", false},
        SaveCase{"UnitsAreCleanedFromTheLinesButNotFromTheFields", "1.024 MB", "30 sec.", true, "1.024\n30\n",
                 "1.024\n30\n", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Settings, ASaveWhileTheSourceFolderIsMissingWritesNoCopyAndCreatesNothing) {
    App& a = app();
    a.sSize = "256";
    a.sInterval = "60";
    a.sPath = root + "/missing";
    a.sStateTop = "0040";
    a.sStateLeft = "0010";
    a.sNewSize = "512";
    a.sNewInterval = "5m";
    a.sNewPath = root + "/new";
    a.SaveOptions();
    EXPECT_EQ(ReadFile(settingsFile()), "512\n5m\n" + root + "/new\n0040\n0010\n");
    EXPECT_FALSE(std::filesystem::exists(root + "/missing"));
    EXPECT_EQ(a.sPath, root + "/new");
}

TEST_F(Settings, SavedSettingsReadBackAsTheSameFiveValues) {
    const std::string source = root + "/with space & $dollar";
    std::filesystem::create_directories(source);
    App& a = app();
    a.sSize = "3.840";
    a.sInterval = "4S";
    a.sPath = root + "/with\\ space\\ \\&\\ \\$dollar";
    a.sStateTop = "0123";
    a.sStateLeft = "0456";
    a.SaveOptions();
    App b;
    fw::RegisterApplication(&b);
    b.GetOptions();
    fw::RegisterApplication(application.get());
    EXPECT_EQ(b.sSize, "3.840");
    EXPECT_EQ(b.sInterval, "4S");
    EXPECT_EQ(b.sPath, a.sPath);
    EXPECT_FALSE(b.bFirstStart);
}

TEST_F(Settings, AFailedSaveLeavesThePreviousFileAsItWas) {
    const std::string before = "1.024\n10m\n/somewhere\n0040\n0010\n";
    WriteFile(settingsFile(), before);
    // Where the new file would be written lies a folder, so the write fails.
    std::filesystem::create_directories(settingsDir() + "/.Settings.dat.new");
    App& a = app();
    a.sSize = "256";
    a.sInterval = "60";
    a.sPath = root + "/none";
    EXPECT_THROW(a.SaveOptions(), fw::IOException);
    EXPECT_EQ(ReadFile(settingsFile()), before);
}

TEST_F(Settings, IntervalTokensGiveWholeSeconds) {
    const std::pair<const char*, int64_t> table[] = {
        {"10", 10},     {"20", 20},     {"30", 30},     {"40", 40},     {"50", 50},     {"60", 60},
        {"2m", 120},    {"5m", 300},    {"10m", 600},   {"20m", 1200},  {"30m", 1800},  {"40m", 2400},
        {"50m", 3000},  {"60m", 3600},  {"2S", 7200},   {"3S", 10800},  {"4S", 14400},
    };
    App& a = app();
    for (auto [token, seconds] : table) {
        a.sInterval = token;
        EXPECT_EQ(a.GetSecondsInterval(), seconds) << token;
    }
}

}  // namespace

namespace {

TEST_F(Settings, WithNoSourcePathNoCopyIsWrittenOrReadAtTheRootOfTheFileSystem) {
    App& a = app();
    a.sSize = "256";
    a.sInterval = "60";
    a.sPath = "";  // a missing source folder is parked during start-up
    a.sStateTop = "0040";
    a.sStateLeft = "0010";
    a.SaveOptions();
    EXPECT_FALSE(std::filesystem::exists("/TavelmorinthSettings"));
    WriteFile(settingsFile(), "512\n20\n\n0040\n0010\n");
    a.GetOptions();
    EXPECT_EQ(a.sSize, "512");
}

}  // namespace

namespace {

struct ReadCase {
    const char* name;
    const char* size;      // line 1 as stored
    const char* interval;  // line 2 as stored
    const char* readSize;
    const char* readInterval;
};

class SettingsRead : public AppFixture, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(SettingsRead, OnlyTheOfferedSizesAndIntervalsAreTaken) {
    const ReadCase& c = GetParam();
    WriteFile(settingsFile(), std::string(c.size) + "\n" + c.interval + "\n" + root + "/none\n0040\n0010\n");
    App& a = app();
    a.GetOptions();
    EXPECT_EQ(a.sSize, c.readSize);
    EXPECT_EQ(a.sInterval, c.readInterval);
    EXPECT_EQ(a.sPath, root + "/none");
    EXPECT_GE(a.GetSecondsInterval(), 10) << "a write-back never runs back to back";
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SettingsRead,
    ::testing::Values(ReadCase{"SmallestOfferedValues", "256", "10", "256", "10"},
                      ReadCase{"SizeWithSeparatorAndMinutes", "1.024", "5m", "1.024", "5m"},
                      ReadCase{"LargestOfferedValues", "4.096", "4S", "4.096", "4S"},
                      ReadCase{"InfinityIsNoInterval", "512", "inf", "512", "60"},
                      ReadCase{"ZeroSecondsIsNoInterval", "512", "0", "512", "60"},
                      ReadCase{"NegativeSecondsAreNoInterval", "512", "-5", "512", "60"},
                      ReadCase{"LettersAreNoInterval", "512", "abc", "512", "60"},
                      ReadCase{"MinutesNotOffered", "512", "7m", "512", "60"},
                      ReadCase{"UpperCaseMinutes", "512", "10M", "512", "60"},
                      ReadCase{"HugeNumberOfSeconds", "512", "1e300", "512", "60"},
                      ReadCase{"SizeWithoutSeparator", "1024", "60", "256", "60"},
                      ReadCase{"SizeNotOffered", "300", "60", "256", "60"},
                      ReadCase{"SizeAboveTheLargestWithSeparator", "8.192", "60", "4096", "60"},
                      ReadCase{"SizeAboveTheLargest", "8192", "60", "4096", "60"},
                      ReadCase{"SizeJustAboveTheLargest", "4097", "60", "4096", "60"},
                      ReadCase{"HugeSize", "00099999999999999999999", "60", "4096", "60"},
                      ReadCase{"SizeBelowTheSmallest", "100", "60", "256", "60"},
                      ReadCase{"SizeThatIsNoNumber", "8192x", "60", "256", "60"},
                      ReadCase{"NegativeSize", "-8192", "60", "256", "60"},
                      ReadCase{"SizeWithUnit", "512 MB", "60", "256", "60"},
                      ReadCase{"EmptyLines", "", "", "256", "60"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Settings, EverySizeAndIntervalTheWindowOffersReadsBackAsWritten) {
    const char* sizes[] = {"256",   "512",   "768",   "1.024", "1.280", "1.536", "1.792", "2.048",
                           "2.304", "2.560", "2.816", "3.072", "3.328", "3.584", "3.840", "4.096"};
    const char* tokens[] = {"10", "20", "30", "40", "50", "60", "2m", "5m", "10m",
                            "20m", "30m", "40m", "50m", "60m", "2S", "3S", "4S"};
    App& a = app();
    for (int i = 0; i < 17; ++i) {
        a.sSize = sizes[i % 16];
        a.sInterval = tokens[i];
        a.sPath = root + "/none";
        a.SaveOptions();
        App b;
        fw::RegisterApplication(&b);
        b.GetOptions();
        fw::RegisterApplication(application.get());
        EXPECT_EQ(b.sSize, sizes[i % 16]);
        EXPECT_EQ(b.sInterval, tokens[i]);
    }
}

TEST_F(Settings, AFileWithCarriageReturnLineEndsReadsTheSame) {
    WriteFile(settingsFile(), "1.024\r\n5m\r\n" + root + "/none\r\n0040\r\n0010\r\n");
    App& a = app();
    a.GetOptions();
    EXPECT_EQ(a.sSize, "1.024");
    EXPECT_EQ(a.sInterval, "5m");
    EXPECT_EQ(a.sPath, root + "/none");
}

TEST_F(Settings, ATextThatIsNoIntervalGivesSixtySeconds) {
    App& a = app();
    for (const char* text : {"inf", "-inf", "nan", "0", "-5", "abc", "", "1e300m", "0.001"}) {
        a.sInterval = text;
        EXPECT_EQ(a.GetSecondsInterval(), 60) << text;
    }
}

struct LineBreakCase {
    const char* name;
    const char* newPath;  // "" when nothing is pending
    const char* path;
};

class LineBreaks : public AppFixture, public ::testing::WithParamInterface<LineBreakCase> {};

TEST_P(LineBreaks, AValueWithALineBreakIsNeverWritten) {
    const LineBreakCase& c = GetParam();
    const std::string before = "1.024\n10m\n" + root + "/source\n0040\n0010\n";
    WriteFile(settingsFile(), before);
    App& a = app();
    a.GetOptions();
    a.sPath = root + c.path;
    if (*c.newPath) {
        a.sNewSize = "512";
        a.sNewInterval = "20";
        a.sNewPath = root + c.newPath;
    }
    EXPECT_FALSE(a.TrySaveOptions());
    EXPECT_EQ(a.sState, App::kSettingsNotSaved());
    EXPECT_EQ(ReadFile(settingsFile()), before) << "the settings read back as they were";
    EXPECT_EQ(a.sSize, "1.024") << "nothing is applied";
}

INSTANTIATE_TEST_SUITE_P(
    Paths, LineBreaks,
    ::testing::Values(LineBreakCase{"CurrentPathWithALineFeed", "", "/two\nlines"},
                      LineBreakCase{"CurrentPathWithACarriageReturn", "", "/two\rlines"},
                      LineBreakCase{"ChosenPathWithALineFeed", "/two\nlines", "/source"},
                      LineBreakCase{"ChosenPathWithACarriageReturn", "/two\rlines", "/source"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Settings, ASaveThatCannotWriteIsAnsweredWithAStatusNotAnException) {
    // Where the settings folder should be lies a file.
    std::filesystem::create_directories(home + "/.local/share");
    WriteFile(settingsDir(), "in the way");
    App& a = app();
    a.sSize = "256";
    a.sInterval = "60";
    a.sPath = root + "/none";
    bool saved = true;
    EXPECT_NO_THROW(saved = a.TrySaveOptions());
    EXPECT_FALSE(saved);
    EXPECT_EQ(a.sState, App::kSettingsNotSaved());
    EXPECT_EQ(ReadFile(settingsDir()), "in the way");
}

}  // namespace
