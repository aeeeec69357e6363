// The cages' front-panel indicators, through the exports, against simulated
// cages on the I2C bus.
#include <cstring>

#include "lumbrel.h"
#include "support/module_fixture.h"

namespace lumbrel::test {
namespace {

class FrontPanelTest : public ModuleTest {
 protected:
  // One cage at each given position, every strap high (targets 1-3 at 0x27).
  void LoadCages(const std::string& cages, const std::string& faults = "[]") {
    Load(R"({"cages":)" + cages + R"(,"faults":)" + faults + "}");
  }
  std::uint8_t PortA(int position) { return machine().i2c().CageAt(position)->latchA(); }
  std::vector<std::string> SentTo(std::uint32_t address) {
    std::vector<std::string> data;
    for (const auto& record : Calls("I2C_SendMessage")) {
      if (record["address"] == address) data.push_back(record["data"]);
    }
    return data;
  }
};

TEST_F(FrontPanelTest, StrapLinesAndAddressSelectTheTargetMap) {
  struct Case {
    int position;
    bool strap4, strap5;
    std::uint8_t targets[3];
  } cases[] = {
      {0, true, true, {1, 2, 3}},   {1, true, true, {4, 5, 6}},   {0, true, false, {1, 0, 3}},
      {1, false, false, {12, 8, 14}}, {2, false, false, {9, 8, 11}}, {3, false, true, {12, 13, 14}},
      {3, true, false, {4, 0, 6}},  {2, false, true, {9, 10, 11}},  // every row of the map
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "position " << c.position << " straps " << c.strap4 << c.strap5);
    LoadCages("[{\"position\":" + std::to_string(c.position) + ",\"strap4\":" + (c.strap4 ? "true" : "false") +
              ",\"strap5\":" + (c.strap5 ? "true" : "false") + "}]");
    CageInfo cage{};
    ASSERT_EQ(InitializeDiags(&cage, nullptr), 0u);
    EXPECT_EQ(cage.cageId, 0x27 - c.position);
    for (int bay = 0; bay < 3; ++bay) EXPECT_EQ(cage.bays[bay].targetId, c.targets[bay]);
    UnloadModule();
  }
}

TEST_F(FrontPanelTest, NoCageIsNotAFailure) {
  LoadCages("[]");
  CageInfo cage;
  std::memset(&cage, 0xAB, sizeof cage);
  std::uint32_t count = 7;
  EXPECT_EQ(InitializeDiags(&cage, &count), 0u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(cage.cageId, 0xABAB) << "the array stays untouched";
  EXPECT_EQ(SFStartFlashPower(1, 0x27), 24u);
  EXPECT_EQ(SFStopFlashPower(1, 0x27), 24u);
  EXPECT_EQ(SFAdjustPowerLED(1, 0x27, 1), 24u);
}

TEST_F(FrontPanelTest, FlashControlBeforeInitializationFindsNoCage) {
  LoadCages(R"([{"position":0,"strap4":true,"strap5":true}])");
  EXPECT_EQ(SFStartFlashPower(1, 0x27), 24u);
  EXPECT_EQ(PortA(0), 0xFF);
}

TEST_F(FrontPanelTest, FlashLinesOfOneCageKeepEachOthersState) {
  LoadCages(R"([{"position":0,"strap4":true,"strap5":true,"bays":[true,true,true]}])");
  ASSERT_EQ(InitializeDiags(nullptr, nullptr), 0u);
  EXPECT_EQ(SFStartFlashPower(1, 0x27), 0u);
  EXPECT_EQ(PortA(0), 0xFB);
  EXPECT_EQ(SFStartFlashPower(3, 0x27), 0u);
  EXPECT_EQ(PortA(0), 0xFA);
  EXPECT_EQ(SFStopFlashPower(1, 0x27), 0u);
  EXPECT_EQ(PortA(0), 0xFE);
  EXPECT_EQ(SFAdjustPowerLED(2, 0x27, 5), 0u) << "any nonzero flag flashes";
  EXPECT_EQ(PortA(0), 0xFC);
  EXPECT_EQ(SFAdjustPowerLED(2, 0x127, 0), 0u) << "only the low byte of the cage id counts";
  EXPECT_EQ(PortA(0), 0xFE);
  EXPECT_EQ(SFAdjustPowerLED(2, 0x27, 0x100), 0u) << "the flag counts in all its 32 bits";
  EXPECT_EQ(PortA(0), 0xFC);
  EXPECT_TRUE(machine().i2c().CageAt(0)->PowerLedFlashing(3));
}

TEST_F(FrontPanelTest, TargetOfAnotherCageIsRefusedWithoutTraffic) {
  LoadCages(R"([{"position":0,"strap4":true,"strap5":true},{"position":1,"strap4":true,"strap5":true}])");
  ASSERT_EQ(InitializeDiags(nullptr, nullptr), 0u);
  const std::size_t sends = Calls("I2C_SendMessage").size();
  EXPECT_EQ(SFStartFlashPower(4, 0x27), 22u);
  EXPECT_EQ(SFStartFlashPower(0x104, 0x26), 0u) << "only the low byte of the target counts";
  EXPECT_EQ(Calls("I2C_SendMessage").size(), sends + 1);
  EXPECT_EQ(PortA(0), 0xFF);
  EXPECT_EQ(PortA(1), 0xFB);
}

TEST_F(FrontPanelTest, InitializationReleasesPortsAndStopsEveryFlash) {
  LoadCages(R"([{"position":0,"strap4":true,"strap5":true,"bays":[true,false,false]},
                {"position":3,"bit7":true}])");
  ASSERT_EQ(InitializeDiags(nullptr, nullptr), 0u);
  ASSERT_EQ(SFStartFlashPower(1, 0x27), 0u);
  ASSERT_EQ(InitializeDiags(nullptr, nullptr), 0u);
  EXPECT_EQ(PortA(0), 0xFF);
  // Port B is released with its drive lines set, or wholly when bit 7 reads high.
  // 0x27 reads 0x7B (bit 7 low, bay 1 occupied): written back as 0x7F.
  EXPECT_EQ(SentTo(0x27).front(), "7F");
  EXPECT_EQ(SentTo(0x24).front(), "FF");
  // Every opening of the bus asks for the output bytes of all eight ports.
  const auto shadows = Calls("I2C_GetOutputShadow");
  ASSERT_GE(shadows.size(), 8u);
  const std::uint32_t order[] = {0x27, 0x3F, 0x26, 0x3E, 0x25, 0x3D, 0x24, 0x3C};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(shadows[i]["address"], order[i]);
}

TEST_F(FrontPanelTest, FailuresOfTheI2CLibrary) {
  // A failing bus opening or send: the panel_faults case.
  // A cage that stops answering after its map was read (three reads of the
  // probe, one for the map): its record gets no bays.
  LoadCages(R"([{"position":0},{"position":1}])",
            R"([{"call":"I2C_ReceiveMessage","address":38,"skip":4,"error":9}])");
  CageInfo cages[2];
  std::memset(cages, 0x11, sizeof cages);
  std::uint32_t count = 0;
  EXPECT_EQ(InitializeDiags(cages, &count), 0u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(cages[0].bayCount, 3);
  EXPECT_EQ(cages[1].bayCount, 0);
  EXPECT_EQ(cages[1].cageId, 0x1111) << "the rest of a failed record stays as it was";
  UnloadModule();

  // A failing output query closes the bus again and is returned.
  LoadCages(R"([{"position":0,"strap4":true,"strap5":true}])",
            R"([{"call":"I2C_GetOutputShadow","address":62,"skip":2,"error":300}])");
  ASSERT_EQ(InitializeDiags(nullptr, nullptr), 0u);
  EXPECT_EQ(SFStartFlashPower(1, 0x27), 300u);
  UnloadModule();

  // The cage answers the probe but not the reading of its map: InitializeDiags
  // gives the failure in 16 bits and writes neither records nor count; flash
  // control passes the same failure on whole.
  LoadCages(R"([{"position":0,"strap4":true,"strap5":true}])",
            R"([{"call":"I2C_ReceiveMessage","address":39,"skip":3,"error":74565}])");
  CageInfo record;
  std::memset(&record, 0x22, sizeof record);
  count = 99;
  EXPECT_EQ(InitializeDiags(&record, &count), 0x2345u);
  EXPECT_EQ(count, 99u);
  EXPECT_EQ(record.bayCount, 0x2222);
  EXPECT_EQ(SFStartFlashPower(1, 0x27), 74565u);
  UnloadModule();

  // Flash control opens the bus twice; the second opening fails whole too.
  LoadCages(R"([{"position":0,"strap4":true,"strap5":true}])",
            R"([{"call":"I2C_OpenDevice","skip":3,"error":74565}])");
  ASSERT_EQ(InitializeDiags(nullptr, nullptr), 0u);
  EXPECT_EQ(SFStartFlashPower(1, 0x27), 74565u);
  EXPECT_EQ(PortA(0), 0xFF);
  EXPECT_EQ(SentTo(0x3F).size(), 1u) << "only the release of the probe";
}

TEST_F(FrontPanelTest, CageThatDoesNotAnswerTheProbeIsSkipped) {
  LoadCages(R"([{"position":0},{"position":2,"strap5":true}])",
            R"([{"call":"I2C_ReceiveMessage","address":39,"error":9}])");
  CageInfo cage{};
  std::uint32_t count = 0;
  ASSERT_EQ(InitializeDiags(&cage, &count), 0u);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(cage.cageId, 0x25);
}

TEST_F(FrontPanelTest, BusIsClosedAfterEveryCall) {
  LoadCages(R"([{"position":1,"strap4":true,"strap5":true}])");
  ASSERT_EQ(InitializeDiags(nullptr, nullptr), 0u);
  const std::size_t opened = Calls("I2C_OpenDevice").size();
  ASSERT_EQ(SFAdjustPowerLED(5, 0x26, 1), 0u);
  EXPECT_EQ(Calls("I2C_OpenDevice").size(), opened + 2) << "once to read the map, once to write";
  EXPECT_EQ(Calls("I2C_OpenDevice").size(), Calls("I2C_CloseDevice").size());
  EXPECT_FALSE(machine().i2c().isOpen());
}

}  // namespace
}  // namespace lumbrel::test
