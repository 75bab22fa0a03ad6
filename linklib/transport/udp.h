// CHWComm_Udp: a connection to the controller over UDP datagrams, from local port 30000 to the
// controller's port 30001.
//
// Frames longer than 1200 bytes leave in pieces of at most 1200 bytes with a 10 ms pause after
// each piece but the last; a per-connection send lock keeps the pieces of two frames from
// interleaving. A receive thread waits on the socket and a wake-up descriptor (so teardown
// never waits out a poll period), reassembles frames and hands whole messages to RecvMsg.
//
// Threading: Open and the destructor run on the owning thread, with no request in progress.
// SendMsg/SendFrame may be called from any thread (serialised by the send lock). The receive
// thread alone touches the reassembly state.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "basecomm.h"
#include "event.h"
#include "frame.h"
#include "udp_os.h"

class CHWComm_Udp : public CKVSH_BaseComm, private kvs::FrameListener {
  public:
    static constexpr uint16_t kLocalPort = 30000;
    static constexpr uint16_t kRemotePort = 30001;
    static constexpr unsigned kReceiveWaitMs = 200;
    static constexpr unsigned kPieceSize = 1200;
    static constexpr unsigned kPiecePauseMs = 10;
    static constexpr unsigned kSettleMs = 200;
    static constexpr unsigned kStopWaitMs = 1000;
    static constexpr int kDrainLimit = 16;

    CHWComm_Udp();
    ~CHWComm_Udp() override;

    // Opens the socket to a.b.c.d (first byte = first number) and starts the receive thread.
    // On failure the reason has been logged and no socket or thread is left.
    bool Open(uint8_t a, uint8_t b, uint8_t c, uint8_t d);
    // Frames msg and sends it in pieces; false when any piece could not be sent.
    bool SendMsg(const uint8_t* msg, int length) override;
    // Sends raw bytes as one datagram to the controller.
    virtual bool SendFrame(const uint8_t* data, int length);
    // Stops the receive thread and closes the socket; safe to call twice.
    void Disconnect();

    // How long Open waits after starting the receive thread (tests shorten it).
    void SetSettleMs(unsigned ms) { settle_ms_ = ms; }

  private:
    void OnFrameMessage(const uint8_t* msg, size_t n) override;
    void OnFrameError(kvs::FrameError error, unsigned a, unsigned b) override;
    void ReceiveLoop();
    bool SendFrameLocked(const uint8_t* data, size_t length);

    // The UDP transport has no port name of its own; frame reports print this.
    char name_[64] = "CHWComm_Udp";
    kvs::UdpSocket* socket_ = nullptr;
    std::thread thread_;
    kvs::Event thread_done_{true};  // set by the receive thread as it ends
    kvs::UdpReassembler reassembler_;
    std::unique_ptr<uint8_t[]> rx_;  // one datagram, receive thread only
    std::mutex send_mu_;             // guards tx_ and the order of pieces on the socket
    std::unique_ptr<uint8_t[]> tx_;  // the frame being sent
    unsigned settle_ms_ = kSettleMs;
};
