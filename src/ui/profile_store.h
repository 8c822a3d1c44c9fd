// A small INI store in the layout of the platform's private-profile files: "[Section]" lines,
// then "item=value" lines. A write changes only its own item and keeps every other line of
// the file as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace m4410 {

class ProfileStore {
 public:
  // The longest value a read gives back; longer values are cut.
  static constexpr std::size_t kMaxValueLength = 4095;

  explicit ProfileStore(std::string path);

  const std::string& path() const { return path_; }

  // The item's value, or the empty string when the file, the section or the item is missing
  // or the file cannot be read. Names match without regard to ASCII case, and spaces and tabs
  // around a name or the value are not part of it, on reading as on writing. At most kMaxValueLength bytes, cut at a character boundary.
  std::string GetString(std::string_view section, std::string_view item) const;

  // Replaces the item's line in place, or adds the item at the end of its section (the
  // section at the end of the file), through a temporary file in the same folder that is
  // flushed to disk and renamed over the old one. False, with the file unchanged, when a name
  // or the value cannot be stored on one line, or the file cannot be read or written.
  bool WriteString(std::string_view section, std::string_view item, std::string_view value);

  // Why the last read or write failed, with the file's name, for the operator; empty after
  // one that succeeded or found no file. On Linux a file is read and written only where no
  // other user's link or folder leads to it.
  const std::string& why() const { return why_; }

 private:
  std::string path_;
  mutable std::string why_;
};

}  // namespace m4410
