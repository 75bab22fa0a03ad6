// Safe file writing and bounded reading.
#include "tools/common/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

class AtomicFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kvs_atomic_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void Put(const fs::path& p, const std::string& s) {
        std::ofstream(p, std::ios::binary) << s;
    }
    bool Write(const fs::path& p, const std::string& s, std::string* error = nullptr) {
        return kvs::WriteFileAtomically(p.string(), s.data(), s.size(), error);
    }
    // Nothing but the named entries is left in the folder (no temporary files).
    size_t Entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
    }
    fs::path dir;
};

TEST_F(AtomicFile, ReplacesRegularFilesAndTheTargetsOfSymbolicLinks) {
    const fs::path file = dir / "a.kvs";
    ASSERT_TRUE(Write(file, "new"));
    EXPECT_EQ(Read(file), "new");
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(Write(file, "second"));
    EXPECT_EQ(Read(file), "second");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640)) << "a replaced file keeps its mode";

    // An absolute and a relative link (from another folder) and a dangling one.
    fs::create_directories(dir / "sub");
    fs::create_symlink(file, dir / "abs.lnk");
    fs::create_symlink("../a.kvs", dir / "sub" / "rel.lnk");
    fs::create_symlink(dir / "later.kvs", dir / "dangling.lnk");
    ASSERT_TRUE(Write(dir / "abs.lnk", "via abs"));
    EXPECT_EQ(Read(file), "via abs");
    ASSERT_TRUE(Write(dir / "sub" / "rel.lnk", "via rel"));
    EXPECT_EQ(Read(file), "via rel");
    ASSERT_TRUE(Write(dir / "dangling.lnk", "created"));
    EXPECT_EQ(Read(dir / "later.kvs"), "created");
    for (const char* link : {"abs.lnk", "dangling.lnk"})
        EXPECT_TRUE(fs::is_symlink(dir / link)) << link << " stays a link";
    EXPECT_TRUE(fs::is_symlink(dir / "sub" / "rel.lnk"));
    EXPECT_EQ(Entries(), 5u) << "a.kvs, later.kvs, sub and two links; no temporary file";
}

TEST_F(AtomicFile, RefusesWhatIsNotARegularFileAndLeavesItAlone) {
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directories(dir / "folder");
    fs::create_symlink(dir / "fifo", dir / "fifo.lnk");
    struct Case {
        fs::path path;
        const char* cause;
        fs::file_type type;
    } cases[] = {
        {dir / "fifo", "a FIFO", fs::file_type::fifo},
        {dir / "fifo.lnk", "a FIFO", fs::file_type::fifo},
        {dir / "folder", "a directory", fs::file_type::directory},
        {"/dev/null", "a device", fs::file_type::character},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        std::string error;
        EXPECT_FALSE(Write(c.path, "x", &error));
        EXPECT_NE(error.find(c.cause), std::string::npos) << error;
        EXPECT_NE(error.find(c.path.string()), std::string::npos) << error;
        EXPECT_EQ(fs::status(c.path).type(), c.type);
    }
    std::string error;
    EXPECT_FALSE(Write(dir / "missing" / "x.kvs", "x", &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_EQ(Entries(), 3u) << "no temporary file left";
}

TEST_F(AtomicFile, AFailedWriteIsAFailureAndKeepsTheOldFile) {
    const fs::path file = dir / "backup.fw";
    Put(file, "old contents");
    // A file size limit makes the write fail part-way, as a full disk does.
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    const bool ok = Write(file, std::string(5000, 'x'), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("cannot write " + file.string()), std::string::npos) << error;
    EXPECT_EQ(Read(file), "old contents");
    EXPECT_EQ(Entries(), 1u) << "no temporary file left";
}

TEST_F(AtomicFile, ReadsOnlyRegularFilesWithinTheirBound) {
    Put(dir / "ten", "0123456789");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::string out, error;
    EXPECT_TRUE(kvs::ReadRegularFile((dir / "ten").string(), 10, &out, &error)) << error;
    EXPECT_EQ(out, "0123456789");
    struct Case {
        std::string path;
        size_t max;
        const char* cause;
    } cases[] = {
        {(dir / "ten").string(), 9, "more than the 9 bytes"},
        {dir.string(), 100, "a directory"},
        {"/dev/zero", 100, "a device"},
        {(dir / "fifo").string(), 100, "a FIFO"},  // without a writer: must not block
        {(dir / "none").string(), 100, "No such file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_FALSE(kvs::ReadRegularFile(c.path, c.max, &out, &error));
        EXPECT_NE(error.find(c.cause), std::string::npos) << error;
        EXPECT_NE(error.find("cannot read " + c.path), std::string::npos) << error;
    }
}

}  // namespace
