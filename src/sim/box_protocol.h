// The simulated box's side of the update exchange: the header and image it takes, the
// opening record (with its box data) it offers once the link is up, and the closing record
// it offers update-ms after the whole image. It knows nothing of lines or FIFOs: the box's
// link side hands it the bytes taken and asks it for the bytes to send.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim/box_receipt.h"
#include "sim/crc32.h"
#include "sim/sim_options.h"

namespace m4410 {

class BoxProtocol {
 public:
  // What the box puts in its records. Opening: model, firmware, box-data length.
  // Closing: model, CRC-32 of the image taken, image bytes taken.
  static constexpr std::uint32_t kModelWord = 0x00004410;
  static constexpr std::uint32_t kFirmwareWord = 0x00010002;  // 1.2

  // What a byte from the host did to the exchange.
  enum class Took {
    Other,          // part of the header, or a stray byte
    ImageCounted,   // one more image byte, or a header that opened the image
    ImageComplete,  // the image is whole (at image_complete_at())
  };

  // Writes its fields of *receipt (header, image, records), which must outlive it.
  BoxProtocol(const SimOptions& options, BoxReceipt* receipt);

  void NewSession();
  void LinkUp(std::int64_t now);  // the opening record is due opening-ms later
  void LinkDropped();             // no closing record, ever
  void Tick(std::int64_t now);    // offers the records that have come due

  Took Take(std::uint8_t byte, std::int64_t taken_at);
  std::int64_t image_complete_at() const { return image_complete_at_; }
  std::int64_t closing_due() const { return closing_due_; }

  void DropUnsent();  // what is queued is never sent
  bool HasByteToSend();
  std::uint8_t NextByteToSend();

 private:
  enum class Parse { Header, Image, Done, Refused };
  struct Chunk {
    std::array<std::uint8_t, 12> record{};
    std::uint32_t length = 0;
    std::uint32_t pos = 0;
    bool generated = false;  // box data: byte i is i mod 251
  };
  static constexpr std::size_t kMaxChunks = 4;

  void HeaderArrived();
  void ImageArrived(std::int64_t at);
  void Queue(const Chunk& chunk);
  void QueueOpening();
  void QueueClosing();

  const SimOptions& options_;
  BoxReceipt* const receipt_;
  Parse parse_ = Parse::Header;
  std::array<std::uint8_t, 12> header_{};
  std::size_t header_pos_ = 0;
  std::uint32_t image_length_ = 0;
  Crc32 crc_;
  std::int64_t image_complete_at_ = 0;
  std::int64_t closing_due_ = 0;
  std::int64_t opening_due_ = 0;
  std::array<Chunk, kMaxChunks> chunks_{};
  std::size_t chunk_head_ = 0;
  std::size_t chunk_count_ = 0;
};

}  // namespace m4410
