#include "handler.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "kvsh_vocab.h"
#include "msg.h"
#include "text.h"

namespace devsim {

namespace {

// Reads the NUL-terminated texts of a request payload, never past its end.
class TextReader {
  public:
    TextReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    bool Next(std::string* out) {
        const void* z = pos_ < n_ ? std::memchr(p_ + pos_, 0, n_ - pos_) : nullptr;
        if (!z) return false;
        size_t end = static_cast<size_t>(static_cast<const uint8_t*>(z) - p_);
        *out = WireToUtf8(std::string_view(reinterpret_cast<const char*>(p_ + pos_), end - pos_));
        pos_ = end + 1;
        return true;
    }
    size_t Pos() const { return pos_; }
    size_t Left() const { return n_ - pos_; }
    const uint8_t* Here() const { return p_ + pos_; }

  private:
    const uint8_t* p_;
    size_t n_;
    size_t pos_ = 0;
};

class ReplyBuilder {
  public:
    ReplyBuilder(std::vector<uint8_t>* out, uint8_t cmd) : out_(out) {
        out_->assign(kvs::kHeadSize, 0);
        (*out_)[6] = static_cast<uint8_t>(cmd | kvs::kReplyBit);
    }
    void Status(uint8_t s) { (*out_)[8] = s; }
    void Byte(size_t offset, uint8_t v) { (*out_)[offset] = v; }
    void Count(uint8_t c) { (*out_)[7] = c; }
    void Raw(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        out_->insert(out_->end(), b, b + n);
    }
    void Zeros(size_t n) { out_->insert(out_->end(), n, 0); }
    void Text(const std::string& utf8) {
        std::string w = Utf8ToWire(utf8);
        Raw(w.data(), w.size() + 1);
    }
    // Whole records appended by Record(); false once the message would outgrow a frame.
    bool Fits() const { return out_->size() <= kvs::kMaxMessage; }
    void Finish() {
        int32_t len = static_cast<int32_t>(out_->size());
        std::memcpy(out_->data(), &len, 4);
    }
    // Appends one record; false (nothing appended) when it would not fit its 16-bit size or
    // the message.
    // wire: the texts are GBK already.
    bool Record(uint8_t kind, uint8_t flags, uint8_t type, uint8_t role, int32_t flag, bool i32flag,
                const std::vector<const std::string*>& texts, bool wire = false) {
        size_t start = out_->size();
        Zeros(8);
        for (const std::string* t : texts) {
            if (wire)
                Raw(t->data(), t->size() + 1);
            else
                Text(*t);
        }
        size_t size = out_->size() - start;
        if (size > 0xFFFF || out_->size() > kvs::kMaxMessage || texts.size() > 255) {
            out_->resize(start);
            return false;
        }
        uint8_t* r = out_->data() + start;
        uint16_t s16 = static_cast<uint16_t>(size);
        std::memcpy(r, &s16, 2);
        r[2] = static_cast<uint8_t>(texts.size());
        r[3] = kind;
        if (i32flag) {
            std::memcpy(r + 4, &flag, 4);
        } else {
            r[4] = flags;
            r[5] = type;
            r[7] = role;
        }
        return true;
    }

  private:
    std::vector<uint8_t>* out_;
};

bool AttrRecord(ReplyBuilder& b, const Attr& a) {
    std::vector<const std::string*> texts = {&a.name, &a.value};
    if (a.type == kEnum)
        for (const auto& o : a.options) texts.push_back(&o);
    return b.Record(3, a.flags, a.type, a.role, 0, false, texts);
}

// One request being answered. The head's length has been checked against the bytes that came.
struct Request {
    const T_MSG_HEAD& head;
    const uint8_t* payload;  // after the head
    size_t payload_len;
    TextReader in;
    Model& m;
    ReplyBuilder& b;
    std::vector<uint8_t>* reply;
};

// A command's handler fills the reply's body and returns its status.
using CommandHandler = uint8_t (*)(Request&);

uint8_t Tree(Request& r) {
    uint8_t count = 0;
    const auto instances = r.m.Instances();
    for (const Component* t : r.m.TypeNodes()) {
        if (count == 255 || !r.b.Record(1, 0, 0, 0, t->flag, true, {&t->wire_name}, true))
            return kTooLarge;
        ++count;
        for (const Component* i : instances) {
            if (i->type != t->name) continue;
            if (count == 255 || !r.b.Record(2, 0, 0, 0, i->flag, true, {&i->wire_name}, true))
                return kTooLarge;
            ++count;
        }
    }
    r.b.Count(count);
    return kOk;
}

// Commands 2 and 12: the component record, then its plain attributes or its slots.
uint8_t AttributeRecords(Request& r, bool slots) {
    std::string c;
    if (!r.in.Next(&c)) return kMalformed;
    const Component* comp = r.m.FindComponent(c);
    if (!comp) return kRefused;
    if (!r.b.Record(1, 0, 0, 0, comp->flag, true, {&comp->wire_name}, true)) return kTooLarge;
    uint8_t count = 1;
    for (const auto& at : comp->attrs) {
        if ((at.role != kPlain) != slots) continue;
        if (count == 255 || !AttrRecord(r.b, at)) {
            r.b.Count(0);
            return kTooLarge;
        }
        ++count;
    }
    r.b.Count(count);
    return kOk;
}
uint8_t AttrInfoAll(Request& r) { return AttributeRecords(r, false); }
uint8_t SlotInfo(Request& r) { return AttributeRecords(r, true); }

uint8_t AttrInfo(Request& r) {
    std::string c, a;
    if (!r.in.Next(&c) || !r.in.Next(&a)) return kMalformed;
    const Component* comp = r.m.FindComponent(c);
    const Attr* at = comp ? comp->Find(a) : nullptr;
    if (!at) return kRefused;
    if (!AttrRecord(r.b, *at)) return kTooLarge;
    r.b.Count(1);
    return kOk;
}

// Commands 4, 5 and 6: one text at offset 20.
uint8_t ValueText(Request& r, bool link) {
    std::string c, a, v;
    if (!r.in.Next(&c) || !r.in.Next(&a)) return kMalformed;
    uint8_t s = link ? r.m.GetLink(c, a, &v) : r.m.GetValue(c, a, &v);
    if (s != kOk) return s;
    r.b.Zeros(8);
    r.b.Text(v);
    if (!r.b.Fits()) {
        r.reply->resize(kvs::kHeadSize);
        return kTooLarge;
    }
    return kOk;
}
uint8_t GetVal(Request& r) { return ValueText(r, false); }
uint8_t GetLink(Request& r) { return ValueText(r, true); }

uint8_t SetVal(Request& r) {
    std::string c, a, v;
    if (!r.in.Next(&c) || !r.in.Next(&a) || !r.in.Next(&v)) return kMalformed;
    return r.m.SetValue(c, a, v);
}

// Command 8: a link, or with an operation byte an edit of one list entry.
uint8_t SetLink(Request& r) {
    std::string c, a, v;
    if (!r.in.Next(&c) || !r.in.Next(&a) || !r.in.Next(&v)) return kMalformed;
    uint8_t op = r.head.param.bytes[0], index = r.head.param.bytes[1];
    if (op || index) return r.m.ModifyList(c, a, op, index, v);
    return r.m.SetLink(c, a, v);
}

uint8_t AddComponent(Request& r) {
    std::string c, name;
    if (!r.in.Next(&c)) return kMalformed;
    uint8_t s = r.m.AddComponent(c, &name);
    if (s != kOk) return s;
    r.b.Zeros(8);
    r.b.Text(name);
    return kOk;
}

uint8_t DelComponent(Request& r) {
    std::string c;
    if (!r.in.Next(&c)) return kMalformed;
    return r.m.DeleteComponent(c);
}

uint8_t ConfigOp(Request& r) {
    const uint8_t op = r.head.param.bytes[0];
    // In the boot loader only the startup parameters can be read.
    if (r.m.InBoot() && op != 4) return kInBoot;
    uint8_t bytes[3] = {r.head.param.bytes[1], r.head.param.bytes[2], r.head.param.bytes[3]};
    T_GLOAT_SET rec_in{}, rec_out{};
    bool has_rec = r.in.Left() >= sizeof(T_GLOAT_SET);
    if (has_rec) std::memcpy(&rec_in, r.in.Here(), sizeof rec_in);
    uint8_t s = r.m.ConfigOperate(op, bytes, has_rec ? &rec_in : nullptr, &rec_out);
    // Every operation answers with the startup parameters as they now stand.
    if (op != 4) r.m.ConfigOperate(4, bytes, nullptr, &rec_out);
    for (int i = 0; i < 3; ++i) r.b.Byte(9 + i, bytes[i]);
    r.b.Raw(&rec_out, sizeof rec_out);
    return s;
}

uint8_t Upload(Request& r) {
    std::string text = Utf8ToWire(r.m.ExportConfig());
    if (text.size() + 1 + kvs::kHeadSize > kvs::kMaxMessage) return kTooLarge;
    r.b.Raw(text.data(), text.size() + 1);
    return kOk;
}

uint8_t Download(Request& r) {
    const char* p = reinterpret_cast<const char*>(r.payload);
    size_t plen = r.payload_len;
    const void* z = std::memchr(p, 0, plen);
    if (z) plen = static_cast<size_t>(static_cast<const char*>(z) - p);
    std::string error;
    return r.m.ImportConfig(WireToUtf8(std::string_view(p, plen)), &error) ? kOk : kRefused;
}

uint8_t GetMem(Request& r) {
    std::string c, a;
    if (!r.in.Next(&c) || !r.in.Next(&a)) return kMalformed;
    std::vector<uint8_t> data;
    uint8_t s = r.m.GetMem(c, a, &data);
    if (s != kOk) return s;
    const Component* comp = r.m.FindComponent(c);
    const Attr* at = comp ? comp->Find(a) : nullptr;
    if (at && at->type != kMemory) {
        std::string w = Utf8ToWire(std::string(data.begin(), data.end()));
        data.assign(w.begin(), w.end());
    }
    if (data.size() + kvs::kHeadSize > kvs::kMaxMessage) return kTooLarge;
    r.b.Raw(data.data(), data.size());
    return kOk;
}

uint8_t SetMem(Request& r) {
    std::string c, a;
    if (!r.in.Next(&c) || !r.in.Next(&a)) return kMalformed;
    if (r.head.param.value < 0 || static_cast<size_t>(r.head.param.value) > r.in.Left())
        return kMalformed;
    const Component* comp = r.m.FindComponent(c);
    const Attr* at = comp ? comp->Find(a) : nullptr;
    size_t count = static_cast<size_t>(r.head.param.value);
    if (at && at->type != kMemory) {
        std::string u =
            WireToUtf8(std::string_view(reinterpret_cast<const char*>(r.in.Here()), count));
        return r.m.SetMem(c, a, reinterpret_cast<const uint8_t*>(u.data()), u.size());
    }
    return r.m.SetMem(c, a, r.in.Here(), count);
}

uint8_t GetBatch(Request& r) {
    std::string c, v;
    if (!r.in.Next(&c)) return kMalformed;
    std::string values;
    for (const auto& e : SplitList(c)) {
        std::string ec, ea;
        if (!SplitFullName(e, &ec, &ea)) return kRefused;
        uint8_t s = r.m.GetValue(ec, ea, &v);
        if (s != kOk) return s;
        values += v;
        values += ';';
    }
    std::string w = Utf8ToWire(values);
    if (w.size() + 1 + kvs::kHeadSize > kvs::kMaxMessage) return kTooLarge;
    r.b.Raw(w.data(), w.size() + 1);
    return kOk;
}

uint8_t SetBatch(Request& r) {
    std::string names, values, v;
    if (!r.in.Next(&names) || !r.in.Next(&values)) return kMalformed;
    auto ns = SplitList(names), vs = SplitList(values);
    if (ns.size() != vs.size()) return kMalformed;
    // Every name must exist before anything is written.
    std::vector<std::pair<std::string, std::string>> targets;
    for (const auto& e : ns) {
        std::string ec, ea;
        if (!SplitFullName(e, &ec, &ea) || r.m.GetValue(ec, ea, &v) != kOk) return kRefused;
        targets.emplace_back(ec, ea);
    }
    uint8_t result = kOk;
    for (size_t i = 0; i < targets.size(); ++i) {
        uint8_t s = r.m.SetValue(targets[i].first, targets[i].second, vs[i]);
        if (s != kOk) result = s;
    }
    return result;
}

uint8_t Key(Request& r) {
    std::string key(reinterpret_cast<const char*>(r.payload), r.payload_len);
    return key == r.m.Key() ? KVS_STATUS_KEY_ACCEPTED : 0;
}

uint8_t Boot(Request& r) { return r.m.Boot(r.head.cmd); }

struct Command {
    uint8_t cmd;
    CommandHandler handle;
    bool in_boot;  // also served while the device is in its boot loader
};

constexpr Command kCommands[] = {
    {kvs::kCmdTree, Tree, false},
    {kvs::kCmdAttrInfoAll, AttrInfoAll, false},
    {kvs::kCmdAttrInfo, AttrInfo, false},
    {kvs::kCmdGetVal, GetVal, false},
    {kvs::kCmdGetRealVal, GetVal, false},
    {kvs::kCmdGetLink, GetLink, false},
    {kvs::kCmdSetVal, SetVal, false},
    {kvs::kCmdSetLink, SetLink, false},
    {kvs::kCmdAddComponent, AddComponent, false},
    {kvs::kCmdDelComponent, DelComponent, false},
    {kvs::kCmdSlotInfo, SlotInfo, false},
    {kvs::kCmdConfigOp, ConfigOp, true},  // refuses all but reading the parameters itself
    {kvs::kCmdUpload, Upload, false},
    {kvs::kCmdDownload, Download, false},
    {kvs::kCmdGetMem, GetMem, false},
    {kvs::kCmdSetMem, SetMem, false},
    {kvs::kCmdGetBatch, GetBatch, false},
    {kvs::kCmdSetBatch, SetBatch, false},
    {kvs::kCmdKey, Key, true},
    {kvs::kCmdBootEnter, Boot, true},
    {kvs::kCmdBootLeave, Boot, true},
    {kvs::kCmdBootFactory, Boot, true},
    {kvs::kCmdBootNormal, Boot, true},
};

// The table by command code, for a lookup per request without a search.
const Command* FindCommand(uint8_t cmd) {
    static const auto kByCode = [] {
        std::array<const Command*, 256> by{};
        for (const auto& c : kCommands) by[c.cmd] = &c;
        return by;
    }();
    return kByCode[cmd];
}

}  // namespace

bool RequestHandler::Handle(const uint8_t* msg, size_t n, std::vector<uint8_t>* reply) {
    if (n < kvs::kHeadSize) return false;
    T_MSG_HEAD head;
    std::memcpy(&head, msg, sizeof head);
    if (head.cmd & kvs::kReplyBit) return false;
    ReplyBuilder b(reply, head.cmd);
    auto done = [&](uint8_t status) {
        b.Status(status);
        b.Finish();
        return true;
    };
    // A length that disagrees with the bytes that came is a malformed request.
    if (head.length < static_cast<int32_t>(kvs::kHeadSize) || static_cast<size_t>(head.length) > n)
        return done(kMalformed);
    const Command* command = FindCommand(head.cmd);
    if (model_->InBoot() && !(command && command->in_boot)) return done(kInBoot);
    if (!command) return done(kMalformed);
    const size_t payload_len = static_cast<size_t>(head.length) - kvs::kHeadSize;
    Request r{head,        msg + kvs::kHeadSize,
              payload_len, TextReader(msg + kvs::kHeadSize, payload_len),
              *model_,     b,
              reply};
    return done(command->handle(r));
}

void RequestHandler::Encode(const Unsolicited& u, std::vector<uint8_t>* out) {
    ReplyBuilder b(out, 0);
    (*out)[6] = u.cmd;
    if (u.cmd == kvs::kCmdMonitorEvent) {
        b.Text(u.name);
        b.Text(u.value);
    } else {
        uint32_t count = static_cast<uint32_t>(u.lines.size());
        std::memcpy(out->data() + 8, &count, 4);
        for (const auto& [level, text] : u.lines) {
            uint8_t l = static_cast<uint8_t>(level);
            b.Raw(&l, 1);
            b.Text(text);
        }
    }
    b.Finish();
}

std::string RequestHandler::Describe(const uint8_t* msg, size_t n) {
    if (n < kvs::kHeadSize) return "短消息 " + std::to_string(n) + " 字节";
    T_MSG_HEAD head;
    std::memcpy(&head, msg, sizeof head);
    char buf[96];
    if (head.cmd & kvs::kReplyBit) {
        std::snprintf(buf, sizeof buf, "应答 cmd=%u 状态=%u 记录=%u 长度=%d", head.cmd & 0x7F,
                      head.param.bytes[0], head.count, head.length);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "请求 cmd=%u 长度=%d", head.cmd, head.length);
    std::string out = buf;
    if (head.cmd == kvs::kCmdKey || head.cmd == kvs::kCmdSetMem || head.cmd == kvs::kCmdConfigOp)
        return out;
    size_t len = head.length >= 12 && static_cast<size_t>(head.length) <= n
                     ? static_cast<size_t>(head.length)
                     : n;
    TextReader in(msg + kvs::kHeadSize, len - kvs::kHeadSize);
    std::string t;
    for (int i = 0; i < 3 && in.Next(&t); ++i) {
        if (t.size() > 80) t = t.substr(0, 80) + "...";
        out += " \"" + t + "\"";
    }
    return out;
}

}  // namespace devsim
