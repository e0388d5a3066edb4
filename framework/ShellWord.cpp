// Shell paths: a path written as one /bin/sh word, and read back.
#include "FolderItem.h"

namespace fw {

namespace {

bool PlainInShell(unsigned char c) {
    // Bytes from 0x80 up mean nothing to sh; they stay as they are (UTF-8 names).
    if (c >= 0x80) return true;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
    case '/': case '.': case '_': case '+': case ',': case ':': case '@': case '%': case '-':
        return true;
    default:
        return false;
    }
}

}  // namespace

std::string EscapeShellWord(const std::string& path) {
    std::string out;
    out.reserve(path.size() + 8);
    for (char ch : path) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (PlainInShell(c)) {
            out += ch;
        } else if (ch == '\n') {
            // A backslash before a newline would join the lines instead.
            out += "'\n'";
        } else {
            out += '\\';
            out += ch;
        }
    }
    return out;
}

std::string UnescapeShellWord(const std::string& word) {
    std::string out;
    out.reserve(word.size());
    const size_t n = word.size();
    size_t i = 0;
    while (i < n) {
        const char c = word[i++];
        if (c == '\\') {
            if (i >= n) {
                out += '\\';
            } else if (word[i] == '\n') {
                ++i;  // line continuation
            } else {
                out += word[i++];
            }
        } else if (c == '\'') {
            while (i < n && word[i] != '\'') out += word[i++];
            if (i < n) ++i;
        } else if (c == '"') {
            while (i < n && word[i] != '"') {
                if (word[i] == '\\' && i + 1 < n) {
                    const char next = word[i + 1];
                    if (next == '\n') {
                        i += 2;
                        continue;
                    }
                    if (next == '$' || next == '`' || next == '"' || next == '\\') {
                        out += next;
                        i += 2;
                        continue;
                    }
                }
                out += word[i++];
            }
            if (i < n) ++i;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace fw
