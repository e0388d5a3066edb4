#include "ProgramFixture.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "TestPaths.h"
#include "framework/Shell.h"

extern char** environ;

namespace tvmtest {

namespace fs = std::filesystem;

namespace {

// What the test's environment must not hand on: a display, the user's own
// folders, another proxy.
bool Dropped(const std::string& entry) {
    static const char* const names[] = {"DISPLAY",         "WAYLAND_DISPLAY", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                                        "XDG_RUNTIME_DIR", "XDG_DOCUMENTS_DIR", "HOME",        "PATH",
                                        "LANG",            "LANGUAGE",        "LC_ALL",        "LC_MESSAGES",
                                        "QT_QPA_PLATFORM", "http_proxy",      "HTTP_PROXY",    "no_proxy",
                                        "NO_PROXY"};
    const std::string name = entry.substr(0, entry.find('='));
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

}  // namespace

bool Mounted(const std::string& path) {
    std::ifstream in("/proc/self/mounts");
    std::string device, where, rest;
    while (in >> device >> where && std::getline(in, rest))
        if (where == path) return true;
    return false;
}

int Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

Tree UserEntries(const Tree& tree) {
    Tree out;
    for (const auto& [path, node] : tree) {
        bool own = false;
        std::istringstream parts(path);
        for (std::string part; std::getline(parts, part, '/');)
            own = own || part == "TMP" || part == "TavelmorinthSettings" || (!part.empty() && part[0] == '.');
        if (!own) out[path] = node;
    }
    return out;
}

std::string MissingOrChanged(const Tree& expected, const Tree& actual) {
    std::string out;
    for (const auto& [path, node] : expected) {
        auto it = actual.find(path);
        if (it == actual.end()) {
            out += "missing: " + path + "\n";
        } else if (it->second.kind != node.kind || it->second.data != node.data) {
            out += "changed: " + path + " (" + std::to_string(it->second.data.size()) + " bytes instead of " +
                   std::to_string(node.data.size()) + ")\n";
        }
    }
    return out;
}

Tree Snapshot(const std::string& root) {
    // A pass that runs meanwhile renames its copies into place under our feet.
    for (int attempt = 0;; ++attempt) {
        try {
            return ReadTree(root);
        } catch (const std::exception&) {
            if (attempt == 20) throw;
        }
    }
}

size_t CountEntries(const std::string& folder) {
    std::error_code ec;
    size_t n = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) ++n;
    return n;
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

Tree ManyFiles(const std::string& folder, int count, size_t bytes) {
    Tree tree;
    for (int i = 0; i < count; ++i) {
        std::string data(bytes, char('a' + i % 26));
        data.replace(0, std::to_string(i).size(), std::to_string(i));
        tree[folder + "/f" + std::to_string(i)] = File(std::move(data), kNew);
    }
    return tree;
}

std::vector<std::string> Leftovers(const Tree& tree) {
    std::vector<std::string> out;
    for (const auto& [path, node] : tree)
        if (fs::path(path).filename().string().rfind(".tvm-copy.", 0) == 0) out.push_back(path);
    return out;
}

int RunCommand(const std::string& commandLine) {
    fw::Shell shell;
    shell.Execute(commandLine);
    return shell.ErrorCode();
}

bool MakeScratchUser(const std::string& name, ScratchAccount& account) {
    if (RunCommand("useradd --no-create-home --user-group --shell /usr/sbin/nologin " + name) != 0) return false;
    const passwd* user = ::getpwnam(name.c_str());
    if (!user) {
        RemoveScratchUser(name);
        return false;
    }
    account = {name, user->pw_uid, user->pw_gid};
    return true;
}

void RemoveScratchUser(const std::string& name) {
    RunCommand("userdel " + name + "; groupdel " + name + " 2>/dev/null; true");
}

bool SetUserIdWorksIn(const std::string& folder) {
    struct statvfs fsInfo {};
    return ::statvfs(folder.c_str(), &fsInfo) != 0 || !(fsInfo.f_flag & ST_NOSUID);
}

std::string InstallBundle(const std::string& root, bool privileged) {
    const std::string bundle = root + "/Tavelmorinth";
    fs::copy(TVM_BUNDLE_DIR, bundle, fs::copy_options::recursive);
    const std::string helper = bundle + "/Contents/Helpers/tavelmorinth-mount";
    if (privileged) {
        if (::chown(helper.c_str(), 0, 0) != 0 || ::chmod(helper.c_str(), 04755) != 0) return "";
    } else if (::chmod(helper.c_str(), 0755) != 0) {
        return "";
    }
    for (fs::path p = root; p != p.root_path(); p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) ::chmod(p.c_str(), st.st_mode | S_IXOTH);
    }
    return bundle;
}

bool OwnDevShm() {
    if (Mounted("/dev/shm") && ::access("/dev/shm/.tvm-e2e", F_OK) == 0) return true;
    if (::mount("tvm-e2e-shm", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "size=64m,mode=1777") != 0) return false;
    ::close(::open("/dev/shm/.tvm-e2e", O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    return true;
}

void ProgramTest::GiveHomeTo(uid_t uid, gid_t gid) const {
    for (const std::string& top : {home_, fs::path(home_).parent_path().string() + "/run"}) {
        ::lchown(top.c_str(), uid, gid);
        for (auto& e : fs::recursive_directory_iterator(top)) ::lchown(e.path().c_str(), uid, gid);
    }
}

void ProgramTest::ExpectEjectedAndSaved(const Tree& expected) const {
    EXPECT_FALSE(Mounted(kRamDisk));
    const Tree source = Snapshot(source_);
    EXPECT_EQ(MissingOrChanged(expected, source), "");
    EXPECT_EQ(Leftovers(source), std::vector<std::string>{});
}

void ProgramTest::SetUp() {
    if (std::getenv("TVM_NO_RAMDISK")) GTEST_SKIP() << "needs root and a private mount namespace";
    if (!fs::exists(executable_)) GTEST_SKIP() << "the program is not built";
    ASSERT_FALSE(Mounted(kRamDisk)) << "a RAM disk is left from before";
    box_ = std::make_unique<Sandbox>("e2e");
    ASSERT_TRUE(box_->Ready()) << "the HTTP stand-in did not start";
    home_ = box_->home;
    log_ = box_->root + "/program.log";
    source_ = home_ + "/Documents/TavelmorinthSource";
    settings_ = box_->settings;
}

void ProgramTest::TearDown() {
    for (auto it = programs_.rbegin(); it != programs_.rend(); ++it) (*it)->Kill();
    programs_.clear();
    box_.reset();
}

Program& ProgramTest::Spawn(const std::vector<std::string>& argv) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (!Dropped(*e)) env.emplace_back(*e);
    const char* path = std::getenv("PATH");
    env.push_back("PATH=" + box_->bin + ":" + (path ? path : "/usr/bin:/bin"));
    env.push_back("HOME=" + home_);
    env.push_back("LANG=C.UTF-8");
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("XDG_RUNTIME_DIR=" + box_->root + "/run");
    env.push_back("http_proxy=http://127.0.0.1:" + std::to_string(box_->ServerPort()));
    for (const std::string& o : envOverrides_) {
        const std::string name = o.substr(0, o.find('='));
        std::erase_if(env, [&](const std::string& e) { return e.substr(0, e.find('=')) == name; });
        if (o.find('=') != std::string::npos) env.push_back(o);
    }
    programs_.push_back(std::make_unique<Program>(argv, env, log_));
    return *programs_.back();
}

Program& ProgramTest::Start() {
    Program& p = Spawn({executable_});
    EXPECT_TRUE(p.Started()) << "the program did not start";
    return p;
}

::testing::AssertionResult ProgramTest::QuitAndWait(Program& program, double seconds) {
    program.Signal(SIGTERM);
    const auto status = program.WaitExit(seconds);
    if (!status) return ::testing::AssertionFailure() << "still running " << seconds << " s after SIGTERM\n" << ProgramLog();
    if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
        return ::testing::AssertionFailure() << DescribeStatus(*status) << "\n" << ProgramLog();
    return ::testing::AssertionSuccess();
}

std::vector<std::string> ProgramTest::SettingsLines() const {
    std::vector<std::string> lines;
    std::ifstream in(settings_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool ProgramTest::WaitFor(const std::function<bool()>& done, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool ProgramTest::StopWhen(Program& program, const std::function<bool()>& reached, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (program.Stop()) {
        if (reached()) return true;
        program.Continue();
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

bool ProgramTest::WaitLoaded(const Tree& expected, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    auto left = [&] { return std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count(); };
    if (!WaitFor([&] { return Mounted(kRamDisk) && MissingOrChanged(expected, Snapshot(kRamDisk)).empty(); }, left()))
        return false;
    // The load's delete pass removes what appears on the RAM disk while it runs
    // (see the disabled test of that): a probe that survives a second tells
    // that the load is over.
    const std::string probe = std::string(kRamDisk) + "/load-probe";
    while (left() > 0) {
        std::ofstream(probe) << "probe";
        if (!WaitFor([&] { return !fs::exists(probe); }, 1.0)) {
            fs::remove(probe);
            return true;
        }
    }
    return false;
}

std::string ProgramTest::ProgramLog() const {
    std::ifstream in(log_);
    return "program output:\n" + std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tvmtest
