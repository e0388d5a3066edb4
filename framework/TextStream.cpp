#include "TextStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Strings.h"

namespace fw {

namespace {

constexpr int kEnd = std::char_traits<char>::eof();

std::string Describe(const char* what, const std::string& path, int err) {
    return std::string(what) + " \"" + path + "\": " + std::strerror(err);
}

// Windows code page 1252 from 0x80 to 0x9F; the five bytes it leaves undefined
// map to the C1 controls of the same value.
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string Decode(std::string bytes, Encoding encoding) {
    if (encoding == Encoding::UTF8) return bytes;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) out += ch;
        else if (c < 0xA0) out += Chr(kWindows1252High[c - 0x80]);
        else out += Chr(c);
    }
    return out;
}

}  // namespace

Ref<TextInputStream> TextInputStream::Open(const Ref<FolderItem>& file) {
    const std::string path = file->NativePath();
    // Non-blocking, so a pipe without a writer cannot hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw IOException(errno, Describe("Cannot open", path, errno));
    struct stat st;
    const int err = ::fstat(fd, &st) != 0 ? errno : (S_ISDIR(st.st_mode) ? EISDIR : 0);
    if (err || ::fcntl(fd, F_SETFL, 0) != 0) {
        const int e = err ? err : errno;
        ::close(fd);
        throw IOException(e, Describe("Cannot open", path, e));
    }
    std::FILE* f = ::fdopen(fd, "r");
    if (!f) {
        const int e = errno;
        ::close(fd);
        throw IOException(e, Describe("Cannot open", path, e));
    }
    return New<TextInputStream>(f);
}

TextInputStream::~TextInputStream() { Close(); }

void TextInputStream::Close() {
    if (f_) std::fclose(f_);
    f_ = nullptr;
}

bool TextInputStream::EndOfFile() const {
    if (!f_) return true;
    const int c = std::getc(f_);
    if (c == kEnd) {
        if (std::ferror(f_)) throw IOException(errno, std::string("Cannot read: ") + std::strerror(errno));
        return true;
    }
    std::ungetc(c, f_);
    return false;
}

std::string TextInputStream::ReadLine(Encoding encoding) {
    std::string line;
    if (!f_) return line;
    int c;
    while ((c = getc_unlocked(f_)) != kEnd) {
        if (c == '\n') break;
        if (c == '\r') {
            const int next = getc_unlocked(f_);
            if (next != '\n' && next != kEnd) std::ungetc(next, f_);
            break;
        }
        line += static_cast<char>(c);
    }
    if (c == kEnd && std::ferror(f_)) throw IOException(errno, std::string("Cannot read: ") + std::strerror(errno));
    return Decode(std::move(line), encoding);
}

std::string TextInputStream::ReadAll(Encoding encoding) {
    std::string all;
    if (!f_) return all;
    char buffer[16384];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f_)) > 0) all.append(buffer, n);
    if (std::ferror(f_)) throw IOException(errno, std::string("Cannot read: ") + std::strerror(errno));
    return Decode(std::move(all), encoding);
}

Ref<TextOutputStream> TextOutputStream::Create(const Ref<FolderItem>& file) {
    const std::string path = file->NativePath();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw IOException(errno, Describe("Cannot create", path, errno));
    file->Refresh();
    return New<TextOutputStream>(fd);
}

TextOutputStream::~TextOutputStream() {
    if (fd_ < 0) return;
    ::fsync(fd_);
    ::close(fd_);
}

void TextOutputStream::Write(const std::string& text) {
    if (fd_ < 0) throw IOException(EBADF, "Cannot write: the file is closed");
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw IOException(errno, std::string("Cannot write: ") + std::strerror(errno));
        }
        done += size_t(n);
    }
}

void TextOutputStream::WriteLine(const std::string& text) { Write(text + "\n"); }

void TextOutputStream::Close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    // Devices and pipes cannot be synced; that is no loss of data.
    int err = ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS ? errno : 0;
    if (::close(fd) != 0 && !err && errno != EINTR) err = errno;
    if (err) throw IOException(err, std::string("Cannot save the file: ") + std::strerror(err));
}

}  // namespace fw
