#include "sim/cable_trace.h"

#include <algorithm>
#include <cinttypes>

#include "port/parport_bits.h"

namespace m4410 {

namespace {

constexpr std::int64_t kTicksPerMicro = 100;  // a time stamp is 10 ns
constexpr std::int64_t kStep = 10;            // 100 ns between the steps of one handshake

constexpr const char* kNames[] = {"d0",        "d1",   "d2",    "d3",     "d4",     "d5",
                                  "d6",        "d7",   "nStrobe", "nAutoFd", "nInit",
                                  "nSelectIn", "Busy", "nAck",  "PError", "Select", "nFault"};

char Id(int line) { return static_cast<char>('!' + line); }

}  // namespace

CableTrace::CableTrace(std::FILE* out) : out_(out) {
  // Power-on: compatibility idle on both sides, data 0.
  level_.fill(true);
  for (int bit = 0; bit < 8; ++bit) level_[kD0 + bit] = false;
  level_[kSelectIn] = false;
  level_[kBusy] = level_[kPError] = false;
  std::fprintf(out_,
               "$comment Marlovine 4410 simulated cable: every line as a probe on the cable "
               "sees it $end\n$timescale 10ns $end\n$scope module cable $end\n");
  for (int line = 0; line < kLineCount; ++line) {
    std::fprintf(out_, "$var wire 1 %c %s $end\n", Id(line), kNames[line]);
  }
  std::fprintf(out_, "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n");
  for (int line = 0; line < kLineCount; ++line) {
    std::fprintf(out_, "%c%c\n", level_[line] ? '1' : '0', Id(line));
  }
  std::fprintf(out_, "$end\n");
  written_ = 0;
}

CableTrace::~CableTrace() {
  Finish();
  std::fclose(out_);
}

void CableTrace::Start(std::int64_t now) {
  if (started_) return;
  started_ = true;
  origin_ = now;
}

// Each change comes at least one handshake step after the one before, so a reader sampling
// at 10 MHz sees them in their order, even where the box answers within the microsecond.
void CableTrace::At(std::int64_t ticks) {
  Flush();
  now_ = std::max(ticks, written_ + kStep);
}

void CableTrace::Set(int line, bool level) {
  if (level_[line] == level) return;
  level_[line] = level;
  pending_ += level ? '1' : '0';
  pending_ += Id(line);
  pending_ += '\n';
}

void CableTrace::SetData(std::uint8_t byte) {
  for (int bit = 0; bit < 8; ++bit) Set(kD0 + bit, (byte >> bit) & 1);
}

void CableTrace::Flush() {
  if (pending_.empty()) return;
  std::fprintf(out_, "#%" PRId64 "\n%s", now_, pending_.c_str());
  written_ = now_;
  finished_ = false;
  pending_.clear();
}

void CableTrace::Host(std::int64_t now, std::uint8_t data, std::uint8_t control,
                      unsigned ecr_mode) {
  At((now - origin_) * kTicksPerMicro);
  const bool ecp = ecr_mode == kEcrModeEcp;
  reverse_ = (control & kControlReverse) != 0;
  // Outside ECP mode the lines follow the registers. In it the chip drives HostClk (idle
  // high) and, in reverse, HostAck (low: ready); forward HostAck follows the register
  // between bytes, and the data lines carry FIFO bytes only as the box takes them.
  if (!reverse_ && !ecp) SetData(data);
  Set(kStrobe, ecp || !(control & kControlStrobe));
  Set(kAutoFd, ecp && reverse_ ? false : !(control & kControlAutoFd));
  Set(kInit, (control & kControlInit) != 0);
  Set(kSelectIn, !(control & kControlSelectIn));
  Flush();
}

void CableTrace::Status(std::int64_t at, std::uint8_t status) {
  At((at - origin_) * kTicksPerMicro);
  Set(kBusy, !(status & kStatusNotBusy));
  Set(kAck, (status & kStatusNAck) != 0);
  Set(kPError, (status & kStatusPError) != 0);
  Set(kSelect, (status & kStatusSelect) != 0);
  Set(kFault, (status & kStatusNFault) != 0);
  Flush();
}

// Events 34 to 37 and the peripheral's PeriphAck back low: one data byte forward.
void CableTrace::ForwardByte(std::int64_t at, std::uint8_t byte) {
  At((at - origin_) * kTicksPerMicro);
  SetData(byte);
  Set(kAutoFd, true);
  At(now_ + kStep);
  Set(kStrobe, false);
  At(now_ + kStep);
  Set(kBusy, true);
  At(now_ + kStep);
  Set(kStrobe, true);
  At(now_ + kStep);
  Set(kBusy, false);
  Flush();
}

// One data byte in reverse: data and PeriphAck (high for data) set up, then events 43 to 46.
void CableTrace::ReverseByte(std::int64_t at, std::uint8_t byte) {
  At((at - origin_) * kTicksPerMicro);
  SetData(byte);
  Set(kBusy, true);
  At(now_ + kStep);
  Set(kAck, false);
  At(now_ + kStep);
  Set(kAutoFd, true);
  At(now_ + kStep);
  Set(kAck, true);
  At(now_ + kStep);
  Set(kAutoFd, false);
  Flush();
}

void CableTrace::Finish() {
  Flush();
  if (!finished_) {
    written_ += kStep;
    std::fprintf(out_, "#%" PRId64 "\n", written_);
    finished_ = true;
  }
  std::fflush(out_);
}

}  // namespace m4410
