#include "port/parport_listing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "port/fake_system.h"

namespace m4410 {
namespace {

using ::testing::ElementsAre;

// A machine with its own port and a PCIe card whose two ranges sit in separate I/O windows.
constexpr const char* kIoports =
    "0000-0cf7 : PCI Bus 0000:00\n"
    "  0000-001f : dma1\n"
    "  0070-0077 : rtc0\n"
    "  0378-037a : parport0\n"
    "  037b-037f : parport0\n"
    "  03c0-03df : vga+\n"
    "  03f8-03ff : serial\n"
    "  0778-077a : parport0\n"
    "0d00-ffff : PCI Bus 0000:00\n"
    "  e000-efff : PCI Bus 0000:05\n"
    "    e000-e007 : 0000:05:00.0\n"
    "      e000-e002 : parport1\n"
    "      e003-e007 : parport1\n"
    "    e010-e017 : 0000:05:00.0\n"
    "      e010-e012 : parport1\n";

struct Expected {
  std::string name;
  unsigned base;
  std::optional<unsigned> extended;
  std::string option;
};

void ExpectEntries(const std::vector<ParportEntry>& entries, const std::vector<Expected>& want) {
  ASSERT_EQ(entries.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(entries[i].name, want[i].name);
    EXPECT_EQ(entries[i].base, want[i].base) << want[i].name;
    EXPECT_EQ(entries[i].extended.has_value(), want[i].extended.has_value()) << want[i].name;
    if (entries[i].extended && want[i].extended) {
      EXPECT_EQ(*entries[i].extended, *want[i].extended) << want[i].name;
    }
    EXPECT_EQ(entries[i].port_option, want[i].option) << want[i].name;
  }
}

TEST(ParportListingTest, IoportsGivesEachPortsRanges) {
  ExpectEntries(ParseIoports(kIoports), {{"parport0", 0x378, 0x778, "lpt"},
                                         {"parport1", 0xE000, 0xE010, "lpt:0xe000,0xe010"}});
}

TEST(ParportListingTest, IoportsExtendedRangeMarkedEcpOrUnderAnEcpEntry) {
  const char* text =
      "  0278-027a : parport2\n"
      "  d000-d07f : ECP\n"
      "    d008-d00a : parport2\n"
      "  c000-c002 : parport3\n"
      "  c400-c402 : parport3 (ECP)\n"
      "  b000-b007 : parport4\n"
      "  b800-b802 : parport4\n"
      "  a000-a007 : parport5\n";
  ExpectEntries(ParseIoports(text), {{"parport2", 0x278, 0xD008, "lpt:0x278,0xd008"},
                                     {"parport3", 0xC000, 0xC400, "lpt:0xc000,0xc400"},
                                     {"parport4", 0xB000, 0xB800, "lpt:0xb000,0xb800"},
                                     {"parport5", 0xA000, std::nullopt, "lpt:0xa000"}});
}

TEST(ParportListingTest, IoportsAsSeenWithoutPrivilegeListsNothing) {
  const char* text =
      "0000-0000 : PCI Bus 0000:00\n"
      "  0000-0000 : parport0\n"
      "  0000-0000 : parport0\n"
      "  0000-0000 : parport0\n";
  EXPECT_TRUE(ParseIoports(text).empty());
  EXPECT_TRUE(ParseIoports("").empty());
  EXPECT_TRUE(ParseIoports("garbage\n  zz-yy : parport0\n0378 : parport0\n").empty());
}

TEST(ParportListingTest, BaseAddrText) {
  auto both = ParseParportBaseAddr("888\t1912\n");
  ASSERT_TRUE(both);
  EXPECT_EQ(both->base, 0x378);
  EXPECT_EQ(both->extended, std::optional<std::uint16_t>(0x778));

  auto no_ecp = ParseParportBaseAddr("632\t0\n");
  ASSERT_TRUE(no_ecp);
  EXPECT_EQ(no_ecp->base, 0x278);
  EXPECT_FALSE(no_ecp->extended);

  auto hex = ParseParportBaseAddr("0xe010 0xe000");
  ASSERT_TRUE(hex);
  EXPECT_EQ(hex->base, 0xE010);
  EXPECT_EQ(hex->extended, std::optional<std::uint16_t>(0xE000));

  EXPECT_FALSE(ParseParportBaseAddr(""));
  EXPECT_FALSE(ParseParportBaseAddr("0\t0\n"));            // a port without I/O registers
  EXPECT_FALSE(ParseParportBaseAddr("4026531840\t0\n"));   // memory-mapped
  EXPECT_FALSE(ParseParportBaseAddr("888x\t1912\n"));
}

TEST(ParportListingTest, BaseAddrFilesWinOverIoportsAndEntriesSortByNumber) {
  const std::vector<KernelParportFile> files = {
      {"parport10", "640\t1664\n", ""},
      {"parport1", "57360\t57344\n", ""},  // the card's ranges the other way round
      {"parport0", "", "PCSPP,TRISTATE\n"},  // no base-addr: /proc/ioports has it
  };
  EXPECT_EQ(BuildParportListing(kIoports, files)[0].modes, "PCSPP,TRISTATE");
  ExpectEntries(BuildParportListing(kIoports, files),
                {{"parport0", 0x378, 0x778, "lpt"},
                 {"parport1", 0xE010, 0xE000, "lpt:0xe010,0xe000"},
                 {"parport10", 0x280, 0x680, "lpt:0x280,0x680"}});
}

TEST(ParportListingTest, ReadsTheKernelsFolders) {
  FakeSystem system;
  system.files["/proc/ioports"] = kIoports;
  system.folders["/proc/sys/dev/parport"] = {"default", "parport0"};
  system.files["/proc/sys/dev/parport/parport0/base-addr"] = "888\t1912\n";
  system.files["/proc/sys/dev/parport/parport0/modes"] = "PCSPP,TRISTATE\n";
  system.folders["/sys/class/parport"] = {"parport0", "parport2"};
  system.files["/sys/class/parport/parport2/base_addr"] = "0x3bc 0x7bc";

  const auto files = ReadKernelParportFiles(system);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].name, "parport0");
  EXPECT_EQ(files[0].base_addr, "888\t1912\n");
  EXPECT_EQ(files[1].name, "parport2");

  const auto entries = ListParallelPorts(system);
  ExpectEntries(entries, {{"parport0", 0x378, 0x778, "lpt"},
                          {"parport1", 0xE000, 0xE010, "lpt:0xe000,0xe010"},
                          {"parport2", 0x3BC, 0x7BC, "lpt:0x3bc,0x7bc"}});
  EXPECT_EQ(entries[0].modes, "PCSPP,TRISTATE");
  EXPECT_EQ(entries[1].modes, "");
}

TEST(ParportListingTest, FormatsOneLinePerPortOrSaysNoneFound) {
  std::vector<ParportEntry> entries(3);
  entries[0] = {"parport0", 0x378, 0x778, "lpt", "PCSPP,TRISTATE"};
  entries[1] = {"parport1", 0xA000, std::nullopt, "lpt:0xa000", ""};
  entries[2] = {"parport2", 0xE000, 0xE010, "lpt:0xe000,0xe010", "PCSPP,TRISTATE,COMPAT,ECP"};
  EXPECT_THAT(
      FormatParportListing(entries),
      ElementsAre(
          "parport0: base 0x378, extended 0x778, modes PCSPP,TRISTATE (no ECP)  --port lpt",
          "parport1: base 0xa000, extended unknown  --port lpt:0xa000",
          "parport2: base 0xe000, extended 0xe010, modes PCSPP,TRISTATE,COMPAT,ECP  "
          "--port lpt:0xe000,0xe010"));

  FakeSystem empty;
  const auto lines = FormatParportListing(ListParallelPorts(empty));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "no parallel ports found");
}

TEST(ParportListingTest, EcpIsOneOfTheKernelsModesNotAPartOfOne) {
  for (const char* with : {"ECP", "PCSPP,ECP", "PCSPP,TRISTATE,COMPAT,EPP,ECP,DMA", "ECP,DMA"}) {
    EXPECT_TRUE(ModesIncludeEcp(with)) << with;
  }
  for (const char* without : {"", "PCSPP,TRISTATE", "PCSPP,TRISTATE,EPP", "ECPX,XECP", "E,CP"}) {
    EXPECT_FALSE(ModesIncludeEcp(without)) << without;
  }
}

TEST(ParportListingTest, PortOptionUsesTheShortFormOnlyForTheBuiltInAddresses) {
  EXPECT_EQ(PortOptionFor(0x378, 0x778), "lpt");
  EXPECT_EQ(PortOptionFor(0x378, std::nullopt), "lpt");
  EXPECT_EQ(PortOptionFor(0x378, 0xE000), "lpt:0x378,0xe000");
  EXPECT_EQ(PortOptionFor(0x278, 0x678), "lpt:0x278,0x678");
}

}  // namespace
}  // namespace m4410
