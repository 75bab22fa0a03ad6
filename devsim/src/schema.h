// Names, limits and attribute constructors shared by the parts of the model.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "kvsh_vocab.h"
#include "model.h"

namespace devsim {

inline constexpr const char* kManager = KVS_COMPONENT_MANAGER;
inline constexpr const char* kLinkType = KVS_LINK_TYPE;
inline constexpr const char* kDefaultKey = "62719405";
inline constexpr const char* kDefaultFlashGeometry = "P=100,C=20000,B=1000,N=20,";
inline constexpr int kMaxExprInputs = 16;
// Values stay small enough that any component's records fit one reply.
inline constexpr size_t kMaxValue = 16000;
inline constexpr size_t kMaxDepth = 8192;  // samples
inline constexpr size_t kChannels = 4;     // sampled attributes

Attr MakeAttr(const char* name, uint8_t type, uint8_t flags, uint8_t role, const std::string& value,
              bool persist = true, std::vector<std::string> options = {});
Attr Plain(const char* name, uint8_t type, const std::string& value, uint8_t flags = 0);
// Read-only, not part of the configuration text.
Attr RO(const char* name, uint8_t type, const std::string& value);
// A command: writing "true" carries it out.
Attr Cmd(const char* name);
// Slots; boolean ones carry the slot flag.
Attr Recv(const std::string& name, uint8_t type);
Attr Send(const std::string& name, uint8_t type);

}  // namespace devsim
