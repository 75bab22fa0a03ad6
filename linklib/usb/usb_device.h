// The USB device layer: CUsbDriverDevice opens one controller through the driver seam, reads
// its descriptors and builds one endpoint object per endpoint of the selected interface; the
// endpoint classes carry transfers in the begin / wait / finish style the transport uses.
//
// Device indexes are positions among the attached devices with vendor 0x04B4, in the driver's
// enumeration order (so another Cypress-based device counts as an index but is not listed as a
// controller).
//
// Threading: a CUsbDriverDevice and its endpoints may be used from several threads for
// transfers (each transfer has its own UsbXfer), but Open/Close must not run concurrently with
// anything else on the same object; CKVSH_USB guards that with its own lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "usb_driver.h"

namespace kvs::usb {

constexpr uint16_t kCypressVendor = 0x04B4;

// Endpoint types as in the descriptor's attributes (bits 0-1).
enum : uint8_t { kEpControl = 0, kEpIsochronous = 1, kEpBulk = 2, kEpInterrupt = 3 };

struct EndpointDescriptor {
    uint8_t address = 0;
    uint8_t attributes = 0;
    uint16_t max_packet = 0;  // the raw wMaxPacketSize
    uint8_t interval = 0;
};

}  // namespace kvs::usb

// Base of the endpoint classes. Status words: UsbdStatus and NtStatus are both 0 after a
// transfer that succeeded; otherwise they tell how it ended (XferStatus value in UsbdStatus,
// 0xC0000001 in NtStatus) and LastError holds a negative code.
class CCyUSBEndPoint {
  public:
    CCyUSBEndPoint(kvs::usb::UsbDeviceIo* io, const kvs::usb::EndpointDescriptor& d);
    virtual ~CCyUSBEndPoint() = default;
    CCyUSBEndPoint(const CCyUSBEndPoint&) = delete;
    CCyUSBEndPoint& operator=(const CCyUSBEndPoint&) = delete;

    // Starts a transfer of len bytes of buf with ov as its completion record.
    virtual bool BeginBufferedXfer(uint8_t* buf, size_t len, kvs::usb::UsbXfer* ov);
    virtual bool BeginDirectXfer(uint8_t* buf, size_t len, kvs::usb::UsbXfer* ov);
    virtual bool BeginDataXfer(uint8_t* buf, size_t len, kvs::usb::UsbXfer* ov) = 0;
    // Ends a transfer: a transfer still pending is cancelled and waited for first, so that buf
    // and ov may be released afterwards. Sets *len to the bytes moved; true when the transfer
    // succeeded (both status words 0).
    virtual bool FinishDataXfer(uint8_t* buf, size_t* len, kvs::usb::UsbXfer* ov);

    // True when ov has completed within ms milliseconds.
    bool WaitForXfer(kvs::usb::UsbXfer* ov, unsigned ms);
    // Cancels every pending transfer of this endpoint.
    bool Abort();
    // Clears the endpoint's halt condition.
    bool Reset();
    // The largest transfer this endpoint starts: size rounded up to a multiple of the max
    // packet size. Longer transfers are refused by BeginDataXfer.
    bool SetXferSize(size_t size);
    size_t GetXferSize() const { return xfer_size_; }

    const uint8_t Address;
    const uint8_t Attributes;
    // Low 11 bits of wMaxPacketSize times (1 + the additional transactions of bits 11-12).
    const uint16_t MaxPktSize;
    const uint8_t Interval;
    const bool bIn;
    unsigned TimeOut = 10000;
    // Written by whichever thread finished the last transfer (sends run concurrently).
    std::atomic<uint32_t> UsbdStatus{0};
    std::atomic<uint32_t> NtStatus{0};
    std::atomic<int> LastError{0};

  protected:
    kvs::usb::UsbDeviceIo* io_;
    size_t xfer_size_ = 0;  // 0 = no limit of our own
};

// Endpoint 0. Requests are synchronous; set the request fields, then Read or Write.
class CCyControlEndPoint : public CCyUSBEndPoint {
  public:
    enum TargetKind : uint8_t { TGT_DEVICE = 0, TGT_INTFC = 1, TGT_ENDPT = 2, TGT_OTHER = 3 };
    enum RequestKind : uint8_t { REQ_STD = 0, REQ_CLASS = 1, REQ_VENDOR = 2 };
    enum DirectionKind : uint8_t { DIR_TO_DEVICE = 0, DIR_FROM_DEVICE = 1 };

    CCyControlEndPoint(kvs::usb::UsbDeviceIo* io, uint16_t max_packet);

    // Carries out the request synchronously and completes ov at once.
    bool BeginDataXfer(uint8_t* buf, size_t len, kvs::usb::UsbXfer* ov) override;
    bool Read(uint8_t* buf, size_t* len);
    bool Write(uint8_t* buf, size_t* len);

    TargetKind Target = TGT_DEVICE;
    RequestKind ReqType = REQ_STD;
    DirectionKind Direction = DIR_FROM_DEVICE;
    uint8_t ReqCode = 0;
    uint16_t Value = 0;
    uint16_t Index = 0;

  private:
    int Transfer(uint8_t* buf, size_t len);
};

class CCyBulkEndPoint : public CCyUSBEndPoint {
  public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
    bool BeginDataXfer(uint8_t* buf, size_t len, kvs::usb::UsbXfer* ov) override {
        return BeginBufferedXfer(buf, len, ov);
    }
};

class CCyInterruptEndPoint : public CCyUSBEndPoint {
  public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
    bool BeginDataXfer(uint8_t* buf, size_t len, kvs::usb::UsbXfer* ov) override {
        return BeginBufferedXfer(buf, len, ov);
    }
};

// Isochronous transfers (with their per-packet records) are not carried by the driver seam;
// the endpoint is listed so that the interface is described fully, and refuses transfers.
class CCyIsocEndPoint : public CCyUSBEndPoint {
  public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
    bool BeginDataXfer(uint8_t* buf, size_t len, kvs::usb::UsbXfer* ov) override;
};

class CUsbDriverDevice {
  public:
    // Uses the process's active driver when driver is null. Opens nothing yet.
    explicit CUsbDriverDevice(std::shared_ptr<kvs::usb::UsbDriver> driver = nullptr);
    ~CUsbDriverDevice();
    CUsbDriverDevice(const CUsbDriverDevice&) = delete;
    CUsbDriverDevice& operator=(const CUsbDriverDevice&) = delete;

    // Number of attached devices with vendor 0x04B4.
    int DeviceCount();
    // Opens the device at index (closing the one open before): reads the device, string and
    // configuration descriptors, takes the first configuration's first interface and builds
    // its endpoints behind the control endpoint. False when there is no such device or it
    // cannot be opened or described.
    bool Open(int index);
    void Close();
    bool IsOpen() const { return io_ != nullptr; }

    uint16_t VendorID = 0;
    uint16_t ProductID = 0;
    uint16_t BcdDevice = 0;
    std::string Manufacturer, Product, SerialNumber;
    uint8_t InterfaceNumber = 0;
    uint8_t AltSetting = 0;

    int EndPointCount() const { return static_cast<int>(endpoints_.size()); }
    // Endpoint i of the selected interface; 0 is the control endpoint.
    CCyUSBEndPoint* EndPoint(int i) const {
        return i >= 0 && i < EndPointCount() ? endpoints_[static_cast<size_t>(i)].get() : nullptr;
    }
    CCyControlEndPoint* ControlEndPt() const;

  private:
    bool ReadDescriptors();
    std::string ReadString(uint8_t index, uint16_t lang);

    std::shared_ptr<kvs::usb::UsbDriver> driver_;
    std::unique_ptr<kvs::usb::UsbDeviceIo> io_;
    std::vector<std::unique_ptr<CCyUSBEndPoint>> endpoints_;
};

namespace kvs::usb {
// Walks a configuration descriptor (untrusted bytes): the endpoints of the first interface
// descriptor with alternate setting 0. False when the descriptor is malformed or has no
// interface. Exposed for tests.
bool ParseFirstInterface(const uint8_t* config, size_t n, uint8_t* interface_number,
                         uint8_t* alternate, std::vector<EndpointDescriptor>* endpoints);
}  // namespace kvs::usb
