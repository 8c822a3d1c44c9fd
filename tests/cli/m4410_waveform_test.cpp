// `m4410 --trace NAME.vcd`: the port's lines as a waveform, read back by an independent
// reader (sigrok-cli) and checked against the text trace of the same run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class WaveformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("m4410-vcd-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    // Enough bytes for several 16-byte bursts and single bytes after them.
    for (int i = 0; i < 100; ++i) image_.push_back(static_cast<unsigned char>(i * 37 + 11));
    std::ofstream(dir_ / "image.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image_.data()), static_cast<std::streamsize>(image_.size()));
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A whole update on the virtual clock: the same run, to the microsecond, every time.
  void Update(const std::string& trace_name) {
    const std::string command = "cd '" + dir_.string() + "' && '" M4410_BINARY "' update image.bin" +
                                " --sim clock=virtual --quiet --trace " + trace_name +
                                " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  // Debian's sigrok-cli aborts in its Python decoder runtime as it exits, after its output
  // is complete (with any file, once a decoder ran), so only the output counts.
  static std::string Capture(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
      char chunk[4096];
      std::size_t n;
      while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
      ::pclose(pipe);
    }
    return out;
  }

  fs::path dir_;
  std::vector<unsigned char> image_;
};

TEST_F(WaveformTest, SigrokDecodesTheHeaderAndTheImageOffTheDataBus) {
  Update("run.vcd");
  // It loads without complaint, every wire a logic channel.
  const std::string loaded = "sigrok-cli -I vcd -i '" + (dir_ / "run.vcd").string() + "' --show";
  EXPECT_EQ(std::system((loaded + " >/dev/null 2>&1").c_str()), 0) << loaded;
  std::string channels = "clk=nStrobe";
  for (int bit = 0; bit < 8; ++bit) channels += ":d" + std::to_string(bit) + "=d" + std::to_string(bit);
  const std::string decoded =
      Capture("sigrok-cli -I vcd -i '" + (dir_ / "run.vcd").string() + "' -P parallel:" + channels +
              ":clock_edge=falling -A parallel=items");
  std::vector<unsigned> bytes;
  std::istringstream lines(decoded);
  for (std::string label, hex; lines >> label >> hex;) bytes.push_back(std::stoul(hex, nullptr, 16));

  // The extensibility byte latched in the negotiation, then the header, then the image. The
  // decoder annotates a byte at the clock edge after it, so the last one never shows; the
  // other test checks it on the wires.
  std::vector<unsigned> expected = {0x10, 0, 0, 0, 1, 0x40, 0x20, 0, 0, 0, 0, 0, 100};
  expected.insert(expected.end(), image_.begin(), image_.end() - 1);
  EXPECT_EQ(bytes, expected) << decoded.substr(0, 400);
}

// Every control write and status read of the text trace shows on the waveform's wires at
// the same microsecond, with each line at the level its register bit gives.
TEST_F(WaveformTest, EveryLineChangesAsTheTextTraceSays) {
  Update("run.txt");
  Update("run.vcd");

  std::map<std::string, std::string> wire_of_id;
  std::map<std::string, std::vector<std::pair<long long, int>>> changes;  // wire -> (time, level)
  std::ifstream vcd(dir_ / "run.vcd");
  long long now = 0;
  for (std::string line; std::getline(vcd, line);) {
    if (line.rfind("$var", 0) == 0) {
      std::istringstream words(line);
      std::string var, type, width, id, name;
      words >> var >> type >> width >> id >> name;
      EXPECT_EQ(width, "1") << "sigrok reads 1-bit wires only: " << line;
      wire_of_id[id] = name;
    } else if (!line.empty() && line[0] == '#') {
      const long long next = std::stoll(line.substr(1));
      EXPECT_GT(next, now);
      now = next;
    } else if (!line.empty() && (line[0] == '0' || line[0] == '1')) {
      changes[wire_of_id.at(line.substr(1))].emplace_back(now, line[0] - '0');
    }
  }
  const auto level_at = [&](const std::string& wire, long long t) {
    int level = -1;
    for (const auto& [when, value] : changes[wire]) {
      if (when > t) break;
      level = value;
    }
    return level;
  };

  std::ifstream text(dir_ / "run.txt");
  int checked = 0;
  int fifo_writes = 0;
  for (std::string line; std::getline(text, line);) {
    std::istringstream words(line);
    long long t;
    std::string kind, port, value;
    words >> t >> kind >> port >> value;
    const unsigned v = std::stoul(value, nullptr, 16);
    std::map<std::string, int> expect;
    if (kind == "W" && port == "0x37a") {
      expect = {{"nStrobe", !(v & 1)}, {"nAutoFd", !(v & 2)}, {"nInit", (v & 4) != 0},
                {"nSelectIn", !(v & 8)}, {"reverse", (v & 0x20) != 0}};
    } else if (kind == "R" && port == "0x379") {
      expect = {{"nFault", (v & 8) != 0}, {"Select", (v & 0x10) != 0}, {"PError", (v & 0x20) != 0},
                {"nAck", (v & 0x40) != 0}, {"Busy", !(v & 0x80)}};
    } else if (kind == "W" && (port == "0x378" || port == "0x778")) {
      for (int bit = 0; bit < 8; ++bit) expect["d" + std::to_string(bit)] = (v >> bit) & 1;
      // A FIFO byte is clocked out by the port chip: nStrobe low with the byte on the lines.
      if (port == "0x778") {
        ++fifo_writes;
        expect["nStrobe"] = 0;
      }
    }
    for (const auto& [wire, level] : expect) {
      ASSERT_EQ(level_at(wire, t), level) << wire << " at " << line;
    }
    if (!expect.empty()) ++checked;
  }
  EXPECT_GT(checked, 300);
  EXPECT_EQ(fifo_writes, 12 + 100);
}

}  // namespace
