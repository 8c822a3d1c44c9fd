#include "link/ecp_presence.h"

#include <cstdint>

#include "link/parallel_link.h"
#include "port/parport_bits.h"
#include "port/port_driver.h"

namespace m4410 {

namespace {

constexpr unsigned kDataPattern = 0xAA;        // neither a floating bus nor a cleared latch
constexpr std::uint8_t kFloating = 0xFF;       // what a read gives where nothing answers
constexpr std::uint8_t kFifoBits = kEcrFifoFull | kEcrFifoEmpty;
// Byte mode with the error and service interrupts off; a real ECR reads it back with its own
// empty bit.
constexpr std::uint8_t kByteModeProbe =
    EcrModeBits(kEcrModeByte) | kEcrErrorIrqOff | kEcrServiceIrqOff;
constexpr std::uint8_t kByteModeAnswer = kByteModeProbe | kEcrFifoEmpty;
static_assert(kByteModeProbe == 0x34 && kByteModeAnswer == 0x35);

}  // namespace

EcpPresence CheckEcpRegisters(PortDriverContext* context) {
  if (!context) return EcpPresence::NoPort;
  // Forward, so the data lines show the latch; and a card that decodes the ECR address as
  // its control register then reads 0x0C there, never the empty-FIFO pattern.
  WriteControl(context, kControlCompatibilityIdle);
  WriteData(context, kDataPattern);
  const std::uint8_t data = ReadPortByte(context, 0, 0);
  const std::uint8_t status = ReadStatus(context);
  // A FIFO left holding bytes in ECP mode hides the empty bit; standard mode empties it.
  SetEcrMode(context, 0);
  const std::uint8_t ecr = ReadEcr(context);
  bool present = false;
  if ((ecr & kFifoBits) == kEcrFifoEmpty) {
    WriteEcr(context, kByteModeProbe);
    present = ReadEcr(context) == kByteModeAnswer;
    WriteEcr(context, ecr);
  }
  if (present) return EcpPresence::Present;
  if (data == kFloating && status == kFloating) return EcpPresence::NoPort;
  return EcpPresence::NoEcpRegisters;
}

std::string EcpPresenceCause(EcpPresence presence) {
  switch (presence) {
    case EcpPresence::Present:
      return {};
    case EcpPresence::NoEcpRegisters:
      return "port opened, but it has no ECP registers at the port's extended address (its "
             "extended control register does not answer): set the port to ECP (or ECP+EPP) "
             "in the firmware setup, or give a card's ECP range with --port lpt:BASE,ECPBASE";
    case EcpPresence::NoPort:
      return "no parallel port answers at this address (status and data read back 0xff): "
             "check the --port value (m4410 ports lists the ports the kernel knows) and that "
             "the port is enabled in the firmware setup";
  }
  return {};
}

}  // namespace m4410
