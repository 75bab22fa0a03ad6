/*
 * kvsh_unsolicited.h - bounds-checked decoding of the messages the controller sends without
 * being asked, as the receive callback of kvsh_user.h gets them (msg, length).
 *
 * Command 20, a monitor event: from offset 12 the attribute's full name, then its value text.
 * Command 100, firmware information: param.value (offset 8) counts entries; from offset 12 each
 * entry is a signed level byte followed by a text.
 *
 * The controller is untrusted. Texts are given as pointer and length inside the message (its
 * head's length, or the bytes delivered when fewer), never read past it: a text without its NUL
 * ends with the message, and a monitor event that ends after its name has no value (has_value 0,
 * value "" of length 0). Both the program and kvsh show such an event with an empty value.
 *
 * Header-only, no allocation; safe on any thread.
 */
#ifndef KVSH_UNSOLICITED_H
#define KVSH_UNSOLICITED_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "kvsh_vocab.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One text inside a message: not NUL-terminated when it was cut by the message's end. */
typedef struct KVS_TEXT_SPAN {
    const char* text;
    size_t length;
} KVS_TEXT_SPAN;

typedef struct KVS_MONITOR_EVENT {
    KVS_TEXT_SPAN name;  /* the attribute's full name ("component.attribute"); may be empty */
    KVS_TEXT_SPAN value; /* the value text; empty when has_value is 0 */
    int has_value;       /* 0 when the message ended before the value */
} KVS_MONITOR_EVENT;

typedef struct KVS_INFO_LINE {
    int level;          /* the entry's signed level byte */
    KVS_TEXT_SPAN text; /* empty when the message ended after the level byte */
} KVS_INFO_LINE;

typedef struct KVS_INFO_ITER {
    const unsigned char* cur;
    const unsigned char* end;
    uint32_t remaining; /* entries the count still promises */
    int bad;            /* set when the message ended before count entries */
} KVS_INFO_ITER;

/* The command code of an unsolicited message (KVS_UNSOLICITED_*), or -1 when it is shorter
 * than a message head. */
static inline int KVS_UnsolicitedCode(const unsigned char* msg, int length) {
    if (!msg || length < 12) return -1;
    return msg[6] & 0x7F;
}

/* The end of the message: its head's length when that lies between 12 and length (a link may
 * deliver padding after it), else length. */
static inline const unsigned char* KVS_UnsolicitedEnd(const unsigned char* msg, int length) {
    const int32_t declared = (int32_t)((uint32_t)msg[0] | ((uint32_t)msg[1] << 8) |
                                       ((uint32_t)msg[2] << 16) | ((uint32_t)msg[3] << 24));
    return msg + (declared >= 12 && declared <= length ? declared : length);
}

/* Takes the text at *p (bounded by end) and moves *p past its NUL, or to end. */
static inline KVS_TEXT_SPAN KVS_TakeText(const unsigned char** p, const unsigned char* end) {
    KVS_TEXT_SPAN span;
    const unsigned char* at = *p;
    const size_t left = at < end ? (size_t)(end - at) : 0;
    const unsigned char* nul = left ? (const unsigned char*)memchr(at, 0, left) : NULL;
    span.text = (const char*)at;
    span.length = nul ? (size_t)(nul - at) : left;
    *p = nul ? nul + 1 : at + left;
    return span;
}

/* Decodes a monitor event. Returns 0 (and leaves *event empty) when msg is not a whole head of
 * command 20. */
static inline int KVS_DecodeMonitorEvent(const unsigned char* msg, int length,
                                         KVS_MONITOR_EVENT* event) {
    event->name.text = event->value.text = "";
    event->name.length = event->value.length = 0;
    event->has_value = 0;
    if (KVS_UnsolicitedCode(msg, length) != KVS_UNSOLICITED_MONITOR_EVENT) return 0;
    const unsigned char* p = msg + 12;
    const unsigned char* end = KVS_UnsolicitedEnd(msg, length);
    if (p < end) event->name = KVS_TakeText(&p, end);
    if (p < end) {
        event->value = KVS_TakeText(&p, end);
        event->has_value = 1;
    }
    return 1;
}

/* Starts a walk over the entries of firmware information. Returns 0 (and an empty walk) when
 * msg is not a whole head of command 100. */
static inline int KVS_InfoLinesBegin(KVS_INFO_ITER* it, const unsigned char* msg, int length) {
    it->cur = it->end = NULL;
    it->remaining = 0;
    it->bad = 0;
    if (KVS_UnsolicitedCode(msg, length) != KVS_UNSOLICITED_INFO_LINES) return 0;
    it->cur = msg + 12;
    it->end = KVS_UnsolicitedEnd(msg, length);
    it->remaining = (uint32_t)msg[8] | ((uint32_t)msg[9] << 8) | ((uint32_t)msg[10] << 16) |
                    ((uint32_t)msg[11] << 24);
    return 1;
}

/* The next entry; 0 when count entries were given or the message has ended (bad is set when
 * it ended first). A cut text ends with the message. */
static inline int KVS_InfoLinesNext(KVS_INFO_ITER* it, KVS_INFO_LINE* line) {
    if (it->remaining == 0 || !it->cur) return 0;
    if (it->cur >= it->end) {
        it->bad = 1;
        it->remaining = 0;
        return 0;
    }
    line->level = (int)(signed char)*it->cur++;
    line->text = KVS_TakeText(&it->cur, it->end);
    it->remaining--;
    return 1;
}

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KVSH_UNSOLICITED_H */
