#include "usb_device.h"

#include <algorithm>

using kvs::usb::EndpointDescriptor;
using kvs::usb::UsbXfer;
using kvs::usb::XferStatus;

namespace {
constexpr uint32_t kNtFailure = 0xC0000001;
constexpr unsigned kDescriptorTimeoutMs = 1000;

uint16_t EffectiveMaxPacket(uint16_t raw) {
    return static_cast<uint16_t>((raw & 0x7FF) * (1 + ((raw >> 11) & 3)));
}
}  // namespace

// --- endpoints ------------------------------------------------------------------------------

CCyUSBEndPoint::CCyUSBEndPoint(kvs::usb::UsbDeviceIo* io, const EndpointDescriptor& d)
    : Address(d.address),
      Attributes(d.attributes),
      MaxPktSize(EffectiveMaxPacket(d.max_packet)),
      Interval(d.interval),
      bIn((d.address & 0x80) != 0),
      io_(io) {}

bool CCyUSBEndPoint::BeginBufferedXfer(uint8_t* buf, size_t len, UsbXfer* ov) {
    if (!ov || (!buf && len) || (xfer_size_ && len > xfer_size_)) {
        LastError = -1;
        return false;
    }
    ov->endpoint = Address;
    ov->interrupt = (Attributes & 3) == kvs::usb::kEpInterrupt;
    ov->buffer = buf;
    ov->length = len;
    if (!io_->Submit(ov)) {
        LastError = -2;
        UsbdStatus = static_cast<uint32_t>(XferStatus::kNoDevice);
        NtStatus = kNtFailure;
        return false;
    }
    return true;
}

bool CCyUSBEndPoint::BeginDirectXfer(uint8_t* buf, size_t len, UsbXfer* ov) {
    // The drivers transfer straight from the caller's buffer either way.
    return BeginBufferedXfer(buf, len, ov);
}

bool CCyUSBEndPoint::WaitForXfer(UsbXfer* ov, unsigned ms) { return ov->WaitCompleted(ms); }

bool CCyUSBEndPoint::FinishDataXfer(uint8_t*, size_t* len, UsbXfer* ov) {
    if (ov->Pending()) {
        io_->Cancel(ov);
        ov->WaitCompleted();
    }
    const XferStatus st = ov->status();
    if (len) *len = st == XferStatus::kDone ? ov->actual() : 0;
    if (st == XferStatus::kDone) {
        UsbdStatus = 0;
        NtStatus = 0;
        LastError = 0;
        return true;
    }
    UsbdStatus = static_cast<uint32_t>(st);
    NtStatus = kNtFailure;
    LastError = -3;
    return false;
}

bool CCyUSBEndPoint::Abort() { return io_->AbortPipe(Address); }

bool CCyUSBEndPoint::Reset() { return io_->ResetPipe(Address); }

bool CCyUSBEndPoint::SetXferSize(size_t size) {
    const size_t packet = MaxPktSize ? MaxPktSize : 1;
    xfer_size_ = (size + packet - 1) / packet * packet;
    return true;
}

CCyControlEndPoint::CCyControlEndPoint(kvs::usb::UsbDeviceIo* io, uint16_t max_packet)
    : CCyUSBEndPoint(io, EndpointDescriptor{0, kvs::usb::kEpControl, max_packet, 0}) {}

int CCyControlEndPoint::Transfer(uint8_t* buf, size_t len) {
    if (len > 0xFFFF) return -1;
    const uint8_t type = static_cast<uint8_t>((Direction << 7) | (ReqType << 5) | Target);
    return io_->Control(type, ReqCode, Value, Index, buf, static_cast<uint16_t>(len), TimeOut);
}

bool CCyControlEndPoint::BeginDataXfer(uint8_t* buf, size_t len, UsbXfer* ov) {
    if (!ov) return false;
    ov->Arm();
    const int n = Transfer(buf, len);
    ov->Complete(n < 0 ? XferStatus::kError : XferStatus::kDone,
                 n < 0 ? 0 : static_cast<size_t>(n));
    return true;
}

bool CCyControlEndPoint::Read(uint8_t* buf, size_t* len) {
    Direction = DIR_FROM_DEVICE;
    const int n = Transfer(buf, *len);
    *len = n < 0 ? 0 : static_cast<size_t>(n);
    return n >= 0;
}

bool CCyControlEndPoint::Write(uint8_t* buf, size_t* len) {
    Direction = DIR_TO_DEVICE;
    const int n = Transfer(buf, *len);
    *len = n < 0 ? 0 : static_cast<size_t>(n);
    return n >= 0;
}

bool CCyIsocEndPoint::BeginDataXfer(uint8_t*, size_t, UsbXfer*) {
    LastError = -1;
    return false;
}

// --- descriptors ------------------------------------------------------------------------------

namespace kvs::usb {

bool ParseFirstInterface(const uint8_t* config, size_t n, uint8_t* interface_number,
                         uint8_t* alternate, std::vector<EndpointDescriptor>* endpoints) {
    if (n < 9 || config[0] < 9 || config[1] != 2) return false;
    const size_t total = std::min<size_t>(n, static_cast<size_t>(config[2] | config[3] << 8));
    bool in_interface = false;
    bool found = false;
    endpoints->clear();
    for (size_t pos = config[0]; pos + 2 <= total;) {
        const uint8_t len = config[pos];
        const uint8_t type = config[pos + 1];
        if (len < 2 || pos + len > total) return false;  // a length that runs off the end
        if (type == 4 && len >= 9) {
            if (found) break;  // the next interface (or alternate setting) ends the first
            if (config[pos + 3] == 0) {
                *interface_number = config[pos + 2];
                *alternate = config[pos + 3];
                in_interface = found = true;
            }
        } else if (type == 5 && len >= 7 && in_interface) {
            endpoints->push_back({config[pos + 2], config[pos + 3],
                                  static_cast<uint16_t>(config[pos + 4] | config[pos + 5] << 8),
                                  config[pos + 6]});
        }
        pos += len;
    }
    return found;
}

}  // namespace kvs::usb

// --- the device -------------------------------------------------------------------------------

CUsbDriverDevice::CUsbDriverDevice(std::shared_ptr<kvs::usb::UsbDriver> driver)
    : driver_(driver ? std::move(driver) : kvs::usb::ActiveUsbDriver()) {}

CUsbDriverDevice::~CUsbDriverDevice() { Close(); }

int CUsbDriverDevice::DeviceCount() {
    const auto ids = driver_->Enumerate();
    return static_cast<int>(std::count_if(
        ids.begin(), ids.end(),
        [](const kvs::usb::UsbDeviceId& id) { return id.vendor == kvs::usb::kCypressVendor; }));
}

void CUsbDriverDevice::Close() {
    endpoints_.clear();
    io_.reset();  // cancels and waits out what is still pending
    VendorID = ProductID = BcdDevice = 0;
    Manufacturer.clear();
    Product.clear();
    SerialNumber.clear();
}

bool CUsbDriverDevice::Open(int index) {
    Close();
    if (index < 0) return false;
    const auto ids = driver_->Enumerate();
    int seen = 0;
    size_t position = ids.size();
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i].vendor != kvs::usb::kCypressVendor) continue;
        if (seen++ == index) {
            position = i;
            break;
        }
    }
    if (position == ids.size()) return false;
    io_ = driver_->Open(position);
    if (!io_ || !ReadDescriptors()) {
        Close();
        return false;
    }
    return true;
}

std::string CUsbDriverDevice::ReadString(uint8_t index, uint16_t lang) {
    if (!index) return {};
    uint8_t buf[255];
    const int n = io_->Control(0x80, 6, static_cast<uint16_t>(0x0300 | index), lang, buf,
                               sizeof buf, kDescriptorTimeoutMs);
    if (n < 2 || buf[1] != 3) return {};
    std::string s;
    const size_t end = std::min<size_t>(static_cast<size_t>(n), buf[0]);
    for (size_t i = 2; i + 1 < end; i += 2) {
        const uint16_t c = static_cast<uint16_t>(buf[i] | buf[i + 1] << 8);
        s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return s;
}

bool CUsbDriverDevice::ReadDescriptors() {
    uint8_t dev[18];
    if (io_->Control(0x80, 6, 0x0100, 0, dev, sizeof dev, kDescriptorTimeoutMs) != 18 ||
        dev[0] != 18 || dev[1] != 1)
        return false;
    VendorID = static_cast<uint16_t>(dev[8] | dev[9] << 8);
    ProductID = static_cast<uint16_t>(dev[10] | dev[11] << 8);
    BcdDevice = static_cast<uint16_t>(dev[12] | dev[13] << 8);
    const uint16_t ep0_packet = dev[7];

    uint8_t langs[4];
    uint16_t lang = 0x0409;
    if (io_->Control(0x80, 6, 0x0300, 0, langs, sizeof langs, kDescriptorTimeoutMs) == 4 &&
        langs[1] == 3)
        lang = static_cast<uint16_t>(langs[2] | langs[3] << 8);
    if (dev[14] || dev[15] || dev[16]) {
        Manufacturer = ReadString(dev[14], lang);
        Product = ReadString(dev[15], lang);
        SerialNumber = ReadString(dev[16], lang);
    }

    // The first configuration: its head tells the total length, then the whole of it.
    uint8_t head[9];
    if (dev[17] == 0 ||
        io_->Control(0x80, 6, 0x0200, 0, head, sizeof head, kDescriptorTimeoutMs) != 9)
        return false;
    const uint16_t total = static_cast<uint16_t>(head[2] | head[3] << 8);
    if (total < 9) return false;
    std::vector<uint8_t> config(total);
    const int got = io_->Control(0x80, 6, 0x0200, 0, config.data(), total, kDescriptorTimeoutMs);
    if (got < 9) return false;

    std::vector<EndpointDescriptor> eps;
    if (!kvs::usb::ParseFirstInterface(config.data(), static_cast<size_t>(got), &InterfaceNumber,
                                       &AltSetting, &eps))
        return false;
    if (!io_->ClaimInterface(InterfaceNumber, AltSetting)) return false;

    endpoints_.push_back(std::make_unique<CCyControlEndPoint>(io_.get(), ep0_packet));
    for (const EndpointDescriptor& d : eps) {
        switch (d.attributes & 3) {
            case kvs::usb::kEpBulk:
                endpoints_.push_back(std::make_unique<CCyBulkEndPoint>(io_.get(), d));
                break;
            case kvs::usb::kEpInterrupt:
                endpoints_.push_back(std::make_unique<CCyInterruptEndPoint>(io_.get(), d));
                break;
            case kvs::usb::kEpIsochronous:
                endpoints_.push_back(std::make_unique<CCyIsocEndPoint>(io_.get(), d));
                break;
            default:
                break;  // a control endpoint other than 0 is not used
        }
    }
    return true;
}

CCyControlEndPoint* CUsbDriverDevice::ControlEndPt() const {
    return endpoints_.empty() ? nullptr : static_cast<CCyControlEndPoint*>(endpoints_[0].get());
}
