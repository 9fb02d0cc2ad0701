// What the board protocol needs of the USB HID link window: sending a command
// as an output report, and the last input report received.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vexa {

class ILinkHid {
public:
    virtual ~ILinkHid() = default;
    virtual void HID_invia_stringa(const std::string& comando) = 0;
    // buffer_ricezione_hid: index 0 the report ID, 1..64 the last input report.
    virtual const std::array<uint8_t, 65>& buffer_ricezione_hid() const = 0;
};

} // namespace vexa
