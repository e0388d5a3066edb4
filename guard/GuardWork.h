// What the guard does once the program has ended: the RAM disk it was told of is
// written back, the source folder's file system flushed and the RAM disk ejected.
#pragma once
#include <string>

#include "engine/GuardChannel.h"

// 0 when there was nothing to do or the RAM disk was written back and ejected;
// 1 when it was left attached (the write-back, the flush or the eject failed).
int GuardWork(const GuardState& state);

// "tavelmorinth-guard: <message>" on stderr.
void GuardSay(const std::string& message);
