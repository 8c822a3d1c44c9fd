#include "port/windriver_port_access.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "port/port_driver.h"
#include "port/time_source.h"

namespace m4410 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// How the fake driver answers.
struct DriverScript {
  bool device_present = true;
  std::uint32_t version = 412;
  std::uint32_t claim_handle = 0x51;
  std::uint8_t port_byte = 0x5A;  // what every port read gives
};

struct Request {
  std::uint32_t code = 0;
  Bytes record;  // as sent, before the driver's answer
  std::uintptr_t transfer_buffer = 0;
  std::uint8_t buffer_byte = 0;  // the transfer buffer's byte as sent
};

struct DriverLog {
  std::vector<std::string> events;  // "open", "open failed", "close", or a request name
  std::vector<Request> requests;
  bool open = false;
};

std::uint32_t Le32(const Bytes& bytes, std::size_t offset) {
  return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
         static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

bool AllZero(const Bytes& bytes, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

// Records every request and answers it the way the driver does: inside the record, or in
// the byte the transfer record names.
class RecordingDevice final : public WinDriverDevice {
 public:
  RecordingDevice(DriverScript script, DriverLog& log) : script_(script), log_(log) {}

  bool Open() override {
    log_.events.push_back(script_.device_present ? "open" : "open failed");
    log_.open = script_.device_present;
    return script_.device_present;
  }

  bool Control(std::uint32_t code, void* record, std::uint32_t size,
               std::uint8_t* transfer_buffer) override {
    EXPECT_TRUE(log_.open) << "request on a closed device";
    Request request;
    request.code = code;
    const auto* bytes = static_cast<const std::uint8_t*>(record);
    request.record.assign(bytes, bytes + size);
    request.transfer_buffer = reinterpret_cast<std::uintptr_t>(transfer_buffer);
    if (transfer_buffer) request.buffer_byte = *transfer_buffer;
    log_.requests.push_back(request);

    auto* out = static_cast<std::uint8_t*>(record);
    switch (code) {
      case kWdVersionRequest:
        log_.events.push_back("version");
        std::memcpy(out, &script_.version, 4);
        break;
      case kWdClaimRequest:
        log_.events.push_back("claim");
        std::memcpy(out + 568, &script_.claim_handle, 4);
        break;
      case kWdReleaseRequest:
        log_.events.push_back("release");
        break;
      case kWdTransferRequest:
        log_.events.push_back("transfer");
        if (!transfer_buffer) {
          ADD_FAILURE() << "transfer without its buffer";
        } else if (Le32(request.record, 0) == 20) {
          *transfer_buffer = script_.port_byte;
        }
        break;
      default:
        log_.events.push_back("unknown");
    }
    return true;
  }

  void Close() override {
    log_.events.push_back("close");
    log_.open = false;
  }

 private:
  DriverScript script_;
  DriverLog& log_;
};

class WinDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if constexpr (std::endian::native != std::endian::little) {
      GTEST_SKIP() << "the driver's records are little-endian";
    }
    SetPortAccessFactory([this] {
      return std::make_unique<WinDriverPortAccess>(std::make_unique<RecordingDevice>(script, log),
                                                   addresses);
    });
  }
  void TearDown() override {
    SetPortAccessFactory(nullptr);
    SetTimeSource(nullptr);
  }

  std::unique_ptr<PortDriverContext> OpenOrFail() {
    std::unique_ptr<PortDriverContext> context;
    EXPECT_EQ(OpenPortDriver(&context), 0);
    log.requests.clear();  // only what follows the open
    return context;
  }

  // The one transfer sent since the last open.
  const Request& OnlyTransfer() const {
    EXPECT_EQ(log.requests.size(), 1u);
    return log.requests.back();
  }

  DriverScript script;
  PortAddresses addresses;
  DriverLog log;
};

TEST_F(WinDriverTest, OpenSendsTheVersionRequestThenTheClaimRecord) {
  std::unique_ptr<PortDriverContext> context;
  ASSERT_EQ(OpenPortDriver(&context), 0);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(PortErrorText(), "");
  EXPECT_EQ(log.events, (std::vector<std::string>{"open", "version", "claim"}));
  ASSERT_EQ(log.requests.size(), 2u);

  const Bytes& version = log.requests[0].record;
  EXPECT_EQ(version.size(), 104u);
  EXPECT_TRUE(AllZero(version, 0, 104));

  const Bytes& claim = log.requests[1].record;
  ASSERT_EQ(claim.size(), 708u);
  EXPECT_EQ(Le32(claim, 0), 2u);
  const std::uint32_t items[2][4] = {{3, 1, 0x378, 8}, {3, 1, 0x778, 3}};
  for (std::size_t item = 0; item < 2; ++item) {
    const std::size_t at = 4 + 28 * item;
    for (std::size_t field = 0; field < 4; ++field) {
      EXPECT_EQ(Le32(claim, at + 4 * field), items[item][field]) << "item " << item;
    }
    EXPECT_TRUE(AllZero(claim, at + 16, at + 28));
  }
  EXPECT_TRUE(AllZero(claim, 4 + 2 * 28, 708));  // 18 empty items, mode 0, handle, reserved

  ClosePortDriver(std::move(context));
}

TEST_F(WinDriverTest, EachAccessorSendsOneSingleByteTransfer) {
  auto context = OpenOrFail();
  ASSERT_NE(context, nullptr);

  struct Read {
    std::uint8_t (*accessor)(PortDriverContext*);
    std::uint32_t port;
  };
  for (const auto& [accessor, port] : {Read{ReadStatus, 0x379}, Read{ReadControl, 0x37A},
                                       Read{ReadEcr, 0x77A}, Read{ReadEcpFifo, 0x778}}) {
    log.requests.clear();
    EXPECT_EQ(accessor(context.get()), 0x5A);
    const Request& request = OnlyTransfer();
    EXPECT_EQ(request.code, kWdTransferRequest);
    ASSERT_EQ(request.record.size(), 24u);
    EXPECT_EQ(Le32(request.record, 0), 20u);
    EXPECT_EQ(Le32(request.record, 4), port);
    EXPECT_EQ(Le32(request.record, 8), 1u);   // byte count
    EXPECT_EQ(Le32(request.record, 12), 1u);  // auto-increment
    EXPECT_EQ(Le32(request.record, 16), 0u);  // options
    EXPECT_EQ(Le32(request.record, 20), request.transfer_buffer & 0xFFFFFFFFu);
  }

  struct Write {
    void (*accessor)(PortDriverContext*, unsigned);
    std::uint32_t port;
  };
  for (const auto& [accessor, port] :
       {Write{WriteData, 0x378}, Write{WriteControl, 0x37A}, Write{WriteEcr, 0x77A},
        Write{WriteConfigB, 0x779}, Write{WriteEcpFifo, 0x778}}) {
    log.requests.clear();
    accessor(context.get(), 0x1A5);  // only the low byte reaches the port
    const Request& request = OnlyTransfer();
    EXPECT_EQ(Le32(request.record, 0), 23u);
    EXPECT_EQ(Le32(request.record, 4), port);
    EXPECT_EQ(Le32(request.record, 8), 1u);
    EXPECT_EQ(request.buffer_byte, 0xA5);
    EXPECT_EQ(Le32(request.record, 20), request.transfer_buffer & 0xFFFFFFFFu);
  }
  ClosePortDriver(std::move(context));
}

TEST_F(WinDriverTest, PortsFollowTheClaimedRanges) {
  addresses = {0xD000, 0xD800};  // a PCI card
  std::unique_ptr<PortDriverContext> context;
  ASSERT_EQ(OpenPortDriver(&context), 0);
  const Bytes& claim = log.requests[1].record;
  EXPECT_EQ(Le32(claim, 4 + 8), 0xD000u);
  EXPECT_EQ(Le32(claim, 32 + 8), 0xD800u);
  log.requests.clear();
  ReadStatus(context.get());
  WriteEcr(context.get(), 0x34);
  ASSERT_EQ(log.requests.size(), 2u);
  EXPECT_EQ(Le32(log.requests[0].record, 4), 0xD001u);
  EXPECT_EQ(Le32(log.requests[1].record, 4), 0xD802u);
  ClosePortDriver(std::move(context));
}

TEST_F(WinDriverTest, DriverOlderThan412IsRefused) {
  script.version = 411;
  std::unique_ptr<PortDriverContext> context;
  EXPECT_EQ(OpenPortDriver(&context), 2);
  EXPECT_EQ(context, nullptr);
  EXPECT_EQ(PortErrorText(), "error - incorrect WinDriver version\n");
  EXPECT_EQ(log.events, (std::vector<std::string>{"open", "version", "close"}));
}

TEST_F(WinDriverTest, MissingDeviceLeavesTheOutParameterAndNothingOpen) {
  script.device_present = false;
  auto earlier = std::make_unique<PortDriverContext>();
  PortDriverContext* const kept = earlier.get();
  EXPECT_EQ(OpenPortDriver(&earlier), 1);
  EXPECT_EQ(earlier.get(), kept);
  // The driver's words, then on the same line what is missing and what to do about it.
  const std::string reason = PortErrorText();
  EXPECT_EQ(reason.rfind("Cannot open WinDriver device: ", 0), 0u) << reason;
  EXPECT_NE(reason.find("not installed or not running"), std::string::npos) << reason;
  EXPECT_NE(reason.find("version 412 or later"), std::string::npos) << reason;
  // Where the driver comes from and how to see it run; never "run m4410 probe", which is
  // where the reader of this line may already be.
  EXPECT_NE(reason.find("the box's supplier, with the box"), std::string::npos) << reason;
  EXPECT_NE(reason.find("\"driverquery /v\" lists it as windrvr"), std::string::npos) << reason;
  EXPECT_EQ(reason.find("m4410 probe"), std::string::npos) << reason;
  EXPECT_EQ(reason.find('\n'), reason.size() - 1) << reason;
  EXPECT_EQ(log.events, (std::vector<std::string>{"open failed"}));
  EXPECT_FALSE(log.open);
}

TEST_F(WinDriverTest, PortInUseIsRefusedWithoutARelease) {
  script.claim_handle = 0;
  std::unique_ptr<PortDriverContext> context;
  EXPECT_EQ(OpenPortDriver(&context), 2);
  EXPECT_EQ(context, nullptr);
  EXPECT_EQ(PortErrorText(), "error - could not lock device, already in use\n");
  EXPECT_EQ(log.events, (std::vector<std::string>{"open", "version", "claim", "close"}));
}

TEST_F(WinDriverTest, CloseSendsTheClaimRecordBackOnceThenCloses) {
  std::unique_ptr<PortDriverContext> context;
  ASSERT_EQ(OpenPortDriver(&context), 0);
  Bytes claimed = log.requests[1].record;
  std::memcpy(claimed.data() + 568, &script.claim_handle, 4);  // as the driver answered it

  ClosePortDriver(std::move(context));
  EXPECT_EQ(log.events,
            (std::vector<std::string>{"open", "version", "claim", "release", "close"}));
  ASSERT_EQ(log.requests.size(), 3u);
  EXPECT_EQ(log.requests[2].record, claimed);
  EXPECT_FALSE(log.open);
}

TEST_F(WinDriverTest, DroppedContextStillReleasesThePort) {
  {
    std::unique_ptr<PortDriverContext> context;
    ASSERT_EQ(OpenPortDriver(&context), 0);
  }
  EXPECT_EQ(log.events,
            (std::vector<std::string>{"open", "version", "claim", "release", "close"}));
}

}  // namespace
}  // namespace m4410
