#include "port/port_choice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace m4410 {
namespace {

struct Good {
  const char* text;
  PortKind kind;
  unsigned base;
  unsigned extended;
};

TEST(PortChoiceTest, AcceptsEachForm) {
  const Good cases[] = {
      {"lpt", PortKind::Lpt, 0x378, 0x778},
      {"sim", PortKind::Sim, 0x378, 0x778},
      {"lpt:0x278", PortKind::Lpt, 0x278, 0x678},
      {"lpt:0xE010,0xe000", PortKind::Lpt, 0xE010, 0xE000},
      {"lpt:0XE010,0Xe000", PortKind::Lpt, 0xE010, 0xE000},
      {"lpt:888", PortKind::Lpt, 0x378, 0x778},
      {"lpt:888,1912", PortKind::Lpt, 0x378, 0x778},
      {"lpt:0xfff8,0xfff0", PortKind::Lpt, 0xFFF8, 0xFFF0},  // both at the top of the space
      {"lpt:0xfff0,0xfffd", PortKind::Lpt, 0xFFF0, 0xFFFD},
      {"lpt:0xd000,0xd008", PortKind::Lpt, 0xD000, 0xD008},
  };
  for (const Good& c : cases) {
    const PortChoiceResult result = ParsePortChoice(c.text);
    ASSERT_TRUE(result.choice) << c.text << ": " << result.error;
    EXPECT_EQ(result.error, "") << c.text;
    EXPECT_EQ(result.choice->kind, c.kind) << c.text;
    if (c.kind == PortKind::Lpt) {
      EXPECT_EQ(result.choice->addresses.base, c.base) << c.text;
      EXPECT_EQ(result.choice->addresses.extended, c.extended) << c.text;
    }
  }
}

TEST(PortChoiceTest, NamesWhatIsWrong) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "no port given: use lpt, lpt:BASE[,ECPBASE] or sim"},
      {"lpt1", "unknown port 'lpt1': use lpt, lpt:BASE[,ECPBASE] or sim"},
      {"LPT", "unknown port 'LPT'"},
      {"sim:x", "unknown port 'sim:x'"},
      {"lpt:", "port base missing after 'lpt:'"},
      {"lpt:0x378,", "extended base missing after ','"},
      {"lpt:0x378,0x778,0x77a", "too many addresses in 'lpt:0x378,0x778,0x77a'"},
      {"lpt:,0x778", "port base is empty"},
      {"lpt:0x", "port base '0x' is not a hexadecimal number"},
      {"lpt:0x37g", "port base '0x37g' is not a hexadecimal number"},
      {"lpt:378h", "port base '378h' is not a number"},
      {"lpt:-888", "port base '-888' is not a number"},
      {"lpt: 888", "port base ' 888' is not a number"},
      {"lpt:0378", "port base '0378' is ambiguous: write 0x378 for hexadecimal"},
      {"lpt:0", "port base must not be 0"},
      {"lpt:0x0", "port base must not be 0"},
      {"lpt:0x379", "port base 0x379 is not a multiple of 4"},
      {"lpt:0x10000", "port base '0x10000' is beyond the last I/O port 0xffff"},
      {"lpt:99999999999999999999999",
       "port base '99999999999999999999999' is beyond the last I/O port 0xffff"},
      {"lpt:0xfffc,0x778", "port base 0xfffc leaves no room for its 8 registers below 0x10000"},
      {"lpt:0xfc00", "extended base 0x10000 (BASE+0x400) is beyond the last I/O port 0xffff: "
                     "give it after a comma, lpt:0xfc00,ECPBASE"},
      {"lpt:0x378,0", "extended base must not be 0"},
      {"lpt:0x378,0x1ffff", "extended base '0x1ffff' is beyond the last I/O port 0xffff"},
      {"lpt:0x378,0xfffe", "extended base 0xfffe leaves no room for its 3 registers"},
      {"lpt:0x378,xyz", "extended base 'xyz' is not a number"},
      {"lpt:0x378,0x37c", "extended base 0x37c overlaps the standard range 0x378-0x37f"},
      {"lpt:0x378,0x376", "extended base 0x376 overlaps the standard range 0x378-0x37f"},
  };
  for (const auto& [text, message] : cases) {
    const PortChoiceResult result = ParsePortChoice(text);
    EXPECT_FALSE(result.choice) << "'" << text << "'";
    EXPECT_THAT(result.error, ::testing::StartsWith(message)) << "'" << text << "'";
  }
}

TEST(PortChoiceTest, ExtendedRangeJustOutsideTheStandardOneIsAccepted) {
  for (const char* text : {"lpt:0x378,0x375", "lpt:0x378,0x380"}) {
    EXPECT_TRUE(ParsePortChoice(text).choice) << text << ": " << ParsePortChoice(text).error;
  }
}

}  // namespace
}  // namespace m4410
