#include "WindowsFixture.h"
#include "framework/FolderItem.h"
#include "windows/frmOptions.h"

#include <functional>

namespace {

class OptionsWindow : public WindowsFixture {
protected:
    // The counted data that gives the margin-included megabytes m.
    static double BytesFor(double m) { return (m - 60) * 1024 * 1024; }

    static std::vector<std::string> Rows(fw::PopupMenu& list) {
        std::vector<std::string> rows;
        for (int64_t i = 0; i < list.ListCount(); ++i) rows.push_back(list.List(i));
        return rows;
    }
};

struct OfferCase {
    const char* name;
    double m;
    const char* firstOffered;  // "" when none
    int64_t count;
};

class SizeOffers : public OptionsWindow, public ::testing::WithParamInterface<OfferCase> {};

TEST_P(SizeOffers, OfferOnlySizesWhoseThresholdExceedsTheCountedData) {
    const OfferCase& c = GetParam();
    app().dMemUsed = BytesFor(c.m);
    auto w = frmOptions();
    auto sizes = w->cmbSize();
    EXPECT_EQ(sizes->ListCount(), c.count);
    EXPECT_EQ(sizes->List(0), c.firstOffered);
    if (c.count > 0) {
        EXPECT_EQ(sizes->List(c.count - 1), "4.096 MB");
    }
    const bool none = c.count == 0;
    EXPECT_EQ(sizes->Enabled(), !none);
    EXPECT_EQ(w->cmbInterval()->Enabled(), !none);
    EXPECT_EQ(fw::testing::ShownEnabled(*w->cmbInterval()), !none);
    EXPECT_TRUE(w->cmdPath()->Enabled()) << "another folder can always be chosen";
    EXPECT_EQ(w->lblInfoSize()->Text(), none ? App::kInfoSize() : "");
}

INSTANTIATE_TEST_SUITE_P(
    Thresholds, SizeOffers,
    ::testing::Values(OfferCase{"NothingCountedOffersAll", 60, "256 MB", 16},
                      OfferCase{"JustBelow456Offers512", 455.9, "512 MB", 15},
                      OfferCase{"Exactly456DoesNotOffer512", 456, "768 MB", 14},
                      OfferCase{"At2730The2816RowIsOffered", 2730, "2.816 MB", 6},
                      OfferCase{"At2760TheRowsStartAt3072", 2760, "3.072 MB", 5},
                      OfferCase{"At3730The3840RowIsOffered", 3730, "3.840 MB", 2},
                      OfferCase{"At3956NothingFits", 3956, "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct SelectionCase {
    const char* name;
    const char* size;
    const char* interval;
    double m;
    const char* selectedSize;  // "" when none
    int64_t intervalIndex;
};

class Selections : public OptionsWindow, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(Selections, TheStoredSettingsAreSelected) {
    const SelectionCase& c = GetParam();
    WriteSettings(c.size, c.interval, "0040", "0010");
    app().dMemUsed = BytesFor(c.m);
    auto w = frmOptions();
    EXPECT_EQ(w->cmbSize()->Text(), c.selectedSize);
    EXPECT_EQ(fw::testing::ShownText(*w->cmbSize()), c.selectedSize) << "an unselected list shows no row";
    EXPECT_EQ(w->cmbInterval()->ListIndex(), c.intervalIndex);
    EXPECT_EQ(w->lblPath()->Text(), source);
}

INSTANTIATE_TEST_SUITE_P(
    StoredValues, Selections,
    ::testing::Values(SelectionCase{"SizeWithSeparator", "1.024", "5m", 60, "1.024 MB", 7},
                      SelectionCase{"HoursToken", "4.096", "2S", 60, "4.096 MB", 14},
                      SelectionCase{"StoredSizeNoLongerOffered", "256", "60", 300, "", 5},
                      SelectionCase{"UnknownIntervalReadsAsSixtySeconds", "512", "7m", 60, "512 MB", 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OptionsWindow, ListsTheSeventeenIntervalsWithLocalisedUnits) {
    auto w = frmOptions();
    const auto rows = Rows(*w->cmbInterval());
    ASSERT_EQ(rows.size(), 17u);
    EXPECT_EQ(rows[0], "10 sec.");
    EXPECT_EQ(rows[5], "60 sec.");
    EXPECT_EQ(rows[6], "2 min.");
    EXPECT_EQ(rows[13], "60 min.");
    EXPECT_EQ(rows[14], "2 h");
    EXPECT_EQ(rows[16], "4 h");
    EXPECT_EQ(w->Title(), "Preferences");
    EXPECT_EQ(w->fraSize()->Caption(), App::kSizeOfDrive());
    EXPECT_EQ(w->cmdPath()->Caption(), "change");
}

TEST_F(OptionsWindow, ClosingUntouchedHandsOverWhatItShowsAndEndsThePause) {
    WriteSettings("1.024", "10m", "0040", "0010");
    App& a = app();
    a.bSleep = true;
    a.sNewSize = a.sNewInterval = a.sNewPath = "stale";
    frmOptions()->Close();
    EXPECT_EQ(a.sNewSize, "1.024");
    EXPECT_EQ(a.sNewInterval, "10m");
    EXPECT_EQ(a.sNewPath, source);
    EXPECT_FALSE(a.bSleep);
}

TEST_F(OptionsWindow, WithNoSizeRowSelectedTheSizeInUseIsHandedOver) {
    for (double m : {300.0, 3956.0}) {  // the size in use is not offered; no size is offered at all
        WriteSettings("256", "10m", "0040", "0010");
        app().dMemUsed = BytesFor(m);
        app().sNewSize = app().sNewInterval = "earlier";
        auto w = frmOptions();
        ASSERT_EQ(w->cmbSize()->ListIndex(), -1) << m;
        w->Close();
        EXPECT_EQ(app().sNewSize, "256") << m;
        EXPECT_EQ(app().sNewInterval, "10m") << m;
    }
}

TEST_F(OptionsWindow, APressOnEitherListDisablesTheFolderButton) {
    for (const char* list : {"cmbSize", "cmbInterval"}) {
        auto w = frmOptions();
        fw::testing::ClickControl(*w->ControlByName(list));
        fw::testing::DismissPopups();
        EXPECT_FALSE(w->cmdPath()->Enabled()) << list;
        EXPECT_FALSE(fw::testing::ShownEnabled(*w->cmdPath())) << list;
        w->Close();
    }
}

struct ListUse {
    const char* name;
    const char* list;
    std::function<void(fw::PopupMenu&)> use;
};

class ListUses : public OptionsWindow, public ::testing::WithParamInterface<ListUse> {};

TEST_P(ListUses, ChangingAListAnyWayDisablesTheFolderButton) {
    const ListUse& c = GetParam();
    WriteSettings("512", "20", "0040", "0010");
    auto w = frmOptions();
    auto list = std::string(c.list) == "cmbSize" ? w->cmbSize() : w->cmbInterval();
    const int64_t before = list->ListIndex();
    c.use(*list);
    fw::testing::Pump();
    EXPECT_NE(list->ListIndex(), before) << "the row was changed";
    EXPECT_FALSE(w->cmdPath()->Enabled());
    EXPECT_FALSE(fw::testing::ShownEnabled(*w->cmdPath()));
    w->Close();
    EXPECT_EQ(app().sNewPath, source);
}

INSTANTIATE_TEST_SUITE_P(
    KeysAndWheel, ListUses,
    ::testing::Values(
        ListUse{"SizeByArrowKey", "cmbSize", [](fw::PopupMenu& l) { fw::testing::PressKeysOn(l, "Down"); }},
        ListUse{"IntervalByArrowKey", "cmbInterval", [](fw::PopupMenu& l) { fw::testing::PressKeysOn(l, "Up"); }},
        ListUse{"SizeByWheel", "cmbSize", [](fw::PopupMenu& l) { fw::testing::TurnWheel(l, -1); }},
        ListUse{"IntervalByWheel", "cmbInterval", [](fw::PopupMenu& l) { fw::testing::TurnWheel(l, 1); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OptionsWindow, TheFolderChooserOpensAtTheSourceFolder) {
    auto w = frmOptions();
    std::string openedAt;
    fw::testing::AnswerNextFolderChooser("", &openedAt);
    w->cmdPath()->Push();
    EXPECT_EQ(openedAt, source);
}

struct RefusedChoice {
    const char* name;
    std::function<std::string(const std::string& root, const std::string& home)> folder;
};

class RefusedChoices : public OptionsWindow, public ::testing::WithParamInterface<RefusedChoice> {};

TEST_P(RefusedChoices, SayWhyAndKeepTheSourceFolder) {
    const std::string chosen = GetParam().folder(root, home);
    std::filesystem::create_directories(chosen);
    auto w = frmOptions();
    std::string said;
    fw::testing::AnswerNextFolderChooser(chosen);
    fw::testing::AnswerNextMessageBox(&said);
    w->cmdPath()->Push();
    EXPECT_EQ(said, App::kSourceRefused());
    EXPECT_EQ(w->lblPath()->Text(), source);
    w->Close();
    EXPECT_EQ(app().sNewPath, source);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, RefusedChoices,
    ::testing::Values(RefusedChoice{"TheHomeFolder", [](auto&, auto& home) { return home; }},
                      RefusedChoice{"AFolderAboveTheHomeFolder", [](auto& root, auto&) { return root; }},
                      RefusedChoice{"ASystemFolder", [](auto&, auto&) { return std::string("/usr/share"); }},
                      RefusedChoice{"TheSettingsFolder",
                                    [](auto&, auto& home) { return home + "/.local/share/TavelmorinthSettings"; }},
                      RefusedChoice{"AFolderWithALineBreak", [](auto& root, auto&) { return root + "/two\nlines"; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OptionsWindow, TheRefusalIsSaidInGermanToo) {
    EXPECT_EQ(App::kSourceRefused("de").rfind("Dieser Ordner kann nicht der Quellordner sein", 0), 0u);
    EXPECT_EQ(App::kSourceNotUsable("de").rfind("Achtung, dieser Quellordner kann nicht verwendet werden", 0), 0u);
    EXPECT_EQ(App::kSettingsNotSaved("de").rfind("Die Einstellungen konnten nicht gespeichert werden", 0), 0u);
}

TEST_F(OptionsWindow, TheFolderButtonDisablesBothListsAndTakesTheChosenFolder) {
    const std::string chosen = root + "/new source";
    std::filesystem::create_directories(chosen);
    auto w = frmOptions();
    fw::testing::AnswerNextFolderChooser(chosen);
    w->cmdPath()->Push();
    EXPECT_FALSE(w->cmbSize()->Enabled());
    EXPECT_FALSE(w->cmbInterval()->Enabled());
    EXPECT_EQ(w->lblPath()->Text(), fw::GetFolderItem(chosen)->ShellPath());
    w->Close();
    EXPECT_EQ(fw::GetFolderItem(app().sNewPath, 1)->NativePath(), chosen);
    EXPECT_EQ(app().sNewSize, "256") << "the disabled lists are read all the same";
}

TEST_F(OptionsWindow, CancellingTheChooserKeepsThePath) {
    auto w = frmOptions();
    fw::testing::AnswerNextFolderChooser("");
    w->cmdPath()->Push();
    EXPECT_FALSE(w->cmbSize()->Enabled());
    EXPECT_EQ(w->lblPath()->Text(), source);
}

TEST_F(OptionsWindow, TheEscapeKeyPressesTheFolderButton) {
    auto w = frmOptions();
    ASSERT_TRUE(fw::testing::Activate(*w));
    fw::testing::AnswerNextFolderChooser("");
    fw::testing::PressKeys(*w, "Escape");
    EXPECT_FALSE(w->cmbSize()->Enabled());
}

TEST_F(OptionsWindow, ShowingItAgainBringsTheSameWindowWithoutFillingItTwice) {
    auto w = frmOptions();
    frmOptions()->Show();
    EXPECT_TRUE(frmOptions() == w);
    EXPECT_EQ(w->cmbInterval()->ListCount(), 17);
    EXPECT_EQ(w->cmbSize()->ListCount(), 16);
}

}  // namespace
