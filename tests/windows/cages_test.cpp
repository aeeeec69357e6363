// The cages end to end: the real LUMBREL.dll imports the stand-in I2CDLL.dll
// and drives the simulated cage boards of a machine file through it.
#include <cstring>

#include "check.h"
#include "session.h"

namespace {

using wine_tests::Board;
using wine_tests::Library;
using wine_tests::MachineFile;

// Cage 0x27 (position 0): straps 4 and 5 give targets 1, 2, 3; bays 1 and 3
// hold drives. Cage 0x25 (position 2): no straps, targets 9, 8, 11; bit 7
// set; only bay 2 holds a drive. Position 1 is empty.
constexpr const char* kTwoCages = R"({"cages": [
  {"position": 0, "strap4": true, "strap5": true, "bays": [true, false, true]},
  {"position": 2, "bit7": true, "bays": [false, true, false]}]})";

constexpr std::uint8_t kPortA27 = 0x3F;
constexpr std::uint8_t kPortA25 = 0x3D;

CageInfo Filled() {
  CageInfo record;
  std::memset(&record, 0xEE, sizeof record);
  return record;
}

void ExpectBay(const BayInfo& bay, int target, int present, int number) {
  EXPECT_EQ(bay.targetId, target);
  EXPECT_EQ(bay.present, present);
  EXPECT_EQ(bay.bayNumber, number);
}

// Everything of a scenario: the machine, the hardware, the library.
struct Scenario {
  explicit Scenario(const char* json) : machine(json) {}
  bool fresh = !wine_tests::IsLoaded("LUMBREL.dll") && !wine_tests::IsLoaded("I2CDLL.dll");
  MachineFile machine;
  Board board;
  Library lumbrel;
  bool ready() const { return fresh && board.loaded() && lumbrel.module() != nullptr; }
};

}  // namespace

WINE_TEST(cages, records_bays_and_turns_flash_lines_off) {
  Scenario s(kTwoCages);
  REQUIRE_TRUE(s.ready());
  CageInfo records[4] = {Filled(), Filled(), Filled(), Filled()};
  std::uint32_t count = 77;
  EXPECT_EQ(s.lumbrel->InitializeDiags(records, &count), 0u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(records[0].cageId, 0x27);
  EXPECT_EQ(records[0].bayCount, 3);
  ExpectBay(records[0].bays[0], 1, 1, 1);
  ExpectBay(records[0].bays[1], 2, 0, 2);
  ExpectBay(records[0].bays[2], 3, 1, 3);
  EXPECT_EQ(records[0].bays[3].bayNumber, 0xEEEE);  // slots beyond bay 3 are never written
  EXPECT_EQ(records[1].cageId, 0x25);
  EXPECT_EQ(records[1].bayCount, 3);
  ExpectBay(records[1].bays[0], 9, 0, 1);
  ExpectBay(records[1].bays[1], 8, 1, 2);
  ExpectBay(records[1].bays[2], 11, 0, 3);
  EXPECT_EQ(records[2].cageId, 0xEEEE);
  EXPECT_EQ(s.board.Latch(kPortA27), 0xFFu);
  EXPECT_EQ(s.board.Latch(kPortA25), 0xFFu);

  // A later InitializeDiags switches a flashing bay off again.
  EXPECT_EQ(s.lumbrel->SFStartFlashPower(8, 0x25), 0u);
  EXPECT_EQ(s.board.Latch(kPortA25), 0xFDu);
  EXPECT_EQ(s.lumbrel->InitializeDiags(nullptr, nullptr), 0u);
  EXPECT_EQ(s.board.Latch(kPortA25), 0xFFu);
}

WINE_TEST(cages, flash_control_drives_port_a) {
  Scenario s(kTwoCages);
  REQUIRE_TRUE(s.ready());
  EXPECT_EQ(s.lumbrel->SFStartFlashPower(1, 0x27), LUMBREL_CAGE_NOT_FOUND);  // before InitializeDiags
  EXPECT_EQ(s.lumbrel->InitializeDiags(nullptr, nullptr), 0u);

  EXPECT_EQ(s.lumbrel->SFStartFlashPower(1, 0x27), 0u);
  EXPECT_EQ(s.lumbrel->SFStartFlashPower(3, 0x27), 0u);
  EXPECT_EQ(s.board.Latch(kPortA27), 0xFAu);
  EXPECT_EQ(s.lumbrel->SFStopFlashPower(1, 0x27), 0u);
  EXPECT_EQ(s.board.Latch(kPortA27), 0xFEu);
  EXPECT_EQ(s.lumbrel->SFAdjustPowerLED(2, 0x27, 5), 0u);
  EXPECT_EQ(s.board.Latch(kPortA27), 0xFCu);
  EXPECT_EQ(s.lumbrel->SFAdjustPowerLED(2, 0x27, 0), 0u);
  EXPECT_EQ(s.board.Latch(kPortA27), 0xFEu);

  EXPECT_EQ(s.lumbrel->SFStartFlashPower(9, 0x27), LUMBREL_TARGET_NOT_IN_CAGE);  // a bay of the other cage
  EXPECT_EQ(s.board.Latch(kPortA27), 0xFEu);
  EXPECT_EQ(s.lumbrel->SFStartFlashPower(1, 0x26), LUMBREL_CAGE_NOT_FOUND);  // the empty position
  // Only the low bytes of the target and cage ids count.
  EXPECT_EQ(s.lumbrel->SFStopFlashPower(0x103, 0x127), 0u);
  EXPECT_EQ(s.board.Latch(kPortA27), 0xFFu);
  EXPECT_EQ(s.lumbrel->SFAdjustPowerLED(0x209, 0x325, 1), 0u);
  EXPECT_EQ(s.board.Latch(kPortA25), 0xFBu);
}

WINE_TEST(cages, no_cage_on_the_bus) {
  Scenario s(R"({"cages": []})");
  REQUIRE_TRUE(s.ready());
  CageInfo record = Filled();
  std::uint32_t count = 77;
  EXPECT_EQ(s.lumbrel->InitializeDiags(&record, &count), 0u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(record.cageId, 0xEEEE);
  EXPECT_EQ(s.lumbrel->SFStartFlashPower(1, 0x27), LUMBREL_CAGE_NOT_FOUND);
  EXPECT_EQ(s.lumbrel->SFAdjustPowerLED(1, 0x27, 0), LUMBREL_CAGE_NOT_FOUND);
}

// Failures of the I2C calls, injected by the simulator from the machine file.

WINE_TEST(i2c_failures, open_failure_is_cut_to_16_bits) {
  Scenario s(R"({"cages": [{"position": 0}],
                 "faults": [{"call": "I2C_OpenDevice", "error": 74565}]})");
  REQUIRE_TRUE(s.ready());
  std::uint32_t count = 77;
  EXPECT_EQ(s.lumbrel->InitializeDiags(nullptr, &count), 0x2345u);  // 74565 = 0x12345
  EXPECT_EQ(count, 77u);
  EXPECT_EQ(s.lumbrel->SFStartFlashPower(1, 0x27), LUMBREL_CAGE_NOT_FOUND);
}

WINE_TEST(i2c_failures, failed_write_keeps_the_port) {
  // The probe's write of port A passes; the first flash write fails.
  Scenario s(R"({"cages": [{"position": 0, "strap4": true, "strap5": true}],
                 "faults": [{"call": "I2C_SendMessage", "address": 63, "error": 770, "skip": 1, "count": 1}]})");
  REQUIRE_TRUE(s.ready());
  EXPECT_EQ(s.lumbrel->InitializeDiags(nullptr, nullptr), 0u);
  EXPECT_EQ(s.lumbrel->SFStartFlashPower(1, 0x27), 2u);  // 770 cut to its low 8 bits
  EXPECT_EQ(s.board.Latch(kPortA27), 0xFFu);
  EXPECT_EQ(s.lumbrel->SFStartFlashPower(1, 0x27), 0u);
  EXPECT_EQ(s.board.Latch(kPortA27), 0xFBu);
}

WINE_TEST(i2c_failures, unreadable_cage_while_filling_records) {
  // Port B of cage 0x27 is read three times by the probe, once for its map,
  // and a fifth time to fill its record.
  Scenario s(R"({"cages": [{"position": 0, "strap4": true, "strap5": true}, {"position": 2}],
                 "faults": [{"call": "I2C_ReceiveMessage", "address": 39, "error": 9, "skip": 4, "count": 1}]})");
  REQUIRE_TRUE(s.ready());
  CageInfo records[2] = {Filled(), Filled()};
  std::uint32_t count = 0;
  EXPECT_EQ(s.lumbrel->InitializeDiags(records, &count), 0u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(records[0].bayCount, 0);
  EXPECT_EQ(records[0].cageId, 0xEEEE);
  EXPECT_EQ(records[1].cageId, 0x25);
  EXPECT_EQ(records[1].bayCount, 3);
}

WINE_TEST(i2c_failures, unreadable_map_fails_initialization) {
  Scenario s(R"({"cages": [{"position": 0}],
                 "faults": [{"call": "I2C_ReceiveMessage", "address": 39, "error": 66051, "skip": 3, "count": 1}]})");
  REQUIRE_TRUE(s.ready());
  CageInfo record = Filled();
  std::uint32_t count = 77;
  EXPECT_EQ(s.lumbrel->InitializeDiags(&record, &count), 0x0203u);  // 66051 = 0x10203
  EXPECT_EQ(count, 77u);
  EXPECT_EQ(record.bayCount, 0xEEEE);
}
