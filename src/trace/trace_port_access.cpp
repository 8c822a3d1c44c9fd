#include "trace/trace_port_access.h"

#include <cinttypes>
#include <utility>

#include "link/time_source.h"

namespace m4410 {

TracingPortAccess::TracingPortAccess(std::unique_ptr<PortAccess> inner, PortAddresses addresses,
                                     std::FILE* out)
    : inner_(std::move(inner)), addresses_(addresses), out_(out) {}

ClaimOutcome TracingPortAccess::Claim() {
  origin_micros_ = CurrentTimeSource().NowMicros();
  return inner_->Claim();
}

void TracingPortAccess::Release() {
  inner_->Release();
  std::fflush(out_);
}

std::uint8_t TracingPortAccess::Read(PortRange range, unsigned offset) {
  const std::uint8_t value = inner_->Read(range, offset);
  Line('R', range, offset, value);
  return value;
}

void TracingPortAccess::Write(PortRange range, unsigned offset, std::uint8_t value) {
  inner_->Write(range, offset, value);
  Line('W', range, offset, value);
}

void TracingPortAccess::Line(char kind, PortRange range, unsigned offset, std::uint8_t value) {
  const unsigned base = range == PortRange::Standard ? addresses_.base : addresses_.extended;
  const std::int64_t micros = CurrentTimeSource().NowMicros() - origin_micros_;
  std::fprintf(out_, "%" PRId64 " %c 0x%x 0x%02x\n", micros, kind, base + offset, value);
}

}  // namespace m4410
