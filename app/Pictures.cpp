#include "app/Pictures.h"

#include <string>

namespace {

fw::Ref<fw::Picture> Cached(fw::Ref<fw::Picture>& cell, const std::string& name) {
    if (!cell) cell = fw::Picture::OpenFromApp(name);
    return cell;
}

}  // namespace

fw::Ref<fw::Picture> BKLogopoweredbyLittle() {
    static fw::Ref<fw::Picture> cell;
    return Cached(cell, "BK-Logo (powered by) Little.jpg");
}

fw::Ref<fw::Picture> LogoRAMDisk() {
    static fw::Ref<fw::Picture> cell;
    return Cached(cell, "LogoRAMDisk");
}

fw::Ref<fw::MouseCursorShape> Hand() { return nullptr; }
