// The box's half of the simulated port, its link side: the IEEE 1284 handshakes (phases and
// answers on the status lines), bytes through the chip's FIFO at the box's rate, the faults
// it can be told to show (a dropped link, a stall) and the host faults it counts. What the
// bytes mean is the exchange's (BoxProtocol). It sees the PC only through the chip's lines
// and FIFO, as a peripheral sees a port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/time_source.h"
#include "sim/box_protocol.h"
#include "sim/box_receipt.h"
#include "sim/ecp_chip.h"
#include "sim/sim_options.h"

namespace m4410 {

class BoxLink final : public CablePeer {
 public:
  // clock: the virtual clock the box may move on while the host waits for it, or nullptr.
  // The chip must outlive the box; it may still be under construction here.
  BoxLink(const SimOptions& options, VirtualClock* clock, EcpChip* chip);

  // A fresh claim: the box at compatibility idle with nothing queued, its receipt and
  // attempt count cleared, at time `now`.
  void NewSession(std::int64_t now);
  BoxReceipt Receipt() const;

  void Tick(std::int64_t now) override;
  std::uint8_t StatusLines() override;
  void DataWritten() override { data_written_at_ = now_; }
  void ControlWritten(std::uint8_t old, std::uint8_t value) override;
  void EcrPolled() override { SkipToNextTake(); }
  void FifoWritten() override { polls_since_write_ = 0; }
  void Refused(HostFault fault) override { Fault(fault); }
  void FifoEmptied(std::size_t bytes) override { receipt_.fifo_bytes_discarded += bytes; }

  // Where the box's lines and each FIFO byte's handshake are recorded as on the cable.
  void set_cable(CableTrace* cable) { cable_ = cable; }

 private:
  enum class Phase {
    Compatibility,
    Requested,    // negotiation request answered, waiting for the strobe
    Strobed,      // extensibility byte latched, waiting for nStrobe and nAutoFd high
    Unconfirmed,  // confirm=no: said nothing after the strobe
    Refused,      // the byte asked for a mode the box does not do
    Confirmed,    // ECP mode, waiting for the setup phase
    Setup,        // setup answered (or not: setup=no), waiting for nAutoFd high
    Forward,
    Reverse,
    Terminating,  // termination answered, waiting for nAutoFd low
    TermAcked,    // nAck raised, waiting for nAutoFd high
  };
  enum class Action : std::uint8_t { None, StartSending };

  struct Event {
    std::int64_t at = 0;
    std::uint8_t status = 0;
    Action action = Action::None;
  };

  static constexpr std::size_t kMaxEvents = 8;

  // The handshakes.
  std::int64_t Answer(std::uint8_t status, std::uint32_t late_ms = 0, std::int64_t not_before = 0,
                      Action action = Action::None);
  void FireOldest();
  static bool IsRequest(std::uint8_t control);
  void BackToCompatibility();
  bool DropPendingAcknowledgement();
  void Fault(HostFault kind);
  void CheckTurn(std::uint8_t old, std::uint8_t value);
  void Confirm();
  void Terminate();

  // Forward: bytes from the host.
  bool Taking() const;
  void TakeFromFifo();
  void SkipToNextTake();
  void TakeByte(std::uint8_t byte, std::int64_t taken_at);
  void CheckLimits();
  void DropLink();

  // Reverse: bytes to the host.
  void FillFifo();
  bool Pausing();

  const SimOptions options_;
  VirtualClock* const clock_;
  EcpChip* const chip_;
  CableTrace* cable_ = nullptr;
  std::int64_t now_ = 0;

  // The link side.
  Phase phase_ = Phase::Compatibility;
  std::uint8_t status_ = 0;
  std::array<Event, kMaxEvents> events_{};
  std::size_t event_head_ = 0;
  std::size_t event_count_ = 0;
  std::int64_t last_event_at_ = 0;
  std::uint8_t latched_ = 0;
  std::int64_t data_written_at_ = 0;  // event 0: the extensibility byte set up
  std::int64_t strobed_at_ = 0;       // event 3
  bool sending_ = false;
  bool dropped_ = false;
  bool stalled_ = false;
  bool pause_begun_ = false;
  std::int64_t pause_ends_ = 0;

  std::int64_t budget_ = 0;
  int polls_since_write_ = 0;  // ECR reads since the host last wrote the FIFO
  std::int64_t rate_time_ = 0;

  BoxReceipt receipt_;
  BoxProtocol protocol_{options_, &receipt_};
};

}  // namespace m4410
