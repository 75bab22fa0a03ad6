// The simulated flash: its geometry text, the firmware image it starts with, and the read,
// erase and write commands of the component manager.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "kvsh_vocab.h"
#include "model.h"
#include "schema.h"
#include "text.h"

namespace devsim {

bool FlashGeometry::Parse(const std::string& text, FlashGeometry* out) {
    FlashGeometry g;
    unsigned p, c, b, n;
    if (std::sscanf(text.c_str(), "P=%x,C=%x,B=%x,N=%x,", &p, &c, &b, &n) != 4) return false;
    if (p < 1 || c < 1 || b < 1 || n < 1 || p > 0x7fffffff || c > 0x7fffffff || b > 0x7fffffff ||
        n > 0x7fffffff)
        return false;
    if (c % p != 0 || static_cast<uint64_t>(b) * n < c) return false;
    // The simulated flash lives in memory: keep it to a sane size, and a page must fit one
    // memory-data reply.
    if (static_cast<uint64_t>(b) * n > (64u << 20) || p > 65000) return false;
    g.page = static_cast<int>(p);
    g.image = static_cast<int>(c);
    g.block = static_cast<int>(b);
    g.blocks = static_cast<int>(n);
    *out = g;
    return true;
}

void Model::InitFlash(const std::string& geometry_text) {
    if (!FlashGeometry::Parse(geometry_text, &geometry_))
        FlashGeometry::Parse(kDefaultFlashGeometry, &geometry_);
    char buf[96];
    std::snprintf(buf, sizeof buf, "P=%x,C=%x,B=%x,N=%x,", geometry_.page, geometry_.image,
                  geometry_.block, geometry_.blocks);
    geometry_text_ = buf;
    // A recognisable firmware image: a header, pseudo-random code bytes (zeros and 0xFF
    // included), and erased flash after the image's last quarter.
    flash_.assign(static_cast<size_t>(geometry_.block) * geometry_.blocks, 0xFF);
    uint32_t x = 0x12345678;
    size_t used = static_cast<size_t>(geometry_.image) * 3 / 4;
    for (size_t i = 0; i < used; ++i) {
        x = x * 1103515245u + 12345u;
        flash_[i] = static_cast<uint8_t>(x >> 16);
    }
    const char header[] = "KVS-FW 1.0";
    std::memcpy(flash_.data(), header, std::min(sizeof header, flash_.size()));
}

uint8_t Model::RunFlashCommand(Component* m, Attr* a) {
    const Attr* addr_attr = m->Find(KVS_ATTR_FLASH_ADDRESS);
    long long addr = 0;
    ParseInt(addr_attr ? addr_attr->value : "", &addr);
    const long long size = static_cast<long long>(flash_.size());
    Attr* data = m->Find(KVS_ATTR_FLASH_DATA);
    if (a->name == KVS_ATTR_FLASH_READ) {
        if (addr < 0 || addr + geometry_.page > size) return kRefused;
        data->mem.assign(flash_.begin() + addr, flash_.begin() + addr + geometry_.page);
        data->value = std::to_string(data->mem.size());
        return kOk;
    }
    if (a->name == KVS_ATTR_FLASH_ERASE) {
        if (addr < 0 || addr >= size) return kRefused;
        size_t start = static_cast<size_t>(addr / geometry_.block) * geometry_.block;
        std::fill(flash_.begin() + start, flash_.begin() + start + geometry_.block, 0xFF);
        return kOk;
    }
    if (a->name == KVS_ATTR_FLASH_WRITE) {
        // NOR flash: programming can only clear bits; erased bytes read 0xFF.
        if (addr < 0 || addr + geometry_.page > size) return kRefused;
        if (data->mem.size() != static_cast<size_t>(geometry_.page)) return kRefused;
        for (int i = 0; i < geometry_.page; ++i) flash_[addr + i] &= data->mem[i];
        return kOk;
    }
    return kOk;
}

}  // namespace devsim
