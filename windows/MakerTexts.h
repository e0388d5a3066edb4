// English default texts of the about windows and the maker's addresses. The
// German texts live in Resources/tavelmorinth_de.ts under the same keys.
#pragma once

namespace tvm {

// frmAbout.kSlogan
inline constexpr const char* kSloganDefault =
    "The RAM disk that stays: automatic synchronization with the hard disk keeps it persistent. "
    "Your applications get the speed of memory together with the safety of a hard disk.";

// frmAboutBK.kAbout1 .. kAbout6
inline constexpr const char* kAbout1Default =
    "Brantolek is a small software company. We develop utilities for everyday work at the "
    "computer: programs that are easy to use and do one job well.";
inline constexpr const char* kAbout2Default =
    "What we offer:\n"
    "- utilities for the desktop, such as Tavelmorinth\n"
    "- software made to measure for the needs of your business\n"
    "- care and further development of existing programs";
inline constexpr const char* kAbout3Default =
    "We also help you with:\n"
    "- planning and setting up computer workplaces\n"
    "- backing up and synchronizing your data\n"
    "- choosing the software that fits your work";
inline constexpr const char* kAbout4Default =
    "For businesses we build database applications and tools that follow their own way of "
    "working.";
inline constexpr const char* kAbout5Default =
    "Training and personal support round off our offer: we explain our programs and are there "
    "for you after the installation, too.";
inline constexpr const char* kAbout6Default =
    "Would you like to know more, or do you have an idea for a program? Write to us or visit our "
    "web site. We look forward to hearing from you.";

inline constexpr const char* kHomePage = "http://www.brantolek.example/";
inline constexpr const char* kMailbox = "info@brantolek.example";
// Followed by the current year in the about window.
inline constexpr const char* kCopyrightStart = "\u00A9 Brantolek 2014 - ";

}  // namespace tvm
