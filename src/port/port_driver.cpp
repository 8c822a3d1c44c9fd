#include "port/port_driver.h"

#include <mutex>
#include <utility>

namespace m4410 {

namespace {
std::mutex error_mutex;
std::string& ErrorText() {
  static std::string text;
  return text;
}
}  // namespace

std::string PortErrorText() {
  std::lock_guard lock(error_mutex);
  return ErrorText();
}

void SetPortErrorText(std::string_view reason) {
  std::lock_guard lock(error_mutex);
  ErrorText().assign(reason);
}

int OpenPortDriver(std::unique_ptr<PortDriverContext>* out) {
  SetPortErrorText("");
  auto context = std::make_unique<PortDriverContext>();
  context->access = MakeProcessPortAccess();
  if (!context->access) {
    SetPortErrorText("no port-access facility on this system\n");
    return 1;
  }
  switch (context->access->Claim()) {
    case ClaimOutcome::Claimed:
      *out = std::move(context);
      return 0;
    case ClaimOutcome::NoFacility:
      return 1;
    case ClaimOutcome::Refused:
      break;
  }
  return 2;
}

void ClosePortDriver(std::unique_ptr<PortDriverContext> context) {
  if (context && context->access) context->access->Release();
}

bool PortTransfer(PortDriverContext* context, int range, unsigned offset, bool read,
                  std::uint8_t* buffer, std::uint32_t count, int width) {
  if (!context || !context->access || !buffer || width != 0 || (range != 0 && range != 1)) {
    return false;
  }
  const auto port_range = static_cast<PortRange>(range);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (read) {
      buffer[i] = context->access->Read(port_range, offset);
    } else {
      context->access->Write(port_range, offset, buffer[i]);
    }
  }
  return true;
}

std::uint8_t ReadPortByte(PortDriverContext* context, int range, unsigned offset) {
  std::uint8_t byte = 0;
  PortTransfer(context, range, offset, true, &byte, 1, 0);
  return byte;
}

void WritePortByte(PortDriverContext* context, int range, unsigned offset, std::uint8_t value) {
  PortTransfer(context, range, offset, false, &value, 1, 0);
}

namespace {
constexpr int kStandard = 0;
constexpr int kExtended = 1;
std::uint8_t Low8(unsigned value) { return static_cast<std::uint8_t>(value & 0xFFu); }
}  // namespace

std::uint8_t ReadStatus(PortDriverContext* c) { return ReadPortByte(c, kStandard, 1); }
std::uint8_t ReadControl(PortDriverContext* c) { return ReadPortByte(c, kStandard, 2); }
std::uint8_t ReadEcr(PortDriverContext* c) { return ReadPortByte(c, kExtended, 2); }
std::uint8_t ReadEcpFifo(PortDriverContext* c) { return ReadPortByte(c, kExtended, 0); }
void WriteData(PortDriverContext* c, unsigned v) { WritePortByte(c, kStandard, 0, Low8(v)); }
void WriteControl(PortDriverContext* c, unsigned v) { WritePortByte(c, kStandard, 2, Low8(v)); }
void WriteEcr(PortDriverContext* c, unsigned v) { WritePortByte(c, kExtended, 2, Low8(v)); }
void WriteConfigB(PortDriverContext* c, unsigned v) { WritePortByte(c, kExtended, 1, Low8(v)); }
void WriteEcpFifo(PortDriverContext* c, unsigned v) { WritePortByte(c, kExtended, 0, Low8(v)); }

}  // namespace m4410
