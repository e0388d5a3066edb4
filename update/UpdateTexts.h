// English default texts of the update window. The German texts live in
// Resources/tavelmorinth_de.ts under the same keys.
#pragma once

namespace tvm {

// frmUpdateWindow.klblUpdateInfo
inline constexpr const char* klblUpdateInfoDefault =
    "The information about this update needs access to the Internet. You can also read about the "
    "update and download it on a computer with an Internet connection at www.brantolek.example. "
    "Would you like to load the new version? Once the download is done, please quit Tavelmorinth "
    "first. We recommend loading the update.";

}  // namespace tvm
