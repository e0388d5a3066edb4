#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <set>
#include <thread>

#include "Scratch.h"
#include "framework/Baton.h"
#include "framework/FolderItem.h"

using fw::FolderItem;
using fw::New;
using tvmtest::LStat;
using tvmtest::ReadFile;
using tvmtest::Scratch;
using tvmtest::WriteFile;

namespace {

void SetTimes(const std::string& path, time_t sec, long nsec, bool ofLink = false) {
    const timespec t[2] = {{sec - 100, 7}, {sec, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, ofLink ? AT_SYMLINK_NOFOLLOW : 0), 0);
}

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename());
    return names;
}

std::string Pattern(size_t bytes) {
    std::string s(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i) s[i] = char((i * 7919) >> 3);
    return s;
}

void ExpectSameTimes(const struct stat& a, const struct stat& b) {
    EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec);
    EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec);
}

class CopyFileTo : public testing::Test {
protected:
    Scratch s;
};

TEST_F(CopyFileTo, AFileKeepsItsBytesModeAndModificationDate) {
    for (size_t size : {size_t(0), size_t(3), size_t(3 << 20)}) {
        SCOPED_TRACE(size);
        const std::string from = s / ("from" + std::to_string(size));
        const std::string to = s / ("to" + std::to_string(size));
        WriteFile(from, Pattern(size));
        ::chmod(from.c_str(), 0751);
        SetTimes(from, 1'600'000'000, 123'456'789);

        FolderItem item(from);
        item.CopyFileTo(New<FolderItem>(to));
        ASSERT_EQ(item.LastErrorCode(), 0);
        EXPECT_EQ(ReadFile(to), Pattern(size));
        const struct stat a = LStat(from), b = LStat(to);
        EXPECT_EQ(b.st_mode, a.st_mode);
        ExpectSameTimes(a, b);
        EXPECT_EQ(FolderItem(to).ModificationDate(), item.ModificationDate());
    }
}

TEST_F(CopyFileTo, IntoAnExistingFolderCopiesUnderTheSameName) {
    WriteFile(s / "f", "data");
    ::mkdir((s / "dest").c_str(), 0755);
    FolderItem(s / "f").CopyFileTo(New<FolderItem>(s / "dest"));
    EXPECT_EQ(ReadFile(s / "dest/f"), "data");
}

TEST_F(CopyFileTo, ReplacesAFileWholeAndLeavesNothingBeside) {
    WriteFile(s / "f", "short");
    WriteFile(s / "dest", "a much longer old content");
    const auto dest = New<FolderItem>(s / "dest");
    EXPECT_EQ(dest->Length(), 25);
    FolderItem f(s / "f");
    f.CopyFileTo(dest);
    ASSERT_EQ(f.LastErrorCode(), 0);
    EXPECT_EQ(ReadFile(s / "dest"), "short");
    EXPECT_EQ(dest->Length(), 5);  // the destination's cached status was dropped
    EXPECT_EQ(Entries(s.path()), (std::set<std::string>{"dest", "f"}));
}

TEST_F(CopyFileTo, ALinkIsCopiedAsALinkNeverFollowed) {
    ::mkdir((s / "folder").c_str(), 0755);
    WriteFile(s / "folder/inside", "x");
    struct Row {
        const char* name;
        const char* target;
    } rows[] = {{"to-folder", "folder"}, {"dangling", "../nowhere"}, {"absolute", "/etc/hostname"}};
    ::mkdir((s / "out").c_str(), 0755);
    for (const Row& r : rows) {
        const std::string link = s / r.name;
        ::symlink(r.target, link.c_str());
        SetTimes(link, 1'500'000'000, 987'654'321, true);
        // A true item and a followed one copy the same: the link.
        for (bool follow : {false, true}) {
            const std::string to = s / ("out/" + std::string(r.name) + (follow ? "-f" : "-t"));
            FolderItem item(link, follow);
            item.CopyFileTo(New<FolderItem>(to));
            ASSERT_EQ(item.LastErrorCode(), 0) << r.name;
            ASSERT_TRUE(std::filesystem::is_symlink(to)) << r.name;
            EXPECT_EQ(std::filesystem::read_symlink(to), r.target);
            ExpectSameTimes(LStat(link), LStat(to));
        }
    }
    EXPECT_EQ(Entries(s / "folder"), (std::set<std::string>{"inside"}));
}

TEST_F(CopyFileTo, AFolderBecomesAnEmptyFolderWithItsMode) {
    ::mkdir((s / "folder").c_str(), 0700);
    WriteFile(s / "folder/inside", "x");
    ::chmod((s / "folder").c_str(), 0750);
    FolderItem folder(s / "folder");
    folder.CopyFileTo(New<FolderItem>(s / "copy"));
    ASSERT_EQ(folder.LastErrorCode(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(s / "copy"));
    EXPECT_TRUE(std::filesystem::is_empty(s / "copy"));
    EXPECT_EQ(LStat(s / "copy").st_mode & 07777, 0750u);
}

TEST_F(CopyFileTo, AFailureSetsTheErrorAndLeavesNoDestination) {
    WriteFile(s / "f", "data");
    ::mkfifo((s / "pipe").c_str(), 0644);
    ::mkdir((s / "out").c_str(), 0755);
    struct Row {
        const char* what;
        const char* from;
        const char* to;
        int error;
    } rows[] = {
        {"the destination's folder is missing", "f", "missing/f", ENOENT},
        {"the source is missing", "nothing", "out/nothing", ENOENT},
        {"a pipe is not copied (and does not hang)", "pipe", "out/pipe", ENOTSUP},
    };
    for (const Row& r : rows) {
        FolderItem item(s / r.from);
        item.CopyFileTo(New<FolderItem>(s / r.to));
        EXPECT_EQ(item.LastErrorCode(), r.error) << r.what;
    }
    EXPECT_EQ(Entries(s / "out"), std::set<std::string>{});
    EXPECT_EQ(Entries(s.path()), (std::set<std::string>{"f", "out", "pipe"}));
}

// The copy's writes fail part way (file size limit), as on a full disk.
TEST_F(CopyFileTo, AWriteThatFailsMidwayKeepsTheOldDestinationAndLeavesNoPartialFile) {
    WriteFile(s / "big", Pattern(1 << 20));
    WriteFile(s / "kept", "old");
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);

    FolderItem big(s / "big");
    big.CopyFileTo(New<FolderItem>(s / "new"));
    const int newError = big.LastErrorCode();
    big.CopyFileTo(New<FolderItem>(s / "kept"));
    const int keptError = big.LastErrorCode();

    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(newError, EFBIG);
    EXPECT_EQ(keptError, EFBIG);
    EXPECT_EQ(ReadFile(s / "kept"), "old");
    EXPECT_EQ(Entries(s.path()), (std::set<std::string>{"big", "kept"}));
}

TEST_F(CopyFileTo, WorksAcrossFileSystems) {
    struct stat shm, here;
    if (::stat("/dev/shm", &shm) != 0 || ::stat(s.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
        GTEST_SKIP() << "no second file system at hand";
    Scratch other;  // under TVM_SCRATCH; the source goes to /dev/shm
    const std::string from = "/dev/shm/tvm-copy-test-" + std::to_string(::getpid());
    WriteFile(from, Pattern(2 << 20));
    FolderItem item(from);
    item.CopyFileTo(New<FolderItem>(other / "copy"));
    const int error = item.LastErrorCode();
    const std::string copied = ReadFile(other / "copy");
    ::unlink(from.c_str());
    EXPECT_EQ(error, 0);
    EXPECT_EQ(copied, Pattern(2 << 20));
}

// While a big file's bytes move, another thread waiting for the baton gets it.
TEST_F(CopyFileTo, ABigCopyLetsOtherThreadsRun) {
    WriteFile(s / "big", Pattern(64 << 20));
    std::atomic<bool> copyDone{false}, ranDuringCopy{false};
    std::thread other([&] {
        fw::baton::Held held;
        ranDuringCopy = !copyDone.load();
    });
    while (!fw::baton::OthersWaiting()) std::this_thread::yield();
    FolderItem big(s / "big");
    big.CopyFileTo(New<FolderItem>(s / "copy"));
    copyDone = true;
    {
        fw::baton::Unlocked letItFinish;
        other.join();
    }
    EXPECT_EQ(big.LastErrorCode(), 0);
    EXPECT_TRUE(ranDuringCopy);
}

}  // namespace

namespace {

// Between two file systems the kernel's own copy may be refused; the way that
// works is learned at the first file and used for the next ones, and a pair of
// file systems that allows more is not held to what another pair allowed.
TEST_F(CopyFileTo, LearnsPerPairOfFileSystemsHowToMoveTheBytes) {
    struct stat shm, here;
    if (::stat("/dev/shm", &shm) != 0 || ::stat(s.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
        GTEST_SKIP() << "no second file system at hand";
    const std::string other = "/dev/shm/tvm-copy-pair-" + std::to_string(::getpid());
    ::mkdir(other.c_str(), 0700);
    FolderItem::ForgetCopyMethods();
    const size_t sizes[] = {0, 1, 4096, 300'000, 3 << 20};
    for (int round = 0; round < 2; ++round) {
        for (size_t size : sizes) {
            const std::string name = std::to_string(round) + "-" + std::to_string(size);
            WriteFile(other + "/" + name, Pattern(size));
            FolderItem across(other + "/" + name);
            across.CopyFileTo(New<FolderItem>(s / ("across-" + name)));
            EXPECT_EQ(across.LastErrorCode(), 0) << name;
            EXPECT_EQ(ReadFile(s / ("across-" + name)), Pattern(size)) << "across " << name;
            FolderItem within(s / ("across-" + name));
            within.CopyFileTo(New<FolderItem>(s / ("within-" + name)));
            EXPECT_EQ(within.LastErrorCode(), 0) << name;
            EXPECT_EQ(ReadFile(s / ("within-" + name)), Pattern(size)) << "within " << name;
        }
    }
    std::filesystem::remove_all(other);
}

// A file copied to a destination that was seen missing is not looked up again;
// something put there meanwhile is not replaced.
TEST_F(CopyFileTo, ADestinationSeenMissingIsNotReplacedWhenItAppearsMeanwhile) {
    WriteFile(s / "f", "the copy");
    FolderItem f(s / "f");
    ASSERT_FALSE(f.Directory());
    const auto dest = New<FolderItem>(s / "dest");
    ASSERT_FALSE(dest->Exists());
    WriteFile(s / "dest", "saved meanwhile");
    f.CopyFileTo(dest);
    EXPECT_EQ(f.LastErrorCode(), EEXIST);
    EXPECT_EQ(ReadFile(s / "dest"), "saved meanwhile");
    EXPECT_EQ(Entries(s.path()), (std::set<std::string>{"dest", "f"}));
}

}  // namespace

namespace {

// A copy is made with the file's own permissions where the process's mask
// leaves them whole, and set afterwards where it does not.
TEST_F(CopyFileTo, EveryModeArrivesWhateverTheMaskStrips) {
    const mode_t modes[] = {0600, 0644, 0666, 0777, 0444, 0400, 0751, 02755};
    for (mode_t mode : modes) {
        const std::string from = s / ("m" + std::to_string(mode)), to = s / ("c" + std::to_string(mode));
        WriteFile(from, "bytes");
        ASSERT_EQ(::chmod(from.c_str(), mode), 0);
        FolderItem item(from);
        ASSERT_FALSE(item.Directory());
        item.CopyFileTo(New<FolderItem>(to));
        EXPECT_EQ(item.LastErrorCode(), 0) << std::oct << mode;
        EXPECT_EQ(LStat(to).st_mode & 07777, mode) << std::oct << mode;
        EXPECT_EQ(ReadFile(to), "bytes");
    }
}

}  // namespace
