// The WinDriver device on Windows.
#include "port/windriver_device.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace m4410 {

namespace {

class Win32WinDriverDevice final : public WinDriverDevice {
 public:
  ~Win32WinDriverDevice() override { Close(); }

  // Read access and the overlapped flag are what the driver expects of its clients; it
  // completes every request of ours before DeviceIoControl returns.
  bool Open() override {
    Close();
    handle_ = CreateFileA("\\\\.\\WINDRVR", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    return handle_ != INVALID_HANDLE_VALUE;
  }

  bool Control(std::uint32_t code, void* record, std::uint32_t size,
               std::uint8_t* transfer_buffer) override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
#ifdef _WIN64
    // The record carries a 32-bit address: a buffer above 4 GiB would send the driver to
    // another byte, so such a transfer is not sent at all.
    if (reinterpret_cast<std::uintptr_t>(transfer_buffer) > 0xFFFFFFFFu) return false;
#else
    (void)transfer_buffer;
#endif
    return DeviceIoControl(handle_, code, record, size, nullptr, 0, &bytes_returned_,
                           nullptr) != FALSE;
  }

  void Close() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DWORD bytes_returned_ = 0;  // the driver's byte count; nothing reads it
};

}  // namespace

std::unique_ptr<WinDriverDevice> MakeWin32WinDriverDevice() {
  return std::make_unique<Win32WinDriverDevice>();
}

}  // namespace m4410
