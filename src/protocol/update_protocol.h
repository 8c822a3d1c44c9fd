// The box update protocol: the box's records, our header, the image, and the transfer
// that runs stages 4 to 6 of an update.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "port/port_driver.h"

namespace m4410 {

enum TransferResult : int {
  Completed = 0,
  Cancelled = -1,
  OpenFailed = -2,
  NoMemory = -3,
  ReopenFailed = -4,
  ReadFailed = -5,
  NoBoxRecord = -6,
  HeaderFailed = -7,
  ImageFailed = -8,
  NoConfirmation = -9,
};

inline constexpr std::uint32_t HeaderKind = 1;
inline constexpr std::uint32_t ImageTag = 0x40200000;
inline constexpr std::size_t kRecordBytes = 12;

struct BoxRecord {
  std::uint32_t words[3] = {0, 0, 0};  // words[2] is DataLength in the opening record
};

void PutWordBE(std::uint8_t* buffer, std::size_t* cursor, std::uint32_t value);
std::uint32_t GetWordBE(const std::uint8_t* buffer, std::size_t* cursor);

int ReadBoxRecord(PortDriverContext* context, BoxRecord* record);
int ReadBoxRecord(PortDriverContext* context, BoxRecord* record, std::int32_t timeout_ms);
int SendRecord(PortDriverContext* context, const BoxRecord& record);

int SendUpdate(PortDriverContext* context, const char* update_path, const char* box_data_path);

// What the last SendUpdate loaded and received, for the update log: the image's size and
// CRC-32 (false until it was read whole) and the box's opening record (false until it came).
// ForgetLastTransfer clears both when a run starts.
bool LastImage(std::int64_t* size, std::uint32_t* crc32);
bool LastOpeningRecord(BoxRecord* record);
// The full path of the box-data file the last SendUpdate created and wrote box data into;
// empty when it wrote none (no data announced, no file named, or the file refused or
// unwritable). Cleared by ForgetLastTransfer too.
std::string LastBoxDataFile();
void ForgetLastTransfer();

}  // namespace m4410
