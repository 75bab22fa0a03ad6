// Reading a component's slot-info reply (command 12) into the parts of its box.
//
// The reply holds a component record (kind 1) whose flag the box keeps, and attribute records
// (kind 3) of which role 3 marks a send slot and role 1 a receive slot. Each slot takes the
// record's type, bit 2 of its flags and its name; its full name is the component name, ":"
// and the slot name. The slots of each edge are listed in the reverse order of the reply.
//
// The reply comes from the device and is not trusted: the walk never reads outside the given
// bytes (whatever the head's length says), skips records without a readable name, and leaves
// out slots whose full name would not fit a 63-byte name buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvs::geometry {

// Longest name (GBK bytes, terminator excluded) that an item or slot record holds.
inline constexpr size_t kMaxNameBytes = 63;

struct SlotRecord {
    bool flag = false;  // bit 2 of the record's flags
    int dataType = 0;   // the record's value type
    std::string name;   // full name, GBK
};

struct SlotInfo {
    bool componentRecord = false;     // the reply held the component record
    bool componentFlag = false;       // its flag was non-zero
    std::vector<SlotRecord> send;     // box order: the reply's last send slot first
    std::vector<SlotRecord> receive;  // likewise
    int dropped = 0;                  // slots left out: no readable name, or a full name too long
    bool malformed = false;           // the records stopped short of the head's count
};

// Reads reply (the whole message, head included) for the component named component (GBK).
// False when the bytes hold no reply head or the reply's status is not 0; *info is then empty.
bool ReadSlotInfo(const uint8_t* reply, size_t size, std::string_view component, SlotInfo* info);

}  // namespace kvs::geometry
