// What a copy keeps beside the bytes, what it refuses to put in place, and the
// names and paths it fits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "Scratch.h"
#include "framework/FileSystem.h"
#include "framework/FolderItem.h"
#include "framework/Log.h"

using fw::FolderItem;
using fw::New;
using tvmtest::LStat;
using tvmtest::ReadFile;
using tvmtest::Scratch;
using tvmtest::WriteFile;

namespace {

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename());
    return names;
}

// The value of an extended attribute; "<none>" when it is not there.
std::string Attribute(const std::string& path, const char* name) {
    char value[1024];
    const ssize_t n = ::lgetxattr(path.c_str(), name, value, sizeof value);
    return n < 0 ? "<none>" : std::string(value, size_t(n));
}

// A POSIX access list in the kernel's raw form: the owner rw, user 4321 r,
// the group r, mask r, others nothing.
std::string RawAccessList() {
    struct Entry {
        uint16_t tag, perm;
        uint32_t id;
    };
    const uint32_t version = 2;
    const Entry entries[] = {
        {0x01, 6, ~0u}, {0x02, 4, 4321}, {0x04, 4, ~0u}, {0x10, 4, ~0u}, {0x20, 0, ~0u},
    };
    std::string raw(reinterpret_cast<const char*>(&version), sizeof version);
    raw.append(reinterpret_cast<const char*>(entries), sizeof entries);
    return raw;
}

bool Set(const std::string& path, const char* name, const std::string& value) {
    return ::lsetxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

class CopyKeeps : public testing::Test {
protected:
    void SetUp() override { FolderItem::ForgetCopyMethods(); }
    void TearDown() override { fw::copyCheckpointForTests = nullptr; }
    Scratch s;
};

// There and back again, as a load and a write-back do: the attributes, the
// access list of a file and the default list of a folder arrive on both trips.
TEST_F(CopyKeeps, ExtendedAttributesAndAccessListsBothWays) {
    ::mkdir((s / "a").c_str(), 0755);
    ::mkdir((s / "b").c_str(), 0755);
    ::mkdir((s / "c").c_str(), 0755);
    WriteFile(s / "a/f", "bytes");
    ::mkdir((s / "a/d").c_str(), 0750);
    if (!Set(s / "a/f", "user.note", "kept"))
        GTEST_SKIP() << "no user attributes here: " << std::strerror(errno);
    ASSERT_TRUE(Set(s / "a/d", "user.folder", "too"));
    const bool lists = Set(s / "a/f", "system.posix_acl_access", RawAccessList()) &&
                       Set(s / "a/d", "system.posix_acl_default", RawAccessList());
    const mode_t fileMode = LStat(s / "a/f").st_mode & 07777;

    for (const auto& [from, to] : {std::pair{"a", "b"}, std::pair{"b", "c"}}) {
        SCOPED_TRACE(std::string(from) + " -> " + to);
        FolderItem file(s / (std::string(from) + "/f"));
        file.CopyFileTo(New<FolderItem>(s / (std::string(to) + "/f")));
        EXPECT_EQ(file.LastErrorCode(), 0);
        FolderItem folder(s / (std::string(from) + "/d"));
        const auto folderCopy = New<FolderItem>(s / (std::string(to) + "/d"));
        folder.CopyFolderTo(folderCopy);
        folder.CopyAttributesTo(folderCopy);
        EXPECT_EQ(folder.LastErrorCode(), 0);

        const std::string f = s / (std::string(to) + "/f"), d = s / (std::string(to) + "/d");
        EXPECT_EQ(ReadFile(f), "bytes");
        EXPECT_EQ(Attribute(f, "user.note"), "kept");
        EXPECT_EQ(Attribute(d, "user.folder"), "too");
        EXPECT_EQ(LStat(f).st_mode & 07777, fileMode);
        EXPECT_EQ(LStat(d).st_mode & 07777, 0750u);
        if (lists) {
            EXPECT_EQ(Attribute(f, "system.posix_acl_access"), RawAccessList());
            EXPECT_EQ(Attribute(d, "system.posix_acl_default"), RawAccessList());
        }
    }
    if (!lists) GTEST_SKIP() << "no access lists on this file system (user attributes were checked)";
}

// A pair of names for one file arrives as one file; after an edit through one
// name, copies over the existing destinations join them again, and a name that
// already is that copy stays as it is.
TEST_F(CopyKeeps, HardLinksAsOneFile) {
    ::mkdir((s / "src").c_str(), 0755);
    ::mkdir((s / "src/sub").c_str(), 0755);
    ::mkdir((s / "dst").c_str(), 0755);
    ::mkdir((s / "dst/sub").c_str(), 0755);
    WriteFile(s / "src/h1", "first");
    ASSERT_EQ(::link((s / "src/h1").c_str(), (s / "src/sub/h2").c_str()), 0);
    const auto copyBoth = [&] {
        for (const char* name : {"h1", "sub/h2"}) {
            FolderItem item(s / (std::string("src/") + name));
            item.CopyFileTo(New<FolderItem>(s / (std::string("dst/") + name)));
            EXPECT_EQ(item.LastErrorCode(), 0) << name;
        }
    };
    copyBoth();
    EXPECT_EQ(LStat(s / "dst/h1").st_ino, LStat(s / "dst/sub/h2").st_ino);
    EXPECT_EQ(LStat(s / "dst/h1").st_nlink, 2u);

    // The next pass, after an edit: the destinations are replaced and joined again.
    FolderItem::ForgetCopyMethods();
    WriteFile(s / "src/h1", "second, longer");
    copyBoth();
    EXPECT_EQ(ReadFile(s / "dst/sub/h2"), "second, longer");
    EXPECT_EQ(LStat(s / "dst/h1").st_ino, LStat(s / "dst/sub/h2").st_ino);
    EXPECT_EQ(LStat(s / "dst/h1").st_nlink, 2u);

    // The second name again in the same pass: already that copy.
    const ino_t joined = LStat(s / "dst/h1").st_ino;
    FolderItem(s / "src/sub/h2").CopyFileTo(New<FolderItem>(s / "dst/sub/h2"));
    EXPECT_EQ(LStat(s / "dst/sub/h2").st_ino, joined);
    EXPECT_EQ(Entries(s / "dst"), (std::set<std::string>{"h1", "sub"}));
    EXPECT_EQ(Entries(s / "dst/sub"), (std::set<std::string>{"h2"}));
}

// A sparse file's holes stay holes: the copy takes no more blocks than the
// source, with the data where it was.
TEST_F(CopyKeeps, TheHolesOfASparseFile) {
    struct Row {
        const char* name;
        std::vector<off_t> dataAt;
    } rows[] = {
        {"data in the middle", {24 << 20}},
        {"data at the start and the end", {0, (64 << 20) - 4}},
        {"only a hole", {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string from = s / r.name, to = s / (std::string(r.name) + " copy");
        const int fd = ::open(from.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 64 << 20), 0);
        for (off_t at : r.dataAt) ASSERT_EQ(::pwrite(fd, "data", 4, at), 4);
        ::close(fd);
        FolderItem item(from);
        item.CopyFileTo(New<FolderItem>(to));
        ASSERT_EQ(item.LastErrorCode(), 0);
        EXPECT_EQ(LStat(to).st_size, 64 << 20);
        EXPECT_LE(LStat(to).st_blocks, LStat(from).st_blocks);
        EXPECT_TRUE(ReadFile(to) == ReadFile(from));
    }
}

std::string gRewritten;
void RewriteTheSource() { WriteFile(gRewritten, "rewritten while it was copied, longer than before"); }

// A source rewritten between the start and the end of its copy: the copy is not
// put in place, the destination keeps its last whole version (or stays missing),
// the log names the file, and the next copy goes through.
TEST_F(CopyKeeps, NoCopyOfAFileThatChangedWhileItWasCopied) {
    ::mkdir((s / "src").c_str(), 0755);
    ::mkdir((s / "dst").c_str(), 0755);
    struct Row {
        const char* name;
        bool destinationThere;
        bool fromListing;  // as a walk copies: an entry of a listing, its destination seen missing
    } rows[] = {
        {"replacing a file", true, false},
        {"into a free place", false, false},
        {"an entry of a listing", false, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string from = s / (std::string("src/") + r.name), to = s / (std::string("dst/") + r.name);
        WriteFile(from, "the version being copied");
        if (r.destinationThere) WriteFile(to, "the last whole version");
        gRewritten = from;
        fw::copyCheckpointForTests = RewriteTheSource;
        fw::Ref<FolderItem> item = New<FolderItem>(from);
        const auto dest = New<FolderItem>(to);
        if (r.fromListing) {
            const auto folder = New<FolderItem>(s / "src");
            for (int64_t i = 1; i <= folder->Count(); ++i)
                if (folder->TrueItem(i)->Name() == r.name) item = folder->TrueItem(i);
            ASSERT_FALSE(dest->Exists());
        }
        testing::internal::CaptureStderr();
        item->CopyFileTo(dest);
        const std::string log = testing::internal::GetCapturedStderr();
        fw::copyCheckpointForTests = nullptr;
        EXPECT_EQ(item->LastErrorCode(), EAGAIN);
        EXPECT_NE(log.find(to), std::string::npos) << log;
        EXPECT_NE(log.find("changed while it was copied"), std::string::npos) << log;
        if (r.destinationThere) {
            EXPECT_EQ(ReadFile(to), "the last whole version");
        } else {
            EXPECT_FALSE(std::filesystem::exists(to));
        }

        New<FolderItem>(from)->CopyFileTo(New<FolderItem>(to));
        EXPECT_EQ(ReadFile(to), "rewritten while it was copied, longer than before");
    }
    EXPECT_EQ(Entries(s / "dst").size(), std::size(rows));  // no temporary left
}

// Nested folders under `root` with names of `length` bytes until the path of a
// name of `last` bytes inside the deepest reaches `pathBytes` (PATH_MAX - 1: the
// longest path there is). Returns the deepest folder.
std::string DeepFolder(const std::string& root, size_t last, size_t pathBytes) {
    std::string folder = root;
    while (folder.size() + 1 + last < pathBytes) {
        const size_t room = pathBytes - folder.size() - 1 - last - 1;  // for "/<name>" of one more folder
        const size_t length = std::min<size_t>(NAME_MAX, room);
        if (length == 0) break;
        folder += "/" + std::string(length, 'd');
        if (::mkdir(folder.c_str(), 0755) != 0) return {};
    }
    return folder;
}

// Names of NAME_MAX bytes and paths of PATH_MAX - 1 bytes are written (file and
// link, new and replaced) and leave no temporary behind.
TEST_F(CopyKeeps, NamesUpToNameMaxAndPathsUpToPathMax) {
    WriteFile(s / "f", "bytes");
    ASSERT_EQ(::symlink("f", (s / "link").c_str()), 0);
    const std::string longName(NAME_MAX, 'n');
    const std::string deep = DeepFolder(s.path(), 8, PATH_MAX - 1);
    ASSERT_FALSE(deep.empty());
    struct Row {
        const char* what;
        std::string folder;
        std::string name;
    } rows[] = {
        {"a name of NAME_MAX bytes", s.path(), longName},
        {"a path of PATH_MAX - 1 bytes", deep, std::string(PATH_MAX - 1 - deep.size() - 1, 'p')},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        for (const char* from : {"f", "link"}) {
            SCOPED_TRACE(from);
            const std::string to = r.folder + "/" + r.name;
            ASSERT_LE(to.size(), size_t(PATH_MAX - 1));
            ::unlink(to.c_str());
            for (int round = 0; round < 2; ++round) {  // new, then replaced
                FolderItem item(s / from, false);
                item.CopyFileTo(New<FolderItem>(to));
                EXPECT_EQ(item.LastErrorCode(), 0) << round;
            }
            EXPECT_EQ(std::string(from) == "f" ? ReadFile(to) : std::filesystem::read_symlink(to).string(),
                      std::string(from) == "f" ? "bytes" : "f");
        }
        std::set<std::string> left = Entries(r.folder);
        for (const std::string& name : left) EXPECT_FALSE(name.starts_with(fw::kCopyTemporaryPrefix)) << name;
    }
}

// A tree deeper than any path can name goes whole; a link in it is removed,
// never followed.
TEST_F(CopyKeeps, DeleteTreeRemovesATreeDeeperThanPathMax) {
    WriteFile(s / "outside", "stays");
    int fd = ::open(s.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::mkdirat(fd, "tree", 0755), 0);
    const std::string name(200, 't');
    int level = ::openat(fd, "tree", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    for (int depth = 0; depth < 40; ++depth) {  // about 8,000 bytes deep
        const int file = ::openat(level, "file", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(file, 0);
        ::close(file);
        ASSERT_EQ(::symlinkat((s / "outside").c_str(), level, "link"), 0);
        ASSERT_EQ(::mkdirat(level, name.c_str(), 0755), 0);
        const int next = ::openat(level, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(level);
        level = next;
        ASSERT_GE(level, 0);
    }
    ::close(level);
    FolderItem tree(s / "tree");
    tree.DeleteTree();
    EXPECT_EQ(tree.LastErrorCode(), 0) << fw::ErrorText(tree.LastErrorCode());
    EXPECT_EQ(Entries(s.path()), std::set<std::string>{"outside"});
    EXPECT_EQ(ReadFile(s / "outside"), "stays");

    WriteFile(s / "file", "x");
    FolderItem file(s / "file");
    file.DeleteTree();
    EXPECT_EQ(file.LastErrorCode(), 0);
    EXPECT_FALSE(std::filesystem::exists(s / "file"));
}

// Folders of 200-byte names under `root`, made through descriptors, until the
// path is at least `bytes` long. Returns the deepest folder's path.
std::string FoldersDeeperThan(const std::string& root, size_t bytes) {
    std::string path = root;
    const std::string name(200, 'l');
    int level = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (level >= 0 && path.size() < bytes) {
        const int next = ::mkdirat(level, name.c_str(), 0755) == 0
                             ? ::openat(level, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                             : -1;
        ::close(level);
        level = next;
        path += "/" + name;
    }
    if (level < 0) return {};
    ::close(level);
    return path;
}

// The folder that holds `path`, opened one name at a time as the test's own way
// in; `name` gets the last name.
int OpenFolderOf(const std::string& path, std::string& name) {
    const size_t slash = path.rfind('/');
    name = path.substr(slash + 1);
    int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (size_t at = 1; fd >= 0 && at < slash;) {
        const size_t next = std::min(path.find('/', at), slash);
        const int child = ::openat(fd, path.substr(at, next - at).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = child;
        at = next + 1;
    }
    return fd;
}

struct stat DeepStat(const std::string& path) {
    struct stat st {};
    std::string name;
    const int fd = OpenFolderOf(path, name);
    if (fd < 0 || ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) st.st_nlink = 0;
    if (fd >= 0) ::close(fd);
    return st;
}

std::string DeepContents(const std::string& path) {
    std::string name, text;
    const int folder = OpenFolderOf(path, name);
    const int fd = folder < 0 ? -1 : ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    char buffer[256];
    for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    if (fd >= 0) ::close(fd);
    if (folder >= 0) ::close(folder);
    return fd < 0 ? "<none>" : text;
}

// Every step of a pass works on entries whose paths are longer than any call
// takes (here more than twice PATH_MAX), as on any other: the copies in both
// directions, their attributes, renames, swaps, the answers and the removal.
TEST_F(CopyKeeps, PathsLongerThanPathMaxWorkLikeAnyOther) {
    const std::string deep = FoldersDeeperThan(s.path(), 2 * PATH_MAX + 100);
    ASSERT_FALSE(deep.empty());
    WriteFile(s / "f", "bytes");
    ASSERT_EQ(::symlink("f", (s / "link").c_str()), 0);
    ASSERT_EQ(::mkdir((s / "folder").c_str(), 0750), 0);
    const bool attributes = Set(s / "folder", "user.x", "kept");

    const std::string made = deep + "/made";
    FolderItem folder(made);
    folder.CreateAsFolder();
    EXPECT_EQ(folder.LastErrorCode(), 0) << fw::ErrorText(folder.LastErrorCode());
    EXPECT_TRUE(S_ISDIR(DeepStat(made).st_mode));
    for (int round = 0; round < 2; ++round) {  // new, then replaced
        FolderItem file(s / "f", false), link(s / "link", false);
        file.CopyFileTo(New<FolderItem>(made + "/f"));
        EXPECT_EQ(file.LastErrorCode(), 0) << round << ": " << fw::ErrorText(file.LastErrorCode());
        link.CopyFileTo(New<FolderItem>(made + "/link"));
        EXPECT_EQ(link.LastErrorCode(), 0) << round << ": " << fw::ErrorText(link.LastErrorCode());
    }
    FolderItem source(s / "folder", false);
    const auto copy = New<FolderItem>(made + "/folder", false);
    source.CopyFolderTo(copy);
    source.CopyAttributesTo(copy);
    EXPECT_EQ(source.LastErrorCode(), 0) << fw::ErrorText(source.LastErrorCode());

    EXPECT_EQ(DeepContents(made + "/f"), "bytes");
    EXPECT_TRUE(S_ISLNK(DeepStat(made + "/link").st_mode));
    EXPECT_EQ(DeepStat(made + "/folder").st_mode & 07777, 0750u);
    if (attributes) {
        std::string name;
        const int fd = OpenFolderOf(made + "/folder/x", name);
        char value[16];
        const ssize_t n = fd < 0 ? -1 : ::fgetxattr(fd, "user.x", value, sizeof value);
        EXPECT_EQ(n < 0 ? "<none>" : std::string(value, size_t(n)), "kept");
        if (fd >= 0) ::close(fd);
    }
    FolderItem listed(made);
    EXPECT_EQ(listed.Count(), 3) << "no temporary left beside the copies";
    FolderItem answers(made + "/f");
    EXPECT_TRUE(answers.Exists());
    EXPECT_EQ(answers.Length(), 5);
    answers.SetPermissions(0640);
    EXPECT_EQ(DeepStat(made + "/f").st_mode & 07777, 0640u);
    const auto identity = fw::IdentityAt(made, false);
    ASSERT_TRUE(identity.has_value());
    EXPECT_EQ(identity->inode, DeepStat(made).st_ino);

    EXPECT_EQ(fw::RenameEntry(made + "/f", made + "/g"), 0);
    EXPECT_EQ(fw::ExchangeEntries(made + "/g", made + "/folder"), 0);
    EXPECT_TRUE(S_ISDIR(DeepStat(made + "/g").st_mode));
    EXPECT_EQ(DeepContents(made + "/folder"), "bytes");
    FolderItem back(made + "/folder", false);
    back.CopyFileTo(New<FolderItem>(s / "back"));
    EXPECT_EQ(ReadFile(s / "back"), "bytes");
    FolderItem gone(made + "/link", false);
    gone.Delete();
    EXPECT_EQ(gone.LastErrorCode(), 0);
    EXPECT_FALSE(fw::EntryExists(made + "/link"));

    EXPECT_EQ(fw::RemoveEntry(made), 0);
    EXPECT_FALSE(fw::EntryExists(made));
    EXPECT_TRUE(fw::EntryExists(deep));
    FolderItem(s / std::string(200, 'l')).DeleteTree();
}

}  // namespace
