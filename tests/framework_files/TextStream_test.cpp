#include "framework/TextStream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "Scratch.h"

using fw::Encoding;
using fw::FolderItem;
using fw::New;
using fw::TextInputStream;
using fw::TextOutputStream;
using tvmtest::ReadFile;
using tvmtest::Scratch;
using tvmtest::WriteFile;

namespace {

std::vector<std::string> ReadLines(const std::string& path, Encoding encoding = Encoding::UTF8) {
    auto in = TextInputStream::Open(New<FolderItem>(path));
    std::vector<std::string> lines;
    while (!in->EndOfFile()) lines.push_back(in->ReadLine(encoding));
    return lines;
}

template <class F>
int ErrorOf(F&& f) {
    try {
        f();
    } catch (const fw::IOException& e) {
        return e.ErrorNumber();
    }
    return 0;
}

using Lines = std::vector<std::string>;

TEST(TextStreams, FiveWrittenLinesReadBackAsFiveAndNothingBeyond) {
    Scratch s;
    const auto file = New<FolderItem>(s / "Settings.dat");
    WriteFile(file->NativePath(), "an older, longer content that must go\n\n\n\n\n\n\n");
    const Lines values = {"1.024", "10m", "/home/u/Documents/Tavelmorinth\\ Source", "0040", ""};
    auto out = TextOutputStream::Create(file);
    for (const std::string& v : values) out->WriteLine(v);
    out->Close();
    EXPECT_EQ(ReadFile(file->NativePath()), "1.024\n10m\n/home/u/Documents/Tavelmorinth\\ Source\n0040\n\n");

    auto in = TextInputStream::Open(file);
    for (int group = 0; !in->EndOfFile(); ++group) {
        ASSERT_EQ(group, 0) << "a second group of lines";
        for (const std::string& v : values) EXPECT_EQ(in->ReadLine(), v);
    }
    EXPECT_EQ(in->ReadLine(), "");
    EXPECT_TRUE(in->EndOfFile());
}

TEST(TextStreams, EveryLineEndIsAccepted) {
    struct Row {
        const char* bytes;
        Lines lines;
    } rows[] = {
        {"", {}},
        {"\n", {""}},
        {"a", {"a"}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\n\nb", {"a", "", "b"}},
        {"a\r\n\r\n", {"a", ""}},
        {"a\r\rb", {"a", "", "b"}},
        {"a\n\r\nb\r", {"a", "", "b"}},
    };
    Scratch s;
    for (const Row& r : rows) {
        WriteFile(s / "f", r.bytes);
        EXPECT_EQ(ReadLines(s / "f"), r.lines) << testing::PrintToString(std::string(r.bytes));
    }
}

TEST(TextStreams, WindowsAnsiIsReadAsUtf8) {
    struct Row {
        std::string bytes, utf8;
    } rows[] = {
        {"plain", "plain"},
        {"\x80", "\xE2\x82\xAC"},                // euro sign
        {"caf\xE9", "caf\xC3\xA9"},              // é
        {"\x84\x93\x94", "\xE2\x80\x9E\xE2\x80\x9C\xE2\x80\x9D"},
        {"\x8A\x9A\x9F", "\xC5\xA0\xC5\xA1\xC5\xB8"},
        {"\x99", "\xE2\x84\xA2"},                // trade mark
        {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},  // unassigned: C1 controls
        {"\xA0\xDF\xFF", "\xC2\xA0\xC3\x9F\xC3\xBF"},
    };
    Scratch s;
    for (const Row& r : rows) {
        WriteFile(s / "f", r.bytes + "\r\n" + r.bytes);
        EXPECT_EQ(ReadLines(s / "f", Encoding::WindowsANSI), (Lines{r.utf8, r.utf8}))
            << testing::PrintToString(r.bytes);
        EXPECT_EQ(ReadLines(s / "f"), (Lines{r.bytes, r.bytes})) << "UTF-8 text is taken as it stands";
        auto in = TextInputStream::Open(New<FolderItem>(s / "f"));
        EXPECT_EQ(in->ReadAll(Encoding::WindowsANSI), r.utf8 + "\r\n" + r.utf8);
    }
}

TEST(TextStreams, FailuresRaiseIOExceptionWithTheErrorNumber) {
    Scratch s;
    ::mkdir((s / "folder").c_str(), 0755);
    EXPECT_EQ(ErrorOf([&] { TextOutputStream::Create(New<FolderItem>(s / "missing/f")); }), ENOENT);
    EXPECT_EQ(ErrorOf([&] { TextOutputStream::Create(New<FolderItem>(s / "folder")); }), EISDIR);
    EXPECT_EQ(ErrorOf([&] { TextInputStream::Open(New<FolderItem>(s / "missing")); }), ENOENT);
    EXPECT_EQ(ErrorOf([&] { TextInputStream::Open(New<FolderItem>(s / "folder")); }), EISDIR);
    EXPECT_EQ(ErrorOf([&] {
                  auto full = TextOutputStream::Create(New<FolderItem>("/dev/full"));
                  full->WriteLine("no room");
              }),
              ENOSPC);
    EXPECT_THROW(TextOutputStream::Create(nullptr), fw::NilObjectException);
    EXPECT_THROW(TextInputStream::Open(nullptr), fw::NilObjectException);

    auto closed = TextOutputStream::Create(New<FolderItem>(s / "closed"));
    closed->Close();
    EXPECT_EQ(ErrorOf([&] { closed->WriteLine("late"); }), EBADF);
}

TEST(TextStreams, ANewFileGetsTheUsualModeAndAPipeDoesNotHang) {
    Scratch s;
    const mode_t old = ::umask(027);
    TextOutputStream::Create(New<FolderItem>(s / "f"))->Close();
    ::umask(old);
    struct stat st;
    ASSERT_EQ(::stat((s / "f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    ASSERT_EQ(::mkfifo((s / "pipe").c_str(), 0644), 0);
    auto in = TextInputStream::Open(New<FolderItem>(s / "pipe"));
    EXPECT_TRUE(in->EndOfFile());
    EXPECT_EQ(in->ReadLine(), "");
}

}  // namespace
