// The application object: every value the subsystems share. Fields are read and
// written directly by windows, threads and timers; the framework's threads are
// cooperative, so no locks. The program's events (its start-up road and quit
// gate) are ProgramApp's: the guard holds an App without them.
#pragma once
#include <cstdint>
#include <string>

#include "app/AppConstants.h"
#include "framework/Application.h"
#include "framework/Ref.h"
#include "framework/Timer.h"

class CAfterChangeOptions;
class CCleanRAMDisk;
class CShutdown;
class CTavelmorinth;
class CTimerProgress;

class App : public fw::Application {
public:
    App();

    // Menu handlers; each answers true (handled).
    bool _mnuAboutTavelmorinth_Action();
    bool _mnuAboutBK_Action();
    bool _mnuDocu_Action();
    bool _mnuFAQ_Action();
    bool _mnuOptions_Action();
    bool _mnuState_Action();

    // Settings file and interval parser.
    void CreatePrefsFolder(bool applicationData, const std::string& base);
    void GetOptions();
    int64_t GetSecondsInterval();
    void SaveOptions();
    void SetDefaults();
    // SaveOptions for callers that go on after a failure: false, with the status
    // kSettingsNotSaved, when the settings could not be written.
    bool TrySaveOptions();

    void Startup();
    void StartupSub();
    // Part of the start: asks the maker's server for the offered version and
    // shows the update window when it names another one. Returns at once; the
    // window opens once the answer is in.
    void CheckForUpdate();
    // The running version, major.minor.bug ("1.0.2").
    std::string VersionText() const;

    // Localised text constants: App::kSyncReady() etc.; "" = the user's language.
#define TVM_DECLARE_CONSTANT(name, text) static std::string name(const std::string& language = "");
    TVM_APP_CONSTANTS(TVM_DECLARE_CONSTANT)
#undef TVM_DECLARE_CONSTANT

    // Run flags.
    bool bActivityVisible = true;
    bool bCleanRAMDiskWithShutdown = true;
    bool bFirstStart = false;
    bool bQuit = false;
    // Asked to quit; given up again only when the quit keeps the RAM disk (its eject refused).
    bool bQuitUnderWay = false;
    bool bShowOptions = false;
    bool bShutdown = false;
    bool bSleep = false;
    bool bTransactionCopy = false;
    // Our own, so that a failure never reads as success: the last load of this RAM
    // disk completed cleanly (write-backs delete in the source folder only then),
    // and the last pass of either direction completed without a failure.
    bool bLoadComplete = false;
    bool bLastSyncComplete = false;

    // Status.
    double dMemUsed = 0;
    int64_t iErrorCodeUnmount = 0;
    int64_t iProgress = 0;
    int64_t iSyncFailures = 0;  // entries the last pass could not read, copy or delete

    // Worker objects.
    fw::Ref<CAfterChangeOptions> oAfterChangeOptions;
    fw::Ref<CCleanRAMDisk> oCleanRamDisk;
    fw::Ref<CTavelmorinth> oTavelmorinth;
    fw::Ref<CShutdown> oShutdown;
    fw::Ref<fw::Timer> oTimerCopy;
    fw::Ref<CTimerProgress> oTimerProgress;

    // Status and settings texts.
    std::string sFolder;
    std::string sInterval;
    std::string sNewInterval;
    std::string sNewPath;
    std::string sNewSize;
    std::string sPath;
    std::string sSize;
    std::string sState;
    std::string sStateLeft;
    std::string sStateTop;
};

// The global accessor of the one application object.
App& app();

// Creates the application object with its version data and menu bar and
// registers it with the framework (once, at start-up).
void _NewAppInstance();
