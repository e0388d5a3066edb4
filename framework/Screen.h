// The main screen's usable area, in the pixel units of window positions.
#pragma once

namespace fw {

struct ScreenArea {
    int Left = 0, Top = 0, Width = 1024, Height = 768;
};

ScreenArea MainScreen();

}  // namespace fw
