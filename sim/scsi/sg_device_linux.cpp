#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "sim/machine_format_error.h"
#include "sim/scsi/sg_device.h"

namespace lumbrel::sim {
namespace {

constexpr unsigned kTimeoutMs = 120000;  // a format or a firmware restart may take long
constexpr std::size_t kSenseRoom = 252;

// The commands that carry data to the device, for requests that leave the
// direction to the command.
bool SendsData(std::uint8_t opcode) {
  switch (opcode) {
    case 0x04:  // FORMAT UNIT (with a parameter list)
    case 0x07:  // REASSIGN BLOCKS
    case 0x0A:  // WRITE(6)
    case 0x15:  // MODE SELECT(6)
    case 0x1D:  // SEND DIAGNOSTIC
    case 0x2A:  // WRITE(10)
    case 0x2E:  // WRITE AND VERIFY(10)
    case 0x3B:  // WRITE BUFFER
    case 0x4C:  // LOG SELECT
    case 0x55:  // MODE SELECT(10)
      return true;
    default:
      return false;
  }
}

// The kernel's name of the disk behind a device node: "sdb" for /dev/sg1
// when sd has claimed it, the node's own name otherwise.
std::string DiskName(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const std::string name = fs::canonical(path, error).filename().string();
  if (error) return fs::path(path).filename().string();
  for (const auto& entry : fs::directory_iterator("/sys/class/scsi_generic/" + name + "/device/block", error)) {
    return entry.path().filename().string();
  }
  return name;
}

// The mounted file systems (or swap areas) on the disk or its partitions.
std::vector<std::string> MountsOn(const std::string& disk) {
  std::vector<std::string> found;
  const std::string prefix = "/dev/" + disk;
  for (const char* table : {"/proc/mounts", "/proc/swaps"}) {
    std::ifstream in(table);
    for (std::string line; std::getline(in, line);) {
      std::istringstream fields(line);
      std::string source, where;
      fields >> source >> where;
      std::error_code error;
      const std::string real = std::filesystem::canonical(source, error).string();
      if ((error ? source : real).rfind(prefix, 0) == 0) found.push_back(source + " on " + where);
    }
  }
  return found;
}

void Refuse(const std::string& path, const std::string& why) {
  throw MachineFormatError("real SCSI device " + path + ": " + why);
}

// An operator at a terminal may give up a mounted disk; nobody else can.
void AskAboutMounts(const std::string& path) {
  const std::vector<std::string> mounts = MountsOn(DiskName(path));
  if (mounts.empty()) return;
  std::string list;
  for (const std::string& mount : mounts) list += (list.empty() ? "" : ", ") + mount;
  if (isatty(STDIN_FILENO) != 0) {
    std::cerr << path << " holds a mounted file system (" << list
              << "); format, firmware download and log writes change the device. Use it? [yes/no] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    if (answer == "yes" || answer == "y") return;
  }
  Refuse(path, "holds a mounted file system (" + list + ")");
}

}  // namespace

std::unique_ptr<SgDevice> SgDevice::Open(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) Refuse(path, std::string("cannot be opened: ") + std::strerror(errno));
  std::unique_ptr<SgDevice> device(new SgDevice(path, fd));
  int version = 0;
  if (ioctl(fd, SG_GET_VERSION_NUM, &version) != 0) Refuse(path, "is not a SCSI device (SG_IO is not served)");
  AskAboutMounts(path);
  return device;
}

SgDevice::~SgDevice() { close(fd_); }

DeviceAnswer SgDevice::Run(std::span<const std::uint8_t> cdb, DataPhase& data) {
  DeviceAnswer answer;
  if (cdb.empty() || cdb.size() > 16) return answer;
  DataDirection direction = data.direction();
  if (direction == DataDirection::Either) direction = SendsData(cdb[0]) ? DataDirection::Out : DataDirection::In;
  if (data.length() == 0) direction = DataDirection::None;

  std::vector<std::uint8_t> in;
  std::span<const std::uint8_t> out;
  if (direction == DataDirection::In) in.resize(data.length());
  if (direction == DataDirection::Out) out = data.Out(data.length());

  std::uint8_t command[16];
  std::copy(cdb.begin(), cdb.end(), command);
  std::uint8_t sense[kSenseRoom] = {};
  sg_io_hdr_t request{};
  request.interface_id = 'S';
  request.cmdp = command;
  request.cmd_len = static_cast<unsigned char>(cdb.size());
  request.sbp = sense;
  request.mx_sb_len = sizeof sense;
  request.timeout = kTimeoutMs;
  request.dxfer_direction = direction == DataDirection::In    ? SG_DXFER_FROM_DEV
                            : direction == DataDirection::Out ? SG_DXFER_TO_DEV
                                                              : SG_DXFER_NONE;
  if (direction == DataDirection::In) {
    request.dxferp = in.data();
    request.dxfer_len = static_cast<unsigned>(in.size());
  } else if (direction == DataDirection::Out) {
    request.dxferp = const_cast<std::uint8_t*>(out.data());  // SG_IO does not write what it sends
    request.dxfer_len = static_cast<unsigned>(out.size());
  }
  if (ioctl(fd_, SG_IO, &request) != 0 || request.host_status != 0) return answer;

  answer.answered = true;
  answer.status = request.status;
  answer.sense.assign(sense, sense + std::min<std::size_t>(request.sb_len_wr, sizeof sense));
  // A command that did not end GOOD moved no data: Linux leaves the
  // residual count of a failed command at 0, which would claim all of it.
  std::uint32_t residual = static_cast<std::uint32_t>(std::max(request.resid, 0));
  if (request.status != 0) residual = static_cast<std::uint32_t>(data.length());
  if (direction == DataDirection::In) {
    const std::uint32_t moved = static_cast<std::uint32_t>(in.size()) - std::min<std::uint32_t>(residual, in.size());
    const auto area = data.In(moved);
    std::copy_n(in.begin(), area.size(), area.begin());
  } else if (direction == DataDirection::Out) {
    data.Shorten(residual);
  }
  return answer;
}

}  // namespace lumbrel::sim
