// The application fixture plus what the windows need: version data and the
// menu bar, a settings file naming an existing source folder, a mock clock,
// and the progress and write-back timers the engine would make.
#pragma once
#include <chrono>
#include <thread>

#include "app/AppFixture.h"
#include "app/MainMenuBar.h"
#include "engine/CTimerProgress.h"
#include "framework/Clock.h"
#include "framework/Window.h"
#include "framework/testing/GuiTesting.h"

class WindowsFixture : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        source = root + "/source";
        std::filesystem::create_directories(source);
        savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        fw::SetClock(&clock);
        application->SetVersionData(1, 0, 2, 0, 3, "1.0.2", "1.02", "");
        application->MenuBar = MainMenuBar();
        WriteSettings("256", "60", "0040", "0010");
        application->GetOptions();
    }
    void TearDown() override {
        if (progress) progress->SetEnabled(false);
        fw::CloseAllWindows();
        fw::testing::Pump();
        mnuState()->SetChecked(false);
        fw::SetClock(nullptr);
        setenv("PATH", savedPath.c_str(), 1);
        AppFixture::TearDown();
    }

    void WriteSettings(const std::string& size, const std::string& interval, const std::string& top,
                       const std::string& left) {
        WriteFile(settingsFile(), size + "\n" + interval + "\n" + source + "\n" + top + "\n" + left + "\n");
    }

    // The timers the start-up thread makes: a write-back timer (armed, far off)
    // and the 1 ms progress timer, enabled when `running`.
    void MakeTimers(bool running) {
        App& a = app();
        copy = fw::Ref<fw::Timer>(std::make_shared<fw::Timer>());
        copy->SetMode(fw::Timer::ModeMultiple);
        copy->SetPeriod(3'600'000);
        copy->SetEnabled(true);
        a.oTimerCopy = copy;
        progress = fw::Ref<CTimerProgress>(std::make_shared<CTimerProgress>());
        progress->Constructor();
        progress->SetMode(fw::Timer::ModeMultiple);
        progress->SetPeriod(1);
        progress->SetEnabled(running);
        a.oTimerProgress = progress;
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
    fw::Ref<fw::Timer> copy;
    fw::Ref<CTimerProgress> progress;
    std::string source, savedPath, urlLog;
};
