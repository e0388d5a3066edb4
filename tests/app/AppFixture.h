// A fresh application object with its own scratch home for each test.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/ProgramApp.h"
#include "framework/Application.h"

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tvm-app-XXXXXX";
        root = mkdtemp(tmpl);
        home = root + "/home";
        std::filesystem::create_directories(home);
        savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", home.c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        unsetenv("XDG_CONFIG_HOME");
        application = std::make_unique<ProgramApp>();
        fw::RegisterApplication(application.get());
    }
    void TearDown() override {
        fw::RegisterApplication(nullptr);
        application.reset();
        setenv("HOME", savedHome.c_str(), 1);
        std::error_code ec;
        std::filesystem::permissions(root, std::filesystem::perms::all, ec);
        for (auto& e : std::filesystem::recursive_directory_iterator(root, ec))
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(root, ec);
    }

    std::string settingsDir() const { return home + "/.local/share/TavelmorinthSettings"; }
    std::string settingsFile() const { return settingsDir() + "/Settings.dat"; }

    static void WriteFile(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static int Mode(const std::string& path) {
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) return -1;
        return st.st_mode & 07777;
    }

    std::string root, home, savedHome;
    std::unique_ptr<App> application;
};
