#include "handler.h"

#include <cstdio>
#include <cstring>

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
    const size_t len = static_cast<size_t>(head.length);
    TextReader in(msg + kvs::kHeadSize, len - kvs::kHeadSize);
    Model& m = *model_;
    std::string c, a, v;

    const bool boot_ok = head.cmd == kvs::kCmdKey ||
                         (head.cmd >= kvs::kCmdBootEnter && head.cmd <= kvs::kCmdBootNormal) ||
                         (head.cmd == kvs::kCmdConfigOp && head.param.bytes[0] == 4);
    if (m.InBoot() && !boot_ok) return done(kInBoot);

    switch (head.cmd) {
        case kvs::kCmdTree: {
            uint8_t count = 0;
            const auto instances = m.Instances();
            for (const Component* t : m.TypeNodes()) {
                if (count == 255 || !b.Record(1, 0, 0, 0, t->flag, true, {&t->wire_name}, true))
                    return done(kTooLarge);
                ++count;
                for (const Component* i : instances) {
                    if (i->type != t->name) continue;
                    if (count == 255 || !b.Record(2, 0, 0, 0, i->flag, true, {&i->wire_name}, true))
                        return done(kTooLarge);
                    ++count;
                }
            }
            b.Count(count);
            return done(kOk);
        }
        case kvs::kCmdAttrInfoAll:
        case kvs::kCmdSlotInfo: {
            if (!in.Next(&c)) return done(kMalformed);
            const Component* comp = m.FindComponent(c);
            if (!comp) return done(kRefused);
            if (!b.Record(1, 0, 0, 0, comp->flag, true, {&comp->wire_name}, true))
                return done(kTooLarge);
            uint8_t count = 1;
            const bool slots = head.cmd == kvs::kCmdSlotInfo;
            for (const auto& at : comp->attrs) {
                if ((at.role != kPlain) != slots) continue;
                if (count == 255 || !AttrRecord(b, at)) {
                    b.Count(0);
                    return done(kTooLarge);
                }
                ++count;
            }
            b.Count(count);
            return done(kOk);
        }
        case kvs::kCmdAttrInfo: {
            if (!in.Next(&c) || !in.Next(&a)) return done(kMalformed);
            const Component* comp = m.FindComponent(c);
            const Attr* at = comp ? comp->Find(a) : nullptr;
            if (!at) return done(kRefused);
            if (!AttrRecord(b, *at)) return done(kTooLarge);
            b.Count(1);
            return done(kOk);
        }
        case kvs::kCmdGetVal:
        case kvs::kCmdGetRealVal:
        case kvs::kCmdGetLink: {
            if (!in.Next(&c) || !in.Next(&a)) return done(kMalformed);
            uint8_t s = head.cmd == kvs::kCmdGetLink ? m.GetLink(c, a, &v) : m.GetValue(c, a, &v);
            if (s != kOk) return done(s);
            b.Zeros(8);
            b.Text(v);
            if (!b.Fits()) {
                reply->resize(kvs::kHeadSize);
                return done(kTooLarge);
            }
            return done(kOk);
        }
        case kvs::kCmdSetVal:
            if (!in.Next(&c) || !in.Next(&a) || !in.Next(&v)) return done(kMalformed);
            return done(m.SetValue(c, a, v));
        case kvs::kCmdSetLink: {
            if (!in.Next(&c) || !in.Next(&a) || !in.Next(&v)) return done(kMalformed);
            uint8_t op = head.param.bytes[0], index = head.param.bytes[1];
            if (op || index) return done(m.ModifyList(c, a, op, index, v));
            return done(m.SetLink(c, a, v));
        }
        case kvs::kCmdAddComponent: {
            if (!in.Next(&c)) return done(kMalformed);
            std::string name;
            uint8_t s = m.AddComponent(c, &name);
            if (s != kOk) return done(s);
            b.Zeros(8);
            b.Text(name);
            return done(kOk);
        }
        case kvs::kCmdDelComponent:
            if (!in.Next(&c)) return done(kMalformed);
            return done(m.DeleteComponent(c));
        case kvs::kCmdConfigOp: {
            uint8_t bytes[3] = {head.param.bytes[1], head.param.bytes[2], head.param.bytes[3]};
            T_GLOAT_SET rec_in{}, rec_out{};
            bool has_rec = in.Left() >= sizeof(T_GLOAT_SET);
            if (has_rec) std::memcpy(&rec_in, in.Here(), sizeof rec_in);
            const uint8_t op = head.param.bytes[0];
            uint8_t s = m.ConfigOperate(op, bytes, has_rec ? &rec_in : nullptr, &rec_out);
            // Every operation answers with the startup parameters as they now stand.
            if (op != 4) m.ConfigOperate(4, bytes, nullptr, &rec_out);
            for (int i = 0; i < 3; ++i) b.Byte(9 + i, bytes[i]);
            b.Raw(&rec_out, sizeof rec_out);
            return done(s);
        }
        case kvs::kCmdUpload: {
            std::string text = Utf8ToWire(m.ExportConfig());
            if (text.size() + 1 + kvs::kHeadSize > kvs::kMaxMessage) return done(kTooLarge);
            b.Raw(text.data(), text.size() + 1);
            return done(kOk);
        }
        case kvs::kCmdDownload: {
            const char* p = reinterpret_cast<const char*>(msg + kvs::kHeadSize);
            size_t plen = len - kvs::kHeadSize;
            const void* z = std::memchr(p, 0, plen);
            if (z) plen = static_cast<size_t>(static_cast<const char*>(z) - p);
            std::string error;
            return done(m.ImportConfig(WireToUtf8(std::string_view(p, plen)), &error) ? kOk
                                                                                      : kRefused);
        }
        case kvs::kCmdGetMem: {
            if (!in.Next(&c) || !in.Next(&a)) return done(kMalformed);
            std::vector<uint8_t> data;
            uint8_t s = m.GetMem(c, a, &data);
            if (s != kOk) return done(s);
            const Component* comp = m.FindComponent(c);
            const Attr* at = comp ? comp->Find(a) : nullptr;
            if (at && at->type != kMemory) {
                std::string w = Utf8ToWire(std::string(data.begin(), data.end()));
                data.assign(w.begin(), w.end());
            }
            if (data.size() + kvs::kHeadSize > kvs::kMaxMessage) return done(kTooLarge);
            b.Raw(data.data(), data.size());
            return done(kOk);
        }
        case kvs::kCmdSetMem: {
            if (!in.Next(&c) || !in.Next(&a)) return done(kMalformed);
            if (head.param.value < 0 || static_cast<size_t>(head.param.value) > in.Left())
                return done(kMalformed);
            const Component* comp = m.FindComponent(c);
            const Attr* at = comp ? comp->Find(a) : nullptr;
            size_t count = static_cast<size_t>(head.param.value);
            if (at && at->type != kMemory) {
                std::string u =
                    WireToUtf8(std::string_view(reinterpret_cast<const char*>(in.Here()), count));
                return done(m.SetMem(c, a, reinterpret_cast<const uint8_t*>(u.data()), u.size()));
            }
            return done(m.SetMem(c, a, in.Here(), count));
        }
        case kvs::kCmdGetBatch: {
            if (!in.Next(&c)) return done(kMalformed);
            std::string values;
            for (const auto& e : SplitList(c)) {
                std::string ec, ea;
                if (!SplitFullName(e, &ec, &ea)) return done(kRefused);
                uint8_t s = m.GetValue(ec, ea, &v);
                if (s != kOk) return done(s);
                values += v;
                values += ';';
            }
            std::string w = Utf8ToWire(values);
            if (w.size() + 1 + kvs::kHeadSize > kvs::kMaxMessage) return done(kTooLarge);
            b.Raw(w.data(), w.size() + 1);
            return done(kOk);
        }
        case kvs::kCmdSetBatch: {
            std::string names, values;
            if (!in.Next(&names) || !in.Next(&values)) return done(kMalformed);
            auto ns = SplitList(names), vs = SplitList(values);
            if (ns.size() != vs.size()) return done(kMalformed);
            // Every name must exist before anything is written.
            std::vector<std::pair<std::string, std::string>> targets;
            for (const auto& e : ns) {
                std::string ec, ea;
                if (!SplitFullName(e, &ec, &ea) || m.GetValue(ec, ea, &v) != kOk)
                    return done(kRefused);
                targets.emplace_back(ec, ea);
            }
            uint8_t result = kOk;
            for (size_t i = 0; i < targets.size(); ++i) {
                uint8_t s = m.SetValue(targets[i].first, targets[i].second, vs[i]);
                if (s != kOk) result = s;
            }
            return done(result);
        }
        case kvs::kCmdKey: {
            std::string key(reinterpret_cast<const char*>(msg + kvs::kHeadSize),
                            len - kvs::kHeadSize);
            return done(key == m.Key() ? 1 : 0);
        }
        case kvs::kCmdBootEnter:
        case kvs::kCmdBootLeave:
        case kvs::kCmdBootFactory:
        case kvs::kCmdBootNormal:
            return done(m.Boot(head.cmd));
        default:
            return done(kMalformed);
    }
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
