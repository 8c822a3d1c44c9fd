#include "protocol/update_protocol.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "link/block_transfer.h"
#include "link/link_clock.h"
#include "link/link_limits.h"
#include "board/run_cause.h"
#include "board/stage_board.h"
#include "os/files.h"
#include "protocol/transfer_cause.h"

namespace m4410 {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::int32_t kPauseAroundImageMs = 500;
constexpr std::uint32_t kBoxDataChunk = 100;

// Opens the update file for reading without waiting on it, and only if it is a plain file:
// a named pipe or a device could hold the worker for ever, and has no size to announce.
File OpenUpdateFile(const char* path, FileFacts* facts, std::string* why) {
  return File(OpenPlainFileToRead(path, facts, why));
}

// Counts the bytes of the file by reading it to its end. A length beyond what a signed
// 32-bit count holds, or a read error (which would pass for the end and shorten the image),
// comes back as -1, with the reason in *why.
std::int64_t SizeByReading(std::FILE* file, const FileFacts& facts, std::string* why) {
  constexpr char kTooLong[] = "it is larger than the 2 GiB the box protocol can announce";
  // A plain file that is already too long is refused without reading gigabytes first.
  if (facts.size > std::numeric_limits<std::int32_t>::max()) {
    *why = kTooLong;
    return -1;
  }
  std::int64_t size = 0;
  char chunk[64 * 1024];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    size += static_cast<std::int64_t>(got);
    if (size > std::numeric_limits<std::int32_t>::max()) {
      *why = kTooLong;
      return -1;
    }
  }
  if (std::ferror(file)) {
    *why = "a read failed after " + std::to_string(size) + " bytes";
    return -1;
  }
  return size;
}

// The box-data file lands in the current directory, which may be a shared folder, of a
// program that may run as root: anything at that name but the user's own plain file is
// refused, never followed or written into. Nor may it be the update file itself (an image
// named "0" in the current directory): it is emptied only once it is known to be neither.
File CreateBoxDataFile(const char* path, const FileFacts& update) {
  FileFacts facts;
  bool created = false;
  File file(OpenOwnFileToWrite(path, false, &facts, &created, nullptr));
  if (!file || SameFile(facts, update) || !EmptyFile(file.get())) {
    return nullptr;
  }
  return file;
}

// The box-data file of the last transfer, for the window to name; a string, so it is kept
// under a lock rather than in an atomic.
std::mutex box_data_lock;
std::string box_data_file;

void KeepBoxDataFile(const std::string& path) {
  const std::lock_guard<std::mutex> hold(box_data_lock);
  box_data_file = path;
}

// Where the file actually lies: the relative name resolved against the current folder now,
// since the folder the operator started in is what they need to find it.
std::string FullPath(const char* path) {
  std::error_code ignored;
  const std::filesystem::path full = std::filesystem::absolute(path, ignored);
  return full.empty() ? std::string(path) : full.string();
}

// Reads the box data that the opening record announced into path (if it opens), chunk by
// chunk. A chunk that does not arrive ends the reading; that is not a failure of the update.
void ReceiveBoxData(PortDriverContext* context, std::uint32_t length, const char* path,
                    const FileFacts& update) {
  File file;
  if (path && path[0] != '\0') file = CreateBoxDataFile(path, update);
  std::uint8_t chunk[kBoxDataChunk];
  bool wrote = false;
  for (std::uint64_t offset = 0; offset < length; offset += kBoxDataChunk) {
    const auto count = static_cast<std::int32_t>(
        std::min<std::uint64_t>(length - offset, kBoxDataChunk));
    if (BlockRead(context, chunk, count) != 0) break;
    if (file && std::fwrite(chunk, 1, static_cast<std::size_t>(count), file.get()) ==
                    static_cast<std::size_t>(count)) {
      wrote = true;
    }
  }
  if (wrote && std::fflush(file.get()) == 0) KeepBoxDataFile(FullPath(path));
}

// What the transfer loaded and received, for the update log; written and read on the
// worker's thread, but kept in atomics so a reader elsewhere never sees a torn word.
std::atomic<bool> image_seen{false};
std::atomic<std::int64_t> image_size{0};
std::atomic<std::uint32_t> image_crc32{0};
std::atomic<bool> opening_seen{false};
std::atomic<std::uint32_t> opening_words[3];

void KeepOpeningRecord(const BoxRecord& record) {
  for (int i = 0; i < 3; ++i) opening_words[i].store(record.words[i]);
  opening_seen.store(true);
}

}  // namespace

bool LastImage(std::int64_t* size, std::uint32_t* crc32) {
  if (!image_seen.load()) return false;
  *size = image_size.load();
  *crc32 = image_crc32.load();
  return true;
}

bool LastOpeningRecord(BoxRecord* record) {
  if (!opening_seen.load()) return false;
  for (int i = 0; i < 3; ++i) record->words[i] = opening_words[i].load();
  return true;
}

std::string LastBoxDataFile() {
  const std::lock_guard<std::mutex> hold(box_data_lock);
  return box_data_file;
}

void ForgetLastTransfer() {
  image_seen.store(false);
  opening_seen.store(false);
  KeepBoxDataFile({});
}

void PutWordBE(std::uint8_t* buffer, std::size_t* cursor, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    buffer[(*cursor)++] = static_cast<std::uint8_t>(value >> shift);
  }
}

std::uint32_t GetWordBE(const std::uint8_t* buffer, std::size_t* cursor) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | buffer[(*cursor)++];
  return value;
}

int ReadBoxRecord(PortDriverContext* context, BoxRecord* record) {
  return ReadBoxRecord(context, record, kByteReadTimeoutMs);
}

int ReadBoxRecord(PortDriverContext* context, BoxRecord* record, std::int32_t timeout_ms) {
  std::uint8_t bytes[kRecordBytes];
  const int result = BlockRead(context, bytes, kRecordBytes, timeout_ms);
  if (result != 0) return result;
  std::size_t cursor = 0;
  for (std::uint32_t& word : record->words) word = GetWordBE(bytes, &cursor);
  return 1;
}

int SendRecord(PortDriverContext* context, const BoxRecord& record) {
  std::uint8_t bytes[kRecordBytes];
  std::size_t cursor = 0;
  for (std::uint32_t word : record.words) PutWordBE(bytes, &cursor, word);
  return BlockWrite(context, bytes, kRecordBytes);
}

int SendUpdate(PortDriverContext* context, const char* update_path, const char* box_data_path) {
  // 1. Size the update file.
  std::int64_t size;
  FileFacts sized;
  std::string why;
  {
    File sizing = OpenUpdateFile(update_path, &sized, &why);
    if (!sizing) {
      SetRunCause(UnopenedFileCause(update_path, why));
      return OpenFailed;
    }
    size = SizeByReading(sizing.get(), sized, &why);
  }
  std::printf("size read\n");
  if (size < 0) {
    SetRunCause(UnreadFileCause(update_path, why));
    // Too long for the header's length word, or unreadable: refuse it rather than send a
    // wrapped length or a shortened image.
    std::printf("error during reading file '%s' up in memory\n", PrintableName(update_path).c_str());
    std::fflush(stdout);
    return ReadFailed;
  }

  // 2. The image buffer.
  const auto length = static_cast<std::int32_t>(size);
  std::unique_ptr<std::uint8_t[]> image(new (std::nothrow) std::uint8_t[length]);
  if (!image) {
    std::printf("unable to allocate '%u' bytes, line %d\n", static_cast<unsigned>(length), 262);
    std::fflush(stdout);
    SetRunCause(NoMemoryCause(length));
    return NoMemory;
  }

  // 3, 4. Read it whole; the file stays open until the image has gone out.
  FileFacts reopened;
  File update = OpenUpdateFile(update_path, &reopened, &why);
  if (!update) {
    std::printf("file '%s' would not reopen\n", PrintableName(update_path).c_str());
    std::fflush(stdout);
    SetRunCause(UnreopenedFileCause(update_path, why));
    return ReopenFailed;
  }
  // A file replaced or changed in length since it was sized is not the image announced.
  const bool same = SameFile(reopened, sized) && reopened.size == size;
  if (!same || std::fread(image.get(), 1, static_cast<std::size_t>(length), update.get()) !=
                   static_cast<std::size_t>(length)) {
    std::printf("error during reading file '%s' up in memory\n", PrintableName(update_path).c_str());
    std::fflush(stdout);
    SetRunCause(UnreadFileCause(update_path, same ? "it could not be read whole"
                                                  : "it was replaced or changed after it was "
                                                    "sized"));
    return ReadFailed;
  }
  std::fflush(stdout);
  // The figure the log records, from the bytes that go out rather than a second read.
  image_size.store(length);
  image_crc32.store(static_cast<std::uint32_t>(
      ::crc32_z(0, image.get(), static_cast<z_size_t>(length))));
  image_seen.store(true);

  // 5. The box speaks first.
  BoxRecord opening;
  if (ReadBoxRecord(context, &opening) != 1) {
    SetRunCause(BoxRecordCause(LastBlockOutcome()));
    SetStage(BoxInformationReceived, Failed);
    return NoBoxRecord;
  }

  KeepOpeningRecord(opening);

  // 6.
  if (!KeepGoing()) {
    SetRunCause(StoppedBeforeImageCause());
    return Cancelled;
  }

  // 7. Box data, if announced.
  if (opening.words[2] != 0) ReceiveBoxData(context, opening.words[2], box_data_path, reopened);

  // 8, 9. Header.
  BoxRecord header;
  header.words[0] = HeaderKind;
  header.words[1] = ImageTag;
  header.words[2] = static_cast<std::uint32_t>(length);
  if (SendRecord(context, header) != 0) {
    SetRunCause(HeaderCause(LastBlockOutcome()));
    SetStage(BoxInformationReceived, Failed);
    return HeaderFailed;
  }
  SetStage(BoxInformationReceived, Okay);
  DelayMs(kPauseAroundImageMs);

  // 10.
  if (!KeepGoing()) {
    SetRunCause(StoppedBeforeImageCause());
    return Cancelled;
  }

  // 11, 12. Image: from here the transfer runs to its end whatever KeepGoing says.
  SetImageInFlight(true);
  SetStage(SoftwareTransmitted, Busy);
  const int written = BlockWrite(context, image.get(), length);
  const BlockOutcome image_write = LastBlockOutcome();
  SetImageInFlight(false);
  DelayMs(kPauseAroundImageMs);
  if (written != 0) {
    SetRunCause(ImageCause(image_write));
    SetStage(SoftwareTransmitted, Failed);
    return ImageFailed;
  }
  SetStage(SoftwareTransmitted, Okay);
  image.reset();
  update.reset();

  // 13, 14. The box rewrites itself before it confirms.
  SetStage(BoxUpdated, Busy);
  BoxRecord closing;
  if (ReadBoxRecord(context, &closing, kClosingRecordTimeoutMs) != 1) {
    const BlockOutcome read = LastBlockOutcome();
    if (read.stop == BlockStop::Left) {
      // The operator left with the whole image in the box: not a failure, and stage 6 stays
      // under way for anyone still looking.
      SetLeftBeforeConfirmation();
      return NoConfirmation;
    }
    SetRunCause(ConfirmationCause(read));
    SetStage(BoxUpdated, Failed);
    return NoConfirmation;
  }
  SetStage(BoxUpdated, Okay);
  return Completed;
}

}  // namespace m4410
