/* A host program in C, built against the installed kvsh_user.h and linked through pkg-config
 * (or find_package): presents the key and reads the controller's running state over UDP. */
#include <kvsh_records.h>
#include <kvsh_user.h>
#include <stdio.h>
#include <string.h>

static void post(KVS_HWND wnd, unsigned int msg, uintptr_t level, intptr_t entry) {
    (void)wnd;
    (void)msg;
    fprintf(stderr, "log %u: %s\n", (unsigned)level, ((const KVS_LOG_ENTRY*)entry)->text);
}

int main(void) {
    static int wnd;
    KVS_RegistInfoPostFunc(post);
    KVS_RegistInfoWnd(&wnd);
    KVSGetKey("12345678");
    if (!KVS_Initial_UDP(127, 0, 0, 1)) return 2;
    if (!KVS_Key("12345678")) return 3;
    /* "组件管理器" / "运行状态" in GBK */
    const char* state = KVS_GetAttrVal("\xd7\xe9\xbc\xfe\xb9\xdc\xc0\xed\xc6\xf7",
                                       "\xd4\xcb\xd0\xd0\xd7\xb4\xcc\xac");
    int ok = state && strcmp(state, "\xd4\xcb\xd0\xd0") == 0; /* "运行" */
    KVS_Clear();
    if (!ok) return 4;
    char comp[128], attr[128];
    if (!KVS_SeparateFullName("a-1:b", comp, attr) || strcmp(attr, "b") != 0) return 5;
    puts("client: ok");
    return 0;
}
