#include "Localization.h"

#include <QString>
#include <QTranslator>
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "Application.h"

namespace fw {
namespace {

constexpr const char* kContext = "Tavelmorinth";

std::mutex gMutex;
std::string gFolder;  // empty: the bundle's Resources folder
// Loaded tables by language; a null entry remembers that there is none.
std::map<std::string, std::unique_ptr<QTranslator>> gTables;

// Only plain letter codes name a table, so no text can reach outside the folder.
bool IsLanguageCode(const std::string& lang) {
    if (lang.empty()) return false;
    for (unsigned char c : lang)
        if (!std::islower(c)) return false;
    return true;
}

const QTranslator* Table(const std::string& lang) {
    auto it = gTables.find(lang);
    if (it != gTables.end()) return it->second.get();
    std::unique_ptr<QTranslator> table;
    if (IsLanguageCode(lang)) {
        const std::string folder = gFolder.empty() ? ResourcesFolder() : gFolder;
        table = std::make_unique<QTranslator>();
        if (!table->load(QString::fromStdString("tavelmorinth_" + lang + ".qm"), QString::fromStdString(folder)))
            table.reset();
    }
    return gTables.emplace(lang, std::move(table)).first->second.get();
}

}  // namespace

std::string GetLocalizedString(const std::string& key, const std::string& defaultText, const std::string& language) {
    std::string lang = language.empty() ? UserLanguage() : language;
    for (char& c : lang) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::lock_guard lock(gMutex);
    const QTranslator* table = Table(lang);
    if (!table) return defaultText;
    const QString text = table->translate(kContext, key.c_str());
    return text.isEmpty() ? defaultText : text.toStdString();
}

std::string UserLanguage() {
    std::string value;
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (!v || !*v) continue;
        value = v;
        if (value.find(':') != std::string::npos) value.erase(value.find(':'));  // "de:en": the first choice
        if (!value.empty()) break;
    }
    value = value.substr(0, value.find_first_of("_.@"));
    if (value.size() < 2 || value == "POSIX") return "en";
    std::string code;
    for (char c : value.substr(0, 2)) {
        if (!std::isalpha(static_cast<unsigned char>(c))) return "en";
        code += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return code;
}

void SetLocalizationFolder(const std::string& posixPath) {
    std::lock_guard lock(gMutex);
    gFolder = posixPath;
    gTables.clear();
}

}  // namespace fw
