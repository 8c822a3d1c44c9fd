#include "port/vcd_trace.h"

#include <algorithm>
#include <cinttypes>
#include <utility>

#include "port/parport_bits.h"
#include "port/time_source.h"

namespace m4410 {

namespace {

constexpr const char* kWireNames[VcdPortAccess::kWireCount] = {
    "d0",      "d1",   "d2",       "d3",   "d4",     "d5", "d6",
    "d7",      "nStrobe", "nAutoFd", "nInit", "nSelectIn", "Busy", "nAck",
    "PError",  "Select", "nFault", "reverse",
};

// VCD identifiers: printable characters from '!' on.
char Id(int wire) { return static_cast<char>('!' + wire); }

}  // namespace

const char* VcdPortAccess::WireName(int wire) {
  return wire >= 0 && wire < kWireCount ? kWireNames[wire] : "";
}

VcdPortAccess::VcdPortAccess(std::unique_ptr<PortAccess> inner, std::FILE* out)
    : inner_(std::move(inner)), out_(out) {
  level_.fill(-1);
}

VcdPortAccess::~VcdPortAccess() { Finish(); }

ClaimOutcome VcdPortAccess::Claim() {
  origin_micros_ = CurrentTimeSource().NowMicros();
  return inner_->Claim();
}

void VcdPortAccess::Release() {
  inner_->Release();
  Finish();
}

// Readers drop the changes at a file's last time stamp, so the file ends with one more.
void VcdPortAccess::Finish() {
  if (!header_written_) return;
  FinishPulse();
  if (written_ >= 0 && !closed_) {
    ++written_;
    std::fprintf(out_, "#%" PRId64 "\n", written_);
    closed_ = true;
  }
  std::fflush(out_);
}

std::uint8_t VcdPortAccess::Read(PortRange range, unsigned offset) {
  const std::uint8_t value = inner_->Read(range, offset);
  Begin();
  if (range == PortRange::Standard) {
    if (offset == 1) Status(value);
    if (offset == 2) Control(value);
  } else if (offset == 0 && ecr_mode_ == kEcrModeEcp && level_[kReverse] == 1) {
    // A byte from the box: its data on the lines, clocked by PeriphClk (nAck).
    SetData(value);
    Pulse(kAck);
  }
  Flush();
  return value;
}

void VcdPortAccess::Write(PortRange range, unsigned offset, std::uint8_t value) {
  inner_->Write(range, offset, value);
  Begin();
  if (range == PortRange::Standard) {
    if (offset == 0 && level_[kReverse] != 1) SetData(value);
    if (offset == 2) Control(value);
  } else if (offset == 2) {
    ecr_mode_ = EcrMode(value);
  } else if (offset == 0 && ecr_mode_ == kEcrModeEcp && level_[kReverse] != 1) {
    // The port chip sends a FIFO byte with its own handshake: the byte on the lines,
    // clocked by HostClk (nStrobe).
    SetData(value);
    Pulse(kStrobe);
  }
  Flush();
}

// Reads the clock once per access, as the text trace does, so both show the same times.
void VcdPortAccess::Begin() {
  if (!header_written_) {
    std::fprintf(out_,
                 "$comment Marlovine 4410 updater: host register trace of the parallel port "
                 "lines (what the host wrote and read, not the cable) $end\n");
    std::fprintf(out_, "$timescale 1us $end\n$scope module port $end\n");
    for (int wire = 0; wire < kWireCount; ++wire) {
      std::fprintf(out_, "$var wire 1 %c %s $end\n", Id(wire), kWireNames[wire]);
    }
    std::fprintf(out_, "$upscope $end\n$enddefinitions $end\n");
    header_written_ = true;
  }
  now_ = CurrentTimeSource().NowMicros() - origin_micros_;
  FinishPulse();
  // A strictly rising time line, even when two accesses share a microsecond.
  now_ = std::max(now_, written_);
}

void VcdPortAccess::Set(int wire, bool level) {
  if (level_[wire] == static_cast<signed char>(level)) return;
  level_[wire] = static_cast<signed char>(level);
  pending_ += level ? '1' : '0';
  pending_ += Id(wire);
  pending_ += '\n';
}

void VcdPortAccess::SetData(std::uint8_t byte) {
  for (int bit = 0; bit < 8; ++bit) Set(kD0 + bit, (byte >> bit) & 1);
}

void VcdPortAccess::Control(std::uint8_t value) {
  Set(kStrobe, !(value & kControlStrobe));
  Set(kAutoFd, !(value & kControlAutoFd));
  Set(kInit, (value & kControlInit) != 0);
  Set(kSelectIn, !(value & kControlSelectIn));
  Set(kReverse, (value & kControlReverse) != 0);
}

void VcdPortAccess::Status(std::uint8_t value) {
  Set(kFault, (value & kStatusNFault) != 0);
  Set(kSelect, (value & kStatusSelect) != 0);
  Set(kPError, (value & kStatusPError) != 0);
  Set(kAck, (value & kStatusNAck) != 0);
  Set(kBusy, !(value & kStatusNotBusy));
}

// A clock line low for one microsecond, with the data already on the lines; released before
// the next access is recorded.
void VcdPortAccess::Pulse(int wire) {
  Set(wire, false);
  pulse_at_ = now_;
  pulse_wire_ = wire;
}

void VcdPortAccess::FinishPulse() {
  if (pulse_wire_ < 0) return;
  const std::int64_t next = now_;
  now_ = pulse_at_ + 1;
  Set(pulse_wire_, true);
  Flush();
  pulse_wire_ = -1;
  // Accesses less than two microseconds apart (fast hardware) move later ones on, so that
  // every pulse shows.
  now_ = std::max(next, pulse_at_ + 2);
}

void VcdPortAccess::Flush() {
  if (pending_.empty()) return;
  closed_ = false;
  if (now_ <= written_) now_ = written_ + 1;
  std::fprintf(out_, "#%" PRId64 "\n%s", now_, pending_.c_str());
  written_ = now_;
  pending_.clear();
}

}  // namespace m4410
