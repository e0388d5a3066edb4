// The program's picture and cursor resources.
#pragma once
#include "framework/Picture.h"
#include "framework/Ref.h"

// Opened from the bundle once and shared; tried again while the opening gave nothing.
fw::Ref<fw::Picture> BKLogopoweredbyLittle();
fw::Ref<fw::Picture> LogoRAMDisk();
// The program carries no cursor data: always Nil, the standard pointer.
fw::Ref<fw::MouseCursorShape> Hand();
