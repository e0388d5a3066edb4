// Stand-in until the lookup lands: answers the default text.
#include "Localization.h"

namespace fw {
std::string GetLocalizedString(const std::string&, const std::string& defaultText, const std::string&) {
    return defaultText;
}
std::string UserLanguage() { return "en"; }
void SetLocalizationFolder(const std::string&) {}
}  // namespace fw
