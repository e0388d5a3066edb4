// A fresh application object with its menu bar, a scratch home with a settings
// file, and a mock clock, for driving the windows offscreen.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/App.h"
#include "app/MainMenuBar.h"
#include "framework/Clock.h"
#include "framework/Window.h"
#include "framework/testing/GuiTesting.h"

class WindowsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tvm-windows-XXXXXX";
        root = mkdtemp(tmpl);
        home = root + "/home";
        source = root + "/source";
        std::filesystem::create_directories(home);
        std::filesystem::create_directories(source);
        savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("HOME", home.c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        unsetenv("XDG_CONFIG_HOME");
        fw::SetClock(&clock);
        application = std::make_unique<App>();
        application->SetVersionData(1, 0, 2, 0, 3, "1.0.2", "1.02", "");
        application->MenuBar = MainMenuBar();
        fw::RegisterApplication(application.get());
        WriteSettings("256", "60", "0040", "0010");
    }
    void TearDown() override {
        fw::CloseAllWindows();
        fw::testing::Pump();
        mnuState()->SetChecked(false);
        fw::RegisterApplication(nullptr);
        application.reset();
        fw::SetClock(nullptr);
        setenv("HOME", savedHome.c_str(), 1);
        setenv("PATH", savedPath.c_str(), 1);
        std::error_code ec;
        for (auto& e : std::filesystem::recursive_directory_iterator(root, ec))
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(root, ec);
    }

    std::string settingsFile() const { return home + "/.local/share/TavelmorinthSettings/Settings.dat"; }

    void WriteSettings(const std::string& size, const std::string& interval, const std::string& top,
                       const std::string& left) {
        WriteFile(settingsFile(), size + "\n" + interval + "\n" + source + "\n" + top + "\n" + left + "\n");
    }

    static void WriteFile(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
            lines.push_back(text.substr(start, nl - start));
        return lines;
    }

    // Puts a stand-in xdg-open first on PATH that notes every address it gets.
    void CaptureShowURL() {
        urlLog = root + "/urls.txt";
        const std::string bin = root + "/bin";
        WriteFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + urlLog + "'\n");
        std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
        setenv("PATH", (bin + ":" + savedPath).c_str(), 1);
    }
    // The addresses handed over so far; waits (bounded) for `expected` of them,
    // since the stand-in runs detached.
    std::vector<std::string> ShownURLs(size_t expected) const {
        for (int i = 0; i < 500; ++i) {
            auto lines = Lines(ReadFile(urlLog));
            if (lines.size() >= expected) return lines;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return Lines(ReadFile(urlLog));
    }

    fw::MockClock clock{2.0e9};
    std::unique_ptr<App> application;
    std::string root, home, source, savedHome, savedPath, urlLog;
};
