// The PC parallel port's register bits by name, for the host's link and the simulated chip
// alike: the standard layout, with each line's IEEE 1284 ECP role in brackets.
#pragma once

#include <cstdint>

namespace m4410 {

// Status register (0x379), as the PC reads the box's lines.
inline constexpr std::uint8_t kStatusNFault = 0x08;    // nFault level [nPeriphRequest]
inline constexpr std::uint8_t kStatusSelect = 0x10;    // Select level [XFlag]; 0: link lost
inline constexpr std::uint8_t kStatusPError = 0x20;    // PError level [nAckReverse]
inline constexpr std::uint8_t kStatusNAck = 0x40;      // nAck level [PeriphClk]
inline constexpr std::uint8_t kStatusNotBusy = 0x80;   // reads 1 while Busy is low [PeriphAck]

// Control register (0x37A). Strobe, AutoFd and SelectIn are inverted on the cable: a 1 drives
// the line low. Init is not: a 1 holds nInit high.
inline constexpr std::uint8_t kControlStrobe = 0x01;    // nStrobe low [HostClk]
inline constexpr std::uint8_t kControlAutoFd = 0x02;    // nAutoFd low [HostAck]
inline constexpr std::uint8_t kControlInit = 0x04;      // nInit high [nReverseRequest]
inline constexpr std::uint8_t kControlSelectIn = 0x08;  // nSelectIn low [1284 Active]
inline constexpr std::uint8_t kControlIrqEnable = 0x10;
inline constexpr std::uint8_t kControlReverse = 0x20;   // data lines are inputs (reverse)

// Compatibility idle: nSelectIn low, every other line high, forward.
inline constexpr std::uint8_t kControlCompatibilityIdle = kControlInit | kControlSelectIn;

// Extended control register (ECR, 0x77A): the mode in bits 7-5, then the interrupt and DMA
// switches, then the FIFO's own full and empty bits.
inline constexpr std::uint8_t kEcrModeMask = 0xE0;
inline constexpr unsigned kEcrModeShift = 5;
inline constexpr unsigned kEcrModeStandard = 0;  // 000
inline constexpr unsigned kEcrModeByte = 1;      // 001, PS/2
inline constexpr unsigned kEcrModeEcp = 3;       // 011
inline constexpr unsigned kEcrModeConfig = 7;    // 111: configuration registers A and B
inline constexpr std::uint8_t kEcrErrorIrqOff = 0x10;
inline constexpr std::uint8_t kEcrDmaEnable = 0x08;
inline constexpr std::uint8_t kEcrServiceIrqOff = 0x04;
inline constexpr std::uint8_t kEcrFifoFull = 0x02;
inline constexpr std::uint8_t kEcrFifoEmpty = 0x01;

constexpr unsigned EcrMode(std::uint8_t ecr) { return ecr >> kEcrModeShift; }
constexpr std::uint8_t EcrModeBits(unsigned mode) {
  return static_cast<std::uint8_t>(mode << kEcrModeShift);
}

// The IEEE 1284 extensibility byte that requests ECP mode without run-length encoding.
inline constexpr std::uint8_t kExtensibilityEcp = 0x10;

}  // namespace m4410
