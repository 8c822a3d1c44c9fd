// The settings file, as any program or person may have left it: a value written reads back
// (trimmed, and cut at 4095 bytes), every other item keeps its value, and a refused write
// leaves the file byte for byte as it was.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "ui/profile_store.h"
#include "fuzz_check.h"

namespace {

// Blanks around a name or value are not part of it; nor is the CR of a CRLF line end.
std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  a = TrimBlanks(a);
  b = TrimBlanks(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const std::string& SettingsPath() {
  static const std::string path = [] {
    std::string dir = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    dir += "/m4410-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(dir.data()) != nullptr);
    return dir + "/settings.ini";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(40);
  const std::string item = in.ConsumeRandomLengthString(40);
  const std::string other_section = in.ConsumeRandomLengthString(40);
  const std::string other_item = in.ConsumeRandomLengthString(40);
  const std::string value = in.ConsumeRandomLengthString(6000);
  const std::string file = in.ConsumeRemainingBytesAsString();

  const std::string& path = SettingsPath();
  std::ofstream(path, std::ios::binary | std::ios::trunc) << file;
  m4410::ProfileStore store(path);
  const std::string other_before = store.GetString(other_section, other_item);

  if (!store.WriteString(section, item, value)) {
    FUZZ_CHECK(Slurp(path) == file);
    return 0;
  }
  const std::string expected(TrimBlanks(value));
  const std::string read = store.GetString(section, item);
  if (expected.size() <= m4410::ProfileStore::kMaxValueLength) {
    FUZZ_CHECK(read == expected);
  } else {
    // Cut at a character boundary: at most three bytes of a UTF-8 sequence go with it.
    FUZZ_CHECK(read.size() <= m4410::ProfileStore::kMaxValueLength);
    FUZZ_CHECK(read.size() + 3 >= m4410::ProfileStore::kMaxValueLength);
    FUZZ_CHECK(expected.compare(0, read.size(), read) == 0);
  }
  if (!SameName(section, other_section) || !SameName(item, other_item)) {
    FUZZ_CHECK(store.GetString(other_section, other_item) == other_before);
  }
  return 0;
}
