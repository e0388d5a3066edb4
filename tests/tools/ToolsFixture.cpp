#include "ToolsFixture.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <linux/magic.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <vector>

#include "Mounts.h"
#include "TestPaths.h"

namespace fs = std::filesystem;

namespace tooltest {

namespace {

constexpr const char* kShm = "/dev/shm";

// Mount points below /volumes, deepest first.
std::vector<std::string> MountsBelowVolumes() {
    std::vector<std::string> found;
    std::ifstream mountinfo("/proc/self/mountinfo");
    for (std::string line; std::getline(mountinfo, line);) {
        std::istringstream fields(line);
        std::string word, mountPoint;
        for (int i = 0; i < 5 && fields >> word; ++i) mountPoint = word;
        if (mountPoint.rfind("/volumes/", 0) == 0) found.insert(found.begin(), mountPoint);
    }
    return found;
}

void Empty(const std::string& folder) {
    for (auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
}

}  // namespace

std::string Identifier(const std::string& sentence) {
    std::string name;
    for (char c : sentence) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    if (!name.empty() && name.back() == '_') name.pop_back();
    return name;
}

bool IsDeviceLine(const std::string& text) {
    const std::string prefix = "/dev/tvram";
    return text.size() > prefix.size() + 1 && text.compare(0, prefix.size(), prefix) == 0 && text.back() == '\n' &&
           text.find_first_not_of("0123456789", prefix.size()) == text.size() - 1;
}

std::string CreationCommand(unsigned long sectors) {
    return "diskutil erasevolume HFS+ 'Tavelmorinth' `hdiutil attach -nomount ram://" + std::to_string(sectors) + "`";
}

std::string DetachCommand() { return std::string("hdiutil detach ") + kVolume; }

std::string Listing(const std::string& path) {
    std::vector<std::string> lines;
    std::error_code error;
    for (fs::recursive_directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        const auto& entry = *it;
        std::string line = fs::relative(entry.path(), path).string();
        if (entry.is_symlink()) {
            line += " -> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            line += "/";
        } else {
            line += " " + std::to_string(entry.file_size()) + " '" + ReadFile(entry.path()) + "'";
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (auto& line : lines) text += line + "\n";
    return text;
}

std::string WithoutRecords(const std::string& listing) {
    std::string kept, line;
    std::istringstream lines(listing);
    while (std::getline(lines, line)) {
        // The user's private folder that holds them.
        const bool base = line.rfind("tavelmorinth-", 0) == 0 && line.find('/') == line.size() - 1;
        if (line.find(".ramdevices/") == std::string::npos && !base) kept += line + "\n";
    }
    return kept;
}

void WriteFile(const std::string& path, const std::string& content) { std::ofstream(path) << content; }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool IsMountedTmpfs(const std::string& path) {
    struct statfs fsInfo {};
    struct stat self {}, parent {};
    return statfs(path.c_str(), &fsInfo) == 0 && fsInfo.f_type == TMPFS_MAGIC && lstat(path.c_str(), &self) == 0 &&
           S_ISDIR(self.st_mode) && stat((path + "/..").c_str(), &parent) == 0 && self.st_dev != parent.st_dev;
}

std::string CopyTools(bool withHelper) {
    const std::string folder = std::string(getenv("TVM_SCRATCH")) + (withHelper ? "/tools-helper" : "/tools-plain");
    std::error_code error;
    fs::create_directories(folder, error);
    std::vector<std::string> tools = {"hdiutil", "diskutil"};
    if (withHelper) tools.push_back("tavelmorinth-mount");
    for (auto& tool : tools) {
        fs::copy_file(std::string(TVM_HELPERS_DIR) + "/" + tool, folder + "/" + tool,
                      fs::copy_options::overwrite_existing, error);
        if (error) return {};
    }
    // The scratch folder's parents must let an ordinary user reach the tools.
    for (fs::path p = folder; p != p.root_path(); p = p.parent_path()) {
        struct stat st {};
        if (stat(p.c_str(), &st) == 0 && (st.st_mode & S_IXOTH) == 0) chmod(p.c_str(), st.st_mode | S_IXOTH);
    }
    if (withHelper) {
        const std::string helper = folder + "/tavelmorinth-mount";
        if (chown(helper.c_str(), 0, 0) != 0 || chmod(helper.c_str(), 04755) != 0) return {};
    }
    return folder;
}

void ToolsTest::SetUp() {
    if (getenv("TVM_NO_RAMDISK")) GTEST_SKIP() << "needs root and a private mount namespace";
    // The test runner mounts this tmpfs on /volumes in a namespace of our own; anywhere
    // else, mounting and emptying folders here would reach the machine.
    auto volumes = tools::MountAt("/volumes");
    if (!getenv("TVM_SCRATCH") || !volumes || volumes->source != "tvm-volumes")
        GTEST_SKIP() << "/volumes is not the test runner's private tmpfs";
    auto shm = tools::MountAt(kShm);
    if (!shm || shm->source != "tvm-shm") {
        ASSERT_EQ(mount("tvm-shm", kShm, "tmpfs", MS_NOSUID | MS_NODEV, "size=64m,mode=1777"), 0);
    }
    inPrivateNamespace_ = true;
    const std::string plain = CopyTools(false);
    ASSERT_FALSE(plain.empty()) << "cannot copy the tools";
    UseToolsFolder(plain);
    TearDown();
}

void ToolsTest::TearDown() {
    if (!inPrivateNamespace_) return;
    for (auto& mountPoint : MountsBelowVolumes()) umount2(mountPoint.c_str(), MNT_DETACH);
    Empty("/volumes");
    Empty(kShm);
    std::error_code ec;
    fs::remove_all(std::string(getenv("TVM_SCRATCH")) + "/homes", ec);
    chown("/volumes", 0, 0);
    chmod("/volumes", 01777);
}

}  // namespace tooltest
