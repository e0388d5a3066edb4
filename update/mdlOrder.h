// The version check at start-up: tells the maker's download counter of the
// start, fetches the offered version into the settings folder and reads it back.
#pragma once
#include <string>

namespace mdlOrder {

// The maker's web server; plain HTTP, no port. A name under a reserved domain,
// so no real site is ever asked.
inline constexpr char kServer[] = "http://www.brantolek.example";

// Reports the start to the counter, then stores the server's version file in
// "BKVersion.dat" in the settings folder (each request gives up after 1 s without
// progress). Every failure is dropped; never raises.
void GetVersionInfoFromBK();

// The last line of "BKVersion.dat" (Windows-ANSI text, as UTF-8); "" when the
// file is missing, empty or unreadable. Never raises.
std::string GetVersionInfo();

}  // namespace mdlOrder
