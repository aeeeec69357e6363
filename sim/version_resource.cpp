#include "sim/version_resource.h"

#include <cstddef>

namespace lumbrel::sim {
namespace {

// The machine's texts are bytes, each the character of its value
// (U+0000 to U+00FF), and so one UTF-16 unit.
std::u16string Utf16(const std::string& bytes) {
  std::u16string out;
  for (const char c : bytes) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

class Writer {
 public:
  void U16(std::uint32_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Text(const std::u16string& text) {
    for (char16_t c : text) U16(c);
    U16(0);
  }
  void Align4() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  // A version block header: wLength (patched by End), wValueLength, wType, szKey, padding.
  std::size_t Begin(std::uint32_t valueLength, std::uint32_t type, const std::u16string& key) {
    Align4();
    const std::size_t start = bytes_.size();
    U16(0);
    U16(valueLength);
    U16(type);
    Text(key);
    Align4();
    return start;
  }
  void End(std::size_t start) {
    const std::size_t length = bytes_.size() - start;
    bytes_[start] = static_cast<std::uint8_t>(length);
    bytes_[start + 1] = static_cast<std::uint8_t>(length >> 8);
  }
  void String(const std::u16string& key, const std::u16string& value) {
    const std::size_t block = Begin(static_cast<std::uint32_t>(value.size() + 1), 1, key);
    Text(value);
    End(block);
  }
  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::vector<std::uint8_t> MakeDriverImage(const std::string& fileVersion) {
  Writer image;
  // A DOS stub, so the file looks like the executable image it stands for.
  image.bytes() = {'M', 'Z'};
  image.bytes().resize(0x200, 0);
  const std::u16string version = Utf16(fileVersion);

  const std::size_t info = image.Begin(52, 0, u"VS_VERSION_INFO");
  image.U32(0xFEEF04BD);  // VS_FIXEDFILEINFO signature, structure version 1.0
  image.U32(0x00010000);
  for (int i = 0; i < 11; ++i) image.U32(0);  // versions, flags, OS, type and dates: not used
  const std::size_t stringInfo = image.Begin(0, 1, u"StringFileInfo");
  const std::size_t table = image.Begin(0, 1, u"040904B0");
  image.String(u"CompanyName", u"Simulated storage drivers");
  image.String(u"FileDescription", u"SCSI miniport driver");
  image.String(u"FileVersion", version);
  image.String(u"ProductVersion", version);
  image.End(table);
  image.End(stringInfo);
  const std::size_t varInfo = image.Begin(0, 1, u"VarFileInfo");
  const std::size_t translation = image.Begin(4, 0, u"Translation");
  image.U16(0x0409);
  image.U16(0x04B0);
  image.End(translation);
  image.End(varInfo);
  image.End(info);
  return std::move(image.bytes());
}

}  // namespace lumbrel::sim
