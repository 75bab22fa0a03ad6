// The device's request handler: one request message in, one reply message out, over a Model.
// Checks every length and text of the request; never reads past the message it was given.
// Not thread-safe (the Device holds its model lock around Handle).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model.h"

namespace devsim {

class RequestHandler {
  public:
    explicit RequestHandler(Model* model) : model_(model) {}

    // Fills *reply with the whole reply message. False when the message gets no reply: shorter
    // than a head, or itself a reply or unsolicited message (bit 7 of its code set).
    bool Handle(const uint8_t* msg, size_t n, std::vector<uint8_t>* reply);

    // The wire form of an unsolicited message (command 20 or 100).
    static void Encode(const Unsolicited& u, std::vector<uint8_t>* out);

    // One line for the verbose log: the command and its texts (UTF-8), or a reply's status.
    static std::string Describe(const uint8_t* msg, size_t n);

  private:
    Model* model_;
};

}  // namespace devsim
