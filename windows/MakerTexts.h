// PLACEHOLDER until the maker's texts land in main; same names, short texts.
#pragma once

inline constexpr const char* kSloganDefault =
    "A RAM disk that stays: it is kept in sync with your hard disk automatically. Your applications get the "
    "speed of memory with the safety of a hard disk.";
inline constexpr const char* kAbout1Default = "Brantolek makes software.";
inline constexpr const char* kAbout2Default = "We offer:\nApplications\nTools";
inline constexpr const char* kAbout3Default = "We also offer:\nAdvice\nTraining";
inline constexpr const char* kAbout4Default = "Custom development.";
inline constexpr const char* kAbout5Default = "Support.";
inline constexpr const char* kAbout6Default = "Get in touch with us.";
inline constexpr const char* kHomePage = "http://www.brantolek.example/";
inline constexpr const char* kMailbox = "info@brantolek.example";
inline constexpr const char* kCopyrightStart = "\u00A9 Brantolek 2014 - ";
