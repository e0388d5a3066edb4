// The only texts that the settings hold for the size and the interval: what the
// options window offers. A stored text that is none of them is not used.
#pragma once
#include <algorithm>
#include <array>
#include <string>

// RAM-disk sizes in megabytes, "." as the thousands separator.
inline constexpr std::array<const char*, 16> kSizeTexts{
    "256",   "512",   "768",   "1.024", "1.280", "1.536", "1.792", "2.048",
    "2.304", "2.560", "2.816", "3.072", "3.328", "3.584", "3.840", "4.096"};

// Write-back intervals: a number of seconds, "m" minutes, "S" hours.
inline constexpr std::array<const char*, 17> kIntervalTokens{
    "10", "20", "30", "40", "50", "60", "2m", "5m", "10m", "20m", "30m", "40m", "50m", "60m", "2S", "3S", "4S"};

inline bool IsSizeText(const std::string& text) {
    return std::find(kSizeTexts.begin(), kSizeTexts.end(), text) != kSizeTexts.end();
}

inline bool IsIntervalToken(const std::string& text) {
    return std::find(kIntervalTokens.begin(), kIntervalTokens.end(), text) != kIntervalTokens.end();
}
