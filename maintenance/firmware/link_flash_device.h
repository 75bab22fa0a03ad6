// The flash attributes of a real (or simulated) controller, reached through the link library.
#pragma once

#include <map>
#include <string>

#include "firmware.h"
#include "kvsh_user.h"

namespace kvs::fw {

// Talks to the component manager of one connection: the handle given, or the library's
// global connection when the handle is null. Attribute names arrive in UTF-8 and travel in
// GBK. Used by one thread at a time (the thread running the firmware operation).
class CLinkFlashDevice : public IFlashDevice {
  public:
    explicit CLinkFlashDevice(KVS_HANDLE handle = nullptr);

    std::optional<std::string> GetAttr(const char* attribute) override;
    bool SetAttr(const char* attribute, const std::string& value) override;
    std::optional<std::vector<uint8_t>> GetMemData(const char* attribute) override;
    bool SetMemData(const char* attribute, std::span<const uint8_t> data) override;
    // From the library's outcome of this thread's last request on the connection.
    FlashFailure LastFailure() const override;

  private:
    const char* Wire(const char* utf8);

    KVS_HANDLE m_handle;
    std::string m_component;
    std::map<std::string, std::string> m_names;  // UTF-8 name -> GBK name
};

}  // namespace kvs::fw
