// What m4410 prints while the image goes out.
#include "cli/update_display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "link/block_transfer.h"

namespace m4410 {
namespace {

std::string Written(std::FILE* file) {
  std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  return text;
}

// A poll that reads the header's length (12) and then the image's count (100) would make
// 833 %: on a terminal and in a log alike, the line says at most the whole.
TEST(UpdateDisplayTest, CountersOfTwoWritesShowNoMoreThanAHundred) {
  for (const bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "log");
    for (int stage = 1; stage <= kStageCount; ++stage) SetStage(stage, NoReport);
    SetStage(SoftwareTransmitted, Busy);
    BytesToWrite.store(12);
    BytesWritten.store(100);
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    UpdateDisplay display(out, terminal, false);
    display.Poll();
    const std::string text = Written(out);
    std::fclose(out);
    EXPECT_NE(text.find("Sending data. 100% complete."), std::string::npos) << text;
    EXPECT_EQ(text.find("833"), std::string::npos) << text;
  }
  SetStage(SoftwareTransmitted, NoReport);
  BytesToWrite.store(0);
  BytesWritten.store(0);
}

}  // namespace
}  // namespace m4410
