// Runs the cases of one group (or all): wine-tests.exe GROUP|all|--list.
#include <cstdio>
#include <cstring>

#include "check.h"

namespace wine_check {
namespace {
int g_caseFailures = 0;
}

std::vector<Case>& Cases() {
  static std::vector<Case> cases;
  return cases;
}

void Fail(const char* file, int line, const std::string& what) {
  ++g_caseFailures;
  std::printf("%s:%d: FAILED: %s\n", file, line, what.c_str());
  std::fflush(stdout);
}

}  // namespace wine_check

int main(int argc, char** argv) {
  using wine_check::Cases;
  if (argc != 2) {
    std::printf("usage: %s GROUP|all|--list\n", argv[0]);
    return 2;
  }
  const bool list = std::strcmp(argv[1], "--list") == 0;
  const bool all = std::strcmp(argv[1], "all") == 0;
  int passed = 0;
  int failed = 0;
  for (const auto& c : Cases()) {
    if (list) {
      std::printf("%s.%s\n", c.group, c.name);
      continue;
    }
    if (!all && std::strcmp(argv[1], c.group) != 0) continue;
    std::printf("[ RUN      ] %s.%s\n", c.group, c.name);
    std::fflush(stdout);
    wine_check::g_caseFailures = 0;
    c.body();
    const bool ok = wine_check::g_caseFailures == 0;
    std::printf("[ %s ] %s.%s\n", ok ? "      OK" : " FAILED ", c.group, c.name);
    ++(ok ? passed : failed);
  }
  if (list) return 0;
  if (passed + failed == 0) {
    std::printf("no cases in group %s\n", argv[1]);
    return 2;
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
