// The WinDriver kernel driver as a device that takes request records, so the port backend
// built on it runs against a recording fake in tests.
#pragma once

#include <cstdint>
#include <memory>

namespace m4410 {

class WinDriverDevice {
 public:
  virtual ~WinDriverDevice() = default;
  // Opens the driver's device; false when it is missing or the driver is not running.
  virtual bool Open() = 0;
  // One device-control request whose input buffer is the record; the driver answers inside
  // the record before the call returns. transfer_buffer is the byte that a TransferRecord's
  // 32-bit buffer address names (null for other requests): the real driver follows the
  // address, a fake on a 64-bit host uses this pointer instead. False when the request could
  // not be sent.
  virtual bool Control(std::uint32_t code, void* record, std::uint32_t size,
                       std::uint8_t* transfer_buffer) = 0;
  virtual void Close() = 0;
};

#ifdef _WIN32
// The driver itself, through "\\.\WINDRVR".
std::unique_ptr<WinDriverDevice> MakeWin32WinDriverDevice();
#endif

}  // namespace m4410
