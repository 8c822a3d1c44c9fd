#include "os/files.h"

namespace m4410 {

bool SameFile(const FileFacts& a, const FileFacts& b) {
  return a.volume == b.volume && a.index == b.index;
}

const char* FileKindText(FileKind kind) {
  switch (kind) {
    case FileKind::Plain: return "a plain file";
    case FileKind::Directory: return "a directory";
    case FileKind::NamedPipe: return "a named pipe";
    case FileKind::CharacterDevice: return "a character device";
    case FileKind::BlockDevice: return "a block device";
    case FileKind::Socket: return "a socket";
    case FileKind::Link: return "a link";
    case FileKind::Other: break;
  }
  return "not a plain file";
}

std::string PrintableName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      out += c;
      continue;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xf];
  }
  return out;
}

}  // namespace m4410
