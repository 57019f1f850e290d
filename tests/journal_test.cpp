// The journal file: records come back whole or not at all, and the lock tells a live session.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "journal/journal_file.h"

namespace {

std::string TempPath(const char* name) {
    return (testing::TempDir() + "/" + name + "-" + std::to_string(::getpid()));
}

std::vector<uint8_t> Body(size_t n, uint8_t seed) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, size_t n) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(n));
}

// Three records written by a real writer (the second made on its thread); the file's bytes.
std::vector<uint8_t> ThreeRecords(const std::string& path) {
    std::remove(path.c_str());
    {
        JournalWriter w(path, nullptr);
        w.Append(1, Body(40, 1), false);
        w.AppendMade(2, [] { return Body(3000, 2); }, true);
        w.Append(3, Body(17, 3), true);
        w.Drain();
        EXPECT_FALSE(w.Failed());
    }
    return FileBytes(path);
}

}  // namespace

TEST(JournalFile, EveryCutOfTheLastRecordKeepsTheOnesBefore) {
    const std::string path = TempPath("journal-cut");
    const std::vector<uint8_t> whole = ThreeRecords(path);
    const size_t lastStart = whole.size() - (17 + 16);
    for (size_t n = lastStart; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        WriteBytes(path, whole, n);
        const JournalContents c = ReadJournal(path);
        const bool cut = n != lastStart && n != whole.size();
        ASSERT_EQ(c.records.size(), n == whole.size() ? 3u : 2u);
        EXPECT_EQ(c.torn, cut);
        EXPECT_FALSE(c.damaged);
        EXPECT_EQ(c.records[1].kind, 2u);
        EXPECT_EQ(c.records[1].body, Body(3000, 2));
    }
    std::remove(path.c_str());
}

TEST(JournalFile, AFlippedBitStopsAtItsRecordAndSaysSo) {
    const std::string path = TempPath("journal-flip");
    const std::vector<uint8_t> whole = ThreeRecords(path);
    const size_t second = sizeof kJournalMagic + 40 + 16;
    // A bit in the second record's length, kind, body and check in turn.
    for (size_t at : {second, second + 4, second + 8 + 1500, second + 8 + 3000 + 7}) {
        SCOPED_TRACE(at);
        std::vector<uint8_t> bad = whole;
        bad[at] ^= 0x10;
        WriteBytes(path, bad, bad.size());
        const JournalContents c = ReadJournal(path);
        ASSERT_EQ(c.records.size(), 1u);
        EXPECT_EQ(c.records[0].body, Body(40, 1));
        EXPECT_TRUE(c.damaged || c.torn);
        EXPECT_FALSE(c.problem.empty());
    }
    // A flip in the body of a record with more after it is damage, named by its number.
    std::vector<uint8_t> bad = whole;
    bad[second + 8 + 10] ^= 1;
    WriteBytes(path, bad, bad.size());
    const JournalContents c = ReadJournal(path);
    EXPECT_TRUE(c.damaged);
    EXPECT_NE(c.problem.find("record 2"), std::string::npos) << c.problem;
    // Not a journal at all.
    WriteBytes(path, Body(64, 9), 64);
    EXPECT_THROW(ReadJournal(path), std::runtime_error);
    std::remove(path.c_str());
}

TEST(JournalFile, TheLockTellsALiveSessionAndTheFileIsPrivate) {
    const std::string path = TempPath("journal-lock");
    std::remove(path.c_str());
    {
        JournalWriter w(path, nullptr);
        EXPECT_TRUE(JournalInUse(path));
        EXPECT_THROW(JournalWriter(path, nullptr), std::runtime_error);  // never two writers
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    EXPECT_FALSE(JournalInUse(path));  // the writer ended without removing: left behind
    EXPECT_EQ(ReadJournal(path).records.size(), 0u);
    std::remove(path.c_str());
    JournalWriter gone(path, nullptr);
    gone.Append(1, Body(8, 1), true);
    gone.Remove();
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
}
