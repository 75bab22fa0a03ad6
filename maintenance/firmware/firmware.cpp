#include "firmware.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "tools/common/atomic_file.h"

namespace kvs::fw {

namespace {

constexpr int64_t kStatusIntervalMs = 1000;
constexpr const char* kUpgradeFunction = "CFirmwareCtrl::WriteFlash";
constexpr const char* kGeometryLong = "flash信息错误,可能是当前固件可能不支持此功能!";
constexpr const char* kCannotOpen = "不能打开文件！";

std::string Format(const char* fmt, long long a) {
    char buf[96];
    std::snprintf(buf, sizeof buf, fmt, a);
    return buf;
}

std::string Format(const char* fmt, long long a, long long b) {
    char buf[96];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

const char* PhaseText(FirmwarePhase phase) {
    switch (phase) {
        case FirmwarePhase::Backup:
            return "正在备份:";
        case FirmwarePhase::Write:
            return "正在升级:";
        case FirmwarePhase::Verify:
            return "正在校验:";
    }
    return "";
}

// Reads one hexadecimal field "X=<hex>," at pos; like %x it accepts an optional sign and an
// optional 0x prefix, and the value is taken modulo 2^32 into a signed 32-bit integer.
bool ReadField(const std::string& s, size_t& pos, char key, int32_t& out) {
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
    if (pos + 1 >= s.size() || s[pos] != key || s[pos + 1] != '=') return false;
    pos += 2;
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
    if (pos + 1 < s.size() && s[pos] == '0' && (s[pos + 1] == 'x' || s[pos + 1] == 'X') &&
        pos + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[pos + 2])))
        pos += 2;
    uint32_t value = 0;
    size_t digits = 0;
    while (pos < s.size() && std::isxdigit(static_cast<unsigned char>(s[pos]))) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[pos++])));
        value = value * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        ++digits;
    }
    if (digits == 0) return false;
    if (negative) value = 0u - value;
    out = static_cast<int32_t>(value);
    return true;
}

}  // namespace

std::optional<FlashGeometry> ParseFlashGeometry(const std::string& text) {
    FlashGeometry g;
    size_t pos = 0;
    const char keys[] = {'P', 'C', 'B', 'N'};
    int32_t* fields[] = {&g.pageSize, &g.imageSize, &g.blockSize, &g.blockCount};
    for (int i = 0; i < 4; ++i) {
        if (!ReadField(text, pos, keys[i], *fields[i])) return std::nullopt;
        // Every field but the last must be followed by its comma; the last one's is optional.
        if (pos < text.size() && text[pos] == ',') {
            ++pos;
        } else if (i < 3) {
            return std::nullopt;
        }
    }
    if (g.pageSize < 1 || g.imageSize < 1 || g.imageSize % g.pageSize != 0) return std::nullopt;
    if (g.blockSize < 1 || g.blockCount < 1) return std::nullopt;
    if (static_cast<int64_t>(g.blockSize) * g.blockCount < g.imageSize) return std::nullopt;
    return g;
}

void ConvertFirmwareBytes(std::span<uint8_t> bytes) {
    for (uint8_t& b : bytes) b = FirmwareFileByte(b);
}

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string* error) {
    return kvs::WriteFileAtomically(path, bytes.data(), bytes.size(), error);
}

const char* FirmwareResultText(FirmwareResult result) {
    switch (result) {
        case FirmwareResult::Done:
            return "";
        case FirmwareResult::Unsupported:
            return "固件功能不支持!";
        case FirmwareResult::BadGeometry:
            return "flash信息错误!";
        case FirmwareResult::CannotOpenFile:
            return kCannotOpen;
        case FirmwareResult::LengthMismatch:
            return "文件长度不匹配!";
        case FirmwareResult::ReadError:
            return "读取错误";
        case FirmwareResult::WriteError:
            return "写入错误";
        case FirmwareResult::Stopped:
            return "用户停止.";
        case FirmwareResult::VerifyError:
            return "校验错误";
    }
    return "";
}

// The status tick: at most one status update a second, and the only place where a stop
// request is noticed.
struct CFirmwareEngine::Ticker {
    int64_t last;
};

CFirmwareEngine::CFirmwareEngine(IFlashDevice& device, FirmwareCallbacks callbacks)
    : m_device(device), m_cb(std::move(callbacks)) {}

int64_t CFirmwareEngine::Now() const {
    if (m_cb.clockMs) return m_cb.clockMs();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void CFirmwareEngine::Status(const std::string& text) {
    if (m_cb.status) m_cb.status(text);
}
void CFirmwareEngine::Debug(const std::string& text) {
    if (m_cb.debug) m_cb.debug(text);
}
void CFirmwareEngine::Log(FirmwareLogLevel level, const std::string& text) {
    if (m_cb.log) m_cb.log(level, kUpgradeFunction, text);
}

FirmwareOutcome CFirmwareEngine::Fail(FirmwareResult result, const std::string& status, bool log) {
    const std::string text = status + RetryText();
    Status(text);
    if (log) Log(FirmwareLogLevel::Error, text);
    FirmwareOutcome out;
    out.result = result;
    out.status = text;
    out.retries = m_retries;
    return out;
}

FirmwareOutcome CFirmwareEngine::Succeed(const std::string& status) {
    FirmwareOutcome out;
    out.status = status + RetryText();
    out.retries = m_retries;
    Status(out.status);
    return out;
}

std::string CFirmwareEngine::RetryText() const {
    return m_retries > 0 ? Format(" (重试%lld次)", m_retries) : std::string();
}

bool CFirmwareEngine::RetryRead(int& attempts, int32_t address, bool log) {
    if (attempts >= kPageRetries || m_device.LastFailure() != FlashFailure::NoAnswer) return false;
    ++attempts;
    ++m_retries;
    const std::string text = Format("读取无应答,重试:%lld,%lld", address, attempts);
    Debug(text);
    if (log) Log(FirmwareLogLevel::Message, text);
    return true;
}

std::optional<FirmwareOutcome> CFirmwareEngine::LoadGeometry(bool log) {
    m_retries = 0;  // every operation starts here
    std::optional<std::string> text;
    for (int attempts = 0;;) {
        text = m_device.GetAttr(kAttrGeometry);
        if (text || !RetryRead(attempts, -1, log)) break;
    }
    std::optional<FlashGeometry> g;
    if (text) g = ParseFlashGeometry(*text);
    if (g) {
        m_geometry = *g;
        return std::nullopt;
    }
    Debug(kGeometryLong);
    if (log) Log(FirmwareLogLevel::Error, kGeometryLong);
    FirmwareResult r = text ? FirmwareResult::BadGeometry : FirmwareResult::Unsupported;
    return Fail(r, FirmwareResultText(r), false);
}

std::optional<FirmwareOutcome> CFirmwareEngine::ReadPages(std::vector<uint8_t>& image,
                                                          FirmwarePhase phase, Ticker& ticker,
                                                          bool log) {
    const FlashGeometry& g = m_geometry;
    const int32_t total = g.Pages();
    for (int32_t a = 0; a < g.imageSize; a += g.pageSize) {
        // A refused address or read command would leave the previous page in the data
        // attribute; taking it would silently corrupt the image, so it is a read error too.
        // Each of the page's three requests is repeated on its own when it got no answer: the
        // address and the read command may be carried out twice, and the data attribute keeps
        // the page read, so no step needs the ones before it again. The page has kPageRetries
        // repeats in all.
        std::optional<std::vector<uint8_t>> page;
        int attempts = 0;
        auto repeat = [&](auto&& request) {
            while (!request())
                if (!RetryRead(attempts, a, log)) return false;
            return true;
        };
        if (repeat([&] { return m_device.SetAttr(kAttrAddress, std::to_string(a)); }) &&
            repeat([&] { return m_device.SetAttr(kAttrRead, "true"); }))
            repeat([&] {
                page = m_device.GetMemData(kAttrData);
                return page.has_value();
            });
        long long got = page ? static_cast<long long>(page->size()) : 0;
        if (!page || got != g.pageSize) {
            std::string text = Format("读取错误:%lld,%lld", a, got);
            Debug(text);
            FirmwareOutcome out = Fail(FirmwareResult::ReadError, text, log);
            out.failedAddress = a;
            return out;
        }
        std::memcpy(image.data() + a, page->data(), static_cast<size_t>(g.pageSize));
        int64_t now = Now();
        if (now - ticker.last > kStatusIntervalMs) {
            if (m_stop.load()) {
                Debug(FirmwareResultText(FirmwareResult::Stopped));
                return Fail(FirmwareResult::Stopped, FirmwareResultText(FirmwareResult::Stopped),
                            log);
            }
            Status(PhaseText(phase) + std::to_string((g.imageSize - a) / g.pageSize) + RetryText());
            ticker.last = now;
        }
        if (m_cb.progress) m_cb.progress(phase, a / g.pageSize + 1, total);
    }
    return std::nullopt;
}

FirmwareOutcome CFirmwareEngine::ReadImage(std::vector<uint8_t>& image) {
    if (auto failed = LoadGeometry(false)) return *failed;
    image.assign(static_cast<size_t>(m_geometry.imageSize), 0xFF);
    Status(PhaseText(FirmwarePhase::Backup));
    if (m_cb.progress) m_cb.progress(FirmwarePhase::Backup, 0, m_geometry.Pages());
    Ticker ticker{Now()};
    if (auto failed = ReadPages(image, FirmwarePhase::Backup, ticker, false)) return *failed;
    FirmwareOutcome out;
    out.retries = m_retries;
    return out;
}

FirmwareOutcome CFirmwareEngine::Backup(const std::string& path) {
    std::vector<uint8_t> image;
    FirmwareOutcome out = ReadImage(image);
    if (out.result != FirmwareResult::Done) return out;
    ConvertFirmwareBytes(image);
    // Written aside and renamed, so that a failed write never destroys an earlier backup.
    std::string error;
    if (!WriteFileAtomically(path, image, &error)) {
        Debug(std::string("不能打开文件:") + path);
        FirmwareOutcome failed = Fail(FirmwareResult::CannotOpenFile, kCannotOpen, false);
        failed.detail = error;
        return failed;
    }
    return Succeed("备份成功.");
}

FirmwareOutcome CFirmwareEngine::Upgrade(const std::string& path) {
    if (auto failed = LoadGeometry(true)) return *failed;
    const size_t size = static_cast<size_t>(m_geometry.imageSize);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        Debug(std::string("不能打开文件:") + path);
        return Fail(FirmwareResult::CannotOpenFile, kCannotOpen, true);
    }
    std::vector<uint8_t> image(size, 0xFF);
    size_t done = 0;
    if (static_cast<uint64_t>(st.st_size) == size) {
        while (done < size) {
            ssize_t n = ::read(fd, image.data() + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    // A file that shrank while it was read counts as the wrong length as well.
    if (done != size) {
        return Fail(FirmwareResult::LengthMismatch,
                    FirmwareResultText(FirmwareResult::LengthMismatch), true);
    }
    ConvertFirmwareBytes(image);
    return WritePagesAndVerify(image);
}

int CFirmwareEngine::EnduranceTest(const std::string& path) {
    constexpr int kRestartWaitMs = 5000;
    int rounds = 0;
    while (!m_stop.load()) {
        if (m_cb.log)
            m_cb.log(FirmwareLogLevel::Message, "CFirmwareCtrl::FirmwareThreadFun",
                     "测试次数:" + std::to_string(rounds));
        Upgrade(path);
        ++rounds;
        m_device.SetAttr(kAttrRestart, "true");
        auto stop = [this] { return m_stop.load(); };
        if (m_cb.sleepMs) {
            m_cb.sleepMs(kRestartWaitMs, stop);
        } else {
            for (int waited = 0; waited < kRestartWaitMs && !stop(); waited += 100)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return rounds;
}

FirmwareOutcome CFirmwareEngine::WriteImage(std::span<const uint8_t> image) {
    if (auto failed = LoadGeometry(true)) return *failed;
    if (image.size() != static_cast<size_t>(m_geometry.imageSize)) {
        return Fail(FirmwareResult::LengthMismatch,
                    FirmwareResultText(FirmwareResult::LengthMismatch), true);
    }
    return WritePagesAndVerify(image);
}

FirmwareOutcome CFirmwareEngine::WritePagesAndVerify(std::span<const uint8_t> image) {
    const FlashGeometry& g = m_geometry;
    const int32_t total = g.Pages();
    Status(PhaseText(FirmwarePhase::Write));
    if (m_cb.progress) m_cb.progress(FirmwarePhase::Write, 0, total);
    Ticker ticker{Now()};
    int64_t erased = 0;  // erase blocks erased so far, in address order
    for (int32_t a = 0; a < g.imageSize; a += g.pageSize) {
        const std::string address = std::to_string(a);
        bool ok = m_device.SetAttr(kAttrAddress, address);
        // Erase every block that begins inside this page before the page is written. When the
        // block size is not a multiple of the page size a block can begin in the middle of a
        // page; such a block is addressed on its own and the page address is set again after.
        while (ok && erased < g.blockCount && erased * g.blockSize < int64_t{a} + g.pageSize) {
            const int64_t start = erased * g.blockSize;
            if (start != a) ok = m_device.SetAttr(kAttrAddress, std::to_string(start));
            if (ok) ok = m_device.SetAttr(kAttrErase, "true");
            if (ok && start != a) ok = m_device.SetAttr(kAttrAddress, address);
            ++erased;
        }
        if (ok)
            ok = m_device.SetMemData(
                kAttrData, image.subspan(static_cast<size_t>(a), static_cast<size_t>(g.pageSize)));
        if (ok) ok = m_device.SetAttr(kAttrWrite, "true");
        if (!ok) {
            std::string text = Format("写入错误:%lld,%lld", a, g.pageSize);
            Debug(text);
            FirmwareOutcome out = Fail(FirmwareResult::WriteError, text, true);
            out.failedAddress = a;
            return out;
        }
        int64_t now = Now();
        if (now - ticker.last > kStatusIntervalMs) {
            if (m_stop.load()) {
                Debug(FirmwareResultText(FirmwareResult::Stopped));
                return Fail(FirmwareResult::Stopped, FirmwareResultText(FirmwareResult::Stopped),
                            true);
            }
            Status(PhaseText(FirmwarePhase::Write) +
                   std::to_string((g.imageSize - a) / g.pageSize) + RetryText());
            ticker.last = now;
        }
        if (m_cb.progress) m_cb.progress(FirmwarePhase::Write, a / g.pageSize + 1, total);
    }

    std::vector<uint8_t> readBack(static_cast<size_t>(g.imageSize), 0xFF);
    Status(PhaseText(FirmwarePhase::Verify));
    if (auto failed = ReadPages(readBack, FirmwarePhase::Verify, ticker, true)) return *failed;
    int64_t mismatches = 0;
    for (size_t i = 0; i < readBack.size(); ++i) mismatches += readBack[i] != image[i];
    if (mismatches > 0) {
        std::string text = Format("校验错误:%lld", mismatches);
        Debug(text);
        FirmwareOutcome out = Fail(FirmwareResult::VerifyError, text, true);
        out.mismatches = mismatches;
        return out;
    }
    return Succeed("升级成功.");
}

}  // namespace kvs::fw
