/*
 * kvsh_user.h - the C API of KVSH_User, the link library of the Korvessa controller.
 *
 * The library speaks the controller's framed request/reply protocol over UDP, a serial port
 * or USB. It offers two families of the same operations:
 *   - KVS_*  work on one global connection of the process (what the Korvessa program uses);
 *   - mKVS_* take an explicit connection handle first, for hosts that drive several controllers.
 *
 * Texts: every text passed in or returned is a NUL-terminated 8-bit string in the GBK code
 * page. Texts passed in are only read, except the serial initialisation text, which
 * KVS_Initial_UART / mKVS_Initial_UART split in place (their separators become NULs).
 *
 * Replies: every pointer a request operation returns points into one of the connection's 16
 * reply slots. The library owns it; the caller never frees it. It stays valid until 16 further
 * requests have been started on the same connection, or until that connection is closed.
 * Callers copy what they keep.
 *
 * Results: functions return a one-byte bool (true = done) or a pointer (NULL = failed).
 * Failures are explained by log lines (KVS_Printf, level 1) sent to the information window.
 * Nothing is thrown across this interface.
 *
 * Threads: requests may be made from several threads at once on the same connection (up to 16
 * in flight; a request whose turn comes to a reply slot still in use waits for it). Replies are
 * matched to requests by command code only: when two threads wait for the same command at
 * once, the first reply goes to the request that took the lower-numbered slot. With more than
 * 16 requests in flight a reply pointer may be reused before its caller has read it. The
 * receive callback and the library's own log lines run on the connection's
 * receive thread. KVS_Initial_* / KVS_Clear (and mKVS_Clear on a handle) must not run while
 * another thread is inside a request on the connection they replace or destroy.
 */
#ifndef KVSH_USER_H
#define KVSH_USER_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#define KVS_API __declspec(dllexport)
#elif defined(__GNUC__)
#define KVS_API __attribute__((visibility("default")))
#else
#define KVS_API
#endif

#if defined(__GNUC__)
#define KVS_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#else
#define KVS_PRINTF_LIKE(f, a)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------------------
 * Records that cross the interface
 * ------------------------------------------------------------------------------------------- */

#pragma pack(push, 1)

/* The 12-byte head of every protocol message (integers little-endian). */
typedef struct T_MSG_HEAD {
    int32_t length;      /* whole message size in bytes, head included (>= 12) */
    uint8_t reserved[2]; /* sent as zero, never read */
    uint8_t cmd;         /* command code in bits 0-6; bit 7 set marks a reply */
    uint8_t count;       /* request: marker per command; reply: number of records */
    union {
        int32_t value;    /* a request's i32 parameter */
        uint8_t bytes[4]; /* reply: bytes[0] is the status, bytes[1..3] results of command 13 */
    } param;
} T_MSG_HEAD;

/* The controller's 40-byte startup parameters (integers little-endian). */
typedef struct T_GLOAT_SET {
    uint8_t deviceIp[4];       /* "设备IP：", first number first */
    uint32_t clientPort;       /* "客户端端口号：" */
    uint32_t serverPort;       /* "服务端端口号：" */
    uint32_t modbusPort;       /* "ModBus端口号：" */
    uint8_t remoteServerIp[4]; /* "远端服务器IP:" */
    uint32_t serverListenPort; /* "服务器监听端口号：" */
    uint8_t subnetMask[4];     /* "子网掩码：" */
    uint8_t gateway[4];        /* "默认网关：" */
    char key[8];               /* "秘钥：", 8 characters without terminator */
} T_GLOAT_SET;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(T_MSG_HEAD) == 12, "T_MSG_HEAD is 12 bytes");
static_assert(offsetof(T_MSG_HEAD, cmd) == 6 && offsetof(T_MSG_HEAD, count) == 7 &&
                  offsetof(T_MSG_HEAD, param) == 8,
              "T_MSG_HEAD layout");
static_assert(sizeof(T_GLOAT_SET) == 40, "T_GLOAT_SET is 40 bytes");
static_assert(offsetof(T_GLOAT_SET, clientPort) == 4 &&
                  offsetof(T_GLOAT_SET, remoteServerIp) == 16 &&
                  offsetof(T_GLOAT_SET, serverListenPort) == 20 &&
                  offsetof(T_GLOAT_SET, subnetMask) == 24 && offsetof(T_GLOAT_SET, gateway) == 28 &&
                  offsetof(T_GLOAT_SET, key) == 32,
              "T_GLOAT_SET layout");
#else
_Static_assert(sizeof(T_MSG_HEAD) == 12, "T_MSG_HEAD is 12 bytes");
_Static_assert(offsetof(T_MSG_HEAD, cmd) == 6 && offsetof(T_MSG_HEAD, param) == 8,
               "T_MSG_HEAD layout");
_Static_assert(sizeof(T_GLOAT_SET) == 40, "T_GLOAT_SET is 40 bytes");
_Static_assert(offsetof(T_GLOAT_SET, serverListenPort) == 20 && offsetof(T_GLOAT_SET, key) == 32,
               "T_GLOAT_SET layout");
#endif

/* Status byte of a reply: 0 = done (1 = accepted for the key command). */
#define KVS_STATUS(head) ((head)->param.bytes[0])

/* Opaque connection handle of the mKVS_* family. */
typedef struct KVS_CONNECTION* KVS_HANDLE;

/*
 * Receive callback: called on the connection's receive thread for every unsolicited message
 * (bit 7 of cmd clear) with the whole message, its length and the user pointer given at
 * registration. The message is valid only during the call. Keep the callback short.
 */
typedef void (*KVS_RECV_CALLBACK)(const unsigned char* msg, int length, void* user);

/* ---------------------------------------------------------------------------------------------
 * Log and information window
 * ------------------------------------------------------------------------------------------- */

/* Message posted to the information window for each log line: the platform's first user
 * message plus 100. wParam = level, lParam = address of a KVS_LOG_ENTRY in the log ring. */
#define KVS_WM_INFO_MESSAGE 0x0464

/* Log levels used by the library: 1 errors and notices, 2 normal, 3 debug. */
#define KVS_LEVEL_ERROR 1
#define KVS_LEVEL_NORMAL 2
#define KVS_LEVEL_DEBUG 3

/* One of the 32 ring entries: "HH:MM:SS" then the message (both GBK, NUL-terminated). The
 * entry is overwritten 32 messages later, so the receiver copies it when it handles the post. */
typedef struct KVS_LOG_ENTRY {
    char time[16];
    char text[256];
} KVS_LOG_ENTRY;

/* An information window is whatever the host says it is: an opaque handle. */
typedef void* KVS_HWND;

/*
 * Host-supplied post function, called from any thread (including receive threads) for each
 * log line while a window is registered. It must not block; typically it queues an event for
 * the window's thread. Without a post function, registered windows receive nothing.
 */
typedef void (*KVS_POST_FUNC)(KVS_HWND wnd, unsigned int msg, uintptr_t wParam, intptr_t lParam);

/* Sets the post function used for the information window (NULL: none). Thread-safe. */
KVS_API void KVS_RegistInfoPostFunc(KVS_POST_FUNC post);

/* Makes wnd the receiver of log messages. Stays registered across connections. Thread-safe. */
KVS_API void KVS_RegistInfoWnd(KVS_HWND wnd);

/* No window receives log messages any more. Thread-safe. */
KVS_API void KVS_UnregistInfoWnd(void);

/*
 * Logs one message at the given level: formats it (GBK; cut at 255 characters) into the next
 * ring entry with the time of day and posts KVS_WM_INFO_MESSAGE to the registered window.
 * Does nothing when fmt is NULL. Callable from any thread.
 */
KVS_API void KVS_Printf(unsigned int level, const char* fmt, ...) KVS_PRINTF_LIKE(2, 3);

/* KVS_Printf with a va_list. */
KVS_API void KVS_VPrintf(unsigned int level, const char* fmt, va_list args);

/* ---------------------------------------------------------------------------------------------
 * Key byte
 * ------------------------------------------------------------------------------------------- */

/*
 * Sets the process-wide key byte that salts the checksum of every serial and UDP frame sent,
 * on every connection of both families: the sum modulo 256 of (character - '0') over the key
 * text (normally 8 digits). NULL or "" gives 0. Call it before opening a connection.
 */
KVS_API void KVSGetKey(const char* key);
/* The same as KVSGetKey: the key byte is process-wide. */
KVS_API void mKVSGetKey(const char* key);

/* ---------------------------------------------------------------------------------------------
 * Connections, global family
 * ------------------------------------------------------------------------------------------- */

/*
 * Opens a serial connection and makes it the global one. init is "PORT" or
 * "PORT:baud-data-stop-parity" (parity "奇校验" odd, "偶校验" even, anything else none; stop
 * "2" two stop bits). PORT is a device path ("/dev/ttyUSB0") or "COMn". The text is split in
 * place. Any earlier global connection is closed first. Returns true when the port is open;
 * on failure no global connection is left.
 */
KVS_API bool KVS_Initial_UART(char* init);

/* Opens the USB controller at the given index (see KVS_GetUSBDevIndexs) as the global
 * connection; otherwise as KVS_Initial_UART. */
KVS_API bool KVS_Initial_USB(int index);

/* Opens a UDP connection from local port 30000 to the controller a.b.c.d, port 30001, as the
 * global connection; otherwise as KVS_Initial_UART. */
KVS_API bool KVS_Initial_UDP(uint8_t a, uint8_t b, uint8_t c, uint8_t d);

/* Registers the receive callback of the global connection (user pointer NULL), replacing the
 * previous one. Does nothing without a global connection; a new connection starts without. */
KVS_API void KVS_RegistRecvCallBack(KVS_RECV_CALLBACK callback);

/* Closes the global connection, if any, stopping its receive thread. */
KVS_API void KVS_Clear(void);

/*
 * Lists the USB controllers (vendor 0x04B4, product 0x1008): stores into indexes[] the device
 * indexes to pass to KVS_Initial_USB, in ascending order, at most max of them. Returns how
 * many were stored (0 when max < 1 or none is attached).
 */
KVS_API int KVS_GetUSBDevIndexs(int* indexes, int max);

/* ---------------------------------------------------------------------------------------------
 * Requests, global family. Without a global connection each returns false/NULL at once.
 * Every returned pointer is owned by the library (see "Replies" above).
 * ------------------------------------------------------------------------------------------- */

/* Command 30: presents the access key (sent without its NUL). True if the controller accepted
 * it (status 1). */
KVS_API bool KVS_Key(const char* key);

/* Command 1: the component tree. Returns the reply whatever its status; records from offset 12
 * (walk them with kvsh_records.h, which stops at the last whole record). NULL when no reply
 * came or its head is malformed; a record list that stops short of its count is logged. */
KVS_API const T_MSG_HEAD* KVS_GetComponentTree(void);

/* Command 2: the attribute records of a component; as KVS_GetComponentTree. */
KVS_API const T_MSG_HEAD* KVS_GetComponentAttrInfo(const char* component);

/* Command 3: one attribute's record; as KVS_GetComponentTree, except that a reply with status
 * 0 must hold one whole record with its name (callers read its type at reply offset 17, its
 * role at 19 and its name at 20); otherwise NULL with a log line. */
KVS_API const T_MSG_HEAD* KVS_GetAttrInfo(const char* component, const char* attribute);

/* Command 12: the slot records of a component; as KVS_GetComponentTree. */
KVS_API const T_MSG_HEAD* KVS_GetComponentSlotInfo(const char* component);

/* Command 4: an attribute's value text, or NULL (no reply, failing status, malformed reply). */
KVS_API const char* KVS_GetAttrVal(const char* component, const char* attribute);

/* Command 5: an attribute's real-value text; as KVS_GetAttrVal. */
KVS_API const char* KVS_GetAttrRealVal(const char* component, const char* attribute);

/* Command 6: the full name of the send slot linked to a receive slot ("" when unlinked);
 * as KVS_GetAttrVal. */
KVS_API const char* KVS_GetAttributeLink(const char* component, const char* attribute);

/* Command 10: creates an instance of a type. second may be NULL (sent as ""). Returns the new
 * component's full name, or NULL. */
KVS_API const char* KVS_AddNewComponent(const char* type, const char* second);

/* Command 18: the values of count attributes named in names ("comp.attr;comp.attr;"), as a
 * value list ("v1;v2;"), or NULL. */
KVS_API const char* KVS_GetBatchAttrVal(const char* names, int count);

/* Command 16: an attribute's raw bytes. On success sets *length to their number and returns
 * them; otherwise returns NULL and leaves *length untouched. */
KVS_API const unsigned char* KVS_GetAttrMemData(const char* component, const char* attribute,
                                                int* length);

/* Command 14: the whole configuration text (waits up to 100 s), or NULL. */
KVS_API const char* KVS_UploadConfig(void);

/* Command 7: writes an attribute. With wait: true if the controller answered with status 0;
 * without wait: true once sent. */
KVS_API bool KVS_SetAttributeVal(const char* component, const char* attribute, const char* value,
                                 bool wait);

/* Command 19: writes count attributes (names as for KVS_GetBatchAttrVal, values "v1;v2;");
 * as KVS_SetAttributeVal. */
KVS_API bool KVS_SetBatchAttrVal(const char* names, const char* values, int count, bool wait);

/* Command 8: links a receive slot to the send slot named by source ("comp:slot"); an empty
 * source removes the link. True on status 0. */
KVS_API bool KVS_SetAttributeLink(const char* component, const char* attribute, const char* source);

/* Command 8 with the low bytes of first and second in request bytes 8 and 9. True on status 0. */
KVS_API bool KVS_ModifyStrList(const char* component, const char* attribute, int first,
                               const char* text, int second);

/* Command 17: writes an attribute's raw bytes. Refused (false, nothing sent) when the message
 * would not fit the frame. True on status 0. */
KVS_API bool KVS_SetAttrMemData(const char* component, const char* attribute,
                                const unsigned char* data, int count);

/* Command 11: deletes a component. True on status 0. */
KVS_API bool KVS_DelComponent(const char* component);

/* Command 15: replaces the running configuration with text (at most 65522 bytes; longer is
 * refused without sending). Waits length x 10 ms. True on status 0. */
KVS_API bool KVS_DownloadConfig(const char* text);

/*
 * Command 13, the configuration operations: 1 save the running configuration into the flash
 * slot *slot (0-5); 3 clear the running configuration; 4 read the startup parameters; 5 write
 * them. Each non-NULL byte pointer fills request bytes 9 (slot), 10 (device) and 11 (serial
 * settings) and receives the reply's bytes; a non-NULL record is sent (message of 52 bytes) and
 * receives the reply's record. The copies happen whatever the status. True on status 0.
 */
KVS_API bool KVS_ConfigFile_Operate(uint8_t operation, uint8_t* slot, uint8_t* device,
                                    uint8_t* serial, T_GLOAT_SET* record);

/* Commands 51-54: mode 0 enter the boot loader (51), 1 leave it (52), 2 factory mode (53),
 * 3 normal mode (54); other modes send 51. Waits 500 ms; true if any reply came. */
KVS_API bool KVS_InBoot(int mode);

/* ---------------------------------------------------------------------------------------------
 * Handle family: the same operations on an explicit connection. mKVS_Initial_* return a new
 * handle (NULL on failure) and never touch the global connection; the handle is owned by the
 * caller and released with mKVS_Clear. A NULL handle makes every operation fail at once.
 * ------------------------------------------------------------------------------------------- */

KVS_API KVS_HANDLE mKVS_Initial_UART(char* init);
KVS_API KVS_HANDLE mKVS_Initial_USB(int index);
KVS_API KVS_HANDLE mKVS_Initial_UDP(uint8_t a, uint8_t b, uint8_t c, uint8_t d);
/* Stores callback and user pointer, replacing the previous pair. */
KVS_API void mKVS_RegistRecvCallBack(KVS_HANDLE h, KVS_RECV_CALLBACK callback, void* user);
/* Closes the connection and frees the handle; NULL is ignored. */
KVS_API void mKVS_Clear(KVS_HANDLE h);

KVS_API bool mKVS_Key(KVS_HANDLE h, const char* key);
KVS_API const T_MSG_HEAD* mKVS_GetComponentTree(KVS_HANDLE h);
KVS_API const T_MSG_HEAD* mKVS_GetComponentAttrInfo(KVS_HANDLE h, const char* component);
KVS_API const T_MSG_HEAD* mKVS_GetAttrInfo(KVS_HANDLE h, const char* component,
                                           const char* attribute);
KVS_API const T_MSG_HEAD* mKVS_GetComponentSlotInfo(KVS_HANDLE h, const char* component);
KVS_API const char* mKVS_GetAttrVal(KVS_HANDLE h, const char* component, const char* attribute);
KVS_API const char* mKVS_GetAttrRealVal(KVS_HANDLE h, const char* component, const char* attribute);
KVS_API const char* mKVS_GetAttributeLink(KVS_HANDLE h, const char* component,
                                          const char* attribute);
KVS_API const char* mKVS_AddNewComponent(KVS_HANDLE h, const char* type, const char* second);
KVS_API const char* mKVS_GetBatchAttrVal(KVS_HANDLE h, const char* names, int count);
KVS_API const unsigned char* mKVS_GetAttrMemData(KVS_HANDLE h, const char* component,
                                                 const char* attribute, int* length);
KVS_API const char* mKVS_UploadConfig(KVS_HANDLE h);
KVS_API bool mKVS_SetAttributeVal(KVS_HANDLE h, const char* component, const char* attribute,
                                  const char* value, bool wait);
KVS_API bool mKVS_SetBatchAttrVal(KVS_HANDLE h, const char* names, const char* values, int count,
                                  bool wait);
KVS_API bool mKVS_SetAttributeLink(KVS_HANDLE h, const char* component, const char* attribute,
                                   const char* source);
KVS_API bool mKVS_ModifyStrList(KVS_HANDLE h, const char* component, const char* attribute,
                                int first, const char* text, int second);
KVS_API bool mKVS_SetAttrMemData(KVS_HANDLE h, const char* component, const char* attribute,
                                 const unsigned char* data, int count);
KVS_API bool mKVS_DelComponent(KVS_HANDLE h, const char* component);
KVS_API bool mKVS_DownloadConfig(KVS_HANDLE h, const char* text);
KVS_API bool mKVS_ConfigFile_Operate(KVS_HANDLE h, uint8_t operation, uint8_t* slot,
                                     uint8_t* device, uint8_t* serial, T_GLOAT_SET* record);
KVS_API bool mKVS_InBoot(KVS_HANDLE h, int mode);

/* ---------------------------------------------------------------------------------------------
 * Request outcomes and waits (both families)
 *
 * The functions above answer true/false or a pointer/NULL; these tell a caller why a request
 * failed, so that a multi-request operation can stop at the first request that got no answer
 * instead of waiting out every remaining one.
 * ------------------------------------------------------------------------------------------- */

/* How the last request ended. */
typedef enum KVS_RESULT {
    KVS_RESULT_DONE = 0,      /* the device answered and the reply was used (status 0, or the
                                 status the operation accepts, such as 1 for the key) */
    KVS_RESULT_REFUSED = 1,   /* the device answered with a failing status (see *status) */
    KVS_RESULT_NO_ANSWER = 2, /* nothing answered within the request wait */
    KVS_RESULT_MALFORMED = 3, /* a reply came but was too short, unterminated or inconsistent */
    KVS_RESULT_NOT_SENT = 4   /* nothing was sent: no connection, input too long, send failed */
} KVS_RESULT;

/*
 * The outcome of the last request operation that the calling thread made on the global
 * connection (KVS_RESULT_NOT_SENT when it made none since the connection was opened). When
 * status is not NULL it receives the reply's status byte for DONE and REFUSED, otherwise 0.
 * Only request operations change it (not the log, the name helpers or KVS_GetUSBDevIndexs).
 * Thread-safe: each thread sees its own last outcome.
 */
KVS_API int KVS_GetLastResult(int* status);
/* The same for a handle; a NULL handle gives KVS_RESULT_NOT_SENT. */
KVS_API int mKVS_GetLastResult(KVS_HANDLE h, int* status);

/*
 * The wait of an ordinary request on the global connection, in milliseconds (default 10000;
 * values below 1 restore the default). It applies to the connection open now; a connection
 * opened later starts with the default. The specified waits of the boot commands (500 ms),
 * uploads (100 s) and downloads (10 ms per byte) are not changed by it.
 */
KVS_API void KVS_SetRequestWait(int ms);
/* The global connection's current wait in ms; 10000 without a global connection. */
KVS_API int KVS_GetRequestWait(void);
KVS_API void mKVS_SetRequestWait(KVS_HANDLE h, int ms);
KVS_API int mKVS_GetRequestWait(KVS_HANDLE h);

/* ---------------------------------------------------------------------------------------------
 * Name helpers (pure functions, thread-safe)
 * ------------------------------------------------------------------------------------------- */

/* Copies src into dst without its ' ' characters and terminates it. Returns the number of
 * characters copied, or -1 as soon as that number reaches size (dst is then not terminated). */
KVS_API int KVS_DelStringSpace(char* dst, int size, const char* src);

/* The decimal instance number after the last '-' of a component's full name ("信号发生器-2"
 * gives 2), or -1 when there is no '-'. */
KVS_API int KVS_GetComponentIDFromName(const char* name);

/* Copies name into dst (256 bytes) and cuts it at the last '-', leaving the type name. False
 * when there is no '-' (dst then holds the whole name) or the name does not fit (dst "" ). */
KVS_API bool KVS_GetComponentStrFromName(const char* name, char* dst);

/* Splits "comp:attr" at the last ':' (or, without ':', at the last '.') into component and
 * attribute, each a buffer of at least 128 bytes. False when there is neither separator or
 * the name is longer than 127 characters (both outputs are then ""). */
KVS_API bool KVS_SeparateFullName(const char* full, char* component, char* attribute);

#ifdef __cplusplus
} /* extern "C" */

/* KVS_Printf without a level logs at level 2. */
inline void KVS_Printf(const char* fmt, ...) KVS_PRINTF_LIKE(1, 2);
inline void KVS_Printf(const char* fmt, ...) {
    if (!fmt) return;
    va_list args;
    va_start(args, fmt);
    KVS_VPrintf(KVS_LEVEL_NORMAL, fmt, args);
    va_end(args);
}
#endif

#endif /* KVSH_USER_H */
