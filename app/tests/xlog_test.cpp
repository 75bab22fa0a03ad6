// The file logger: day file, line format, ordering and the writer's behaviour.
#include "app/xlog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {
// Whether text matches pattern, where '9' stands for any digit.
bool MatchesDigits(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (pattern[i] == '9' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                              : text[i] != pattern[i])
            return false;
    return true;
}

class XLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kvs-xlog-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    static std::string Read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        size_t start = 0, end;
        while ((end = text.find("\r\n", start)) != std::string::npos) {
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        EXPECT_EQ(start, text.size()) << "text after the last line end";
        return lines;
    }
    fs::path dir;
};
}  // namespace

TEST_F(XLogTest, CreatesTheFolderAndTheDayFileAndAppendsInQueueOrder) {
    fs::path file;
    {
        CxLog log(dir / "Log");
        EXPECT_TRUE(fs::is_directory(dir / "Log"));
        file = log.TodayFile();
        EXPECT_EQ(file.parent_path(), dir / "Log");
        EXPECT_TRUE(MatchesDigits(file.filename().string(), "99999999.log"));
        log.LogWrite("src\\fw\\firmware_ctrl.cpp", "CFirmwareCtrl::Backup", 42, 0, "page %d", 1);
        ASSERT_TRUE(log.WaitIdle(5000));
        // Between batches the file is closed: it may be removed and is created again.
        EXPECT_EQ(Lines(Read(file)).size(), 1u);
        for (int i = 2; i <= 50; ++i) log.LogWrite(__FILE__, "f", i, 0, "page %d", i);
        ASSERT_TRUE(log.WaitIdle(5000));
    }
    std::vector<std::string> lines = Lines(Read(file));
    ASSERT_EQ(lines.size(), 50u);
    EXPECT_TRUE(MatchesDigits(lines[0],
                              "9999-99-99 99:99:99.999 Message firmware_ctrl.cpp("
                              "CFirmwareCtrl::Backup, 42): page 1"))
        << lines[0];
    for (int i = 2; i <= 50; ++i) {
        std::string tail = "): page " + std::to_string(i);
        EXPECT_EQ(lines[size_t(i - 1)].substr(lines[size_t(i - 1)].size() - tail.size()), tail);
    }
}

TEST_F(XLogTest, LineFormatOfLevelsSourcesAndLineEnds) {
    struct Case {
        const char* file;
        const char* function;
        int line;
        int level;
        const char* text;
        const char* expected;  // after the time stamp and one space
    } cases[] = {
        {"/a/b/c.cpp", "F", 7, 0, "x", "Message c.cpp(F, 7): x\r\n"},
        {"C:\\w\\d.cpp", "G", 8, 1, "y", "Warning d.cpp(G, 8): y\r\n"},
        {"e.cpp", "H", 9, 2, "z", "Exception e.cpp(H, 9): z\r\n"},
        {"e.cpp", "H", 9, 3, "z", "Error e.cpp(H, 9): z\r\n"},
        {nullptr, nullptr, 77, 0, "no source", "Message (, 0): no source\r\n"},
        {"e.cpp", "H", 1, 0, "own end\r\n", "Message e.cpp(H, 1): own end\r\n"},
    };
    {
        CxLog log(dir);
        for (const Case& c : cases) log.LogWrite(c.file, c.function, c.line, c.level, "%s", c.text);
        ASSERT_TRUE(log.WaitIdle(5000));
        std::string text = Read(log.TodayFile());
        std::vector<std::string> lines = Lines(text);
        ASSERT_EQ(lines.size(), std::size(cases));
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string expected = cases[i].expected;
            expected.resize(expected.size() - 2);
            ASSERT_GT(lines[i].size(), 24u);
            EXPECT_EQ(lines[i].substr(24), expected) << "case " << i;
        }
    }
}

TEST_F(XLogTest, OverlongTextIsCutButKeepsItsLineEnd) {
    std::string big(3000, 'x');
    CxLog log(dir);
    log.LogWrite("a.cpp", "f", 1, 0, "%s", big.c_str());
    log.LogWrite("a.cpp", "f", 2, 0, "after");
    ASSERT_TRUE(log.WaitIdle(5000));
    std::vector<std::string> lines = Lines(Read(log.TodayFile()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 1021u);  // a 1024-byte line buffer, "\r\n" and its terminator
    EXPECT_NE(lines[1].find("after"), std::string::npos);
}

TEST_F(XLogTest, ConcurrentWritersLoseNothing) {
    CxLog log(dir);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&log, t] {
            for (int i = 0; i < 250; ++i) log.LogWrite("w.cpp", "writer", t, 0, "%d-%d", t, i);
        });
    for (auto& w : writers) w.join();
    ASSERT_TRUE(log.WaitIdle(10000));
    EXPECT_EQ(Lines(Read(log.TodayFile())).size(), 1000u);
}

TEST_F(XLogTest, UnopenableDayFileDropsTheBatchAndTheWriterGoesOn) {
    CxLog log(dir);
    fs::create_directories(log.TodayFile());  // a folder where the day's file should be
    log.LogWrite("a.cpp", "f", 1, 0, "lost");
    ASSERT_TRUE(log.WaitIdle(5000));
    fs::remove(log.TodayFile());
    log.LogWrite("a.cpp", "f", 2, 0, "kept");
    ASSERT_TRUE(log.WaitIdle(5000));
    std::vector<std::string> lines = Lines(Read(log.TodayFile()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("kept"), std::string::npos);
}

TEST(XLogInstance, IsOneProcessWideLoggerBesideTheExecutable) {
    CxLog& a = CxLog::Instance();
    EXPECT_EQ(&a, &CxLog::Instance());
    EXPECT_EQ(a.Directory().filename(), "Log");
    EXPECT_TRUE(fs::is_directory(a.Directory()));
}

TEST(XLogInstanceDeathTest, UseAfterExitTeardownIsRefusedLoudly) {
    // A handler registered before the logger exists runs after the logger was destroyed.
    EXPECT_DEATH(
        {
            std::atexit([] { CxLog::Instance(); });
            CxLog::Instance().LogWrite(nullptr, nullptr, 0, 0, "x");
            std::exit(0);
        },
        "CxLog has destroy!");
}
