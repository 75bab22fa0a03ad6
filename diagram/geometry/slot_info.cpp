#include "diagram/geometry/slot_info.h"

#include <algorithm>
#include <cstring>

#include "kvsh_records.h"

namespace kvs::geometry {

bool ReadSlotInfo(const uint8_t* reply, size_t size, std::string_view component, SlotInfo* info) {
    *info = SlotInfo{};
    if (!reply || size < sizeof(T_MSG_HEAD)) return false;
    T_MSG_HEAD head;
    std::memcpy(&head, reply, sizeof head);
    if (reply[8] != 0) return false;
    // The walk is bounded by the bytes at hand, not by the length the device claims.
    head.length = int32_t(std::min<size_t>(size, size_t(std::max<int32_t>(head.length, 0))));
    KVS_RECORD_ITER it;
    KVS_RecordsBegin(&it, &head);
    if (it.cur) {
        it.cur = reply + sizeof head;
        it.end = reply + head.length;
    }
    KVS_RECORD rec;
    while (KVS_RecordsNext(&it, &rec)) {
        if (rec.kind == KVS_KIND_COMPONENT) {
            info->componentRecord = true;
            info->componentFlag = rec.flag != 0;
            continue;
        }
        if (rec.kind != KVS_KIND_ATTRIBUTE) continue;
        if (rec.role != KVS_ROLE_SEND && rec.role != KVS_ROLE_RECEIVE) continue;
        const char* name = KVS_RecordText(&rec, 0);
        if (!name || component.size() + 1 + std::strlen(name) > kMaxNameBytes) {
            ++info->dropped;
            continue;
        }
        SlotRecord slot;
        slot.flag = (rec.flags & KVS_FLAG_SLOT) != 0;
        slot.dataType = int(rec.type);
        slot.name.assign(component);
        slot.name += ':';
        slot.name += name;
        (rec.role == KVS_ROLE_SEND ? info->send : info->receive).push_back(std::move(slot));
    }
    info->malformed = it.bad != 0;
    std::reverse(info->send.begin(), info->send.end());
    std::reverse(info->receive.begin(), info->receive.end());
    return true;
}

}  // namespace kvs::geometry
