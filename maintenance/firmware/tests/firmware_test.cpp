#include "firmware.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <utility>

#include "fake_flash.h"

namespace kvs::fw {
namespace {

using test::FakeFlash;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Geometry and file format

TEST(FlashGeometry, ParsesHexFieldsAndChecksItsRules) {
    struct Case {
        const char* text;
        bool valid;
        int32_t p = 0, c = 0, b = 0, n = 0;
    };
    const Case cases[] = {
        {"P=100,C=20000,B=1000,N=20,", true, 256, 131072, 4096, 32},
        {"P=100,C=20000,B=1000,N=20", true, 256, 131072, 4096, 32},  // last comma optional
        {"P=1,C=1,B=1,N=1,", true, 1, 1, 1, 1},
        {"P=80,C=200,B=180,N=2,", true, 128, 512, 384, 2},  // block not a multiple of the page
        {"P=7fffffff,C=7fffffff,B=7fffffff,N=7fffffff,", true, 0x7fffffff, 0x7fffffff, 0x7fffffff,
         0x7fffffff},                           // B x N must not overflow
        {"P=100,C=20010,B=1000,N=20,", false},  // C not a multiple of P
        {"P=100,C=20000,B=1000,N=1f,", false},  // B x N below C
        {"P=0,C=20000,B=1000,N=20,", false},
        {"P=100,C=0,B=1000,N=20,", false},
        {"P=100,C=20000,B=0,N=20,", false},
        {"P=100,C=20000,B=1000,N=0,", false},
        {"P=ffffffff,C=20000,B=1000,N=20,", false},  // wraps to -1
        {"P=100,C=20000,B=1000,", false},
        {"P=100;C=20000;B=1000;N=20;", false},
        {"", false},
        {"not supported", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::optional<FlashGeometry> g = ParseFlashGeometry(c.text);
        ASSERT_EQ(g.has_value(), c.valid);
        if (!c.valid) continue;
        EXPECT_EQ(g->pageSize, c.p);
        EXPECT_EQ(g->imageSize, c.c);
        EXPECT_EQ(g->blockSize, c.b);
        EXPECT_EQ(g->blockCount, c.n);
    }
}

TEST(FirmwareFile, ComplementsEveryByteButZeroAndFfAndIsItsOwnInverse) {
    EXPECT_EQ(FirmwareFileByte(0x00), 0x00);
    EXPECT_EQ(FirmwareFileByte(0xFF), 0xFF);
    EXPECT_EQ(FirmwareFileByte(0x5A), 0xA5);
    EXPECT_EQ(FirmwareFileByte(0xA5), 0x5A);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(FirmwareFileByte(FirmwareFileByte(static_cast<uint8_t>(b))), b);
}

// ---------------------------------------------------------------------------------------------
// Operations against the fake flash

class FirmwareEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kvs_fw_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    CFirmwareEngine Engine(FakeFlash& flash) {
        FirmwareCallbacks cb;
        cb.status = [this](const std::string& s) { statuses.push_back(s); };
        cb.debug = [this](const std::string& s) { debug.push_back(s); };
        cb.log = [this](FirmwareLogLevel, const char* fn, const std::string& s) {
            logs.push_back(std::string(fn) + ": " + s);
        };
        cb.progress = [this](FirmwarePhase phase, int32_t done, int32_t total) {
            lastPhase = phase;
            lastDone = done;
            lastTotal = total;
            if (onProgress) onProgress(done);
        };
        cb.clockMs = [&flash] { return flash.Clock(); };
        return CFirmwareEngine(flash, cb);
    }

    static std::vector<uint8_t> RandomImage(size_t size, unsigned seed) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> v(size);
        for (auto& b : v) b = static_cast<uint8_t>(rng());
        v[0] = 0x00;  // the two bytes stored unchanged
        v[1] = 0xFF;
        return v;
    }

    static std::vector<uint8_t> ReadFile(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    static void WriteFile(const fs::path& p, std::vector<uint8_t> bytes) {
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    static std::vector<uint8_t> ToFile(std::vector<uint8_t> image) {
        ConvertFirmwareBytes(image);
        return image;
    }

    fs::path dir;
    std::vector<std::string> statuses, debug, logs;
    FirmwarePhase lastPhase = FirmwarePhase::Backup;
    int32_t lastDone = -1, lastTotal = -1;
    std::function<void(int32_t)> onProgress;
};

TEST_F(FirmwareEngineTest, BackupOfDefaultFlashWritesTheComplementedImage) {
    FakeFlash flash(0x100, 0x20000, 0x1000, 0x20);
    const std::vector<uint8_t> image = RandomImage(0x20000, 1);
    std::copy(image.begin(), image.end(), flash.flash.begin());
    CFirmwareEngine engine = Engine(flash);

    FirmwareOutcome out = engine.Backup((dir / "KVS.fw").string());

    EXPECT_EQ(out.result, FirmwareResult::Done);
    EXPECT_EQ(out.status, "备份成功.");
    EXPECT_EQ(flash.pagesRead, 512);
    EXPECT_EQ(lastDone, 512);
    EXPECT_EQ(lastTotal, 512);
    const std::vector<uint8_t> file = ReadFile(dir / "KVS.fw");
    ASSERT_EQ(file.size(), 131072u);
    EXPECT_EQ(file, ToFile(image));
    EXPECT_EQ(file[0], 0x00);
    EXPECT_EQ(file[1], 0xFF);
    EXPECT_TRUE(logs.empty()) << "the backup writes no log records";
    // Status updates stay at about one a second of (fake) transfer time, not one per page.
    EXPECT_LT(statuses.size(), 25u);
    EXPECT_THAT(statuses.front(), "正在备份:");
}

TEST_F(FirmwareEngineTest, UpgradeErasesEachBlockBeforeItsFirstPageAndVerifies) {
    FakeFlash flash(0x100, 0x20000, 0x1000, 0x20);  // flash starts programmed (all 0x00)
    const std::vector<uint8_t> image = RandomImage(0x20000, 2);
    WriteFile(dir / "new.fw", ToFile(image));
    CFirmwareEngine engine = Engine(flash);

    FirmwareOutcome out = engine.Upgrade((dir / "new.fw").string());

    EXPECT_EQ(out.result, FirmwareResult::Done) << out.status;
    EXPECT_EQ(out.status, "升级成功.");
    EXPECT_EQ(statuses.back(), "升级成功.");
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.flash.begin()));
    ASSERT_EQ(flash.erased.size(), 32u);
    for (size_t i = 0; i < flash.erased.size(); ++i) EXPECT_EQ(flash.erased[i], int32_t(i) * 4096);
    EXPECT_EQ(flash.written.size(), 512u);
    EXPECT_EQ(flash.pagesRead, 512) << "one full read-back";
    EXPECT_EQ(lastPhase, FirmwarePhase::Verify);
    EXPECT_TRUE(logs.empty());
}

// Whatever the relation of block size to page size, every block the image touches is erased
// once, before anything is programmed into it, and the read-back matches.
TEST_F(FirmwareEngineTest, UpgradeErasesEveryTouchedBlockForAnyBlockSize) {
    struct Case {
        int32_t p, c, b, n;
        std::vector<int32_t> erased;
    };
    const std::vector<Case> cases = {
        {256, 1024, 512, 2, {0, 512}},       // block = 2 pages
        {256, 1024, 384, 3, {0, 384, 768}},  // block starts inside pages 1 and 3
        {256, 1024, 128, 8, {0, 128, 256, 384, 512, 640, 768, 896}},  // block below a page
        {256, 1024, 4096, 1, {0}},  // one block larger than the image
        {256, 1024, 1024, 4, {0}},  // blocks beyond the image untouched
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "P=" << c.p << " B=" << c.b);
        FakeFlash flash(c.p, c.c, c.b, c.n);
        const std::vector<uint8_t> image = RandomImage(static_cast<size_t>(c.c), 3);
        CFirmwareEngine engine = Engine(flash);
        FirmwareOutcome out = engine.WriteImage(image);
        EXPECT_EQ(out.result, FirmwareResult::Done) << out.status;
        EXPECT_EQ(flash.erased, c.erased);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.flash.begin()));
    }
}

TEST_F(FirmwareEngineTest, UpgradeFileOfWrongLengthIsRefusedBeforeTouchingTheDevice) {
    for (int delta : {-1, +1}) {
        FakeFlash flash(0x100, 0x1000, 0x1000, 1);
        WriteFile(dir / "bad.fw", std::vector<uint8_t>(size_t(0x1000 + delta), 0x12));
        CFirmwareEngine engine = Engine(flash);
        FirmwareOutcome out = engine.Upgrade((dir / "bad.fw").string());
        EXPECT_EQ(out.result, FirmwareResult::LengthMismatch);
        EXPECT_EQ(out.status, "文件长度不匹配!");
        EXPECT_EQ(flash.setCount, 0) << "nothing may be written";
        EXPECT_EQ(logs.back(), "CFirmwareCtrl::WriteFlash: 文件长度不匹配!");
    }
}

TEST_F(FirmwareEngineTest, GeometryFailuresEndTheOperationWithTheirTexts) {
    struct Case {
        std::optional<std::string> geometry;
        FirmwareResult result;
        const char* status;
    };
    const Case cases[] = {
        {std::nullopt, FirmwareResult::Unsupported, "固件功能不支持!"},
        {"P=100,C=20010,B=1000,N=20,", FirmwareResult::BadGeometry, "flash信息错误!"},
    };
    for (const Case& c : cases) {
        FakeFlash flash(0x100, 0x1000, 0x1000, 1);
        if (c.geometry) flash.geometry = *c.geometry;
        struct NoGeometry : FakeFlash {
            using FakeFlash::FakeFlash;
            std::optional<std::string> GetAttr(const char*) override { return std::nullopt; }
        } silent(0x100, 0x1000, 0x1000, 1);
        IFlashDevice& device = c.geometry ? static_cast<IFlashDevice&>(flash) : silent;
        FirmwareCallbacks cb;
        cb.status = [&](const std::string& s) { statuses.push_back(s); };
        cb.debug = [&](const std::string& s) { debug.push_back(s); };
        cb.log = [&](FirmwareLogLevel, const char*, const std::string& s) { logs.push_back(s); };
        CFirmwareEngine engine(device, cb);
        logs.clear();
        FirmwareOutcome backup = engine.Backup((dir / "x.fw").string());
        EXPECT_EQ(backup.result, c.result);
        EXPECT_EQ(backup.status, c.status);
        EXPECT_TRUE(logs.empty());
        EXPECT_EQ(debug.back(), "flash信息错误,可能是当前固件可能不支持此功能!");
        EXPECT_FALSE(fs::exists(dir / "x.fw"));
        FirmwareOutcome upgrade = engine.Upgrade((dir / "x.fw").string());
        EXPECT_EQ(upgrade.result, c.result);
        EXPECT_THAT(logs, ElementsAre("flash信息错误,可能是当前固件可能不支持此功能!"));
    }
}

// A failed backup never replaces the file that was there before.
TEST_F(FirmwareEngineTest, FailedBackupLeavesAnExistingFileUntouched) {
    struct Case {
        const char* name;
        std::function<void(FakeFlash&)> fault;
        FirmwareResult result;
        std::string status;
    };
    const Case cases[] = {
        {"short page",
         [](FakeFlash& f) {
             f.readHook = [](int32_t a, std::vector<uint8_t>& p) {
                 if (a == 0x300) p.resize(10);
             };
         },
         FirmwareResult::ReadError, "读取错误:768,10"},
        {"no data",
         [](FakeFlash& f) {
             f.refuse = [](const std::string& what, int32_t a) {
                 return what == "read-data" && a == 0x500;
             };
         },
         FirmwareResult::ReadError, "读取错误:1280,0"},
        // Without this check the previous page would be stored at this address.
        {"refused address",
         [](FakeFlash& f) {
             f.refuse = [](const std::string& what, int32_t a) {
                 return what == kAttrAddress && a == 0x100;
             };
         },
         FirmwareResult::ReadError, "读取错误:512,0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFlash flash(0x100, 0x1000, 0x1000, 1, 0x33);
        c.fault(flash);
        WriteFile(dir / "old.fw", {1, 2, 3});
        CFirmwareEngine engine = Engine(flash);
        FirmwareOutcome out = engine.Backup((dir / "old.fw").string());
        EXPECT_EQ(out.result, c.result);
        EXPECT_EQ(out.status, c.status);
        EXPECT_EQ(statuses.back(), c.status);
        EXPECT_EQ(debug.back(), c.status);
        EXPECT_EQ(ReadFile(dir / "old.fw"), (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1)
            << "no temporary file left behind";
    }
}

TEST_F(FirmwareEngineTest, AtomicWriteReplacesContentAndKeepsPermissions) {
    const fs::path p = dir / "keep.fw";
    WriteFile(p, {1, 2, 3});
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::vector<uint8_t> next = {4, 5};
    ASSERT_TRUE(WriteFileAtomically(p.string(), next));
    EXPECT_EQ(ReadFile(p), next);
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
}

TEST_F(FirmwareEngineTest, BackupToAnUnwritablePlaceReportsTheFile) {
    FakeFlash flash(0x100, 0x1000, 0x1000, 1);
    CFirmwareEngine engine = Engine(flash);
    const std::string path = (dir / "missing" / "KVS.fw").string();
    FirmwareOutcome out = engine.Backup(path);
    EXPECT_EQ(out.result, FirmwareResult::CannotOpenFile);
    EXPECT_EQ(out.status, "不能打开文件！");
    EXPECT_EQ(debug.back(), "不能打开文件:" + path);
}

TEST_F(FirmwareEngineTest, UpgradeReportsRefusedWritesAndReadBackDifferences) {
    struct Case {
        const char* name;
        std::function<void(FakeFlash&)> fault;
        FirmwareResult result;
        std::string status;
    };
    const Case cases[] = {
        {"page refused",
         [](FakeFlash& f) {
             f.refuse = [](const std::string& what, int32_t a) {
                 return what == "write-data" && a == 0x200;
             };
         },
         FirmwareResult::WriteError, "写入错误:512,256"},
        {"erase refused",
         [](FakeFlash& f) {
             f.refuse = [](const std::string& what, int32_t) { return what == kAttrErase; };
         },
         FirmwareResult::WriteError, "写入错误:0,256"},
        {"two bytes read back wrong",
         [](FakeFlash& f) {
             f.readHook = [](int32_t a, std::vector<uint8_t>& p) {
                 if (a == 0x700) p[5] ^= 1, p[6] ^= 0x80;
             };
         },
         FirmwareResult::VerifyError, "校验错误:2"},
        {"no file", [](FakeFlash&) {}, FirmwareResult::CannotOpenFile, "不能打开文件！"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFlash flash(0x100, 0x1000, 0x800, 2);
        c.fault(flash);
        const std::string path = (dir / "up.fw").string();
        fs::remove(path);
        if (c.result != FirmwareResult::CannotOpenFile)
            WriteFile(path, ToFile(RandomImage(0x1000, 4)));
        logs.clear();
        CFirmwareEngine engine = Engine(flash);
        FirmwareOutcome out = engine.Upgrade(path);
        EXPECT_EQ(out.result, c.result);
        EXPECT_EQ(out.status, c.status);
        EXPECT_EQ(statuses.back(), c.status);
        ASSERT_FALSE(logs.empty());
        EXPECT_EQ(logs.back(), "CFirmwareCtrl::WriteFlash: " + c.status);
        if (c.result == FirmwareResult::VerifyError) {
            EXPECT_EQ(out.mismatches, 2);
        }
    }
}

// A stop request is honoured at the first page that ends more than a second after the last
// status update; the fake clock makes every page of a backup take 30 ms.
TEST_F(FirmwareEngineTest, StopTakesEffectAtTheFirstStatusTickAfterTheRequest) {
    FakeFlash flash(0x100, 0x20000, 0x1000, 0x20);
    CFirmwareEngine engine = Engine(flash);
    engine.RequestStop();
    WriteFile(dir / "keep.fw", {9});

    FirmwareOutcome out = engine.Backup((dir / "keep.fw").string());

    EXPECT_EQ(out.result, FirmwareResult::Stopped);
    EXPECT_EQ(out.status, "用户停止.");
    EXPECT_EQ(flash.pagesRead, 34);  // the 34th page ends at 1020 ms after the start
    EXPECT_EQ(ReadFile(dir / "keep.fw"), std::vector<uint8_t>{9});
    EXPECT_TRUE(logs.empty());
}

TEST_F(FirmwareEngineTest, StopDuringTheWritePhaseIsLogged) {
    FakeFlash flash(0x100, 0x20000, 0x1000, 0x20);
    WriteFile(dir / "up.fw", ToFile(RandomImage(0x20000, 5)));
    CFirmwareEngine engine = Engine(flash);
    onProgress = [&](int32_t done) {
        if (lastPhase == FirmwarePhase::Write && done == 100) engine.RequestStop();
    };
    FirmwareOutcome out = engine.Upgrade((dir / "up.fw").string());
    EXPECT_EQ(out.result, FirmwareResult::Stopped);
    EXPECT_EQ(lastPhase, FirmwarePhase::Write);
    EXPECT_LT(flash.written.size(), 512u);
    EXPECT_THAT(logs.back(), HasSubstr("用户停止."));
}

TEST_F(FirmwareEngineTest, EnduranceTestRepeatsUpgradeAndRestartUntilStopped) {
    FakeFlash flash(0x100, 0x1000, 0x1000, 1);
    const std::vector<uint8_t> image = RandomImage(0x1000, 6);
    WriteFile(dir / "up.fw", ToFile(image));
    FirmwareCallbacks cb;
    std::vector<std::string> records;
    cb.log = [&](FirmwareLogLevel level, const char* fn, const std::string& text) {
        if (level == FirmwareLogLevel::Message) records.push_back(std::string(fn) + " " + text);
    };
    std::vector<int> waits;
    CFirmwareEngine* self = nullptr;
    cb.sleepMs = [&](int ms, const std::function<bool()>&) {
        waits.push_back(ms);
        if (waits.size() == 3) self->RequestStop();
    };
    CFirmwareEngine engine(flash, cb);
    self = &engine;

    EXPECT_EQ(engine.EnduranceTest((dir / "up.fw").string()), 3);
    EXPECT_EQ(flash.restarts, 3);
    EXPECT_EQ(flash.written.size(), 3u * 16);
    EXPECT_EQ(waits, (std::vector<int>{5000, 5000, 5000}));
    EXPECT_EQ(records, (std::vector<std::string>{"CFirmwareCtrl::FirmwareThreadFun 测试次数:0",
                                                 "CFirmwareCtrl::FirmwareThreadFun 测试次数:1",
                                                 "CFirmwareCtrl::FirmwareThreadFun 测试次数:2"}));
    // A stop already requested runs no round at all.
    EXPECT_EQ(engine.EnduranceTest((dir / "up.fw").string()), 0);
}

TEST_F(FirmwareEngineTest, StatusLinesCountThePagesStillToDo) {
    FakeFlash flash(0x100, 0x20000, 0x1000, 0x20);
    flash.msPerRequest = 200;  // every page of a backup crosses the one-second tick quickly
    CFirmwareEngine engine = Engine(flash);
    ASSERT_EQ(engine.Backup((dir / "a.fw").string()).result, FirmwareResult::Done);
    ASSERT_GE(statuses.size(), 3u);
    // 600 ms a page: the second page (a = 256) is the first to end past the tick.
    EXPECT_EQ(statuses[1], "正在备份:511");
}

}  // namespace
}  // namespace kvs::fw

namespace kvs::fw {
namespace {

// A page whose request got no answer is read again, at most twice; refusals and a third loss
// of the same page end the operation. Retries are counted in the outcome, the status and the
// log.
TEST_F(FirmwareEngineTest, UnansweredPageReadsAreRetriedTwiceAndRefusalsNever) {
    struct Case {
        const char* what;
        const char* lost;     // the request that gets no answer at address 0x30 ...
        int times;            // ... this many times in a row
        const char* refused;  // or is refused there
        bool done;
        int retries;
    } cases[] = {
        {"one lost address write", "Flash操作地址", 1, nullptr, true, 1},
        {"a lost read command, twice", "Flash执行读取", 2, nullptr, true, 2},
        {"lost data three times", "read-data", 3, nullptr, false, 2},
        {"a refused read command", nullptr, 0, "Flash执行读取", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFlash flash(16, 256, 64, 4, 0x5A);
        int left = c.times;
        flash.lose = [&](const std::string& what, int32_t at) {
            return c.lost && what == c.lost && at == 0x30 && left > 0 && left-- > 0;
        };
        flash.refuse = [&](const std::string& what, int32_t at) {
            return c.refused && what == c.refused && at == 0x30;
        };
        statuses.clear();
        logs.clear();
        CFirmwareEngine engine = Engine(flash);
        const fs::path file = dir / "b.fw";
        fs::remove(file);
        FirmwareOutcome out = engine.Backup(file.string());
        EXPECT_EQ(out.result == FirmwareResult::Done, c.done) << out.status;
        EXPECT_EQ(out.retries, c.retries);
        if (c.done) {
            EXPECT_EQ(ReadFile(file), ToFile(std::vector<uint8_t>(256, 0x5A)))
                << "no page taken from a lost read";
        } else {
            EXPECT_EQ(out.result, FirmwareResult::ReadError);
            EXPECT_EQ(out.failedAddress, 0x30);
        }
        if (c.retries > 0) {
            EXPECT_NE(out.status.find("重试" + std::to_string(c.retries) + "次"), std::string::npos)
                << out.status;
        } else {
            EXPECT_EQ(out.status.find("重试"), std::string::npos) << out.status;
        }
    }

    // The upgrade's read-back retries too, and its file log names each retry.
    FakeFlash flash(16, 256, 64, 4);
    bool once = true;
    flash.lose = [&](const std::string& what, int32_t at) {
        // in the read-back, once all 16 pages are written
        return what == "read-data" && at == 0x40 && flash.written.size() == 16 &&
               std::exchange(once, false);
    };
    const fs::path file = dir / "up.fw";
    std::vector<uint8_t> bytes = RandomImage(256, 3);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    logs.clear();
    FirmwareOutcome up = Engine(flash).Upgrade(file.string());
    EXPECT_EQ(up.result, FirmwareResult::Done) << up.status;
    EXPECT_EQ(up.status, "升级成功. (重试1次)");
    EXPECT_NE(
        std::find(logs.begin(), logs.end(), "CFirmwareCtrl::WriteFlash: 读取无应答,重试:64,1"),
        logs.end());
}

}  // namespace
}  // namespace kvs::fw
