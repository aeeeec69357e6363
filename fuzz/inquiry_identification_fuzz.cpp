// INQUIRY data is untrusted: identification must stay inside the data area
// whatever the drive put there and whatever search window it claims. The
// first two bytes choose the window; the rest is the INQUIRY data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drives/drive_identifier.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  static const DriveIdentifier identifier;
  if (size < 2) return 0;
  const std::uint32_t window = data[0] | data[1] << 8;  // beyond the largest window, too
  // Exactly as large as the library's data areas guarantee, so that any
  // read past them is caught.
  std::vector<std::uint8_t> inquiry(kInquiryViewSize, 0);
  std::memcpy(inquiry.data(), data + 2, std::min<std::size_t>(size - 2, inquiry.size()));

  DriveIdentity identity;
  const bool identified = identifier.MatchInquiryData(inquiry.data(), window, &identity);
  if (identity.revisionCode == nullptr) std::abort();
  if (identified != (identity.vendorName != nullptr)) std::abort();
  const DriveIdentity copy = identity;
  if (std::memcmp(copy.revisionCode, identity.revisionCode, 4) != 0) std::abort();
  if (identity.revisionCode == identity.codeText && copy.revisionCode != copy.codeText) std::abort();
  return 0;
}
