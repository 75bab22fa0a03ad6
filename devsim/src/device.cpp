#include "devsim/device.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "frame.h"
#include "handler.h"
#include "links.h"
#include "model.h"
#include "msg.h"
#include "text.h"

namespace devsim {

using Clock = std::chrono::steady_clock;

// Lock order: mu (model) is never held while a link sends or while links_mu, fault_mu,
// delay_mu or log_mu is taken; those four are leaves.
class DeviceImpl {
  public:
    explicit DeviceImpl(const Options& o)
        : options(o), model(o.flash_geometry), rng(o.random_seed) {
        model.SetKey(o.key);
        key_byte = kvs::ComputeKeyByte(o.key.c_str());
    }

    Options options;
    mutable std::mutex mu;
    Model model;
    RequestHandler handler{&model};
    std::atomic<uint8_t> key_byte{0};

    std::mutex links_mu;
    std::map<int, Device::LinkSend> links;
    int next_link = 1;
    int udp_link = 0, pty_link = 0;

    std::mutex fault_mu;
    Faults faults;
    std::mt19937_64 rng;

    std::mutex log_mu;
    std::function<void(const std::string&)> log;

    std::mutex delay_mu;
    std::condition_variable delay_cv;
    std::multimap<Clock::time_point, std::function<void()>> delayed;
    std::thread delay_thread;
    bool delay_stop = false;

    std::mutex work_mu;
    std::condition_variable work_cv;
    std::thread work_thread;
    bool work_stop = false;

    std::shared_ptr<UdpLink> udp;
    std::shared_ptr<PtyLink> pty;

    void Log(const std::string& line) {
        std::lock_guard<std::mutex> lock(log_mu);
        if (log) log(line);
    }
    bool Verbose() {
        std::lock_guard<std::mutex> lock(log_mu);
        return static_cast<bool>(log);
    }

    int Attach(Device::LinkSend send) {
        std::lock_guard<std::mutex> lock(links_mu);
        int id = next_link++;
        links[id] = std::move(send);
        return id;
    }
    void Detach(int id) {
        std::lock_guard<std::mutex> lock(links_mu);
        links.erase(id);
    }

    Device::LinkSend LinkOf(int id) {
        std::lock_guard<std::mutex> lock(links_mu);
        auto it = links.find(id);
        return it == links.end() ? Device::LinkSend() : it->second;
    }

    // The send functions of every attached link, or none while the device is silent.
    std::vector<Device::LinkSend> Targets() {
        {
            std::lock_guard<std::mutex> lock(fault_mu);
            if (faults.silent) return {};
        }
        std::vector<Device::LinkSend> targets;
        std::lock_guard<std::mutex> lock(links_mu);
        for (auto& [id, send] : links)
            if (send) targets.push_back(send);  // a link still being set up has none yet
        return targets;
    }

    // Sends the model's unsolicited messages to every attached link. Called without mu held.
    void Broadcast(const std::vector<Unsolicited>& out) {
        if (out.empty()) return;
        auto targets = Targets();
        std::vector<uint8_t> msg;
        for (const auto& u : out) {
            RequestHandler::Encode(u, &msg);
            if (u.cmd == kvs::kCmdMonitorEvent)
                Log("事件 " + u.name + " = " + u.value);
            else
                for (const auto& l : u.lines) Log("信息 " + l.second);
            for (auto& send : targets) send(msg.data(), msg.size(), false);
        }
    }

    void UpdateKey() { key_byte = kvs::ComputeKeyByte(model.Key().c_str()); }

    // Spoils a reply the way a faulty controller might: a record size that runs past the end,
    // a text without its terminator, or a length field that claims more than was sent.
    void Malform(std::vector<uint8_t>* reply, uint64_t pick) {
        if (reply->size() >= 14 && (*reply)[7] > 0 && (pick & 1)) {
            (*reply)[12] = 0xFF;
            (*reply)[13] = 0xFF;
            return;
        }
        if (reply->size() > 13 && reply->back() == 0) {
            reply->pop_back();
            int32_t len = static_cast<int32_t>(reply->size());
            std::memcpy(reply->data(), &len, 4);
            return;
        }
        int32_t len = static_cast<int32_t>(reply->size() + 100);
        std::memcpy(reply->data(), &len, 4);
    }

    void Schedule(Clock::time_point when, std::function<void()> fn) {
        std::lock_guard<std::mutex> lock(delay_mu);
        if (!delay_thread.joinable() && !delay_stop) {
            delay_thread = std::thread([this] { DelayLoop(); });
        }
        delayed.emplace(when, std::move(fn));
        delay_cv.notify_all();
    }

    void DelayLoop() {
        std::unique_lock<std::mutex> lock(delay_mu);
        while (!delay_stop) {
            if (delayed.empty()) {
                delay_cv.wait(lock);
                continue;
            }
            auto first = delayed.begin();
            if (Clock::now() < first->first) {
                delay_cv.wait_until(lock, first->first);
                continue;
            }
            auto fn = std::move(first->second);
            delayed.erase(first);
            lock.unlock();
            fn();
            lock.lock();
        }
    }

    void Deliver(int link, std::vector<uint8_t> reply) {
        Faults f;
        uint64_t r[6];
        {
            std::lock_guard<std::mutex> lock(fault_mu);
            f = faults;
            for (auto& x : r) x = rng();
        }
        auto chance = [](uint64_t x, double p) {
            return p > 0 && static_cast<double>(x >> 11) * 0x1.0p-53 < p;
        };
        if (f.silent || chance(r[0], f.drop)) {
            Log("故障: 不发送应答");
            return;
        }
        auto send = LinkOf(link);
        if (!send) return;
        bool junk = chance(r[1], f.junk);
        if (chance(r[2], f.malformed)) {
            Malform(&reply, r[5]);
            Log("故障: 应答格式错误");
        }
        bool corrupt = chance(r[3], f.corrupt);
        int times = chance(r[4], f.duplicate) ? 2 : 1;
        if (corrupt) Log("故障: 校验和错误");
        if (times == 2) Log("故障: 重复应答");
        auto go = [send, reply, junk, corrupt, times]() {
            if (junk) {
                // An unsolicited message of a code no receiver knows.
                uint8_t m[16] = {16, 0, 0, 0, 0, 0, 77, 0, 0, 0, 0, 0, 0xDE, 0xAD, 0xBE, 0xEF};
                send(m, sizeof m, false);
            }
            for (int i = 0; i < times; ++i) send(reply.data(), reply.size(), corrupt);
        };
        if (f.delay_ms > 0)
            Schedule(Clock::now() + std::chrono::milliseconds(f.delay_ms), go);
        else
            go();
    }

    void WorkLoop() {
        auto period = std::chrono::milliseconds(std::max(1, options.tick_ms));
        auto next = Clock::now() + period;
        std::unique_lock<std::mutex> lock(work_mu);
        while (!work_stop) {
            work_cv.wait_until(lock, next, [this] { return work_stop; });
            if (work_stop) break;
            auto now = Clock::now();
            // After a stall (a suspended process) skip ahead instead of catching up in a burst.
            next = now - next > period * 10 ? now + period : next + period;
            lock.unlock();
            std::vector<Unsolicited> out;
            {
                std::lock_guard<std::mutex> m(mu);
                if (model.Running() || model.Sampling()) model.Tick(options.tick_ms * 1000);
                out = model.TakeUnsolicited();
            }
            Broadcast(out);
            lock.lock();
        }
    }

    void StartWork() {
        std::lock_guard<std::mutex> lock(work_mu);
        if (work_thread.joinable() || !options.work_thread) return;
        work_stop = false;
        work_thread = std::thread([this] { WorkLoop(); });
    }

    void StopLinks() {
        if (udp) {
            udp->Stop();
            Detach(udp_link);
            udp.reset();
        }
        if (pty) {
            pty->Stop();
            Detach(pty_link);
            pty.reset();
        }
    }

    void StopAll() {
        StopLinks();
        {
            std::lock_guard<std::mutex> lock(work_mu);
            work_stop = true;
            work_cv.notify_all();
        }
        if (work_thread.joinable()) work_thread.join();
        {
            std::lock_guard<std::mutex> lock(delay_mu);
            delay_stop = true;
            delayed.clear();
            delay_cv.notify_all();
        }
        if (delay_thread.joinable()) delay_thread.join();
        std::lock_guard<std::mutex> lock(delay_mu);
        delay_stop = false;
    }
};

// --- Faults ----------------------------------------------------------------------------------

bool Faults::Parse(const std::string& text, Faults* out, std::string* error) {
    Faults f;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        std::string item =
            text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        pos = comma == std::string::npos ? text.size() + 1 : comma + 1;
        if (item.empty()) continue;
        size_t eq = item.find('=');
        std::string name = item.substr(0, eq),
                    value = eq == std::string::npos ? "" : item.substr(eq + 1);
        if (name == "silent" && value.empty()) {
            f.silent = true;
            continue;
        }
        double v = 0;
        if (!ParseReal(value, &v)) {
            if (error) *error = "bad fault value: " + item;
            return false;
        }
        double* p = nullptr;
        if (name == "drop")
            p = &f.drop;
        else if (name == "dup")
            p = &f.duplicate;
        else if (name == "corrupt")
            p = &f.corrupt;
        else if (name == "junk")
            p = &f.junk;
        else if (name == "malformed")
            p = &f.malformed;
        if (p) {
            if (v < 0 || v > 1) {
                if (error) *error = "a fault probability lies in 0..1: " + item;
                return false;
            }
            *p = v;
        } else if (name == "delay") {
            if (v < 0 || v > 600000) {
                if (error) *error = "bad delay: " + item;
                return false;
            }
            f.delay_ms = static_cast<int>(v);
        } else {
            if (error) *error = "unknown fault: " + name;
            return false;
        }
    }
    *out = f;
    return true;
}

// --- Device ----------------------------------------------------------------------------------

Device::Device(std::unique_ptr<DeviceImpl> impl) : impl_(std::move(impl)) { impl_->StartWork(); }

Device::~Device() { impl_->StopAll(); }

std::unique_ptr<Device> Device::CreateEmpty(const Options& options) {
    return std::unique_ptr<Device>(new Device(std::make_unique<DeviceImpl>(options)));
}

std::unique_ptr<Device> Device::CreateDemo(const Options& options) {
    auto impl = std::make_unique<DeviceImpl>(options);
    impl->model.LoadDemo();
    return std::unique_ptr<Device>(new Device(std::move(impl)));
}

std::unique_ptr<Device> Device::CreateLargeDemo(const Options& options) {
    auto impl = std::make_unique<DeviceImpl>(options);
    impl->model.LoadLargeDemo();
    return std::unique_ptr<Device>(new Device(std::move(impl)));
}

std::unique_ptr<Device> Device::CreateFromText(const std::string& text, const Options& options,
                                               std::string* error) {
    auto impl = std::make_unique<DeviceImpl>(options);
    // Project files carry GBK, as uploaded; a text written by hand may be UTF-8. The header
    // line tells them apart: its Chinese word differs in the two encodings.
    const std::string& utf8 = text.rfind("KVS配置", 0) == 0 ? text : WireToUtf8(text);
    if (!impl->model.ImportConfig(utf8, error)) return nullptr;
    uint8_t slot[3] = {0, 3, 0x53};
    T_GLOAT_SET rec{};
    impl->model.ConfigOperate(1, slot, nullptr, &rec);  // what the device loads at a restart
    impl->model.TakeUnsolicited();
    return std::unique_ptr<Device>(new Device(std::move(impl)));
}

LinkCallbacks Device::Callbacks(int* id_out) {
    DeviceImpl* d = impl_.get();
    // The link's id is reserved before the link exists, so that its receive thread can name it.
    int id = d->Attach(LinkSend());
    *id_out = id;
    return LinkCallbacks{[this, id](const uint8_t* msg, size_t n) { Receive(id, msg, n); },
                         [d] { return d->key_byte.load(); },
                         [d](const std::string& s) { d->Log(s); }};
}

bool Device::StartUdp(const std::string& address, uint16_t port, std::string* error) {
    DeviceImpl* d = impl_.get();
    if (d->udp) {
        if (error) *error = "UDP already started";
        return false;
    }
    int id = 0;
    auto link = std::make_shared<UdpLink>(Callbacks(&id));
    if (!link->Start(address, port, error)) {
        d->Detach(id);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(d->links_mu);
        d->links[id] = [link](const uint8_t* m, size_t n, bool corrupt) {
            link->Send(m, n, corrupt);
        };
    }
    d->udp = link;
    d->udp_link = id;
    d->StartWork();  // again, after a Stop()
    d->Log("UDP " + address + ":" + std::to_string(link->Port()));
    return true;
}

uint16_t Device::UdpPort() const { return impl_->udp ? impl_->udp->Port() : 0; }

std::string Device::StartPty(const std::string& link_path, std::string* error) {
    DeviceImpl* d = impl_.get();
    if (d->pty) {
        if (error) *error = "pty already started";
        return {};
    }
    int id = 0;
    auto link = std::make_shared<PtyLink>(Callbacks(&id), d->options.pty_baud);
    std::string path = link->Start(link_path, error);
    if (path.empty()) {
        d->Detach(id);
        return {};
    }
    {
        std::lock_guard<std::mutex> lock(d->links_mu);
        d->links[id] = [link](const uint8_t* m, size_t n, bool corrupt) {
            link->Send(m, n, corrupt);
        };
    }
    d->pty = link;
    d->pty_link = id;
    d->StartWork();
    d->Log("串口 " + path);
    return path;
}

void Device::Stop() { impl_->StopAll(); }

int Device::AttachLink(LinkSend send) { return impl_->Attach(std::move(send)); }

void Device::DetachLink(int link) { impl_->Detach(link); }

void Device::Broadcast(const uint8_t* msg, size_t n) {
    for (auto& send : impl_->Targets()) send(msg, n, false);
}

void Device::Receive(int link, const uint8_t* msg, size_t n) {
    DeviceImpl* d = impl_.get();
    std::vector<uint8_t> reply;
    reply.reserve(256);
    std::vector<Unsolicited> out;
    bool answered;
    {
        std::lock_guard<std::mutex> lock(d->mu);
        answered = d->handler.Handle(msg, n, &reply);
        d->model.CheckMonitors();
        out = d->model.TakeUnsolicited();
        d->UpdateKey();
    }
    if (d->Verbose()) {
        d->Log(RequestHandler::Describe(msg, n));
        if (answered) d->Log(RequestHandler::Describe(reply.data(), reply.size()));
    }
    if (answered) d->Deliver(link, std::move(reply));
    d->Broadcast(out);
}

bool Device::HandleRequest(const uint8_t* msg, size_t n, std::vector<uint8_t>* reply) {
    DeviceImpl* d = impl_.get();
    std::lock_guard<std::mutex> lock(d->mu);
    bool answered = d->handler.Handle(msg, n, reply);
    d->model.CheckMonitors();
    d->model.TakeUnsolicited();
    d->UpdateKey();
    return answered;
}

std::string Device::Key() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->model.Key();
}

std::vector<std::string> Device::ListComponents() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::vector<std::string> out = {impl_->model.Manager()->name};
    for (const Component* c : impl_->model.Instances()) out.push_back(c->name);
    return out;
}

std::vector<std::string> Device::ListTypes() const {
    std::vector<std::string> out;
    for (const auto& t : Model::Types()) out.push_back(t.name);
    return out;
}

std::vector<AttrInfo> Device::Attributes(const std::string& component) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::vector<AttrInfo> out;
    const Component* c = impl_->model.FindComponent(component);
    if (!c) return out;
    for (const auto& a : c->attrs)
        out.push_back({a.name, a.value, a.type, a.flags, a.role, a.options});
    return out;
}

bool Device::GetValue(const std::string& component, const std::string& attribute,
                      std::string* value) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->model.GetValue(component, attribute, value) == kOk;
}

bool Device::SetValue(const std::string& component, const std::string& attribute,
                      const std::string& value) {
    std::vector<Unsolicited> out;
    bool ok;
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        ok = impl_->model.SetValue(component, attribute, value) == kOk;
        impl_->model.CheckMonitors();
        out = impl_->model.TakeUnsolicited();
        impl_->UpdateKey();
    }
    impl_->Broadcast(out);
    return ok;
}

bool Device::SetLink(const std::string& component, const std::string& attribute,
                     const std::string& source) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->model.SetLink(component, attribute, source) == kOk;
}

std::string Device::GetLink(const std::string& component, const std::string& attribute) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::string s;
    impl_->model.GetLink(component, attribute, &s);
    return s;
}

std::string Device::AddComponent(const std::string& type) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::string name;
    return impl_->model.AddComponent(type, &name) == kOk ? name : std::string();
}

bool Device::DeleteComponent(const std::string& component) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->model.DeleteComponent(component) == kOk;
}

std::string Device::ExportConfig() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->model.ExportConfig();
}

bool Device::ImportConfig(const std::string& text, std::string* error) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->model.ImportConfig(text, error);
}

bool Device::Running() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->model.Running();
}

void Device::Step(int ticks) {
    for (int i = 0; i < ticks; ++i) {
        std::vector<Unsolicited> out;
        {
            std::lock_guard<std::mutex> lock(impl_->mu);
            if (impl_->model.Running() || impl_->model.Sampling())
                impl_->model.Tick(impl_->options.tick_ms * 1000);
            out = impl_->model.TakeUnsolicited();
        }
        impl_->Broadcast(out);
    }
}

void Device::Restart() {
    std::vector<Unsolicited> out;
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        impl_->model.Restart();
        out = impl_->model.TakeUnsolicited();
        impl_->UpdateKey();
    }
    impl_->Broadcast(out);
}

void Device::SetFaults(const Faults& faults) {
    std::lock_guard<std::mutex> lock(impl_->fault_mu);
    impl_->faults = faults;
}

Faults Device::GetFaults() const {
    std::lock_guard<std::mutex> lock(impl_->fault_mu);
    return impl_->faults;
}

void Device::SetLog(std::function<void(const std::string&)> log) {
    std::lock_guard<std::mutex> lock(impl_->log_mu);
    impl_->log = std::move(log);
}

}  // namespace devsim
