// Runs the m4410 executable as an operator or a script would, in a folder of its own, and
// keeps what it says.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/crc32.h"
#include "support/child_process.h"

namespace m4410 {

namespace fs = std::filesystem;

struct Outcome {
  int exit_status = -1;
  std::string out;
  std::string err;
};

inline std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Windows' standard streams end their lines with CR LF.
inline std::string WithoutCarriageReturns(std::string text) {
  std::string::size_type at = 0;
  while ((at = text.find("\r\n", at)) != std::string::npos) text.erase(at, 1);
  return text;
}

class M4410CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("m4410-cli-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
            "-" + test->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path MakeImage(std::size_t size, const fs::path& in = {}) {
    const fs::path path = (in.empty() ? dir_ : in) / "image.bin";
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    image_crc_ = Crc32Extend(0, bytes.data(), bytes.size());
    return path;
  }

  // What the simulated box reports when it holds the whole image of MakeImage(size) and saw
  // nothing a real box would refuse.
  std::string WholeImage(std::size_t size) const {
    char line[96];
    std::snprintf(line, sizeof line, "box received %zu bytes, crc32 %08x, host faults: none\n",
                  size, image_crc_);
    return line;
  }

  // Starts the command in `in` (where the box-data file would land), default dir_, with its
  // output in files there.
  ChildProcess Spawn(const std::vector<std::string>& args, ChildOutput output = ChildOutput::File,
                     const fs::path& in = {}) {
    const fs::path dir = in.empty() ? dir_ : in;
    ChildProcess child;
    EXPECT_TRUE(child.Start(M4410_BINARY, args, dir, dir / "stdout", dir / "stderr", output));
    return child;
  }

  // Waits for the command, killing it if it hangs: a hang is a failure of its own.
  Outcome Wait(ChildProcess child, std::chrono::seconds limit = std::chrono::seconds(60),
               const fs::path& in = {}) {
    const fs::path dir = in.empty() ? dir_ : in;
    Outcome outcome;
    if (!child.Wait(limit, &outcome.exit_status)) {
      ADD_FAILURE() << "m4410 did not end within " << limit.count() << " s";
    }
    outcome.out = WithoutCarriageReturns(Slurp(dir / "stdout"));
    outcome.err = WithoutCarriageReturns(Slurp(dir / "stderr"));
    return outcome;
  }

  Outcome Run(const std::vector<std::string>& args) { return Wait(Spawn(args)); }

  // Waits until the command's standard error shows text.
  bool AwaitErr(const std::string& text, const fs::path& in = {},
                std::chrono::seconds limit = std::chrono::seconds(30)) {
    const fs::path dir = in.empty() ? dir_ : in;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Slurp(dir / "stderr").find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  fs::path dir_;
  std::uint32_t image_crc_ = 0;
};

}  // namespace m4410
