#include "framework/FolderItem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <functional>
#include <vector>

#include "Scratch.h"
#include "support/Descriptors.h"

using fw::FolderItem;
using fw::Ref;
using tvmtest::DescriptorsUnder;
using tvmtest::Scratch;
using tvmtest::WriteFile;

namespace {

// Waits until the folder's timestamps are old enough that a later change is
// sure to alter them, so its cached listing can be trusted without a re-read.
double SecondsSinceChange(const std::string& folder) {
    struct stat st;
    ::stat(folder.c_str(), &st);
    timespec now;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return double(now.tv_sec - st.st_ctim.tv_sec) + (now.tv_nsec - st.st_ctim.tv_nsec) / 1e9;
}

void WaitUntilSettled(const std::string& folder) {
    for (int i = 0; i < 200 && SecondsSinceChange(folder) < 0.05; ++i) ::usleep(10'000);
}

std::vector<std::string> Names(const FolderItem& folder) {
    std::vector<std::string> names;
    for (int64_t i = 1; i <= folder.Count(); ++i) names.push_back(folder.Item(i)->Name());
    return names;
}

void SetMtime(const std::string& path, time_t sec, long nsec, bool ofLink = false) {
    const timespec t[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, ofLink ? AT_SYMLINK_NOFOLLOW : 0), 0);
}

// A file, a folder, links to each and a dangling link.
class Kinds : public testing::Test {
protected:
    void SetUp() override {
        WriteFile(s / "file", "12345");
        ::mkdir((s / "folder").c_str(), 0755);
        WriteFile(s / "folder/inner", "x");
        ::symlink("file", (s / "link-to-file").c_str());
        ::symlink("folder", (s / "link-to-folder").c_str());
        ::symlink("missing", (s / "dangling").c_str());
        SetMtime(s / "file", 1'600'000'000, 123'456'789);
        SetMtime(s / "link-to-file", 1'500'000'000, 0, true);
        SetMtime(s / "dangling", 1'400'000'000, 0, true);
    }
    Scratch s;
};

struct KindRow {
    const char* name;
    bool follow;
    bool alias, directory;
    int64_t length;  // -1: the folder's own size, whatever the file system says
    double mtime;    // 0: not checked
    int64_t count;
};

TEST_F(Kinds, FollowedItemsAnswerForTheTargetTrueItemsForTheLinkItself) {
    const KindRow rows[] = {
        {"file", true, false, false, 5, 1'600'000'000.123456789, 0},
        {"file", false, false, false, 5, 1'600'000'000.123456789, 0},
        {"folder", true, false, true, -1, 0, 1},
        {"folder", false, false, true, -1, 0, 1},
        {"link-to-file", true, true, false, 5, 1'600'000'000.123456789, 0},
        {"link-to-file", false, true, false, 4, 1'500'000'000, 0},
        {"link-to-folder", true, true, true, -1, 0, 1},
        {"link-to-folder", false, true, false, 6, 0, 0},
        // A dangling link exists and answers about itself either way.
        {"dangling", true, true, false, 7, 1'400'000'000, 0},
        {"dangling", false, true, false, 7, 1'400'000'000, 0},
    };
    FolderItem root(s.path());
    ASSERT_EQ(root.Count(), 5);
    for (const KindRow& r : rows) {
        int64_t index = 0;
        for (int64_t i = 1; i <= root.Count(); ++i)
            if (root.Item(i)->Name() == r.name) index = i;
        ASSERT_NE(index, 0) << r.name;
        const Ref<FolderItem> fromListing = r.follow ? root.Item(index) : root.TrueItem(index);
        // Once as a listing entry (kind known from the listing), once made from the
        // path, and for followed items once as GetFolderItem resolves it.
        const FolderItem byPath(s / r.name, r.follow);
        const Ref<FolderItem> resolved = r.follow ? fw::GetFolderItem(s / r.name) : fromListing;
        for (const FolderItem* item : std::vector<const FolderItem*>{fromListing.get(), &byPath, resolved.get()}) {
            SCOPED_TRACE(std::string(r.name) + (r.follow ? " followed" : " true") +
                         (item == &byPath ? " by path" : item == resolved.get() ? " resolved" : " from listing"));
            EXPECT_TRUE(item->Exists());
            EXPECT_EQ(item->Alias(), r.alias);
            EXPECT_EQ(item->Directory(), r.directory);
            if (r.length >= 0) {
                EXPECT_EQ(item->Length(), r.length);
            }
            if (r.mtime != 0) {
                EXPECT_DOUBLE_EQ(item->ModificationDate().TotalSeconds(), r.mtime);
            }
            EXPECT_EQ(item->Count(), r.count);
            EXPECT_EQ(item->Name(), r.name);
        }
    }
}

// Only what the listing itself says is a plain file is one for ListedFile: a
// link to a file is no file, nor a folder; the names are the listing's own.
TEST_F(Kinds, ListedFileIsTrueOnlyForPlainFilesAndNamesEveryEntry) {
    const FolderItem folder(s.path());
    ASSERT_EQ(folder.Count(), 5);
    std::vector<std::string> files, names;
    for (int64_t i = 1; i <= 5; ++i) {
        std::string_view name;
        const bool file = folder.ListedFile(i, name);
        names.emplace_back(name);
        if (file) files.emplace_back(name);
        EXPECT_EQ(names.back(), folder.TrueItem(i)->Name());
    }
    EXPECT_EQ(files, std::vector<std::string>{"file"});
    std::string_view none = "untouched";
    EXPECT_FALSE(folder.ListedFile(0, none));
    EXPECT_FALSE(folder.ListedFile(6, none));
    EXPECT_EQ(none, "untouched");
}

TEST_F(Kinds, AMissingEntryIsNothing) {
    const FolderItem missing(s / "nothing");
    EXPECT_FALSE(missing.Exists());
    EXPECT_FALSE(missing.Directory());
    EXPECT_FALSE(missing.Alias());
    EXPECT_EQ(missing.Length(), 0);
    EXPECT_EQ(missing.Count(), 0);
    EXPECT_EQ(missing.Permissions(), 0);
    EXPECT_TRUE(missing.Item(1).IsNil());
    EXPECT_TRUE(FolderItem(s / "file").Item(1).IsNil());
}

TEST(FolderItemListing, EntriesComeInByteOrderOfTheirNamesWithoutDotAndDotDot) {
    Scratch s;
    for (const char* n : {"b", "B", "a", "\xC3\xA9t\xC3\xA9", "Z", "_x", "10", "9", "-dash", " blank", ".hidden"})
        WriteFile(s / n, "");
    const FolderItem folder(s.path());
    const std::vector<std::string> expected = {" blank", "-dash", ".hidden", "10", "9", "B", "Z", "_x",
                                               "a", "b", "\xC3\xA9t\xC3\xA9"};
    EXPECT_EQ(Names(folder), expected);
    EXPECT_TRUE(folder.Item(0).IsNil());
    EXPECT_TRUE(folder.Item(12).IsNil());
    EXPECT_TRUE(folder.TrueItem(-1).IsNil());
    EXPECT_EQ(folder.TrueItem(11)->NativePath(), s / "\xC3\xA9t\xC3\xA9");
}

TEST(FolderItemListing, WalkingAFolderReadsItsListingOnce) {
    Scratch s;
    for (int i = 0; i < 300; ++i) WriteFile(s / ("f" + std::to_string(i)), "");
    ::mkdir((s / "sub").c_str(), 0755);
    WaitUntilSettled(s.path());

    const FolderItem folder(s.path());
    for (int pass = 0; pass < 2; ++pass) {
        const int64_t before = FolderItem::ListingReads();
        for (int64_t i = 1; folder.Count() >= i; ++i) {
            const Ref<FolderItem> item = folder.Item(i);
            const Ref<FolderItem> trueItem = folder.TrueItem(i);
            ASSERT_FALSE(item.IsNil());
            item->Name();
            item->Directory();
            item->ModificationDate();
            trueItem->Alias();
        }
        EXPECT_EQ(FolderItem::ListingReads() - before, pass == 0 ? 1 : 0) << "pass " << pass;
    }
}

// Where a file system keeps coarse timestamps, a change right after a read leaves
// them as they were; so a listing read while they are fresh is not trusted.
TEST(FolderItemListing, AFolderChangedJustNowIsReadAgainUntilItsTimestampsAge) {
    Scratch s;
    const FolderItem folder(s.path());
    WriteFile(s / "a", "");
    int64_t before = FolderItem::ListingReads();
    folder.Count();
    folder.Count();
    if (SecondsSinceChange(s.path()) < 0.015) {  // else both reads may have come late
        EXPECT_EQ(FolderItem::ListingReads() - before, 2);
    }

    WaitUntilSettled(s.path());
    before = FolderItem::ListingReads();
    folder.Count();  // read once more, now that the timestamps can be trusted
    folder.Count();
    folder.Count();
    EXPECT_EQ(FolderItem::ListingReads() - before, 1);
}

// Right after a change (timestamps still fresh) and after they have settled.
class ListingFollowsChanges : public testing::TestWithParam<bool> {};

TEST_P(ListingFollowsChanges, CountAndPositionsSeeEntriesAddedAndRemoved) {
    const bool settle = GetParam();
    Scratch s;
    for (const char* n : {"a", "c", "e"}) WriteFile(s / n, "");
    const FolderItem folder(s.path());
    if (settle) WaitUntilSettled(s.path());
    ASSERT_EQ(folder.Count(), 3);

    WriteFile(s / "b", "");
    EXPECT_EQ(folder.Item(2)->Name(), "c") << "positions stand as the last Count saw them";
    EXPECT_EQ(folder.Count(), 4);
    EXPECT_EQ(folder.Item(2)->Name(), "b");

    if (settle) WaitUntilSettled(s.path());
    ASSERT_EQ(folder.Count(), 4);
    ::unlink((s / "a").c_str());
    ::unlink((s / "c").c_str());
    EXPECT_EQ(folder.Count(), 2);
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"b", "e"}));

    // The same name now naming another folder is another listing.
    if (settle) WaitUntilSettled(s.path());
    ASSERT_EQ(folder.Count(), 2);
    ::rename(s.path().c_str(), (s.path() + ".old").c_str());
    ::mkdir(s.path().c_str(), 0755);
    WriteFile(s / "new", "");
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"new"}));
    std::filesystem::remove_all(s.path() + ".old");
}

INSTANTIATE_TEST_SUITE_P(FreshOrSettled, ListingFollowsChanges, testing::Bool(),
                         [](const auto& info) { return info.param ? "settled" : "fresh"; });

// An open folder keeps a volume from being detached and would be inherited by
// every program the shell starts.
TEST(FolderItemListing, AFolderIsHeldOpenCloseOnExecOnlyWhileAnItemHoldsItsListing) {
    Scratch s;
    WriteFile(s / "a", "");
    ::mkdir((s / "sub").c_str(), 0755);
    {
        const FolderItem folder(s.path());
        folder.Exists();
        EXPECT_TRUE(DescriptorsUnder(s.path()).empty()) << "opened before any listing was read";
        ASSERT_EQ(folder.Count(), 2);
        const auto held = DescriptorsUnder(s.path());
        ASSERT_EQ(held.size(), 1u);
        EXPECT_EQ(held[0].path, s.path());
        EXPECT_TRUE(held[0].closeOnExec);

        EXPECT_EQ(folder.TrueItem(2)->Count(), 0);  // "sub", dropped at once
        EXPECT_EQ(FolderItem(s / "a").Count(), 0);
        EXPECT_EQ(DescriptorsUnder(s.path()).size(), 1u) << "an item gone, or a file, left a folder open";

        const FolderItem copy = folder;
        folder.Refresh();
        EXPECT_EQ(DescriptorsUnder(s.path()).size(), 1u) << "the copy still uses the listing";
        copy.Refresh();
        EXPECT_TRUE(DescriptorsUnder(s.path()).empty()) << "Refresh kept the folder open";
        folder.Count();
    }
    EXPECT_TRUE(DescriptorsUnder(s.path()).empty()) << "the item is gone but its folder is open";
}

// More folders held at once than are worth keeping open (a deep walk holds one
// per level): each still follows its changes, and only a bounded number is open.
TEST(FolderItemListing, ManyListingsAtOnceStayCorrectWithoutADescriptorEach) {
    Scratch s;
    constexpr size_t kFolders = 400;
    std::vector<FolderItem> folders;
    for (size_t i = 0; i < kFolders; ++i) {
        ::mkdir((s / std::to_string(i)).c_str(), 0755);
        folders.emplace_back(s / std::to_string(i));
    }
    for (const FolderItem& f : folders) EXPECT_EQ(f.Count(), 0);
    EXPECT_LT(DescriptorsUnder(s.path()).size(), kFolders);

    for (const FolderItem& f : folders) WriteFile(f.NativePath() + "/x", "");
    WaitUntilSettled(folders.back().NativePath());
    for (const FolderItem& f : folders) ASSERT_EQ(f.Count(), 1) << f.NativePath();
    ::unlink((folders.front().NativePath() + "/x").c_str());
    ::unlink((folders.back().NativePath() + "/x").c_str());
    EXPECT_EQ(folders.front().Count(), 0);
    EXPECT_EQ(folders.back().Count(), 0);
}

// A folder keeps its own status when a folder above it is renamed, so the path
// has to be looked up again: entries are addressed under the path, and a stale
// listing would keep proposing names that are not there.
TEST(FolderItemListing, AFolderMovedAwayWithItsParentGivesWayToWhatItsPathNamesNow) {
    const struct {
        const char* when;
        std::function<void(const FolderItem&)> meanwhile;
    } cases[] = {
        {"after a while", [](const FolderItem&) { ::usleep(30'000); }},  // the longest it goes without
        {"at once after a change through one of its entries",
         [](const FolderItem& folder) {
             const Ref<FolderItem> gone = folder.TrueItem(1);
             gone->Delete();
             EXPECT_EQ(gone->LastErrorCode(), ENOENT);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        Scratch s;
        ::mkdir((s / "p").c_str(), 0755);
        ::mkdir((s / "p/sub").c_str(), 0755);
        for (const char* n : {"old1", "old2"}) WriteFile(s / (std::string("p/sub/") + n), "");
        WaitUntilSettled(s / "p/sub");
        const FolderItem folder(s / "p/sub");
        ASSERT_EQ(Names(folder), (std::vector<std::string>{"old1", "old2"}));

        ASSERT_EQ(::rename((s / "p").c_str(), (s / "p.moved").c_str()), 0);
        ::mkdir((s / "p").c_str(), 0755);
        ::mkdir((s / "p/sub").c_str(), 0755);
        WriteFile(s / "p/sub/new", "");
        c.meanwhile(folder);
        EXPECT_EQ(Names(folder), (std::vector<std::string>{"new"}));

        std::filesystem::remove_all(s / "p");
        EXPECT_EQ(folder.Count(), 0);
    }
}

// HeldChild looks names up in the folder held open; like a listing it gives way
// to what the path names now, after a while or at once after a change made
// through one of its items, and it holds the folder only while the item lives.
TEST(FolderItemHeldChild, AnswersForTheEntryItselfAndFollowsThePathToANewFolder) {
    const struct {
        const char* when;
        std::function<void(const Ref<FolderItem>&)> meanwhile;
    } cases[] = {
        {"after a while", [](const Ref<FolderItem>&) { ::usleep(30'000); }},
        {"at once after a change through one of its items", [](const Ref<FolderItem>& child) { child->Delete(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        Scratch s;
        ::mkdir((s / "p").c_str(), 0755);
        ::mkdir((s / "p/sub").c_str(), 0755);
        WriteFile(s / "p/sub/old", "12345");
        ASSERT_EQ(::symlink("old", (s / "p/sub/link").c_str()), 0);
        {
            const auto folder = fw::New<FolderItem>(s / "p/sub");
            const Ref<FolderItem> old = folder->HeldChild("old");
            EXPECT_TRUE(old->Exists());
            EXPECT_FALSE(old->Directory());
            EXPECT_EQ(old->Length(), 5);
            EXPECT_EQ(old->NativePath(), s / "p/sub/old");
            EXPECT_EQ(DescriptorsUnder(s.path()).size(), 1u);
            const Ref<FolderItem> link = folder->HeldChild("link");
            EXPECT_TRUE(link->Exists());
            EXPECT_TRUE(link->Alias());
            EXPECT_FALSE(folder->HeldChild("new")->Exists());

            ASSERT_EQ(::rename((s / "p").c_str(), (s / "p.moved").c_str()), 0);
            ::mkdir((s / "p").c_str(), 0755);
            ::mkdir((s / "p/sub").c_str(), 0755);
            WriteFile(s / "p/sub/new", "");
            c.meanwhile(folder->HeldChild("missing"));
            EXPECT_TRUE(folder->HeldChild("new")->Exists());
            EXPECT_FALSE(folder->HeldChild("old")->Exists());

            std::filesystem::remove_all(s / "p");
            c.meanwhile(folder->HeldChild("missing"));
            EXPECT_FALSE(folder->HeldChild("new")->Exists());
        }
        EXPECT_TRUE(DescriptorsUnder(s.path()).empty()) << "the item is gone but its folder is open";
    }
}

TEST(FolderItemPaths, NameParentAndChild) {
    struct Row {
        const char* path;
        const char* name;
        const char* parent;  // nullptr: Nil
    } rows[] = {
        {"/", "/", nullptr},
        {"/a", "a", "/"},
        {"/a/b", "b", "/a"},
        {"/a/b/", "b", "/a"},
        {"/a/b c/d e", "d e", "/a/b c"},
    };
    for (const Row& r : rows) {
        const FolderItem item(r.path);
        EXPECT_EQ(item.Name(), r.name) << r.path;
        const Ref<FolderItem> parent = item.Parent();
        if (r.parent) {
            ASSERT_FALSE(parent.IsNil()) << r.path;
            EXPECT_EQ(parent->NativePath(), r.parent) << r.path;
        } else {
            EXPECT_TRUE(parent.IsNil()) << r.path;
        }
    }
    EXPECT_EQ(FolderItem("/").Child("x")->NativePath(), "/x");
    EXPECT_EQ(FolderItem("/a").Child("x y")->NativePath(), "/a/x y");
}

TEST(FolderItemChanges, OperationsThroughTheItemShowInItsAnswers) {
    Scratch s;
    WriteFile(s / "f", "abc");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    FolderItem file(s / "f");
    EXPECT_EQ(file.Permissions(), int(0666 & ~mask));  // read before the change, so a cache would be stale

    file.SetPermissions(0500);
    EXPECT_EQ(file.LastErrorCode(), 0);
    EXPECT_EQ(file.Permissions(), 0500);

    const double before = file.ModificationDate().TotalSeconds();
    fw::Date when = fw::Date::FromSeconds(1'234'567'890.5);
    file.SetModificationDate(when);
    EXPECT_EQ(file.LastErrorCode(), 0);
    EXPECT_NE(file.ModificationDate().TotalSeconds(), before);
    EXPECT_NEAR(file.ModificationDate().TotalSeconds(), 1'234'567'890.5, 1e-6);

    file.Delete();
    EXPECT_EQ(file.LastErrorCode(), 0);
    EXPECT_FALSE(file.Exists());

    file.CreateAsFolder();
    EXPECT_EQ(file.LastErrorCode(), 0);
    EXPECT_TRUE(file.Directory());
    EXPECT_EQ(file.Permissions(), int(0777 & ~mask));
    EXPECT_EQ(file.Count(), 0);
    WriteFile(s / "f/inside", "");
    EXPECT_EQ(file.Count(), 1);
}

TEST(FolderItemChanges, FailuresSetLastErrorCodeAndRaiseNothing) {
    Scratch s;
    WriteFile(s / "file", "");
    ::mkdir((s / "full").c_str(), 0755);
    WriteFile(s / "full/x", "");
    ::mkdir((s / "empty").c_str(), 0755);
    ::symlink("full", (s / "link").c_str());

    struct Row {
        const char* what;
        std::function<int()> run;
        int error;
    } rows[] = {
        {"delete a file", [&] { FolderItem i(s / "file"); i.Delete(); return i.LastErrorCode(); }, 0},
        {"delete an empty folder", [&] { FolderItem i(s / "empty"); i.Delete(); return i.LastErrorCode(); }, 0},
        {"delete a link to a folder removes the link only",
         [&] { FolderItem i(s / "link"); i.Delete(); return i.LastErrorCode(); }, 0},
        {"delete a full folder", [&] { FolderItem i(s / "full"); i.Delete(); return i.LastErrorCode(); }, ENOTEMPTY},
        {"delete a missing entry", [&] { FolderItem i(s / "none"); i.Delete(); return i.LastErrorCode(); }, ENOENT},
        {"create an existing folder",
         [&] { FolderItem i(s / "full"); i.CreateAsFolder(); return i.LastErrorCode(); }, EEXIST},
        {"create in a missing folder",
         [&] { FolderItem i(s / "none/x"); i.CreateAsFolder(); return i.LastErrorCode(); }, ENOENT},
        {"permissions of a missing entry",
         [&] { FolderItem i(s / "none"); i.SetPermissions(0700); return i.LastErrorCode(); }, ENOENT},
        {"move into a missing folder", [&] {
             FolderItem i(s / "full/x");
             i.MoveFileTo(fw::New<FolderItem>(s / "none/x"));
             return i.LastErrorCode();
         }, ENOENT},
    };
    for (const Row& r : rows) EXPECT_EQ(r.run(), r.error) << r.what;
    EXPECT_FALSE(std::filesystem::exists(s / "file"));
    EXPECT_FALSE(std::filesystem::exists(s / "empty"));
    EXPECT_FALSE(std::filesystem::is_symlink(s / "link"));
    EXPECT_TRUE(std::filesystem::exists(s / "full/x"));
}

TEST(FolderItemChanges, MoveReplacesAFileAtTheDestination) {
    Scratch s;
    WriteFile(s / "from", "new");
    WriteFile(s / "to", "old old old");
    FolderItem from(s / "from");
    const auto to = fw::New<FolderItem>(s / "to");
    EXPECT_EQ(to->Length(), 11);
    from.MoveFileTo(to);
    EXPECT_EQ(from.LastErrorCode(), 0);
    EXPECT_FALSE(from.Exists());
    EXPECT_EQ(to->Length(), 3);
    EXPECT_EQ(tvmtest::ReadFile(s / "to"), "new");
}

}  // namespace

namespace {

// A deletion through an entry of a listing takes the entry out of that listing
// instead of making the next Count read the folder again; what others change
// afterwards still shows.
TEST(FolderItemListing, DeletingThroughTheListingKeepsItCurrentWithoutARead) {
    Scratch s;
    for (const char* n : {"a", "b", "c", "d", "e"}) WriteFile(s / n, "");
    ::mkdir((s / "f").c_str(), 0755);
    WaitUntilSettled(s.path());
    const FolderItem folder(s.path());
    ASSERT_EQ(folder.Count(), 6);

    const int64_t before = FolderItem::ListingReads();
    for (int64_t position : {2, 2, 4}) {  // b, then c in its place, then f (a folder)
        const Ref<FolderItem> entry = folder.TrueItem(position);
        entry->Delete();
        ASSERT_EQ(entry->LastErrorCode(), 0) << entry->Name();
        folder.Count();
    }
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"a", "d", "e"}));
    EXPECT_EQ(FolderItem::ListingReads() - before, 0);
    EXPECT_TRUE(folder.HasEntry("d"));
    EXPECT_FALSE(folder.HasEntry("b"));

    WaitUntilSettled(s.path());
    WriteFile(s / "g", "");
    ::unlink((s / "a").c_str());
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"d", "e", "g"}));
}

}  // namespace

namespace {

// A walk asks before every entry but the folder itself at most once per clock
// tick: what others change shows from the next tick, what is changed through
// the listing at once.
TEST(FolderItemListing, CountWithinTickSeesChangesFromTheNextTickOn) {
    Scratch s;
    for (const char* n : {"a", "b", "c"}) WriteFile(s / n, "");
    WaitUntilSettled(s.path());
    const FolderItem folder(s.path());
    ASSERT_EQ(folder.CountWithinTick(), 3);
    const Ref<FolderItem> b = folder.TrueItem(2);
    b->Delete();
    EXPECT_EQ(folder.CountWithinTick(), 2) << "a deletion through the listing shows at once";

    WriteFile(s / "d", "");
    ::usleep(10'000);  // past the coarse clock's tick (4 ms or less)
    EXPECT_EQ(folder.CountWithinTick(), 3);
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"a", "c", "d"}));
}

}  // namespace
