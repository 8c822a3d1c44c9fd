#include "protocol/update_protocol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "link/link_rig.h"
#include "link/parallel_link.h"
#include "port/port_driver.h"
#include "board/stage_board.h"
#include "sim/box_protocol.h"
#include "sim/crc32.h"
#include "sim/sim_rig.h"
#include "support/unusual_files.h"
#include "support/update_faults.h"

namespace m4410 {
namespace {

using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using test::Bytes;
using test::PortEvent;
using test::PortLog;

constexpr std::int64_t kSecond = 1'000'000;  // in microseconds

std::uint32_t CrcOf(const Bytes& bytes) { return Crc32Extend(0, bytes.data(), bytes.size()); }

// --- words and records -------------------------------------------------------------------

TEST(WordOrderTest, WordsGoMostSignificantByteFirstAndComeBackWhole) {
  std::uint8_t buffer[12] = {};
  std::size_t cursor = 0;
  PutWordBE(buffer, &cursor, 0x01020304u);
  EXPECT_EQ(cursor, 4u);
  PutWordBE(buffer, &cursor, 0xFEDCBA98u);
  PutWordBE(buffer, &cursor, 0x80000001u);
  EXPECT_EQ(cursor, 12u);
  EXPECT_THAT(buffer, ElementsAre(0x01, 0x02, 0x03, 0x04, 0xFE, 0xDC, 0xBA, 0x98, 0x80, 0x00,
                                  0x00, 0x01));

  cursor = 0;
  EXPECT_EQ(GetWordBE(buffer, &cursor), 0x01020304u);
  EXPECT_EQ(GetWordBE(buffer, &cursor), 0xFEDCBA98u);
  EXPECT_EQ(GetWordBE(buffer, &cursor), 0x80000001u);
  EXPECT_EQ(cursor, 12u);
  cursor = 2;  // a cursor off a word boundary reads the four bytes there
  EXPECT_EQ(GetWordBE(buffer, &cursor), 0x0304FEDCu);
  EXPECT_EQ(cursor, 6u);

  for (const std::uint32_t value : {0u, 1u, 0xFFu, 0x100u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    std::uint8_t bytes[4];
    std::size_t put = 0, get = 0;
    PutWordBE(bytes, &put, value);
    EXPECT_EQ(GetWordBE(bytes, &get), value);
  }
}

TEST(RecordTest, SendRecordWritesTheThreeWordsBigEndianInOneBlock) {
  test::LinkRig rig;
  BoxRecord header;
  header.words[0] = HeaderKind;
  header.words[1] = ImageTag;
  header.words[2] = 1000;
  EXPECT_EQ(SendRecord(&rig.context, header), 0);
  EXPECT_THAT(rig.port.Written(test::kExt, test::kFifo),
              ElementsAre(0x00, 0x00, 0x00, 0x01, 0x40, 0x20, 0x00, 0x00, 0x00, 0x00, 0x03, 0xE8));
}

TEST(RecordTest, ReadBoxRecordDecodesTwelveBytesAndGivesOne) {
  test::LinkRig rig;
  rig.port.Set(test::kStd, test::kControl, 0x24);  // already reverse: no turn needed
  rig.port.Answer(test::kExt, test::kEcr, [](test::ScriptedPort& p) {
    return static_cast<std::uint8_t>(p.Held(test::kExt, test::kEcr) & 0xFC);  // data waiting
  });
  rig.port.Queue(test::kExt, test::kFifo,
                 {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0xFA});
  BoxRecord record;
  EXPECT_EQ(ReadBoxRecord(&rig.context, &record), 1);
  EXPECT_EQ(record.words[0], 0xDEADBEEFu);
  EXPECT_EQ(record.words[1], 0x00010002u);
  EXPECT_EQ(record.words[2], 250u);
  EXPECT_EQ(rig.port.Accesses(test::kExt, test::kFifo, false).size(), 12u);
}

TEST(RecordTest, ReadBoxRecordPassesOnTheReadFailure) {
  test::LinkRig rig;  // the FIFO never shows a byte
  rig.port.Set(test::kStd, test::kControl, 0x24);
  BoxRecord record;
  EXPECT_EQ(ReadBoxRecord(&rig.context, &record), -1);
  EXPECT_TRUE(rig.port.Accesses(test::kExt, test::kFifo, false).empty());
}

// --- whole transfers on the simulated box ------------------------------------------------

class UpdateProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
    RaiseKeepGoing();
    ForgetLastTransfer();
  }
  void TearDown() override {
    // Whatever the box did, the host never broke the protocol.
    if (rig_) {
      EXPECT_EQ(HostFaultSummary(receipt()), "none");
    }
    if (context_) ClosePortDriver(std::move(context_));
    rig_.reset();
    RaiseKeepGoing();
  }

  // The link up with a box shaped by sim, as SendUpdate finds it; the log starts here.
  void Link(std::string_view sim = "") {
    rig_ = std::make_unique<test::SimRig>(sim);
    ASSERT_EQ(OpenPortDriver(&context_), 0);
    ASSERT_EQ(EstablishLink(context_.get()), 0);
    log().Clear();
  }

  int Send(const std::string& update, const char* box_data_path = "0") {
    return SendUpdate(context_.get(), update.c_str(), box_data_path);
  }

  PortLog& log() { return rig_->log(); }
  BoxReceipt receipt() const { return rig_->receipt(); }
  std::int64_t Now() const { return rig_->clock().PeekMicros(); }
  std::vector<StageStatus> Stages456() const {
    return {GetStage(BoxInformationReceived), GetStage(SoftwareTransmitted), GetStage(BoxUpdated)};
  }

  test::ScratchDir dir_;
  std::unique_ptr<test::SimRig> rig_;
  std::unique_ptr<PortDriverContext> context_;
};

TEST_F(UpdateProtocolTest, ThousandBytesWithoutBoxDataInWireOrder) {
  Link();
  const Bytes image = test::ImageBytes(1000);
  const std::string path = dir_.Put("update.bin", image);
  // What the stages show while the image goes out and while the closing record is awaited.
  StageStatus during_image = NoReport, awaiting_closing = NoReport;
  log().watchers.push_back([&](const PortEvent& e) {
    if (e.Fifo() && e.kind == PortEvent::Write && log().fifo_writes == 13) {
      during_image = GetStage(SoftwareTransmitted);
    }
    if (e.Fifo() && e.kind == PortEvent::Read && log().fifo_reads == 13) {
      awaiting_closing = GetStage(BoxUpdated);
    }
  });

  testing::internal::CaptureStdout();
  EXPECT_EQ(Send(path), Completed);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "size read\n");

  const auto transfers = log().Transfers();
  ASSERT_THAT(log().TransferShape(), ElementsAre(12, -12, -1000, 12));
  EXPECT_EQ(transfers[0].bytes,
            test::RecordBytes(BoxProtocol::kModelWord, BoxProtocol::kFirmwareWord, 0));
  EXPECT_THAT(transfers[1].bytes,
              ElementsAre(0x00, 0x00, 0x00, 0x01, 0x40, 0x20, 0x00, 0x00, 0x00, 0x00, 0x03, 0xE8));
  EXPECT_EQ(transfers[2].bytes, image);
  EXPECT_EQ(during_image, Busy);
  EXPECT_EQ(awaiting_closing, Busy);
  EXPECT_THAT(Stages456(), ElementsAre(Okay, Okay, Okay));

  const BoxReceipt box = receipt();
  EXPECT_TRUE(box.header_ok);
  EXPECT_EQ(box.header_words[2], 1000u);
  EXPECT_TRUE(box.image_complete);
  EXPECT_EQ(box.image_bytes, 1000u);
  EXPECT_EQ(box.image_crc32, CrcOf(image));
  EXPECT_EQ(box.stray_bytes, 0u);
  EXPECT_EQ(box.all_faults(), 0u) << HostFaultSummary(box);
  EXPECT_TRUE(dir_.CwdEntries().empty());  // no box data, no file "0"
}

TEST_F(UpdateProtocolTest, BoxDataComesInChunksOfAHundredIntoFileZero) {
  Link("box-data=250");
  // Whatever the record's first two words hold, its third announces the data.
  log().read_filter = [this](const PortEvent& e) {
    return e.Fifo() && log().fifo_reads < 8 ? std::uint8_t{0xA5} : e.value;
  };
  dir_.Put("cwd/0", Bytes(1000, 0xEE));  // an older, longer "0" is replaced whole
  const Bytes image = test::ImageBytes(300);

  EXPECT_EQ(Send(dir_.Put("update.bin", image)), Completed);

  const auto transfers = log().Transfers();
  ASSERT_THAT(log().TransferShape(), ElementsAre(12, 100, 100, 50, -12, -300, 12));
  EXPECT_EQ(transfers[0].bytes, test::RecordBytes(0xA5A5A5A5u, 0xA5A5A5A5u, 250));
  Bytes data;
  for (int i = 1; i <= 3; ++i) {
    data.insert(data.end(), transfers[i].bytes.begin(), transfers[i].bytes.end());
  }
  EXPECT_EQ(data, test::BoxDataBytes(250));
  EXPECT_EQ(test::ReadWhole(dir_.cwd() / "0"), test::BoxDataBytes(250));
  // The window names the file by its full path.
  EXPECT_TRUE(std::filesystem::path(LastBoxDataFile()).is_absolute()) << LastBoxDataFile();
  EXPECT_TRUE(std::filesystem::equivalent(LastBoxDataFile(), dir_.cwd() / "0"));
  EXPECT_EQ(receipt().image_crc32, CrcOf(image));
  EXPECT_THAT(Stages456(), ElementsAre(Okay, Okay, Okay));
}

TEST_F(UpdateProtocolTest, BoxDataOfExactlyOneChunk) {
  Link("box-data=100");
  EXPECT_EQ(Send(dir_.Put("update.bin", test::ImageBytes(50))), Completed);
  EXPECT_THAT(log().TransferShape(), ElementsAre(12, 100, -12, -50, 12));
  EXPECT_EQ(test::ReadWhole(dir_.cwd() / "0"), test::BoxDataBytes(100));
}

TEST_F(UpdateProtocolTest, NoBoxDataLeavesAnExistingFileZeroAlone) {
  Link("box-data=0");
  const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  dir_.Put("cwd/0", earlier);
  EXPECT_EQ(Send(dir_.Put("update.bin", test::ImageBytes(50))), Completed);
  EXPECT_THAT(log().TransferShape(), ElementsAre(12, -12, -50, 12));
  EXPECT_EQ(test::ReadWhole(dir_.cwd() / "0"), earlier);
  EXPECT_EQ(LastBoxDataFile(), "") << "a file left alone is not named as written";
}

TEST_F(UpdateProtocolTest, EmptyBoxDataPathReadsTheDataAndDropsIt) {
  Link("box-data=250");
  EXPECT_EQ(Send(dir_.Put("update.bin", test::ImageBytes(50)), ""), Completed);
  EXPECT_THAT(log().TransferShape(), ElementsAre(12, 100, 100, 50, -12, -50, 12));
  EXPECT_TRUE(dir_.CwdEntries().empty());
  EXPECT_EQ(LastBoxDataFile(), "");
}

TEST_F(UpdateProtocolTest, SymbolicLinkNamedZeroIsNotFollowed) {
  Link("box-data=250");
  const Bytes kept = {'k', 'e', 'p', 't'};
  const std::string target = dir_.Put("target", kept);
  std::error_code linked;
  std::filesystem::create_symlink(target, dir_.cwd() / "0", linked);
  if (linked) GTEST_SKIP() << "no symbolic links here: " << linked.message();

  EXPECT_EQ(Send(dir_.Put("update.bin", test::ImageBytes(50))), Completed);

  EXPECT_THAT(log().TransferShape(), ElementsAre(12, 100, 100, 50, -12, -50, 12));
  EXPECT_EQ(test::ReadWhole(target), kept);
  EXPECT_TRUE(std::filesystem::is_symlink(dir_.cwd() / "0"));
  EXPECT_EQ(LastBoxDataFile(), "") << "a refused file is not named as written";
  EXPECT_EQ(GetStage(BoxUpdated), Okay);
}

// --- the fault table: what the protocol adds ----------------------------------------------

class ProtocolFaultTest : public UpdateProtocolTest,
                          public ::testing::WithParamInterface<test::UpdateFault> {};

TEST_P(ProtocolFaultTest, ResultLinesAndTime) {
  const test::UpdateFault& fault = GetParam();
  const test::ProtocolLevel& expected = fault.protocol;
  if (fault.arrange == test::UnreadableFile && UnreadablePlainFile().empty()) {
    GTEST_SKIP() << "no plain file here fails its reads";
  }
  rig_ = std::make_unique<test::SimRig>(fault.sim);
  std::string path = dir_.Put("update.bin", test::ImageBytes(test::kFaultImageSize));
  fault.arrange(log(), &path);
  ASSERT_EQ(OpenPortDriver(&context_), 0);
  testing::internal::CaptureStdout();
  ASSERT_EQ(EstablishLink(context_.get()), 0);
  testing::internal::GetCapturedStdout();
  log().Clear();

  const std::int64_t start = Now();
  testing::internal::CaptureStdout();
  EXPECT_EQ(Send(path), expected.outcome);
  EXPECT_THAT(testing::internal::GetCapturedStdout(), ContainsRegex(expected.lines));
  EXPECT_GE(Now() - start, std::int64_t{expected.min_ms} * 1000);
  if (expected.max_ms > 0) EXPECT_LT(Now() - start, std::int64_t{expected.max_ms} * 1000);
  // A file that will not load never reaches the box; a completed one is whole in it.
  if (expected.outcome == OpenFailed || expected.outcome == ReadFailed) {
    EXPECT_TRUE(log().events.empty());
  }
  if (expected.outcome == Completed) {
    EXPECT_EQ(receipt().image_bytes, test::kFaultImageSize);
    EXPECT_EQ(receipt().image_crc32, CrcOf(test::ImageBytes(test::kFaultImageSize)));
  }
}

std::vector<test::UpdateFault> ProtocolFaults() {
  std::vector<test::UpdateFault> shown;
  for (const test::UpdateFault& fault : test::kUpdateFaults) {
    if (fault.protocol.outcome != test::kNoExchange) shown.push_back(fault);
  }
  return shown;
}

INSTANTIATE_TEST_SUITE_P(Faults, ProtocolFaultTest, ::testing::ValuesIn(ProtocolFaults()),
                         [](const ::testing::TestParamInfo<test::UpdateFault>& info) {
                           return std::string(info.param.name);
                         });

// --- failures the table does not hold -------------------------------------------------------

TEST_F(UpdateProtocolTest, EmptyUpdateFileSendsAZeroLengthHeaderThenFailsTheImage) {
  Link();
  EXPECT_EQ(Send(dir_.Put("empty.bin", {})), ImageFailed);
  const auto transfers = log().Transfers();
  ASSERT_THAT(log().TransferShape(), ElementsAre(12, -12));
  EXPECT_EQ(transfers[1].bytes, test::RecordBytes(1, 0x40200000u, 0));
  EXPECT_THAT(Stages456(), ElementsAre(Okay, Failed, NoReport));
}

// Any twelve bytes count as the closing record.
class ClosingRecordTest : public UpdateProtocolTest,
                          public ::testing::WithParamInterface<std::uint8_t> {};

TEST_P(ClosingRecordTest, ContentIsNotLookedAt) {
  Link();
  const std::uint8_t fill = GetParam();
  log().read_filter = [this, fill](const PortEvent& e) {
    return e.Fifo() && log().fifo_reads >= 12 ? fill : e.value;
  };
  EXPECT_EQ(Send(dir_.Put("update.bin", test::ImageBytes(200))), Completed);
  const auto transfers = log().Transfers();
  ASSERT_EQ(transfers.size(), 4u);
  EXPECT_EQ(transfers[3].bytes, Bytes(12, fill));
  EXPECT_EQ(GetStage(BoxUpdated), Okay);
}

INSTANTIATE_TEST_SUITE_P(Fills, ClosingRecordTest, ::testing::Values(0x00, 0xFF, 0x5A));

TEST_F(UpdateProtocolTest, FileLongerThanTheLengthWordIsRefusedBeforeTheBox) {
  Link();
  const std::filesystem::path huge = dir_.root() / "huge.bin";
  if (!MakeSparseFile(huge, std::int64_t{1} << 31)) {
    GTEST_SKIP() << "this filesystem does not make a sparse 2 GiB file";
  }

  testing::internal::CaptureStdout();
  EXPECT_EQ(Send(huge.string()), ReadFailed);
  EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr("error during reading file"));
  EXPECT_TRUE(log().events.empty());
  EXPECT_THAT(Stages456(), ElementsAre(NoReport, NoReport, NoReport));
}

// Nothing but a plain file is sent, and opening one never waits: a named pipe with no
// writer, a device, a socket or a directory fails the first open, before the box.
TEST_F(UpdateProtocolTest, AnythingButAPlainFileFailsTheOpenAtOnce) {
  Link();
  const UnusualFiles unusual(dir_.root());
  std::vector<std::string> paths{dir_.root().string()};
  for (const UnusualFile& file : unusual.all()) paths.push_back(file.path);
  for (const std::string& path : paths) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(Send(path), OpenFailed) << path;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << path;
  }
  EXPECT_TRUE(log().events.empty());
  EXPECT_THAT(Stages456(), ElementsAre(NoReport, NoReport, NoReport));
}

// An image named "0" in the current directory is the box-data file's name: the box data
// is read and dropped, and the image goes out whole and stays as it was.
TEST_F(UpdateProtocolTest, BoxDataNeverReplacesTheImageBeingSent) {
  const Bytes image = test::ImageBytes(300);
  dir_.Put("cwd/0", image);
  std::filesystem::create_hard_link(dir_.cwd() / "0", dir_.root() / "hard-link");
  for (const std::string& path : {std::string("0"), (dir_.root() / "hard-link").string()}) {
    if (context_) ClosePortDriver(std::move(context_));
    rig_.reset();
    Link("box-data=250");
    EXPECT_EQ(Send(path), Completed) << path;
    EXPECT_THAT(log().TransferShape(), ElementsAre(12, 100, 100, 50, -12, -300, 12));
    EXPECT_EQ(receipt().image_crc32, CrcOf(image));
    EXPECT_EQ(test::ReadWhole(dir_.cwd() / "0"), image);
    EXPECT_EQ(LastBoxDataFile(), "") << path;
  }
}

}  // namespace
}  // namespace m4410
