#include "result_meanings.h"

#include <cerrno>
#include <cstdlib>

#include "lumbrel.h"

namespace lumbrel::diag {
namespace {

struct Meaning {
  std::uint32_t code;
  const char* text;
};

constexpr Meaning kMeanings[] = {
    {LUMBREL_SUCCESS, "success"},
    {LUMBREL_JOB_EXISTS_OR_NO_ADAPTER,
     "-1: a job of the same kind is running, or the adapter named is not in the adapter list or could not be opened"},
    {LUMBREL_NO_JOB_BLOCK, "-2: the job's start block could not be allocated"},
    {2, "SCSI status CHECK CONDITION: the drive reported an error; its sense data says which"},
    {2, "Windows ERROR_FILE_NOT_FOUND: no such file, device or registry key (no SCSI port is recorded, for one)"},
    {3, "Windows ERROR_PATH_NOT_FOUND"},
    {4, "the port driver refused the pass-through for an address that a class driver (disk or scanner) owns"},
    {5, "Windows ERROR_ACCESS_DENIED"},
    {8, "out of memory: an adapter object, a bus record or a transfer buffer could not be allocated"},
    {8, "SCSI status BUSY"},
    {LUMBREL_NO_CAGE, "front panel: no cage answered on the I2C bus"},
    {LUMBREL_TARGET_NOT_IN_CAGE, "front panel: the target id is none of the cage's bay targets"},
    {LUMBREL_CAGE_NOT_FOUND, "front panel: no cage with that id was found by the last InitializeDiags"},
    {24, "SCSI status RESERVATION CONFLICT"},
    {LUMBREL_BAD_BUS, "the bus is beyond the adapter's buses, or a command was sent on a device handle that is not open"},
    {LUMBREL_INVALID_PARAMETER,
     "Windows ERROR_INVALID_PARAMETER: a driver refused the request; or a CDB that the HHBA5100 cannot translate"},
    {126, "Windows ERROR_MOD_NOT_FOUND: a library could not be loaded (the array management library is missing)"},
    {LUMBREL_NO_DEVICE, "no device answered at that address (selection time-out)"},
    {170, "the MegaRAID driver left the command status at 0xAA: the command was not carried out"},
    {183, "Windows ERROR_ALREADY_EXISTS"},
    {234, "Windows ERROR_MORE_DATA: a registry value larger than its buffer (a driver name of 80 characters or more)"},
    {LUMBREL_NOT_SUPPORTED,
     "1200, Windows ERROR_BAD_DEVICE: no such adapter, or the adapter cannot do this (no configuration object)"},
    {LUMBREL_OPERATION_REFUSED,
     "the drive or adapter does not allow the operation (firmware download refused, drive not identified)"},
    {LUMBREL_NO_LOG_PAGE, "the drive does not offer the log page service"},
#if !defined(_WIN32)
    {0x0101, "simulated I2C library: a transfer or close without an open bus"},
    {0x0102, "simulated I2C library: no device acknowledged at that address"},
    {0x0103, "simulated I2C library: a null buffer or a byte count of 0"},
    {0x0104, "simulated I2C library: the bus was opened twice"},
#endif
};

}  // namespace

std::vector<std::string> ExplainResult(std::uint32_t code) {
  std::vector<std::string> meanings;
  for (const Meaning& meaning : kMeanings) {
    if (meaning.code == code) meanings.emplace_back(meaning.text);
  }
  if (meanings.empty()) {
    meanings.emplace_back(
        "not a code of the library's own: a status passed through from a drive, driver or controller, a Windows "
        "error code, or a code of the I2C library");
  }
  return meanings;
}

std::optional<std::uint32_t> ParseResultCode(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const bool negative = text[0] == '-';
  const std::string digits = negative ? text.substr(1) : text;
  if (digits.empty() || digits[0] == '-' || digits[0] == '+') return std::nullopt;
  const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  const unsigned long long value = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || end == digits.c_str() || *end != '\0' || value > 0xFFFFFFFFull) return std::nullopt;
  if (negative) return static_cast<std::uint32_t>(0x100000000ull - value);
  return static_cast<std::uint32_t>(value);
}

std::string ResultText(std::uint32_t code) {
  if (code == 0) return "0";
  // A code that several sources share is told with every meaning it can have.
  std::string meanings;
  for (const std::string& meaning : ExplainResult(code)) meanings += (meanings.empty() ? "" : "; or ") + meaning;
  return std::to_string(code) + " (" + meanings + ")";
}

}  // namespace lumbrel::diag
