// Shared by the files of the exported functions.
#pragma once

#include "basecomm.h"
#include "kvsh_user.h"

namespace kvs {

inline CKVSH_BaseComm* FromHandle(KVS_HANDLE h) { return reinterpret_cast<CKVSH_BaseComm*>(h); }
inline KVS_HANDLE ToHandle(CKVSH_BaseComm* c) { return reinterpret_cast<KVS_HANDLE>(c); }

// The global connection as a handle (nullptr when there is none).
KVS_HANDLE GlobalHandle();

}  // namespace kvs
