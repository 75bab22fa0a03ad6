// Firmware backup and upgrade of the controller's program flash, page by page, through the
// flash attributes of the component manager. Free of any GUI toolkit, so that the command-line
// client and the firmware dialog drive the same code.
//
// Threading: a CFirmwareEngine runs one operation at a time on the thread that calls it (a
// worker thread in the dialog, the main thread in kvsh). Only the stop flag may be touched by
// another thread while an operation runs; it is an atomic and is read at status ticks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kvsh_vocab.h"

namespace kvs::fw {

// The component that carries the flash attributes, and the attributes themselves (UTF-8; the
// device adapter converts them to the wire's encoding).
inline constexpr const char* kComponentManager = KVS_COMPONENT_MANAGER;
inline constexpr const char* kAttrGeometry = KVS_ATTR_FLASH_GEOMETRY;
inline constexpr const char* kAttrAddress = KVS_ATTR_FLASH_ADDRESS;
inline constexpr const char* kAttrRead = KVS_ATTR_FLASH_READ;
inline constexpr const char* kAttrErase = KVS_ATTR_FLASH_ERASE;
inline constexpr const char* kAttrWrite = KVS_ATTR_FLASH_WRITE;
inline constexpr const char* kAttrData = KVS_ATTR_FLASH_DATA;
inline constexpr const char* kAttrRestart = KVS_ATTR_RESTART;

// Flash geometry as the device describes it: "P=%x,C=%x,B=%x,N=%x,".
struct FlashGeometry {
    int32_t pageSize = 0;    // P: bytes per read or write request
    int32_t imageSize = 0;   // C: bytes backed up or programmed from address 0
    int32_t blockSize = 0;   // B: erase block size
    int32_t blockCount = 0;  // N: number of erase blocks

    int32_t Pages() const { return pageSize > 0 ? imageSize / pageSize : 0; }
};

// Parses the geometry text and checks its rules (P >= 1; C >= 1 and a multiple of P; B >= 1;
// N >= 1 and B x N >= C, the product taken without overflow). nullopt when the text does not
// parse or a rule fails.
std::optional<FlashGeometry> ParseFlashGeometry(const std::string& text);

// The .fw file stores every byte other than 0x00 and 0xFF complemented; the same rule turns it
// back into the image.
inline uint8_t FirmwareFileByte(uint8_t b) {
    return (b == 0x00 || b == 0xFF) ? b : static_cast<uint8_t>(~b);
}
void ConvertFirmwareBytes(std::span<uint8_t> bytes);

// Writes bytes to path with kvs::WriteFileAtomically (tools/common/atomic_file.h): symbolic
// links followed, anything but a regular file refused, every step checked. A failure leaves an
// existing file untouched and sets *error (when given) to the cause.
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string* error = nullptr);

// Why the device's last call failed.
enum class FlashFailure {
    Refused,  // the device answered with a refusal, or its reply could not be used
    NoAnswer  // nothing answered within the wait (a lost request or reply)
};

// The device side: the attributes of the component manager. Every call waits for the reply.
// Implementations report a refused or unanswered request as false / nullopt, and tell the two
// apart through LastFailure (a device that cannot tell says Refused, and is never retried).
class IFlashDevice {
  public:
    virtual ~IFlashDevice() = default;
    virtual FlashFailure LastFailure() const { return FlashFailure::Refused; }
    virtual std::optional<std::string> GetAttr(const char* attribute) = 0;
    virtual bool SetAttr(const char* attribute, const std::string& value) = 0;
    virtual std::optional<std::vector<uint8_t>> GetMemData(const char* attribute) = 0;
    virtual bool SetMemData(const char* attribute, std::span<const uint8_t> data) = 0;
};

enum class FirmwarePhase { Backup, Write, Verify };

enum class FirmwareResult {
    Done,
    Unsupported,     // no geometry came back: "固件功能不支持!"
    BadGeometry,     // "flash信息错误!"
    CannotOpenFile,  // "不能打开文件！" (also a backup file that could not be written)
    LengthMismatch,  // "文件长度不匹配!"
    ReadError,       // "读取错误:%d,%d"
    WriteError,      // "写入错误:%d,%d"
    Stopped,         // "用户停止."
    VerifyError      // "校验错误:%d"
};

struct FirmwareOutcome {
    FirmwareResult result = FirmwareResult::Done;
    std::string status;          // the final status line
    int64_t mismatches = 0;      // differing bytes after an upgrade's read-back
    int32_t failedAddress = -1;  // page address of a read or write error
    std::string detail;          // the cause behind CannotOpenFile, for the caller's message
    int32_t retries = 0;         // page reads repeated after a request got no answer
};

// Log levels of the firmware records, as the file log names them.
enum class FirmwareLogLevel { Error, Message };

struct FirmwareCallbacks {
    // Pages done and the page count of the operation; after the page at address a, done is
    // a / P + 1. Called after every page.
    std::function<void(FirmwarePhase, int32_t done, int32_t total)> progress;
    // The status line: phase texts with the pages still to do, at most once a second, and the
    // final text of the operation.
    std::function<void(const std::string&)> status;
    // Diagnostic output (the debug output of the dialog).
    std::function<void(const std::string&)> debug;
    // File-log records of the upgrade: level, function name, text.
    std::function<void(FirmwareLogLevel, const char* function, const std::string&)> log;
    // Monotonic milliseconds; the steady clock when empty (tests substitute their own).
    std::function<int64_t()> clockMs;
    // Waits ms milliseconds, returning early once stop() is true; a sleep in slices of 100 ms
    // when empty (tests substitute their own).
    std::function<void(int ms, const std::function<bool()>& stop)> sleepMs;
};

class CFirmwareEngine {
  public:
    CFirmwareEngine(IFlashDevice& device, FirmwareCallbacks callbacks);

    // Asks the running operation to stop. Takes effect at the first page that ends more than a
    // second after the last status update. Any thread.
    void RequestStop() { m_stop.store(true); }
    void ClearStop() { m_stop.store(false); }
    bool StopRequested() const { return m_stop.load(); }

    // A request of a page read (the address and read command writes, the data read) that got
    // no answer is repeated, up to this many repeats per page, before the operation fails; a
    // refusal is never repeated. Reading is safe to repeat; programming is not retried.
    static constexpr int kPageRetries = 2;

    // Reads the whole image into a .fw file; no file is written unless every page was read.
    FirmwareOutcome Backup(const std::string& path);
    // Programs a .fw file, then reads everything back and compares.
    FirmwareOutcome Upgrade(const std::string& path);

    // The endurance test: unless a stop is already requested, repeats upgrade of the file,
    // restart of the controller and a 5 s wait, logging "测试次数:%d" (finished rounds) before
    // each round, until a stop is requested. Returns the number of finished rounds.
    int EnduranceTest(const std::string& path);

    // The same on images in memory (flash content, not file bytes).
    FirmwareOutcome ReadImage(std::vector<uint8_t>& image);
    FirmwareOutcome WriteImage(std::span<const uint8_t> image);

    // The geometry read by the last operation (valid after it got past the geometry check).
    const FlashGeometry& Geometry() const { return m_geometry; }

  private:
    struct Ticker;
    FirmwareOutcome Fail(FirmwareResult result, const std::string& status, bool log);
    std::optional<FirmwareOutcome> LoadGeometry(bool log);
    std::optional<FirmwareOutcome> ReadPages(std::vector<uint8_t>& image, FirmwarePhase phase,
                                             Ticker& ticker, bool log);
    FirmwareOutcome WritePagesAndVerify(std::span<const uint8_t> image);
    bool RetryRead(int& attempts, int32_t address, bool log);
    std::string RetryText() const;
    FirmwareOutcome Succeed(const std::string& status);
    void Status(const std::string& text);
    void Debug(const std::string& text);
    void Log(FirmwareLogLevel level, const std::string& text);
    int64_t Now() const;

    IFlashDevice& m_device;
    FirmwareCallbacks m_cb;
    std::atomic<bool> m_stop{false};
    FlashGeometry m_geometry;
    int32_t m_retries = 0;  // of the running operation
};

// The final status texts, for callers that map results to their own messages.
const char* FirmwareResultText(FirmwareResult result);

}  // namespace kvs::fw
