// Text files. Lines end with "\n"; a "\r\n" or "\r" ending is accepted on reading.
// Text is UTF-8 unless an encoding is named.
#pragma once
#include <cstdio>
#include <string>

#include "FolderItem.h"
#include "Ref.h"

namespace fw {

enum class Encoding { UTF8, WindowsANSI };

class TextInputStream {
public:
    // Raises IOException (with errno) when the file cannot be opened,
    // NilObjectException when `file` is Nil.
    static Ref<TextInputStream> Open(const Ref<FolderItem>& file);
    ~TextInputStream();
    bool EndOfFile() const;  // (EOF is a macro of <cstdio>)
    // Empty text beyond the end. WindowsANSI text is converted to UTF-8.
    std::string ReadLine(Encoding encoding = Encoding::UTF8);
    std::string ReadAll(Encoding encoding = Encoding::UTF8);
    void Close();

    explicit TextInputStream(std::FILE* f) : f_(f) {}

private:
    std::FILE* f_;
};

class TextOutputStream {
public:
    // Creates a new empty file, replacing an existing one. Raises IOException on
    // failure, NilObjectException when `file` is Nil.
    static Ref<TextOutputStream> Create(const Ref<FolderItem>& file);
    ~TextOutputStream();  // closes
    void Write(const std::string& text);
    void WriteLine(const std::string& text);  // text + "\n"; raises IOException on failure
    // Flushes to the disk and closes; raises IOException when the data did not make it.
    void Close();

    explicit TextOutputStream(int fd) : fd_(fd) {}

private:
    int fd_;
};

}  // namespace fw
