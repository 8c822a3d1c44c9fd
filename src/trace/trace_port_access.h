// Records every register access of any backend, one line each, as the run goes:
// "<microseconds since the claim> <R|W> <port> <value>", e.g. "1234 R 0x379 0xd8".
#pragma once

#include <cstdio>
#include <memory>

#include "port/port_access.h"

namespace m4410 {

class TracingPortAccess final : public PortAccess {
 public:
  // out stays the caller's; it must outlive this object.
  TracingPortAccess(std::unique_ptr<PortAccess> inner, PortAddresses addresses, std::FILE* out);

  ClaimOutcome Claim() override;
  void Release() override;
  std::uint8_t Read(PortRange range, unsigned offset) override;
  void Write(PortRange range, unsigned offset, std::uint8_t value) override;

 private:
  void Line(char kind, PortRange range, unsigned offset, std::uint8_t value);

  std::unique_ptr<PortAccess> inner_;
  PortAddresses addresses_;
  std::FILE* out_;
  std::int64_t origin_micros_ = 0;
};

}  // namespace m4410
