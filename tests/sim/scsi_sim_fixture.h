// Request blocks built by hand and sent through CreateFileA/DeviceIoControl
// to the simulated drivers, as a caller in a 32-bit process would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/host/win32_subset.h"
#include "support/module_fixture.h"

namespace lumbrel::test {

inline constexpr DWORD kPassThrough = 0x0004D004;
inline constexpr DWORD kMiniport = 0x0004D008;
inline constexpr DWORD kGetAddress = 0x00041018;
inline constexpr DWORD kQzvSrb = 0x0004204C;

using Bytes = std::vector<std::uint8_t>;

inline const Bytes kInquiry = {0x12, 0, 0, 0, 0xF0, 0};
inline const Bytes kTestUnitReady = {0, 0, 0, 0, 0, 0};
inline const Bytes kRequestSense = {0x03, 0, 0, 0, 0xFF, 0};
inline const Bytes kFormatUnit = {0x04, 0, 0, 0, 0, 0};
inline const Bytes kWriteBuffer = {0x3B, 0x05, 0, 0, 0, 0, 0, 0, 0, 0};

// One field of a request block set to another value: `size` bytes
// (1, 2 or 4, little-endian) at `offset`.
struct FieldChange {
  const char* what;
  std::size_t offset;
  std::uint32_t value;
  std::uint32_t size;
};

inline void Apply(Bytes& block, const FieldChange& change) {
  if (change.size == 1) block[change.offset] = static_cast<std::uint8_t>(change.value);
  if (change.size == 2) StoreLe16(&block[change.offset], static_cast<std::uint16_t>(change.value));
  if (change.size == 4) StoreLe32(&block[change.offset], change.value);
}

struct Reply {
  DWORD error = 0;  // 0, or GetLastError after a failed call
  DWORD returned = 0;
};

class ScsiSimTest : public ModuleTest {
 protected:
  // Opens `name`, sends `buffer` as input (first `in` bytes) and output
  // (`out` bytes) in place, closes the handle.
  Reply Send(const std::string& name, DWORD ioctl, Bytes& buffer, DWORD in, DWORD out,
             DWORD access = GENERIC_READ | GENERIC_WRITE) {
    Reply reply;
    HANDLE handle = CreateFileA(name.c_str(), access, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      reply.error = GetLastError();
      return reply;
    }
    if (!DeviceIoControl(handle, ioctl, in ? buffer.data() : nullptr, in, out ? buffer.data() : nullptr, out,
                         &reply.returned, nullptr)) {
      reply.error = GetLastError();
    }
    CloseHandle(handle);
    return reply;
  }

  std::uint32_t Address(const std::uint8_t* p) { return machine().AddressOf(p); }

  // SCSI_PASS_THROUGH with sense at 44 and data at 160.
  static Bytes PassThrough(std::uint8_t bus, std::uint8_t target, const Bytes& cdb, std::uint8_t dataIn,
                           std::uint32_t length) {
    Bytes block(160 + length, 0);
    StoreLe16(&block[0], 44);
    block[3] = bus;
    block[4] = target;
    block[6] = static_cast<std::uint8_t>(cdb.size());
    block[7] = 32;
    block[8] = dataIn;
    StoreLe32(&block[12], length);
    StoreLe32(&block[16], 5000);
    StoreLe32(&block[20], 160);
    StoreLe32(&block[24], 44);
    std::copy(cdb.begin(), cdb.end(), block.begin() + 28);
    return block;
  }

  // SCSI_REQUEST_BLOCK with sense at 64 and data at 96, reached by address.
  Bytes Srb(std::uint8_t bus, std::uint8_t target, const Bytes& cdb, bool in, std::uint32_t length) {
    Bytes block(96 + length, 0);
    StoreLe16(&block[0], 64);
    block[5] = bus;
    block[6] = target;
    block[8] = 0xFF;
    block[10] = static_cast<std::uint8_t>(cdb.size());
    block[11] = 32;
    StoreLe32(&block[12], in ? 0x00010048 : 0x00010088);
    StoreLe32(&block[16], length);
    StoreLe32(&block[20], 5);
    StoreLe32(&block[24], Address(block.data() + 96));
    StoreLe32(&block[28], Address(block.data() + 64));
    std::copy(cdb.begin(), cdb.end(), block.begin() + 48);
    return block;
  }

  static void MiniportHeader(Bytes& block, std::uint32_t timeout, std::uint32_t controlCode, std::uint32_t length) {
    StoreLe32(&block[0], 28);
    StoreLe32(&block[12], timeout);
    StoreLe32(&block[16], controlCode);
    StoreLe32(&block[24], length);
  }

  // MegaRAID direct CDB with room for `room` data bytes at 96.
  Bytes MegaRaid(std::uint8_t channel, std::uint8_t target, const Bytes& cdb, bool in, std::uint32_t length,
                 std::uint32_t room) {
    Bytes block(96 + room, 0);
    MiniportHeader(block, 0xFFFFFFFF, in ? 0 : 1, 68 + room);
    block[28] = 3;
    block[29] = 0xAA;
    block[36] = 0x08;
    block[38] = channel;
    block[39] = target;
    std::copy(cdb.begin(), cdb.end(), block.begin() + 42);
    block[52] = static_cast<std::uint8_t>(cdb.size());
    block[53] = 32;
    StoreLe32(&block[88], Address(block.data() + 96));
    StoreLe32(&block[92], length);
    return block;
  }

  // DAC960 direct CDB with data at 148.
  Bytes Dac960(std::uint8_t device, const Bytes& cdb, bool in, std::uint32_t length) {
    Bytes block(148 + length, 0);
    MiniportHeader(block, 60, 0, 120 + length);
    block[44] = 0x04;
    block[60] = device;
    block[61] = in ? 0x81 : 0x82;
    StoreLe16(&block[62], static_cast<std::uint16_t>(length));
    StoreLe32(&block[64], Address(block.data() + 148));
    block[68] = static_cast<std::uint8_t>(cdb.size());
    block[69] = 64;
    std::copy(cdb.begin(), cdb.end(), block.begin() + 70);
    return block;
  }

  // DAC960 controller command with a 64-byte block at 60.
  static Bytes Dac960Command(std::uint8_t opcode) {
    Bytes block(124, 0);
    MiniportHeader(block, 5, 0, 32 + 64);
    block[44] = opcode;
    return block;
  }

  static std::string Text(const Bytes& bytes, std::size_t offset, std::size_t size) {
    return std::string(bytes.begin() + static_cast<long>(offset), bytes.begin() + static_cast<long>(offset + size));
  }
};

}  // namespace lumbrel::test
