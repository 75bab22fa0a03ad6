// Safe file writing and bounded reading for the tools and the program (plain C++, no Qt).
//
// WriteFileAtomically replaces a file so that a failure never destroys what was there: the
// bytes go to a temporary file beside the target, are flushed to disk, and the temporary file
// is then renamed over the target. A symbolic link is followed and its target replaced (the
// link stays); a path that names anything but a regular file (a directory, a device such as
// /dev/full, a FIFO, a socket) is refused and left alone. Every write, the flush, the close
// and the rename are checked, so a full disk is a failure, never a success.
//
// Thread-safe (no shared state); not safe against another process writing the same target at
// the same moment (the later rename wins, whole).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvs {

// Writes size bytes to path as described above. On failure returns false, leaves any existing
// file untouched, removes the temporary file and sets *error (when given) to a message that
// names the path and the cause, for example "cannot write /dev/full: not a regular file".
// A new file gets the usual permissions (0666 less the umask); a replaced one keeps its own.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error = nullptr);

// The path a write to path replaces: symbolic links followed (at most 40), the last one may
// dangle. Relative links are taken relative to the link's folder. Returns false (and *error)
// for a loop or an unreadable link.
bool ResolveWriteTarget(const std::string& path, std::string* target, std::string* error = nullptr);

// Reads a whole regular file of at most max_bytes into *out. Refuses (false with *error)
// anything that is not a regular file (a directory, /dev/zero, a FIFO) and a file larger than
// max_bytes, without reading it all.
bool ReadRegularFile(const std::string& path, size_t max_bytes, std::string* out,
                     std::string* error = nullptr);

}  // namespace kvs
