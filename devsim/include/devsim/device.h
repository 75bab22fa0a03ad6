// The simulated controller: an in-process device that speaks the controller's protocol.
//
// A Device holds a configuration (component types, instances, attributes, slots, links), runs
// its dataflow work loop while "组件管理器.运行状态" is "true", and answers requests arriving on
// any attached link: UDP, a pseudo terminal, or a link that another module attaches (the
// simulated USB driver) through AttachLink()/Receive().
//
// Texts: every std::string in this API is UTF-8; the device converts to GBK at its wire
// boundary. Names follow the device's own convention: a component's full name is its type
// name, "-" and its instance number ("定时器-1").
//
// Threading: every public member may be called from any thread at any time. The model is
// guarded by one internal mutex; transports and the work loop run on threads owned by the
// Device and are stopped by Stop() or by the destructor. Callbacks given to the Device (link
// senders, the log sink) are called on those internal threads, never while the model lock is
// held, and must not call Stop().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace devsim {

// Faults that the device injects into what it sends. Probabilities are 0..1 and apply to each
// reply independently; delays apply to every reply.
struct Faults {
    double drop = 0;       // a reply is never sent
    int delay_ms = 0;      // every reply leaves this much later
    double duplicate = 0;  // a reply is sent twice
    double corrupt = 0;    // a reply's frame check (checksum / word sum) is spoiled
    double junk = 0;       // an unsolicited message of an unknown code precedes the reply
    double malformed = 0;  // a reply's records are cut or hold sizes that run past the end
    bool silent = false;   // no reply at all (the device has stopped answering)

    // Parses "drop=0.5,delay=200,dup=0.1,corrupt=0.1,junk=0.2,malformed=0.3,silent".
    // Returns false (and leaves *out untouched) for an unknown name or a bad number.
    static bool Parse(const std::string& text, Faults* out, std::string* error = nullptr);
};

struct Options {
    std::string key = "62719405";  // the access key of the startup parameters
    std::string flash_geometry = "P=100,C=20000,B=1000,N=20,";
    int tick_ms = 10;          // period of the work loop
    bool work_thread = true;   // tick on a thread; false: only Step() advances time
    uint64_t random_seed = 1;  // faults draw from this seed (reproducible runs)
    // The pseudo terminal sends and reads at this rate, ten bits per byte, as a serial line of
    // that baud would carry them; 0: as fast as the pseudo terminal goes.
    int pty_baud = 0;
};

// One attribute as the device reports it.
struct AttrInfo {
    std::string name;
    std::string value;
    int type = 0;                      // 4 enumeration, 5 boolean, 10 command, other free text
    int flags = 0;                     // bit 0 read-only, bit 1 shapes the box, bit 2 per-slot flag
    int role = 0;                      // 1 receive slot, 3 send slot, 0 plain attribute
    std::vector<std::string> options;  // enumeration options
};

class DeviceImpl;
struct LinkCallbacks;

class Device {
  public:
    // An empty configuration: the component manager and the catalogue of types, no instances.
    static std::unique_ptr<Device> CreateEmpty(const Options& options = {});
    // The demo configuration: a few linked components laid out as a diagram.
    static std::unique_ptr<Device> CreateDemo(const Options& options = {});
    // A large demo for measuring: 120 components in 12 columns of 10 on a 1600 x 1200 diagram
    // and 120 links between neighbouring columns.
    static std::unique_ptr<Device> CreateLargeDemo(const Options& options = {});
    // A configuration from a .kvs text (the text commands 14/15 carry, GBK or UTF-8).
    // Returns nullptr and sets *error for a malformed text.
    static std::unique_ptr<Device> CreateFromText(const std::string& text,
                                                  const Options& options = {},
                                                  std::string* error = nullptr);

    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // --- transports -------------------------------------------------------------------------
    // Answers UDP datagrams on address:port (to the peer that asked). Port 0 picks a free port;
    // UdpPort() tells which. False with *error when the socket cannot be bound.
    bool StartUdp(const std::string& address = "127.0.0.1", uint16_t port = 30001,
                  std::string* error = nullptr);
    uint16_t UdpPort() const;
    // Opens a pseudo terminal and answers on it; returns the slave path ("" and *error on
    // failure). With a non-empty link_path a symbolic link to the slave is kept there (and
    // removed by Stop()).
    std::string StartPty(const std::string& link_path = "", std::string* error = nullptr);
    // Stops the transports and the work loop (links attached with AttachLink stay attached).
    // StartUdp/StartPty may be called again afterwards and restart the work loop.
    void Stop();

    // --- the seam for further links (the simulated USB driver) ------------------------------
    // send: called with one whole message (head + payload) to deliver to that link's peer,
    // and corrupt = true when a fault asks the link to spoil its frame check.
    using LinkSend = std::function<void(const uint8_t* msg, size_t n, bool corrupt)>;
    // Returns a link id (> 0). Unsolicited messages (monitor events, info lines) go to every
    // attached link, replies to the link that asked.
    int AttachLink(LinkSend send);
    void DetachLink(int link);
    // Sends one unsolicited message (head + payload) on every attached link, as the device does
    // with its monitor events and information lines (nothing while the silent fault holds).
    void Broadcast(const uint8_t* msg, size_t n);
    // Hands one received message (already unframed and checked by the link) to the device;
    // the reply (after faults) goes to the link's send function, possibly later (delay fault).
    void Receive(int link, const uint8_t* msg, size_t n);

    // Answers one request without faults and without any transport: fills *reply with the
    // whole reply message. Returns false when the request gets no reply (too short, unknown
    // code, a reply itself). For tests, benchmarks and fuzzing.
    bool HandleRequest(const uint8_t* msg, size_t n, std::vector<uint8_t>* reply);

    // The key that frames from the peer must be salted with (the startup parameters' key).
    std::string Key() const;

    // --- the model ----------------------------------------------------------------------------
    // "组件管理器" first, then the full names of all instances in creation order.
    std::vector<std::string> ListComponents() const;
    // Names of the component types.
    std::vector<std::string> ListTypes() const;
    std::vector<AttrInfo> Attributes(const std::string& component) const;
    // False when the component or attribute does not exist.
    bool GetValue(const std::string& component, const std::string& attribute,
                  std::string* value) const;
    // Writes as command 7 does (read-only attributes refused, commands carried out, side
    // effects applied). False when refused.
    bool SetValue(const std::string& component, const std::string& attribute,
                  const std::string& value);
    // Links a receive slot to a send slot's full name ("" removes the link).
    bool SetLink(const std::string& component, const std::string& attribute,
                 const std::string& source);
    std::string GetLink(const std::string& component, const std::string& attribute) const;
    // Creates an instance of a type; returns its full name or "" when refused.
    std::string AddComponent(const std::string& type);
    bool DeleteComponent(const std::string& component);

    // The whole configuration as the .kvs text (UTF-8); ImportConfig replaces the running
    // configuration, or leaves it unchanged and returns false for a malformed text.
    std::string ExportConfig() const;
    bool ImportConfig(const std::string& text, std::string* error = nullptr);

    // Is the work loop running ("运行状态" = "true")?
    bool Running() const;
    // Runs n work-loop ticks of tick_ms at once (tests step the dataflow without waiting on
    // time; best with work_thread = false).
    void Step(int ticks = 1);
    // Carries out what a write of "true" to "重新启动" does.
    void Restart();

    // --- faults and log --------------------------------------------------------------------
    void SetFaults(const Faults& faults);
    Faults GetFaults() const;
    // Receives one line per request and reply (and per notable event) when set.
    void SetLog(std::function<void(const std::string& line)> log);

  private:
    explicit Device(std::unique_ptr<DeviceImpl> impl);
    LinkCallbacks Callbacks(int* id_out);
    std::unique_ptr<DeviceImpl> impl_;
};

}  // namespace devsim
