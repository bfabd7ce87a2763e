// The control bytes of the printer and KE protocols, as they go on the line.
#pragma once

#include <cstdint>

// The printer's status request; the nudge that makes a first-kind KE go on
// sending a file.
constexpr uint8_t kEnq = 0x05;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kCr = 0x0D;
// The printer's relay status request.
constexpr uint8_t kDle = 0x10;
// Flow control of the paced printer frames: the peer asks for a pause (XOFF)
// and for the rest (XON).
constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;
// The end byte of KE replies and files; to the printer, the end of the relay.
constexpr uint8_t kSub = 0x1A;
// Starts every request and frame.
constexpr uint8_t kEsc = 0x1B;
// The end byte of the files of a KE of kind digit 3.
constexpr uint8_t kFileEnd = 0xFF;
