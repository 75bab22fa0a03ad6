#include "link_flash_device.h"

#include "gbk.h"

namespace kvs::fw {

CLinkFlashDevice::CLinkFlashDevice(KVS_HANDLE handle)
    : m_handle(handle), m_component(Utf8ToGbk(std::string(kComponentManager))) {}

const char* CLinkFlashDevice::Wire(const char* utf8) {
    auto it = m_names.find(utf8);
    if (it == m_names.end()) it = m_names.emplace(utf8, Utf8ToGbk(std::string(utf8))).first;
    return it->second.c_str();
}

std::optional<std::string> CLinkFlashDevice::GetAttr(const char* attribute) {
    const char* v = m_handle ? mKVS_GetAttrVal(m_handle, m_component.c_str(), Wire(attribute))
                             : KVS_GetAttrVal(m_component.c_str(), Wire(attribute));
    if (!v) return std::nullopt;
    return std::string(v);
}

bool CLinkFlashDevice::SetAttr(const char* attribute, const std::string& value) {
    return m_handle
               ? mKVS_SetAttributeVal(m_handle, m_component.c_str(), Wire(attribute), value.c_str(),
                                      true)
               : KVS_SetAttributeVal(m_component.c_str(), Wire(attribute), value.c_str(), true);
}

std::optional<std::vector<uint8_t>> CLinkFlashDevice::GetMemData(const char* attribute) {
    int length = 0;
    const unsigned char* p =
        m_handle ? mKVS_GetAttrMemData(m_handle, m_component.c_str(), Wire(attribute), &length)
                 : KVS_GetAttrMemData(m_component.c_str(), Wire(attribute), &length);
    if (!p || length < 0) return std::nullopt;
    return std::vector<uint8_t>(p, p + length);
}

bool CLinkFlashDevice::SetMemData(const char* attribute, std::span<const uint8_t> data) {
    const int count = static_cast<int>(data.size());
    return m_handle ? mKVS_SetAttrMemData(m_handle, m_component.c_str(), Wire(attribute),
                                          data.data(), count)
                    : KVS_SetAttrMemData(m_component.c_str(), Wire(attribute), data.data(), count);
}

FlashFailure CLinkFlashDevice::LastFailure() const {
    const int result =
        m_handle ? mKVS_GetLastResult(m_handle, nullptr) : KVS_GetLastResult(nullptr);
    return result == KVS_RESULT_NO_ANSWER ? FlashFailure::NoAnswer : FlashFailure::Refused;
}

}  // namespace kvs::fw
