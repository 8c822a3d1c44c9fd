// Records the parallel port's lines as a Value Change Dump that waveform viewers and logic
// analyser software open (GTKWave, PulseView, sigrok-cli), for comparing a run with a capture
// taken on the cable. Same time base as the text trace: microseconds since the claim.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "port/port_access.h"

namespace m4410 {

class VcdPortAccess final : public PortAccess {
 public:
  // One 1-bit wire per line (sigrok reads no vectors), named as the IEEE 1284 lines are.
  enum Wire {
    kD0, kD1, kD2, kD3, kD4, kD5, kD6, kD7,
    kStrobe, kAutoFd, kInit, kSelectIn,  // host lines, as levels on the cable ("n" = active low)
    kBusy, kAck, kPError, kSelect, kFault,
    kReverse,  // 1 while the data lines are the box's (control bit 5)
    kWireCount
  };
  static const char* WireName(int wire);

  // out stays the caller's; it must outlive this object.
  VcdPortAccess(std::unique_ptr<PortAccess> inner, std::FILE* out);
  ~VcdPortAccess() override;

  ClaimOutcome Claim() override;
  void Release() override;
  std::uint8_t Read(PortRange range, unsigned offset) override;
  void Write(PortRange range, unsigned offset, std::uint8_t value) override;

 private:
  void Begin();
  void Set(int wire, bool level);
  void SetData(std::uint8_t byte);
  void Control(std::uint8_t value);
  void Status(std::uint8_t value);
  void Pulse(int wire);
  void FinishPulse();
  void Flush();
  void Finish();

  std::unique_ptr<PortAccess> inner_;
  std::FILE* out_;
  std::int64_t origin_micros_ = 0;
  bool header_written_ = false;
  unsigned ecr_mode_ = 0;        // ECR bits 7-5 as last written
  std::int64_t now_ = 0;         // time of the access being recorded
  std::int64_t written_ = -1;    // last time stamp in the file
  bool closed_ = false;          // the closing time stamp follows the last change
  std::int64_t pulse_at_ = -1;   // a clock line pulsed low at this time, not yet released
  int pulse_wire_ = -1;
  std::array<signed char, kWireCount> level_{};  // -1 unknown, else 0 or 1
  std::string pending_;          // changes at now_, not yet written
};

}  // namespace m4410
