/*
 * kvsh_records.h - bounds-checked walking of the records inside a reply of KVSH_User.
 *
 * Replies of commands 1, 2, 3 and 12 carry records from offset 12. Each record begins with an
 * 8-byte head (u16 size, u8 texts, u8 kind, then flags/type/-/role or one i32 flag) followed by
 * its texts. The controller is untrusted: these helpers never read outside the reply, stop at
 * the last whole record, and tell the caller when they had to stop early (iterator.bad).
 *
 * Header-only, no allocation, no state beyond the iterator; safe on any thread.
 */
#ifndef KVSH_RECORDS_H
#define KVSH_RECORDS_H

#include <string.h>

#include "kvsh_user.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { KVS_KIND_COMPONENT = 1, KVS_KIND_INSTANCE = 2, KVS_KIND_ATTRIBUTE = 3 };
enum { KVS_ROLE_RECEIVE = 1, KVS_ROLE_SEND = 3 };
enum {
    KVS_FLAG_READONLY = 0x01, /* the attribute cannot be written */
    KVS_FLAG_SHAPE = 0x02,    /* a change rebuilds the component's box */
    KVS_FLAG_SLOT = 0x04      /* per-slot flag kept by the diagram */
};
enum {
    KVS_TYPE_ENUM = 4,    /* texts: name, value, then options */
    KVS_TYPE_BOOL = 5,    /* "true" / "false" */
    KVS_TYPE_COMMAND = 10 /* carried out by writing "true" */
};

/* One record, decoded. Pointers point into the reply. */
typedef struct KVS_RECORD {
    const unsigned char* data; /* the record, head included */
    unsigned size;             /* bytes in the record (>= 8, inside the reply) */
    unsigned texts;            /* number of texts announced at offset 8 */
    unsigned kind;             /* KVS_KIND_* */
    unsigned flags;            /* byte 4 */
    unsigned type;             /* byte 5 */
    unsigned role;             /* byte 7 */
    int32_t flag;              /* bytes 4-7 as one i32 (kinds 1 and 2) */
} KVS_RECORD;

typedef struct KVS_RECORD_ITER {
    const unsigned char* cur;
    const unsigned char* end;
    int remaining; /* records the head's count still promises */
    int bad;       /* set when the walk stopped before count records: malformed reply */
} KVS_RECORD_ITER;

/* Starts a walk over reply's records. reply may be NULL (no records). The reply's own length
 * bounds the walk; a length below 12 gives no records and sets bad. */
static inline void KVS_RecordsBegin(KVS_RECORD_ITER* it, const T_MSG_HEAD* reply) {
    it->cur = it->end = NULL;
    it->remaining = 0;
    it->bad = 0;
    if (!reply) return;
    if (reply->length < 12) {
        it->bad = 1;
        return;
    }
    it->cur = (const unsigned char*)reply + 12;
    it->end = (const unsigned char*)reply + reply->length;
    it->remaining = reply->count;
}

/* Decodes the next record into *rec. Returns 0 at the end of the walk: all count records seen,
 * or the next one is malformed (size below 8 or past the reply; bad is then set). */
static inline int KVS_RecordsNext(KVS_RECORD_ITER* it, KVS_RECORD* rec) {
    if (it->remaining <= 0 || !it->cur) return 0;
    size_t left = (size_t)(it->end - it->cur);
    unsigned size = left >= 2 ? (unsigned)(it->cur[0] | (it->cur[1] << 8)) : 0;
    if (left < 8 || size < 8 || size > left) {
        it->bad = 1;
        it->remaining = 0;
        return 0;
    }
    const unsigned char* p = it->cur;
    rec->data = p;
    rec->size = size;
    rec->texts = p[2];
    rec->kind = p[3];
    rec->flags = p[4];
    rec->type = p[5];
    rec->role = p[7];
    rec->flag = (int32_t)((uint32_t)p[4] | ((uint32_t)p[5] << 8) | ((uint32_t)p[6] << 16) |
                          ((uint32_t)p[7] << 24));
    it->cur += size;
    it->remaining--;
    return 1;
}

/* The i-th text of a record (0 = name, 1 = value, ...), or NULL when the record announces
 * fewer texts or the text is not NUL-terminated inside the record. */
static inline const char* KVS_RecordText(const KVS_RECORD* rec, unsigned index) {
    if (index >= rec->texts) return NULL;
    const unsigned char* p = rec->data + 8;
    const unsigned char* end = rec->data + rec->size;
    for (unsigned i = 0;; ++i) {
        if (p >= end) return NULL;
        const unsigned char* nul = (const unsigned char*)memchr(p, 0, (size_t)(end - p));
        if (!nul) return NULL;
        if (i == index) return (const char*)p;
        p = nul + 1;
    }
}

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KVSH_RECORDS_H */
