// Localised-string lookup: the text the bundle's tables hold for `key` in
// `language` ("" = the user's language), else `defaultText`.
#pragma once
#include <string>

namespace fw {

std::string GetLocalizedString(const std::string& key, const std::string& defaultText,
                               const std::string& language = "");

// The user's language as a two-letter code ("de", "en"), from LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG in that order.
std::string UserLanguage();

// Where the compiled tables ("tavelmorinth_<lang>.qm") are looked for; defaults
// to the bundle's Resources folder.
void SetLocalizationFolder(const std::string& posixPath);

}  // namespace fw
