#include <windows.h>
#include <initguid.h>
#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <utility>

#include "port/parport_listing.h"

namespace m4410 {

namespace {

std::string RegistryText(HKEY key, const char* name) {
  char text[64] = {};
  DWORD size = sizeof text - 1;
  DWORD type = 0;
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  return text;
}

// "LPT1" for a printer port; empty for a serial port or a device without a name.
std::string PortName(HDEVINFO devices, SP_DEVINFO_DATA* device) {
  const HKEY key =
      ::SetupDiOpenDevRegKey(devices, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  const std::string name = RegistryText(key, "PortName");
  ::RegCloseKey(key);
  return name.rfind("LPT", 0) == 0 ? name : std::string();
}

// The I/O ranges Windows gave the device (its allocated configuration, else its boot one).
std::vector<std::pair<unsigned long, unsigned long>> IoRanges(DEVINST instance) {
  std::vector<std::pair<unsigned long, unsigned long>> ranges;
  for (const ULONG kind : {ALLOC_LOG_CONF, BOOT_LOG_CONF}) {
    LOG_CONF config = 0;
    if (::CM_Get_First_Log_Conf(&config, instance, kind) != CR_SUCCESS) continue;
    RES_DES resource = 0;
    RES_DES previous = config;
    while (::CM_Get_Next_Res_Des(&resource, previous, ResType_IO, nullptr, 0) == CR_SUCCESS) {
      if (previous != config) ::CM_Free_Res_Des_Handle(previous);
      previous = resource;
      IO_RESOURCE io{};
      if (::CM_Get_Res_Des_Data(resource, &io, sizeof io, 0) == CR_SUCCESS &&
          io.IO_Header.IOD_Alloc_End >= io.IO_Header.IOD_Alloc_Base &&
          io.IO_Header.IOD_Alloc_End <= 0xFFFF) {
        ranges.emplace_back(static_cast<unsigned long>(io.IO_Header.IOD_Alloc_Base),
                            static_cast<unsigned long>(io.IO_Header.IOD_Alloc_End));
      }
    }
    if (previous != config) ::CM_Free_Res_Des_Handle(previous);
    ::CM_Free_Log_Conf_Handle(config);
    if (!ranges.empty()) break;
  }
  return ranges;
}

}  // namespace

std::vector<ParportEntry> ListParallelPorts() {
  std::vector<ParportEntry> entries;
  const HDEVINFO devices = ::SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr,
                                                  DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return entries;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
    const std::string name = PortName(devices, &device);
    if (name.empty()) continue;
    const auto ranges = IoRanges(device.DevInst);
    if (ranges.empty()) continue;  // a port with no I/O range cannot be driven here
    entries.push_back(ParportFromRanges(name, ranges));
  }
  ::SetupDiDestroyDeviceInfoList(devices);
  std::sort(entries.begin(), entries.end(),
            [](const ParportEntry& a, const ParportEntry& b) { return a.base < b.base; });
  return entries;
}

std::string NoParallelPortsHint() {
  return "(Windows lists a port under Ports (COM & LPT) in the Device Manager once its driver "
         "is installed)";
}

}  // namespace m4410
