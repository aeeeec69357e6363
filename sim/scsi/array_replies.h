// The replies with which the simulated MegaRAID and HHBA5100 controllers
// describe themselves and their logical drives, built from the machine
// file's logical drives. A port's raw overrides replace them whole.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/scsi/logical_drive_config.h"

namespace lumbrel::sim {

using ReplyBytes = std::vector<std::uint8_t>;

// MegaRAID mailbox opcode 5: firmware "G3.05.01" at bytes 4-7 and BIOS
// "B1.02.16" at 13-16, each stored last character first.
ReplyBytes MegaRaidEnquiryReply();
// MegaRAID mailbox opcode 7: the count at 0, entries of 104 bytes from 4
// (spans count, level, state at 4, drives per span at 7, spans of 24 bytes
// from 8: blocks at 4, drives {bus, target} from 8). Drives per span is the
// largest drive count of the entry's spans.
ReplyBytes MegaRaidConfigurationReply(const std::vector<LogicalDriveConfig>& drives);

// HHBA5100 command 0x20 opcode 5: version 2.07 (minor at 40, major at 41).
ReplyBytes HhbaVersionReply();
// HHBA5100 command 0x20 opcode 0x61: the count at 8, entries of 420 bytes
// from 12 (state, level, spans count, spans of 52 bytes from 4: drive count,
// drives of 12 bytes from 4: bus, target, blocks at 8).
ReplyBytes HhbaConfigurationReply(const std::vector<LogicalDriveConfig>& drives);

}  // namespace lumbrel::sim
