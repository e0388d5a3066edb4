// The bundle's resources as the build leaves them: a German table that answers
// every key the program asks for, and pictures and manuals that are real files
// of the kind and size the windows and the manual item expect.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestPaths.h"

namespace {

const std::string kResources = TVM_RESOURCES_DIR;
const std::string kTable = std::string(TVM_SOURCE_DIR) + "/Resources/tavelmorinth_de.ts";
const std::string kKeys = std::string(TVM_SOURCE_DIR) + "/Resources/localisation-keys.txt";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> ReadKeys() {
    std::ifstream in(kKeys);
    std::vector<std::string> keys;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) keys.push_back(line);
    return keys;
}

std::string Unescape(std::string s) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&#10;", "\n"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities)
        for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1)) s.replace(at, strlen(from), to);
    return s;
}

// The text between <tag ...> and </tag> from `from` on; `attributes` gets what
// stands inside the opening tag. Empty when the element is missing.
std::string Element(const std::string& xml, const std::string& tag, size_t from, std::string* attributes = nullptr) {
    const size_t open = xml.find("<" + tag, from);
    if (open == std::string::npos) return "";
    const size_t openEnd = xml.find('>', open);
    if (attributes) *attributes = xml.substr(open + tag.size() + 1, openEnd - open - tag.size() - 1);
    if (xml[openEnd - 1] == '/') return "";
    const size_t close = xml.find("</" + tag + ">", openEnd);
    return xml.substr(openEnd + 1, close - openEnd - 1);
}

struct Message {
    std::string context, source, translation;
    bool finished;  // not marked as still to be done, obsolete or vanished
};

std::vector<Message> ReadTable() {
    const std::string ts = ReadFile(kTable);
    std::vector<Message> messages;
    for (size_t c = ts.find("<context>"); c != std::string::npos; c = ts.find("<context>", c + 1)) {
        const size_t contextEnd = ts.find("</context>", c);
        const std::string name = Element(ts, "name", c);
        for (size_t m = ts.find("<message", c); m < contextEnd; m = ts.find("<message", m + 1)) {
            std::string attributes;
            Message message{name, Unescape(Element(ts, "source", m)), "", false};
            message.translation = Unescape(Element(ts, "translation", m, &attributes));
            message.finished = attributes.find("type=") == std::string::npos;
            messages.push_back(message);
        }
    }
    return messages;
}

// How the compiled table stores a text: UTF-16, big-endian.
std::string Utf16BigEndian(const std::string& utf8) {
    std::string out;
    auto put = [&out](uint32_t unit) {
        out += static_cast<char>(unit >> 8);
        out += static_cast<char>(unit & 0xFF);
    };
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        uint32_t cp = length == 1 ? b : b & (0x3F >> (length - 1));
        for (int k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

const Message* Find(const std::vector<Message>& messages, const std::string& key) {
    for (const Message& m : messages)
        if (m.source == key) return &m;
    return nullptr;
}

TEST(GermanTable, EveryKeyHasExactlyOneFinishedTranslationInTheOneContext) {
    const std::vector<std::string> keys = ReadKeys();
    const std::vector<Message> messages = ReadTable();
    ASSERT_FALSE(keys.empty()) << kKeys;
    for (const std::string& key : keys) {
        int found = 0;
        for (const Message& m : messages) {
            if (m.source != key) continue;
            ++found;
            EXPECT_EQ(m.context, "Tavelmorinth") << key;
            EXPECT_FALSE(m.translation.empty()) << key;
            EXPECT_TRUE(m.finished) << key << ": marked as not finished";
        }
        EXPECT_EQ(found, 1) << key;
    }
    // A message under a misspelt key would never be asked for.
    for (const Message& m : messages)
        EXPECT_NE(std::find(keys.begin(), keys.end(), m.source), keys.end()) << m.source << " is in no list of keys";
}

TEST(GermanTable, CompiledTableHoldsEveryTranslation) {
    const std::string qm = ReadFile(kResources + "/tavelmorinth_de.qm");
    ASSERT_GE(qm.size(), 16u) << "tavelmorinth_de.qm missing";
    EXPECT_EQ(qm.substr(0, 4), std::string("\x3C\xB8\x64\x18", 4)) << "not a compiled table";
    for (const Message& m : ReadTable())
        EXPECT_NE(qm.find(Utf16BigEndian(m.translation)), std::string::npos)
            << m.source << ": the compiled table is older than the .ts or dropped this text";
}

TEST(GermanTable, TextsOtherCodeDependsOn) {
    struct Row {
        const char* key;
        const char* text;
        bool whole;  // the whole translation, or a part it must keep
    };
    const Row rows[] = {
        {"App.kmnuManual", "Handbuch", true},  // the manual item opens the German manual by this text
        {"App.kSyncIncomplete", "%1", false},  // the count goes here
        {"App.kSyncIncompleteOne", "%1 Eintrag", false},
        {"frmAboutBK.kAbout2", "\n", false},   // lists of their own
        {"frmAboutBK.kAbout3", "\n", false},
    };
    const std::vector<Message> messages = ReadTable();
    for (const Row& row : rows) {
        const Message* m = Find(messages, row.key);
        ASSERT_NE(m, nullptr) << row.key;
        if (row.whole)
            EXPECT_EQ(m->translation, row.text) << row.key;
        else
            EXPECT_NE(m->translation.find(row.text), std::string::npos) << row.key << ": " << m->translation;
    }
}

uint32_t BigEndian(const std::string& data, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(data[at + i]);
    return v;
}

// Width and height from the start-of-frame segment of a JPEG.
bool JpegSize(const std::string& data, uint32_t* width, uint32_t* height) {
    for (size_t at = 2; at + 9 < data.size();) {
        if (static_cast<unsigned char>(data[at]) != 0xFF) return false;
        const auto marker = static_cast<unsigned char>(data[at + 1]);
        if (marker >= 0xC0 && marker <= 0xC3) {
            *height = BigEndian(data, at + 5, 2);
            *width = BigEndian(data, at + 7, 2);
            return true;
        }
        at += 2 + BigEndian(data, at + 2, 2);
    }
    return false;
}

TEST(Pictures, AreOfTheirKindSizeAndTransparency) {
    struct Row {
        const char* file;
        bool png;  // else JPEG
        uint32_t width, height;
        bool alpha;
    };
    const Row rows[] = {
        {"BK-Logo (powered by) Little.jpg", false, 100, 52, false},
        {"LogoRAMDisk", true, 323, 206, true},  // PNG data though the name has no extension
        {"tavelmorinth.png", true, 256, 256, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const std::string data = ReadFile(kResources + "/" + row.file);
        ASSERT_GT(data.size(), 2000u) << "missing or nearly empty";
        uint32_t width = 0, height = 0;
        if (row.png) {
            ASSERT_EQ(data.substr(0, 8), "\x89PNG\r\n\x1A\n");
            width = BigEndian(data, 16, 4);
            height = BigEndian(data, 20, 4);
            const int colourType = static_cast<unsigned char>(data[25]);
            EXPECT_EQ(colourType == 6, row.alpha) << "colour type " << colourType;
        } else {
            ASSERT_EQ(data.substr(0, 3), "\xFF\xD8\xFF");
            ASSERT_TRUE(JpegSize(data, &width, &height));
        }
        EXPECT_EQ(width, row.width);
        EXPECT_EQ(height, row.height);
    }
}

TEST(Manuals, BothArePdfDocumentsOfSeveralPages) {
    for (const char* file : {"Handbuch/Manual.pdf", "Handbuch/Handbuch.pdf"}) {
        SCOPED_TRACE(file);
        const std::string pdf = ReadFile(kResources + "/" + file);
        ASSERT_GT(pdf.size(), 20000u) << "missing or nearly empty";
        EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
        EXPECT_NE(pdf.find("%%EOF", pdf.size() - 64), std::string::npos) << "not written to its end";
        const size_t pages = pdf.find("/Type /Pages");
        ASSERT_NE(pages, std::string::npos);
        const size_t count = pdf.find("/Count ", pages);
        ASSERT_NE(count, std::string::npos);
        EXPECT_GE(std::stoi(pdf.substr(count + 7, 4)), 3);
    }
}

}  // namespace
