// The "arrayLibrary" object of a machine file.
#include <stdexcept>

#include "sim/array_library.h"
#include "sim/array_library_layouts.h"
#include "sim/json_reader.h"
#include "sim/text_util.h"

namespace lumbrel::sim {

ArrayLibraryConfig ParseArrayLibrary(const nlohmann::json& json, const std::string& path) {
  ObjectReader reader(json, path);
  ArrayLibraryConfig config;
  config.installed = reader.Bool("installed").value_or(true);
  // The companion file comes with the library unless the file says otherwise.
  config.probeFile = reader.Bool("probeFile").value_or(config.installed);
  config.configurationId = reader.Uint("configurationId");
  config.containerCount = reader.Uint("containerCount");
  ForEach(reader.Raw("missingEntryPoints"), reader.PathOf("missingEntryPoints"),
          [&](const nlohmann::json& name, const std::string& namePath) {
            if (!name.is_string()) throw MachineFormatError(namePath + ": expected an entry point's name");
            config.missingEntryPoints.push_back(ReadText(name, namePath));
          });
  config.openStatus = reader.Uint("openStatus").value_or(config.openStatus);
  config.listStatus = reader.Uint("listStatus").value_or(config.listStatus);
  config.infoStatus = reader.Uint("infoStatus").value_or(config.infoStatus);
  if (const auto hex = reader.String("generalInformation")) {
    try {
      config.generalInformation = ParseHex(*hex);
    } catch (const std::invalid_argument& error) {
      reader.Fail("generalInformation", error.what());
    }
    if (config.generalInformation->size() > layout::general_information::kSize) {
      reader.Fail("generalInformation", "the block has 568 bytes");
    }
  }
  reader.Finish();
  return config;
}

}  // namespace lumbrel::sim
