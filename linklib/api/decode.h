// Decoding the replies of the exported operations. The controller is untrusted: every decoder
// reads only inside the reply, and a reply that is too short, whose head claims more bytes than
// it holds, or whose texts lack their NUL makes the operation fail with a level-1 log line.
//
// Each decoder takes the reply bytes and how many of them are really there (avail); the head's
// length is believed only when it lies between 12 and avail. Pure functions apart from the log;
// safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kvsh_user.h"

namespace kvs {

// Offset of the text in the replies of commands 4, 5, 6 and 10.
constexpr size_t kReplyTextOffset = 20;
// Offset of the text in the replies of commands 14 and 18, and of the record of command 13.
constexpr size_t kReplyBodyOffset = 12;
// Waits of the commands that do not use the engine's 10 s.
constexpr unsigned kUploadWaitMs = 100000;
constexpr unsigned kBootWaitMs = 500;

// The reply as T_MSG_HEAD when its length is sound (12 <= length <= avail); otherwise logs and
// returns nullptr.
const T_MSG_HEAD* CheckReply(const uint8_t* data, size_t avail);

// Commands 4, 5, 6, 10 (offset 20) and 14, 18 (offset 12): the text of a reply with status 0;
// nullptr for a failing status (no log) or a malformed reply (logged).
const char* DecodeReplyText(const uint8_t* data, size_t avail, size_t offset);

// Commands 1, 2 and 12: the reply whatever its status; a record list that stops short of its
// count or runs past the reply is logged (the walkers of kvsh_records.h stop at the last whole
// record). nullptr only when the head itself is unsound.
const T_MSG_HEAD* DecodeRecordReply(const uint8_t* data, size_t avail);

// Command 3: as DecodeRecordReply, but a reply with status 0 must hold one whole attribute
// record whose name is terminated inside it, since callers read its fields at fixed offsets.
const T_MSG_HEAD* DecodeAttrInfoReply(const uint8_t* data, size_t avail);

// Command 16: the raw bytes after the head of a reply with status 0, their number in *length;
// nullptr (and *length untouched) otherwise.
const uint8_t* DecodeMemReply(const uint8_t* data, size_t avail, int* length);

// Command 13: copies bytes 9-11 into each given pointer and, when record is given and the reply
// holds one, the 40-byte record at offset 12, whatever the status. True on status 0 with
// everything asked for present.
bool DecodeConfigReply(const uint8_t* data, size_t avail, uint8_t* slot, uint8_t* device,
                       uint8_t* serial, T_GLOAT_SET* record);

// The status byte of a sound reply equals want.
bool DecodeStatus(const uint8_t* data, size_t avail, uint8_t want);

}  // namespace kvs
