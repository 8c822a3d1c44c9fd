#include "sim/box_protocol.h"

#include <limits>

namespace m4410 {

namespace {

constexpr std::uint32_t kHeaderKind = 1;
constexpr std::uint32_t kImageTag = 0x40200000;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

void PutWord(std::array<std::uint8_t, 12>* record, int index, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    (*record)[static_cast<std::size_t>(index * 4 + i)] =
        static_cast<std::uint8_t>(value >> (24 - 8 * i));
  }
}

}  // namespace

BoxProtocol::BoxProtocol(const SimOptions& options, BoxReceipt* receipt)
    : options_(options), receipt_(receipt) {}

void BoxProtocol::NewSession() {
  parse_ = Parse::Header;
  header_pos_ = 0;
  image_length_ = 0;
  crc_.Reset();
  closing_due_ = kNever;
  opening_due_ = kNever;
  chunk_head_ = chunk_count_ = 0;
}

void BoxProtocol::LinkUp(std::int64_t now) {
  opening_due_ = now + std::int64_t{options_.opening_ms} * 1000;
  if (now >= opening_due_) QueueOpening();
}

void BoxProtocol::LinkDropped() { closing_due_ = kNever; }

void BoxProtocol::Tick(std::int64_t now) {
  if (now >= opening_due_) QueueOpening();
  if (now >= closing_due_) QueueClosing();
}

BoxProtocol::Took BoxProtocol::Take(std::uint8_t byte, std::int64_t taken_at) {
  switch (parse_) {
    case Parse::Header:
      header_[header_pos_++] = byte;
      if (header_pos_ < header_.size()) return Took::Other;
      HeaderArrived();
      if (parse_ == Parse::Refused) return Took::Other;
      if (image_length_ != 0) return Took::ImageCounted;
      ImageArrived(taken_at);
      return Took::ImageComplete;
    case Parse::Image:
      crc_.Update(byte);
      receipt_->image_crc32 = crc_.Value();
      ++receipt_->image_bytes;
      if (receipt_->image_bytes < image_length_) return Took::ImageCounted;
      ImageArrived(taken_at);
      return Took::ImageComplete;
    case Parse::Done:
    case Parse::Refused:
      ++receipt_->stray_bytes;
      break;
  }
  return Took::Other;
}

void BoxProtocol::HeaderArrived() {
  for (std::size_t w = 0; w < 3; ++w) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i) word = word << 8 | header_[w * 4 + i];
    receipt_->header_words[w] = word;
  }
  receipt_->header_seen = true;
  receipt_->header_ok =
      receipt_->header_words[0] == kHeaderKind && receipt_->header_words[1] == kImageTag;
  if (!receipt_->header_ok) {
    parse_ = Parse::Refused;
    return;
  }
  parse_ = Parse::Image;
  image_length_ = receipt_->header_words[2];
}

void BoxProtocol::ImageArrived(std::int64_t at) {
  parse_ = Parse::Done;
  image_complete_at_ = at;
  receipt_->image_complete = true;
  if (options_.closing) closing_due_ = at + std::int64_t{options_.update_ms} * 1000;
}

void BoxProtocol::Queue(const Chunk& chunk) {
  if (chunk_count_ == kMaxChunks || chunk.length == 0) return;
  chunks_[(chunk_head_ + chunk_count_) % kMaxChunks] = chunk;
  ++chunk_count_;
}

void BoxProtocol::QueueOpening() {
  opening_due_ = kNever;
  if (!options_.opening || receipt_->opening_queued) return;
  Chunk record;
  PutWord(&record.record, 0, kModelWord);
  PutWord(&record.record, 1, kFirmwareWord);
  PutWord(&record.record, 2, options_.box_data);
  record.length = 12;
  Queue(record);
  Chunk data;
  data.generated = true;
  data.length = options_.box_data;
  Queue(data);
  receipt_->opening_queued = true;
  receipt_->box_data_queued = options_.box_data;
}

void BoxProtocol::QueueClosing() {
  closing_due_ = kNever;
  Chunk record;
  PutWord(&record.record, 0, kModelWord);
  PutWord(&record.record, 1, crc_.Value());
  PutWord(&record.record, 2, static_cast<std::uint32_t>(receipt_->image_bytes));
  record.length = 12;
  Queue(record);
  receipt_->closing_queued = true;
}

void BoxProtocol::DropUnsent() {
  while (HasByteToSend()) {
    const Chunk& chunk = chunks_[chunk_head_];
    receipt_->unsent_dropped += chunk.length - chunk.pos;
    chunk_head_ = (chunk_head_ + 1) % kMaxChunks;
    --chunk_count_;
  }
}

bool BoxProtocol::HasByteToSend() {
  while (chunk_count_ > 0 && chunks_[chunk_head_].pos == chunks_[chunk_head_].length) {
    chunk_head_ = (chunk_head_ + 1) % kMaxChunks;
    --chunk_count_;
  }
  return chunk_count_ > 0;
}

std::uint8_t BoxProtocol::NextByteToSend() {
  Chunk& chunk = chunks_[chunk_head_];
  const std::uint8_t byte =
      chunk.generated ? static_cast<std::uint8_t>(chunk.pos % 251) : chunk.record[chunk.pos];
  ++chunk.pos;
  return byte;
}

}  // namespace m4410
