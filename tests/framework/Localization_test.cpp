#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "RuntimeSupport.h"
#include "TestPaths.h"
#include "framework/Localization.h"

using namespace fw;

namespace {

const char* const kLocaleVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

// Sets the locale variables for one test and puts the old ones back afterwards.
class LocaleEnvironment : public testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 4; ++i) {
            const char* v = std::getenv(kLocaleVariables[i]);
            saved_[i] = v ? std::optional<std::string>(v) : std::nullopt;
        }
        SetLocalizationFolder(TVM_TEST_TABLES_DIR);
    }
    void TearDown() override {
        for (int i = 0; i < 4; ++i) Set(kLocaleVariables[i], saved_[i] ? saved_[i]->c_str() : nullptr);
        SetLocalizationFolder(TVM_RESOURCES_DIR);
    }
    static void Set(const char* name, const char* value) {
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }

private:
    std::optional<std::string> saved_[4];
};

struct LookupCase {
    const char* name;
    const char* key;
    const char* defaultText;
    const char* language;
    const char* expected;
};

const LookupCase kLookupCases[] = {
    {"the table's text for the key", "App.kmnuManual", "User Manuel", "de", "Handbuch"},
    {"a text with non-ASCII letters", "App.kEditClear", "&Löschen", "de", "&L\xC3\xB6schen"},
    {"a longer text", "App.kSyncReady", "The synchronization was completed successfully.", "de",
     "Die Synchronisation wurde erfolgreich abgeschlossen."},
    {"a key the table lacks gives the default", "App.kNextSync", "Next sync with hard drive:", "de",
     "Next sync with hard drive:"},
    {"an untranslated entry gives the default", "App.kBreak", "break", "de", "break"},
    {"a text of another context is not used", "App.kFolder", "Folder", "de", "Folder"},
    {"a language without a table gives the default", "App.kmnuManual", "User Manuel", "fr", "User Manuel"},
    {"English has no table and gives the default", "App.kFileQuit", "Beenden", "en", "Beenden"},
    {"the language code is not case sensitive", "App.kmnuManual", "User Manuel", "DE", "Handbuch"},
    {"a language that is no plain code gives the default", "App.kmnuManual", "User Manuel", "de/../de",
     "User Manuel"},
};

class Lookup : public LocaleEnvironment, public testing::WithParamInterface<LookupCase> {};

}  // namespace

TEST_P(Lookup, AnswersTheTablesTextOrTheDefault) {
    const LookupCase& c = GetParam();
    EXPECT_EQ(GetLocalizedString(c.key, c.defaultText, c.language), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Tables, Lookup, testing::ValuesIn(kLookupCases),
                         [](const auto& info) { return tvmtest::SentenceName(info.param.name); });

TEST_F(LocaleEnvironment, AnEmptyLanguageMeansTheUsersLanguage) {
    Set("LANGUAGE", nullptr);
    Set("LC_ALL", nullptr);
    Set("LC_MESSAGES", nullptr);
    Set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(GetLocalizedString("App.kmnuManual", "User Manuel"), "Handbuch");
    Set("LANG", "C.UTF-8");
    EXPECT_EQ(GetLocalizedString("App.kmnuManual", "User Manuel"), "User Manuel");
}

TEST_F(LocaleEnvironment, ChangingTheFolderDropsTablesLoadedBefore) {
    EXPECT_EQ(GetLocalizedString("App.kmnuManual", "User Manuel", "de"), "Handbuch");
    SetLocalizationFolder(TVM_TEST_DATA_DIR);  // holds no compiled table
    EXPECT_EQ(GetLocalizedString("App.kmnuManual", "User Manuel", "de"), "User Manuel");
}

struct LanguageCase {
    const char* name;
    const char* values[4];  // LANGUAGE, LC_ALL, LC_MESSAGES, LANG; nullptr: unset
    const char* expected;
};

const LanguageCase kLanguageCases[] = {
    {"nothing set means English", {nullptr, nullptr, nullptr, nullptr}, "en"},
    {"LANG with territory and encoding", {nullptr, nullptr, nullptr, "de_DE.UTF-8"}, "de"},
    {"the C locale means English", {nullptr, nullptr, nullptr, "C.UTF-8"}, "en"},
    {"the POSIX locale means English", {nullptr, nullptr, nullptr, "POSIX"}, "en"},
    {"LC_MESSAGES comes before LANG", {nullptr, nullptr, "fr_FR.UTF-8", "de_DE.UTF-8"}, "fr"},
    {"LC_ALL comes before LC_MESSAGES", {nullptr, "it_IT", "fr_FR", "de_DE"}, "it"},
    {"the first entry of LANGUAGE comes before everything", {"nl:de", "it_IT", "fr_FR", "de_DE"}, "nl"},
    {"an empty variable is passed over", {"", "", nullptr, "de_AT"}, "de"},
    {"a modifier is dropped", {nullptr, nullptr, nullptr, "de_DE@euro"}, "de"},
    {"upper-case letters are lowered", {nullptr, nullptr, nullptr, "PT_br"}, "pt"},
};

class UserLanguageFromEnvironment : public LocaleEnvironment, public testing::WithParamInterface<LanguageCase> {};

TEST_P(UserLanguageFromEnvironment, GivesTheTwoLetterCode) {
    for (int i = 0; i < 4; ++i) Set(kLocaleVariables[i], GetParam().values[i]);
    EXPECT_EQ(UserLanguage(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Variables, UserLanguageFromEnvironment, testing::ValuesIn(kLanguageCases),
                         [](const auto& info) { return tvmtest::SentenceName(info.param.name); });
