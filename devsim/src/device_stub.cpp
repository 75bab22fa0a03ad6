// Placeholder body of the Device API so that its users can build while the model is written.
#include "devsim/device.h"

namespace devsim {

class DeviceImpl {
public:
    Options options;
    Faults faults;
};

bool Faults::Parse(const std::string&, Faults*, std::string* error) {
    if (error) *error = "not available yet";
    return false;
}

Device::Device(std::unique_ptr<DeviceImpl> impl) : impl_(std::move(impl)) {}
Device::~Device() = default;

std::unique_ptr<Device> Device::CreateEmpty(const Options& options) {
    auto impl = std::make_unique<DeviceImpl>();
    impl->options = options;
    return std::unique_ptr<Device>(new Device(std::move(impl)));
}
std::unique_ptr<Device> Device::CreateDemo(const Options& options) { return CreateEmpty(options); }
std::unique_ptr<Device> Device::CreateFromText(const std::string&, const Options& options, std::string*) {
    return CreateEmpty(options);
}
bool Device::StartUdp(const std::string&, uint16_t, std::string* error) {
    if (error) *error = "not available yet";
    return false;
}
uint16_t Device::UdpPort() const { return 0; }
std::string Device::StartPty(const std::string&, std::string* error) {
    if (error) *error = "not available yet";
    return {};
}
void Device::Stop() {}
int Device::AttachLink(LinkSend) { return 1; }
void Device::DetachLink(int) {}
void Device::Receive(int, const uint8_t*, size_t) {}
bool Device::HandleRequest(const uint8_t*, size_t, std::vector<uint8_t>*) { return false; }
std::string Device::Key() const { return impl_->options.key; }
std::vector<std::string> Device::ListComponents() const { return {"组件管理器-1"}; }
std::vector<std::string> Device::ListTypes() const { return {}; }
std::vector<AttrInfo> Device::Attributes(const std::string&) const { return {}; }
bool Device::GetValue(const std::string&, const std::string&, std::string*) const { return false; }
bool Device::SetValue(const std::string&, const std::string&, const std::string&) { return false; }
bool Device::SetLink(const std::string&, const std::string&, const std::string&) { return false; }
std::string Device::GetLink(const std::string&, const std::string&) const { return {}; }
std::string Device::AddComponent(const std::string&) { return {}; }
bool Device::DeleteComponent(const std::string&) { return false; }
std::string Device::ExportConfig() const { return {}; }
bool Device::ImportConfig(const std::string&, std::string*) { return false; }
bool Device::Running() const { return false; }
void Device::Step(int) {}
void Device::SetFaults(const Faults& faults) { impl_->faults = faults; }
Faults Device::GetFaults() const { return impl_->faults; }
void Device::SetLog(std::function<void(const std::string&)>) {}

}  // namespace devsim
