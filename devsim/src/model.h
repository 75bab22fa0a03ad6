// The controller's model: component types, instances with attributes and slots, links, the
// component manager with its flash, sampling and monitor attributes, the six configuration
// slots and the startup parameters, and the dataflow of the work loop.
//
// Texts are UTF-8. Not thread-safe: the Device serialises every call with its model lock.
//
// One class, defined along its concepts: model.cpp (components and requests), schema.cpp (types,
// attributes and slots), config_text.cpp, flash.cpp, startup.cpp (startup parameters, the six
// configuration slots, boot modes, restart), dataflow.cpp, sampling.cpp, monitors.cpp (monitor
// events and information lines) and demo.cpp.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "kvsh_user.h"
#include "script.h"

namespace devsim {

// Value types of attribute records.
enum ValueType : uint8_t {
    kText = 0,
    kInt = 1,
    kReal = 2,
    kEnum = 4,
    kBool = 5,
    kList = 6,
    kMemory = 7,
    kCommand = 10,
};
enum AttrFlag : uint8_t { kReadOnly = 1, kShapesBox = 2, kSlotFlag = 4 };
enum SlotRole : uint8_t { kPlain = 0, kReceive = 1, kSend = 3 };

// Status codes of replies.
enum Status : uint8_t { kOk = 0, kRefused = 1, kMalformed = 2, kInBoot = 3, kTooLarge = 4 };

struct Attr {
    std::string name;
    uint8_t type = kText;
    uint8_t flags = 0;
    uint8_t role = kPlain;
    bool persist = true;    // written into the configuration text
    bool declared = false;  // declared by a user script (replaced when the script changes)
    std::vector<std::string> options;
    std::string value;
    std::vector<uint8_t> mem;  // memory data (type kMemory)
    std::string link;          // receive slots: the source's full name "component:slot"
};

enum class Kind {
    kManager,
    kTypeNode,
    kTimer,
    kGenerator,
    kAnd,
    kOr,
    kXor,
    kNot,
    kCounter,
    kSwitch,
    kConstant,
    kExpression,
    kUser,
    kLink,
};

struct Component {
    std::string name;  // full name ("定时器-1"), or the type name for type nodes
    std::string type;
    int number = 0;
    Kind kind = Kind::kManager;
    std::string wire_name;  // the name in GBK, as replies carry it
    int32_t flag = 0;       // the type's icon flag
    std::vector<Attr> attrs;

    // Runtime state of the dataflow.
    double phase = 0;
    bool last_in = false;
    Formula formula;
    ScriptProgram program;
    std::vector<double> vars;

    Attr* Find(const std::string& attr);
    const Attr* Find(const std::string& attr) const;
};

struct TypeInfo {
    std::string name;
    Kind kind;
    int total;
    int flag;  // non-zero: the alternate icon in the component tree
};

// An unsolicited message waiting to be sent (texts UTF-8).
struct Unsolicited {
    uint8_t cmd = 0;
    std::vector<std::pair<int8_t, std::string>> lines;  // command 100: level and text
    std::string name, value;                            // command 20
};

struct FlashGeometry {
    int page = 0, image = 0, block = 0, blocks = 0;
    static bool Parse(const std::string& text, FlashGeometry* out);
};

class Model {
  public:
    Model();
    explicit Model(const std::string& flash_geometry);

    static const std::vector<TypeInfo>& Types();

    // --- configuration ----------------------------------------------------------------------
    void Clear();          // the empty configuration (manager and type nodes only)
    void LoadDemo();       // the demo configuration
    void LoadLargeDemo();  // 120 components and 120 links on a 1600 x 1200 diagram
    std::string ExportConfig() const;
    bool ImportConfig(const std::string& text, std::string* error);

    // --- lookup -----------------------------------------------------------------------------
    Component* FindComponent(const std::string& name);
    const Component* FindComponent(const std::string& name) const;
    const Component* Manager() const { return comps_.front().get(); }
    // Instances in creation order (manager and type nodes excluded).
    std::vector<const Component*> Instances() const;
    std::vector<const Component*> TypeNodes() const;

    // --- requests (status codes) -------------------------------------------------------------
    uint8_t SetValue(const std::string& comp, const std::string& attr, const std::string& value);
    uint8_t GetValue(const std::string& comp, const std::string& attr, std::string* value) const;
    uint8_t SetLink(const std::string& comp, const std::string& attr, const std::string& source);
    uint8_t GetLink(const std::string& comp, const std::string& attr, std::string* source) const;
    uint8_t ModifyList(const std::string& comp, const std::string& attr, int op, int index,
                       const std::string& text);
    uint8_t AddComponent(const std::string& type, std::string* name);
    uint8_t DeleteComponent(const std::string& name);
    uint8_t GetMem(const std::string& comp, const std::string& attr,
                   std::vector<uint8_t>* out) const;
    uint8_t SetMem(const std::string& comp, const std::string& attr, const uint8_t* data, size_t n);
    // Command 13. bytes[0..2] are request/reply bytes 9-11; rec in/out.
    uint8_t ConfigOperate(int op, uint8_t bytes[3], const T_GLOAT_SET* rec_in,
                          T_GLOAT_SET* rec_out);
    uint8_t Boot(int code);  // commands 51-54
    bool InBoot() const { return in_boot_; }

    // --- work loop --------------------------------------------------------------------------
    bool Running() const { return running_; }
    bool Sampling() const { return sampling_; }
    // One tick of dt_us microseconds: dataflow (while running), sampling, monitor checks.
    void Tick(int dt_us);
    void Restart();
    // Fires monitor events for the watched attributes that changed (after ticks and writes).
    void CheckMonitors();

    // The key frames must be salted with (the active startup parameters).
    std::string Key() const;
    void SetKey(const std::string& key);

    // Unsolicited messages produced since the last call.
    std::vector<Unsolicited> TakeUnsolicited();

    const std::vector<uint8_t>& Flash() const { return flash_; }

  private:
    Component* NewComponent(Kind kind, const std::string& type, int number);
    void AddInstanceAttrs(Component* c);
    uint8_t ApplyWrite(Component* c, Attr* a, const std::string& value);
    uint8_t RunCommand(Component* c, Attr* a);
    void InitFlash(const std::string& geometry_text);
    uint8_t RunFlashCommand(Component* manager, Attr* command);
    void RefreshTypeNodes();
    void Reindex();
    void SetExprInputs(Component* c, int n);
    void CompileUserScript(Component* c, const std::string& text);
    void RebuildSlots(Component* c, const std::vector<Attr>& receive, const std::vector<Attr>& send,
                      const std::vector<Attr>& plain);
    void DropLinksTo(const std::string& comp_name, const Component* still);
    void Compute(Component* c);
    double SlotNumber(const Component* c, const std::string& attr) const;
    void SetOutput(Component* c, const std::string& slot, double v);
    void SampleTick(int dt_us);
    void StartSampling();
    uint8_t SampleBits() const;
    void TakeSample(uint8_t bits);
    void FinishSampling();
    void SetRunning(bool on);
    void Info(int8_t level, const std::string& text);
    bool ImportInto(const std::string& text, std::string* error);
    // Links a send slot to a receive slot as the diagram editor does: a link component with
    // the initial route, its two slot names, then the receive slot's link.
    bool AddDiagramLink(const std::string& from_comp, const std::string& from_slot,
                        const std::string& to_comp, const std::string& to_slot);

    // Configuration (replaced as a whole by import and clear).
    std::vector<std::unique_ptr<Component>> comps_;  // [0] manager, then type nodes, then instances
    std::unordered_map<std::string, Component*> index_;
    std::map<std::string, int> next_number_;

    // Device state kept across configurations.
    bool running_ = false;
    bool in_boot_ = false;
    bool factory_mode_ = false;
    std::string key_;
    std::string factory_key_;       // the key restored by factory mode
    T_GLOAT_SET params_{};          // active startup parameters
    T_GLOAT_SET pending_params_{};  // written by operation 5, active after a restart
    uint8_t boot_bytes_[3] = {0, 3, 0x53};
    uint8_t pending_bytes_[3] = {0, 3, 0x53};
    std::string slots_[6];  // stored configurations ("" = empty)
    FlashGeometry geometry_;
    std::string geometry_text_;
    std::vector<uint8_t> flash_;

    // Sampling.
    bool sampling_ = false;
    std::vector<std::string> sample_points_;
    std::vector<uint8_t> samples_;  // one byte per sample, bit k = channel k
    size_t pretrigger_ = 0;
    bool triggered_ = false;
    int last_trigger_bit_ = -1;
    double sample_acc_us_ = 0;
    size_t depth_ = 2048;

    // Monitor table state: last value seen per entry.
    std::string monitor_table_seen_;
    std::vector<std::string> monitor_last_;
    std::vector<Unsolicited> out_;
    int64_t time_us_ = 0;
};

}  // namespace devsim
