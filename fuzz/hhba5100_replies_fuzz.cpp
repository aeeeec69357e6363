// An HHBA5100 controller's replies are untrusted: the configuration's
// counts may claim more than the reply holds and the version reply may
// carry any text. The input is the configuration reply, then (after 00 FF)
// the version reply.
#include "raid_views.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumbrel;
  const auto parts = fuzz::Split(data, size);
  sim::MachineConfig config;
  config.ports.push_back(fuzz::DiskPort("HHBA5100", 4));
  config.ports[0].replies.configurationReply = parts[0];
  if (parts.size() > 1) config.ports[0].replies.versionReply = parts[1];
  fuzz::Install(config);
  fuzz::CheckViews();
  return 0;
}
