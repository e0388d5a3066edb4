#include "Sandbox.h"

#include <stdlib.h>
#include <sys/mount.h>

#include <filesystem>
#include <fstream>

#include "ProgramFixture.h"
#include "framework/Shell.h"

namespace tvmtest {

namespace fs = std::filesystem;

namespace {
std::string MakeRoot(const std::string& stem) {
    const char* scratch = std::getenv("TVM_SCRATCH");
    std::string templ = std::string(scratch && *scratch ? scratch : "/tmp") + "/" + stem + ".XXXXXX";
    return ::mkdtemp(templ.data()) ? templ : "";
}
}  // namespace

Sandbox::Sandbox(const std::string& stem)
    : root(MakeRoot(stem)),
      home(root + "/home"),
      bin(root + "/bin"),
      settings(home + "/.local/share/TavelmorinthSettings/Settings.dat"),
      server_(std::make_unique<Standin>()) {
    fs::create_directories(home + "/Documents");
    fs::create_directories(bin);
    fs::create_directories(root + "/run");
    fs::permissions(root + "/run", fs::perms::owner_all);
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" << root << "/opened.txt'\n";
    fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
    server_->SetRoutes({Answer("/Download/download.php?id=30", ""), Answer("/Download/Tavelmorinth/Version.dat", "1.0.2")});
}

Sandbox::~Sandbox() {
    DetachLeftRAMDisk();
    server_.reset();
    std::error_code ec;
    // The program leaves its source folder closed to everyone.
    for (auto& e : fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec))
        fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow, ec);
    fs::remove_all(root, ec);
}

void Sandbox::WriteSettings(const std::string& size, const std::string& interval, const std::string& sourceLine) const {
    fs::create_directories(fs::path(settings).parent_path());
    std::ofstream(settings, std::ios::trunc) << size << "\n" << interval << "\n" << sourceLine << "\n0040\n0010\n";
}

void DetachLeftRAMDisk() {
    if (Mounted(kRamDisk)) {
        fw::Shell shell;
        shell.Execute("hdiutil detach " + std::string(kRamDisk));
    }
    std::error_code ec;
    if (Mounted(kRamDisk)) {
        ::umount2(kRamDisk, MNT_DETACH);
        fs::remove_all("/volumes/.ramdevices", ec);
    }
    fs::remove_all(kRamDisk, ec);
}

}  // namespace tvmtest
