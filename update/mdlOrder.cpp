#include "update/mdlOrder.h"

#include "framework/FolderItem.h"
#include "framework/HTTPSocket.h"
#include "framework/SpecialFolder.h"
#include "framework/TextStream.h"
#include "framework/Thread.h"

namespace mdlOrder {
namespace {

fw::Ref<fw::FolderItem> LocalVersionFile() {
    return fw::GetFolderItem(
        fw::SpecialFolder::ApplicationData()->ShellPath() + "/TavelmorinthSettings/" + "BKVersion.dat", 1);
}

}  // namespace

void GetVersionInfoFromBK() {
    try {
        const fw::Ref<fw::FolderItem> file = LocalVersionFile();
        fw::HTTPSocket http;
        http.Get(std::string(kServer) + "/Download/download.php?id=30", 1);
        // Whatever the counter did, the version file is asked for.
        http.Get(std::string(kServer) + "/Download/Tavelmorinth/Version.dat", file, 1);
    } catch (...) {
        // The check is a courtesy: no failure of it may disturb the start.
    }
}

std::string GetVersionInfo() {
    try {
        std::string line;
        const fw::Ref<fw::FolderItem> file = LocalVersionFile();
        // A folder in its place would never reach the end of a text.
        if (file && file->Exists() && !file->Directory()) {
            const fw::Ref<fw::TextInputStream> stream = fw::TextInputStream::Open(file);
            while (!stream->EndOfFile()) {
                line = stream->ReadLine(fw::Encoding::WindowsANSI);
                fw::Thread::YieldToNext();
            }
        }
        return line;
    } catch (...) {
        return "";
    }
}

}  // namespace mdlOrder
