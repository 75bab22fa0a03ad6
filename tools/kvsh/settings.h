// The controller's startup parameters as kvsh shows and edits them: the T_GLOAT_SET record and
// the three parameter bytes (startup slot, communication device, serial settings byte).
#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kvsh_user.h"

namespace kvsh {

struct StartupSettings {
    uint8_t slot = 0;    // startup configuration slot 0-5
    uint8_t device = 0;  // 0 serial, 1 USB-to-serial, 2 USB, 3 UDP
    uint8_t serial = 0;  // bits 0-2 baud code, 3-4 data-bits code, 5 two stop bits, 6-7 parity
    T_GLOAT_SET record{};
};

// The serial settings byte, field by field. Codes without a meaning decode to 0.
int BaudRate(uint8_t serial);    // 9600, 19200, 38400, 115200 or 0
int DataBits(uint8_t serial);    // 6, 7, 8 or 0
int StopBits(uint8_t serial);    // 1 or 2
int ParityCode(uint8_t serial);  // 0 none, 1 odd, 2 even, 3 (unknown)

// Lines of `settings show`: the dialog's label and the value, both UTF-8, in dialog order.
std::vector<std::pair<std::string, std::string>> SettingsLines(const StartupSettings& s);
// The same for --json, under the field names that `settings set` takes.
Json::Value SettingsJson(const StartupSettings& s);

// Applies one "FIELD=VALUE" (field names of `settings set --help`). Returns false with a
// message for an unknown field or a value out of range; s is then unchanged.
bool ApplySetting(StartupSettings& s, const std::string& assignment, std::string* error);

}  // namespace kvsh
