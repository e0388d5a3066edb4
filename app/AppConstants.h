// The application's localised text constants: name and default text.
// Each becomes App::<name>(language), looked up under the key "App.<name>".
#pragma once

#define TVM_APP_CONSTANTS(X)                                                                                  \
    X(kAboutTavelmorinth, "About Tavelmorinth")                                                               \
    X(kActivity, "Activity")                                                                                  \
    X(kBreak, "break")                                                                                        \
    X(kChange, "change")                                                                                      \
    X(kCheckMemory, "The memory of the source will verified.")                                                \
    X(kCreated, "Drive has been created successfully.")                                                       \
    X(kDataWillLoad, "Loading data from source")                                                              \
    X(kDataWillSaved, "Data will be saved on the hard disk")                                                  \
    X(kDriveIsInUse, "Tavelmorinth is in use and can not be ejected.")                                        \
    X(kEditClear, "&L\xC3\xB6schen")                                                                          \
    X(kFileQuit, "Beenden")                                                                                   \
    X(kFileQuitShortcut, "Cmd+Q")                                                                             \
    X(kFolder, "Folder")                                                                                      \
    X(kHours, "h")                                                                                            \
    X(kInfoSize,                                                                                              \
      "The size of this directory is larger than the maximum possible size. Please select a different "       \
      "directory.")                                                                                           \
    X(kInterval, "Interval for writing to the source folder")                                                 \
    X(kmnuAboutBK, "About Brantolek")                                                                         \
    X(kmnuFile, "File")                                                                                       \
    X(kmnuHelp, "Help")                                                                                       \
    X(kmnuManual, "User Manuel")                                                                              \
    X(kmnuPreferences, "Preferences")                                                                         \
    X(kmnuShowActivity, "Show Activity")                                                                      \
    X(kNextSync, "Next sync with hard drive:")                                                                \
    X(kPathToSourceFolder, "Path to the source folder")                                                       \
    X(kSeconds, "sec.")                                                                                       \
    X(kSizeOfDrive, "Size of Tavelmorinth")                                                                   \
    X(kSizeToLarge,                                                                                           \
      "The size of the source folder is larger than the size of the ramdisk! Process is terminated. Please "  \
      "choose a different size.")                                                                             \
    X(kSourceNotAvailable,                                                                                    \
      "Attention, the Folder does not exist. Please activate this and restart \"Tavelmorinth\" or change the " \
      "source folder in the options.")                                                                        \
    X(kSyncReady, "The synchronization was completed successfully.")                                          \
    X(kWillbeCreated, "Drive will be created.")                                                               \
    X(kWillClosed, "Tavelmorinth terminates as soon as all operations are completed.")                        \
    X(kWillRestarted, "Tavelmorinth will restarted")                                                          \
    X(kWillShutdown, "Tavelmorinth shutdown.")                                                                \
    /* Our own: statuses that keep a failure from reading as success. */                                      \
    X(kSyncIncomplete, "The synchronization was not complete: %1 entries could not be synchronized.")         \
    X(kSyncNoRoot, "The synchronization could not run because the source folder or the RAM disk is missing.") \
    X(kCreateFailed, "The drive could not be created.")                                                       \
    X(kLoadIncomplete,                                                                                        \
      "The data was not loaded completely. Until a complete load, nothing is deleted in the source folder "   \
      "when the data is saved.")                                                                              \
    X(kKeptAttached,                                                                                          \
      "Tavelmorinth was still attached from an earlier run. Its files were kept and will be saved on the "    \
      "hard disk.")                                                                                           \
    X(kNotSavedNoEject, "The data could not be written to the hard disk, so Tavelmorinth was not ejected.")   \
    X(kSourceRefused,                                                                                         \
      "This folder cannot be the source folder: Tavelmorinth closes its source folder to everyone when it "   \
      "ends. Please choose a folder of its own, not your home folder, a folder above it, a folder of the "    \
      "system, the settings folder or the RAM disk, and no folder whose name holds a line break.")            \
    X(kSourceNotUsable,                                                                                       \
      "Attention, this source folder cannot be used: it is your home folder, a folder above it, a folder of "  \
      "the system, the settings folder or the RAM disk, or its name holds a line break. Please choose another " \
      "source folder in the options.")                                                                        \
    X(kSettingsNotSaved,                                                                                      \
      "The settings could not be saved. Please check that the settings folder and the source folder can be "  \
      "written. The settings in use stay as they were.")                                                      \
    X(kEjectFailed, "Tavelmorinth could not be ejected. It stays attached and is still saved to the hard disk.") \
    X(kVolumeForeign,                                                                                         \
      "Something that is not your RAM disk is at /volumes/Tavelmorinth (another user's RAM disk, a link "     \
      "or a folder with files). It was left alone: no RAM disk was made and nothing was loaded or saved. "    \
      "Remove it, then close the options window or start Tavelmorinth again.")                                \
    X(kNoMountHelper,                                                                                         \
      "The drive could not be created: an ordinary user needs the mount helper, which is not set up. "        \
      "Root sets it up by installing the package, with \"cmake --install\", or for a build tree with "          \
      "\"scripts/setup --helper\".")                                                                            \
    X(kSyncIncompleteOne, "The synchronization was not complete: %1 entry could not be synchronized.")        \
    X(kSyncSourceFull,                                                                                        \
      "The disk of the source folder is full. Please free space on it: until then the files stay on the "     \
      "RAM disk, nothing is deleted in the source folder and every save tries again.")                        \
    X(kSyncSeeLog,                                                                                            \
      "The program's log (standard error) names each entry and why. Until a synchronization is complete, "    \
      "nothing is deleted in the source folder; the next one tries again.")                                   \
    X(kWaitingForGuard,                                                                                       \
      "Waiting until the data of the last run has been written to the hard disk and its drive ejected.") \
    X(kSourceChanged,                                                                                         \
      "The source folder is no longer the folder that was loaded (its disk was unmounted, or it was replaced "  \
      "or renamed). Nothing was copied or deleted. Tavelmorinth stays attached and is saved as soon as the "     \
      "source folder is back.")                                                                               \
    X(kVolumeChanged,                                                                                         \
      "/volumes/Tavelmorinth is no longer the RAM disk that was loaded (it was replaced or renamed). Nothing "  \
      "was copied into it or out of it, and it is not ejected.")
