// The module as a management application sees it: exports found by their
// exact names, a FreeLibrary and a second load that starts fresh.
#include <cstring>

#include "check.h"
#include "implemented_exports.h"
#include "session.h"

namespace {

using wine_tests::Board;
using wine_tests::Library;
using wine_tests::MachineFile;

#define LUMBREL_EXPORT_NAME(function, name) name,
constexpr const char* kAllExports[] = {LUMBREL_EXPORTS(LUMBREL_EXPORT_NAME)};
#undef LUMBREL_EXPORT_NAME

bool Implemented(const char* name) {
  for (const char* implemented : kImplementedExports) {
    if (std::strcmp(implemented, name) == 0) return true;
  }
  return false;
}

void __stdcall IgnoreResult(std::uint32_t) {}

}  // namespace

WINE_TEST(module, exports_are_found_by_their_exact_names) {
  Library lumbrel;
  REQUIRE_TRUE(lumbrel.module() != nullptr);
  for (const char* name : kAllExports) {
    const bool found = GetProcAddress(lumbrel.module(), name) != nullptr;
    if (found != Implemented(name)) {
      wine_check::Fail(__FILE__, __LINE__, std::string(name) + (found ? " is exported but not listed in LUMBREL.def"
                                                                      : " is listed in LUMBREL.def but not found"));
    }
  }
  EXPECT_TRUE(GetProcAddress(lumbrel.module(), "UpdateDriveFWImage") == nullptr);
  EXPECT_TRUE(GetProcAddress(lumbrel.module(), "UpdateDriveFWImage@24") == nullptr);
  EXPECT_TRUE(GetProcAddress(lumbrel.module(), "_InitializeDiags@8") == nullptr);
}

WINE_TEST(module, second_load_starts_with_an_empty_cage_table) {
  MachineFile machine(R"({"cages": [{"position": 0, "strap4": true, "strap5": true}]})");
  Board board;  // the hardware stays powered while the library comes and goes
  Library lumbrel;
  REQUIRE_TRUE(board.loaded() && lumbrel.module() != nullptr);
  std::uint32_t count = 0;
  EXPECT_EQ(lumbrel->InitializeDiags(nullptr, &count), 0u);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(lumbrel->SFStartFlashPower(1, 0x27), 0u);

  lumbrel.Unload();
  EXPECT_TRUE(!wine_tests::IsLoaded("LUMBREL.dll"));
  REQUIRE_TRUE(lumbrel.Load());
  EXPECT_EQ(board.Latch(0x3F), 0xFBu);  // still flashing: nothing touched the bus at unload or load
  EXPECT_EQ(lumbrel->SFStopFlashPower(1, 0x27), LUMBREL_CAGE_NOT_FOUND);
  EXPECT_EQ(lumbrel->InitializeDiags(nullptr, &count), 0u);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(board.Latch(0x3F), 0xFFu);
}

WINE_TEST(module, callback_setters_take_a_function_and_null) {
  Library lumbrel;
  REQUIRE_TRUE(lumbrel->SetActivityCallback && lumbrel->SetFormatCallback && lumbrel->SetFirmwareCallback);
  lumbrel->SetActivityCallback(IgnoreResult);
  lumbrel->SetFormatCallback(IgnoreResult);
  lumbrel->SetFirmwareCallback(IgnoreResult);
  lumbrel->SetActivityCallback(nullptr);
  lumbrel->SetFormatCallback(nullptr);
  lumbrel->SetFirmwareCallback(nullptr);
  lumbrel.Unload();  // the module unloads with callbacks registered or cleared alike
  EXPECT_TRUE(!wine_tests::IsLoaded("LUMBREL.dll"));
}
