// Reading a slot-info reply into the parts of a box, trusted and untrusted.
#include "diagram/geometry/slot_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kvs::geometry {
namespace {

struct Rec {
    int kind, flags, type, role;
    std::string name;
};

// A command-12 reply: head, then one record per entry (name and a value text).
std::vector<uint8_t> Reply(const std::vector<Rec>& recs, int status = 0) {
    std::vector<uint8_t> m(12, 0);
    m[6] = 12 | 0x80;
    m[7] = uint8_t(recs.size());
    m[8] = uint8_t(status);
    for (const Rec& r : recs) {
        std::vector<uint8_t> body(r.name.begin(), r.name.end());
        body.push_back(0);
        body.push_back('0');
        body.push_back(0);
        uint16_t size = uint16_t(8 + body.size());
        uint8_t h[8] = {uint8_t(size),    uint8_t(size >> 8), 2, uint8_t(r.kind),
                        uint8_t(r.flags), uint8_t(r.type),    0, uint8_t(r.role)};
        m.insert(m.end(), h, h + 8);
        m.insert(m.end(), body.begin(), body.end());
    }
    int32_t len = int32_t(m.size());
    std::memcpy(m.data(), &len, 4);
    return m;
}

std::vector<std::string> Names(const std::vector<SlotRecord>& list) {
    std::vector<std::string> n;
    for (const auto& s : list) n.push_back(s.name);
    return n;
}

TEST(SlotInfo, SlotsRunInReverseReplyOrderWithTypeAndFlag) {
    auto m = Reply({{1, 1, 0, 0, "c-1"},
                    {3, 0, 1, 3, "a"},
                    {3, 4, 2, 1, "in"},
                    {3, 0, 1, 0, "plain"},  // not a slot
                    {3, 4, 7, 3, "b"},
                    {3, 0, 1, 3, "c"}});
    SlotInfo info;
    ASSERT_TRUE(ReadSlotInfo(m.data(), m.size(), "c-1", &info));
    EXPECT_TRUE(info.componentRecord);
    EXPECT_TRUE(info.componentFlag);
    EXPECT_EQ(Names(info.send), (std::vector<std::string>{"c-1:c", "c-1:b", "c-1:a"}));
    EXPECT_EQ(info.send[1].dataType, 7);
    EXPECT_TRUE(info.send[1].flag);
    EXPECT_FALSE(info.send[0].flag);
    ASSERT_EQ(info.receive.size(), 1u);
    EXPECT_EQ(info.receive[0].name, "c-1:in");
    EXPECT_TRUE(info.receive[0].flag);
    EXPECT_FALSE(info.malformed);
}

TEST(SlotInfo, RefusedOrMissingReplyGivesNoSlots) {
    auto refused = Reply({{3, 0, 1, 3, "a"}}, 1);
    SlotInfo info;
    EXPECT_FALSE(ReadSlotInfo(refused.data(), refused.size(), "c-1", &info));
    EXPECT_TRUE(info.send.empty());
    EXPECT_FALSE(ReadSlotInfo(nullptr, 0, "c-1", &info));
    EXPECT_FALSE(ReadSlotInfo(refused.data(), 11, "c-1", &info));
}

TEST(SlotInfo, UntrustedRepliesAreReadOnlyInsideTheirBytes) {
    // A head that claims more bytes than arrived, a count above the records present, and a
    // cut last record: the whole records before the damage are kept.
    auto m = Reply({{3, 0, 1, 3, "a"}, {3, 0, 1, 3, "b"}});
    m[7] = 200;
    int32_t claimed = 100000;
    std::memcpy(m.data(), &claimed, 4);
    SlotInfo info;
    ASSERT_TRUE(ReadSlotInfo(m.data(), m.size() - 3, "c-1", &info));
    EXPECT_EQ(Names(info.send), (std::vector<std::string>{"c-1:a"}));
    EXPECT_TRUE(info.malformed);

    // Full names of 64 bytes or more do not fit a name buffer and are left out; 63 fit.
    const std::string comp = "c-1";
    const std::string fits(63 - comp.size() - 1, 'x'), tooLong(64 - comp.size() - 1, 'y');
    auto names = Reply({{3, 0, 1, 3, fits}, {3, 0, 1, 1, tooLong}});
    ASSERT_TRUE(ReadSlotInfo(names.data(), names.size(), comp, &info));
    ASSERT_EQ(info.send.size(), 1u);
    EXPECT_EQ(info.send[0].name.size(), 63u);
    EXPECT_TRUE(info.receive.empty());
    EXPECT_EQ(info.dropped, 1);
}

}  // namespace
}  // namespace kvs::geometry
