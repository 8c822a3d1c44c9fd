// The machine's own port on Windows where no port driver is installed, as under Wine: the
// real device open fails, and OpenPortDriver gives result 1 with the driver's reason and
// leaves nothing open, on the usual port and on a card's ranges alike.
#include <gtest/gtest.h>

#include <memory>

#include "port/port_access.h"
#include "port/port_driver.h"

namespace m4410 {
namespace {

TEST(DefaultPortWin32Test, WithoutThePortDriverTheOpenIsResultOne) {
  const PortAccessFactory backends[] = {
      {},  // the default backend
      [] { return MakeSystemPortAccess(PortAddresses{0xD000, 0xD010}); },
  };
  for (const PortAccessFactory& backend : backends) {
    SetProcessPortFactory(backend);
    std::unique_ptr<PortDriverContext> context;
    EXPECT_EQ(OpenPortDriver(&context), 1);
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(PortErrorText().rfind("Cannot open WinDriver device: ", 0), 0u);
  }
  SetProcessPortFactory({});
}

}  // namespace
}  // namespace m4410
