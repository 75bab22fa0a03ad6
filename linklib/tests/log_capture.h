// Collects the library's log lines (level and UTF-8 text) through the information window.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "gbk.h"
#include "kvsh_user.h"

namespace kvs_test {

class LogCapture {
  public:
    LogCapture() {
        std::lock_guard<std::mutex> lock(Mu());
        Current() = this;
        KVS_RegistInfoPostFunc(&LogCapture::Post);
        KVS_RegistInfoWnd(reinterpret_cast<KVS_HWND>(this));
    }
    ~LogCapture() {
        KVS_UnregistInfoWnd();
        std::lock_guard<std::mutex> lock(Mu());
        Current() = nullptr;
    }
    std::vector<std::pair<unsigned, std::string>> Lines() {
        std::lock_guard<std::mutex> lock(Mu());
        return lines_;
    }
    // True when a line of this level contains the UTF-8 fragment.
    bool Has(unsigned level, const std::string& fragment) {
        for (auto& [l, text] : Lines())
            if (l == level && text.find(fragment) != std::string::npos) return true;
        return false;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(Mu());
        lines_.clear();
    }

  private:
    static std::mutex& Mu() {
        static std::mutex mu;
        return mu;
    }
    static LogCapture*& Current() {
        static LogCapture* current = nullptr;
        return current;
    }
    static void Post(KVS_HWND, unsigned msg, uintptr_t level, intptr_t entry) {
        if (msg != KVS_WM_INFO_MESSAGE) return;
        auto* e = reinterpret_cast<const KVS_LOG_ENTRY*>(entry);
        std::string text = kvs::GbkToUtf8(e->text);
        std::lock_guard<std::mutex> lock(Mu());
        if (Current()) Current()->lines_.emplace_back(static_cast<unsigned>(level), text);
    }
    std::vector<std::pair<unsigned, std::string>> lines_;
};

}  // namespace kvs_test
