// The controller side of the link library benchmark: answers library frames on UDP port 30001,
// the same frames sent raw on port 30011, and Modbus-TCP register reads on port 1502. Each
// service has its own thread blocked in its socket, so whichever is measured answers at once.
#include <arpa/inet.h>
#include <modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "frame.h"

namespace {

int BindUdp(uint16_t port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("bind");
        std::exit(1);
    }
    return fd;
}

// Replies as a controller sends them: status 0 (1 for the key), then one attribute record
// whose name, at offset 20, is the value text "运行" (GBK).
struct Replies {
    uint8_t frames[128][64];
    size_t size[128];
    Replies() {
        for (int cmd = 0; cmd < 128; ++cmd) {
            uint8_t m[32] = {};
            const uint8_t text[] = {0xD4, 0xCB, 0xD0, 0xD0, 0};
            const size_t n = 20 + sizeof text;
            m[0] = static_cast<uint8_t>(n);
            m[6] = static_cast<uint8_t>(cmd | 0x80);
            m[8] = cmd == 30 ? 1 : 0;
            m[12] = static_cast<uint8_t>(8 + sizeof text);  // record size
            m[14] = 1;                                      // one text
            m[15] = 3;                                      // attribute
            std::memcpy(m + 20, text, sizeof text);
            size[cmd] = kvs::EncodeFrame(m, n, 0, frames[cmd]);
        }
    }
};

void ServeUdp(int fd, const Replies* replies) {
    uint8_t buf[65536];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t got = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (got < 13) continue;
        const int cmd = buf[6 + 6] & 0x7F;
        sendto(fd, replies->frames[cmd], replies->size[cmd], 0, reinterpret_cast<sockaddr*>(&from),
               len);
    }
}

void ServeModbus() {
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", 1502);
    modbus_mapping_t* map = modbus_mapping_new(0, 0, 16, 0);
    map->tab_registers[0] = 1;
    int listener = modbus_tcp_listen(ctx, 1);
    if (listener < 0) {
        std::perror("modbus listen");
        std::exit(1);
    }
    for (;;) {
        if (modbus_tcp_accept(ctx, &listener) < 0) continue;
        uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
        for (;;) {
            int n = modbus_receive(ctx, query);
            if (n > 0)
                modbus_reply(ctx, query, n, map);
            else if (n < 0)
                break;
        }
        close(modbus_get_socket(ctx));
    }
}

}  // namespace

int main() {
    static Replies replies;
    int lib = BindUdp(30001), raw = BindUdp(30011);
    std::thread(ServeUdp, lib, &replies).detach();
    std::thread(ServeUdp, raw, &replies).detach();
    std::thread(ServeModbus).detach();
    std::puts("ready");
    std::fflush(stdout);
    pause();
}
