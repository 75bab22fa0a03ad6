// A small flash device behind the component manager's flash attributes, for tests. It behaves
// like NOR flash: erase sets a whole block to 0xFF, programming can only clear bits, so a page
// written without its block erased first comes back wrong. Each request advances a fake clock.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "firmware.h"

namespace kvs::fw::test {

class FakeFlash : public IFlashDevice {
  public:
    FakeFlash(int32_t page, int32_t image, int32_t block, int32_t blocks, uint8_t fill = 0x00)
        : P(page), C(image), B(block), N(blocks) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "P=%x,C=%x,B=%x,N=%x,", page, image, block, blocks);
        geometry = buf;
        int64_t size = int64_t{block} * blocks > image ? int64_t{block} * blocks : image;
        flash.assign(static_cast<size_t>(size), fill);
    }

    std::optional<std::string> GetAttr(const char* attribute) override {
        Tick();
        if (Lost(attribute)) return std::nullopt;
        if (std::string(attribute) == kAttrGeometry) return geometry;
        return std::nullopt;
    }

    bool SetAttr(const char* attribute, const std::string& value) override {
        Tick();
        const std::string a = attribute;
        if (Lost(a)) return false;
        if (refuse && refuse(a, address)) return false;
        ++setCount;
        if (a == kAttrAddress) {
            address = std::stoi(value);
            return true;
        }
        if (value != "true") return false;
        if (a == kAttrRead) {
            if (!InFlash(address, P)) return false;
            page.assign(flash.begin() + address, flash.begin() + address + P);
            return true;
        }
        if (a == kAttrErase) {
            if (address % B != 0 || !InFlash(address, B)) return false;
            erased.push_back(address);
            std::memset(flash.data() + address, 0xFF, static_cast<size_t>(B));
            return true;
        }
        if (a == kAttrRestart) {
            ++restarts;
            return true;
        }
        if (a == kAttrWrite) {
            if (!InFlash(address, P) || static_cast<int32_t>(page.size()) != P) return false;
            written.push_back(address);
            for (int32_t i = 0; i < P; ++i) flash[static_cast<size_t>(address + i)] &= page[i];
            return true;
        }
        return false;
    }

    std::optional<std::vector<uint8_t>> GetMemData(const char* attribute) override {
        Tick();
        if (std::string(attribute) != kAttrData) return std::nullopt;
        if (Lost("read-data")) return std::nullopt;
        ++pagesRead;
        if (refuse && refuse("read-data", address)) return std::nullopt;
        std::vector<uint8_t> out = page;
        if (readHook) readHook(address, out);
        return out;
    }

    bool SetMemData(const char* attribute, std::span<const uint8_t> data) override {
        Tick();
        if (std::string(attribute) != kAttrData) return false;
        if (Lost("write-data")) return false;
        if (refuse && refuse("write-data", address)) return false;
        ++setCount;
        page.assign(data.begin(), data.end());
        return static_cast<int32_t>(data.size()) == P;
    }

    int64_t Clock() const { return now; }
    FlashFailure LastFailure() const override { return last; }

    int32_t P, C, B, N;
    std::string geometry;
    std::vector<uint8_t> flash;
    std::vector<uint8_t> page;
    int32_t address = 0;
    int64_t now = 0;
    int64_t msPerRequest = 10;
    int setCount = 0;   // accepted writes of any attribute
    int pagesRead = 0;  // reads of the data attribute
    int restarts = 0;
    std::vector<int32_t> erased, written;
    // Return true to refuse the request: attribute name (or "read-data" / "write-data") and
    // the current address.
    std::function<bool(const std::string&, int32_t)> refuse;
    // Return true when the request gets no answer (it is not carried out): as refuse.
    std::function<bool(const std::string&, int32_t)> lose;
    int lost = 0;  // requests that got no answer
    FlashFailure last = FlashFailure::Refused;
    // May alter a page as it is read: address, page.
    std::function<void(int32_t, std::vector<uint8_t>&)> readHook;

  private:
    void Tick() { now += msPerRequest; }
    bool Lost(const std::string& what) {
        last = FlashFailure::Refused;
        if (!lose || !lose(what, address)) return false;
        last = FlashFailure::NoAnswer;
        ++lost;
        return true;
    }
    bool InFlash(int64_t at, int64_t len) const {
        return at >= 0 && at + len <= static_cast<int64_t>(flash.size());
    }
};

}  // namespace kvs::fw::test
