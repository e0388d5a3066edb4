// Folders keep their permissions and their contents for an ordinary user: a
// read-only folder arrives whole in both directions, and a copied folder ends
// with its own mode and dates. Root ignores permissions, so each pass runs in a
// child process that has dropped to an unprivileged uid.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "EngineFixture.h"
#include "engine/CSync.h"
#include "framework/FolderItem.h"

namespace tvmtest {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kUser = 47011;  // owns nothing else on the machine
constexpr gid_t kGroup = 47011;

struct Outcome {
    bool ran = false;
    bool complete = false;
    int64_t failures = -1;
};

// Only what is not the user's yet: a change of owner is a change the mirror sees.
void ChownTree(const std::string& root) {
    auto chown = [](const std::string& path) {
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0) << path;
        if (st.st_uid != kUser || st.st_gid != kGroup) {
            ASSERT_EQ(::lchown(path.c_str(), kUser, kGroup), 0) << path;
        }
    };
    chown(root);
    for (const auto& e : fs::recursive_directory_iterator(root)) chown(e.path());
}

struct stat LStat(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

class ReadOnlyFolders : public EngineTest {
protected:
    // One pass as kUser: the child runs the mirror on its own main thread (it
    // yields to nobody) and reports the outcome through a pipe.
    Outcome PassAsUser(bool load) {
        ChownTree(source_);
        ChownTree(ram_);
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return {};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(pipeFds[0]);
            if (::setgroups(0, nullptr) != 0 || ::setresgid(kGroup, kGroup, kGroup) != 0 ||
                ::setresuid(kUser, kUser, kUser) != 0)
                ::_exit(2);
            CSync sync;
            sync.sFolderSource(Shell(source_));
            sync.sFolderTarget(Shell(ram_));
            sync.bSet(load);
            app().bTransactionCopy = true;
            sync.StartSync();
            const int64_t result[2] = {app().bLastSyncComplete ? 1 : 0, app().iSyncFailures};
            const bool written = ::write(pipeFds[1], result, sizeof result) == sizeof result;
            ::_exit(written ? 0 : 3);
        }
        ::close(pipeFds[1]);
        int64_t result[2] = {0, -1};
        const bool got = ::read(pipeFds[0], result, sizeof result) == sizeof result;
        ::close(pipeFds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return {got && WIFEXITED(status) && WEXITSTATUS(status) == 0, result[0] == 1, result[1]};
    }

    void ExpectFolderLike(const std::string& copy, const std::string& original) {
        const struct stat a = LStat(copy), b = LStat(original);
        EXPECT_EQ(a.st_mode & 07777, b.st_mode & 07777) << copy;
        EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec) << copy << ": its date changed after it was set";
        EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec) << copy;
    }
};

TEST_F(ReadOnlyFolders, ArriveWholeInBothDirectionsAndKeepModeAndDates) {
    WriteTree(source_, {{"ro/a", File("from the source", kOld)},
                        {"ro/gone", File("deleted on the RAM disk")},
                        {"ro/deep/inner", File("two levels down")},
                        {"top", File("t")}});
    for (const char* folder : {"ro/deep", "ro"}) {
        SetMtime(source_ + "/" + folder, kOld);
        fs::permissions(source_ + "/" + folder, fs::perms(0555));
    }
    WriteTree(ram_, {});
    a().bLoadComplete = false;

    const Outcome load = PassAsUser(true);
    ASSERT_TRUE(load.ran);
    EXPECT_TRUE(load.complete) << load.failures << " failures";
    const Tree loaded = {{"ro/a", File("from the source", kOld)},
                         {"ro/gone", File("deleted on the RAM disk")},
                         {"ro/deep/inner", File("two levels down")},
                         {"top", File("t")}};
    ExpectTrees(loaded, loaded);
    ExpectFolderLike(ram_ + "/ro", source_ + "/ro");
    ExpectFolderLike(ram_ + "/ro/deep", source_ + "/ro/deep");

    // The user's work on the RAM disk, inside the read-only folder (opened for a
    // moment, as a user would) and in a read-only folder of its own.
    fs::permissions(ram_ + "/ro", fs::perms(0755));
    WriteTree(ram_, {{"ro/a", File("edited on the RAM disk", kNew)},
                     {"ro/made-here", File("new on the RAM disk")},
                     {"new-ro/x", File("x")}});
    fs::remove(ram_ + "/ro/gone");
    fs::permissions(ram_ + "/ro", fs::perms(0555));
    SetMtime(ram_ + "/new-ro", kOld);
    fs::permissions(ram_ + "/new-ro", fs::perms(0500));
    a().bLoadComplete = true;

    const Outcome writeBack = PassAsUser(false);
    ASSERT_TRUE(writeBack.ran);
    EXPECT_TRUE(writeBack.complete) << writeBack.failures << " failures";
    const Tree saved = {{"ro/a", File("edited on the RAM disk", kNew)},
                        {"ro/made-here", File("new on the RAM disk")},
                        {"ro/deep/inner", File("two levels down")},
                        {"new-ro/x", File("x")},
                        {"top", File("t")}};
    ExpectTrees(saved, saved);
    EXPECT_EQ(LStat(source_ + "/ro").st_mode & 07777, 0555u) << "the folder opened for the write-back was not closed again";
    EXPECT_EQ(LStat(source_ + "/ro/deep").st_mode & 07777, 0555u);
    ExpectFolderLike(source_ + "/new-ro", ram_ + "/new-ro");
}

}  // namespace
}  // namespace tvmtest
