// What every end-to-end test runs in: a scratch folder with a HOME of its own,
// a stand-in xdg-open that only notes what it was given, and the local stand-in
// for the maker's server (it offers the running version, so no update window).
// Removing it detaches a RAM disk left attached and removes the folder.
#pragma once
#include <memory>
#include <string>

#include "../http/Standin.h"

namespace tvmtest {

constexpr const char* kRamDisk = "/volumes/Tavelmorinth";

class Sandbox {
public:
    explicit Sandbox(const std::string& stem);
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    bool Ready() const { return server_->Running(); }
    int ServerPort() const { return server_->Port(); }

    // Size, interval token and the source folder's line; the window position is fixed.
    void WriteSettings(const std::string& size, const std::string& interval, const std::string& sourceLine) const;

    std::string root, home, bin, settings;

private:
    std::unique_ptr<Standin> server_;
};

void DetachLeftRAMDisk();

}  // namespace tvmtest
