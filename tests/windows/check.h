// A lean check harness for the Windows test program: cases grouped by name,
// checks that report the file, line and both values, and a closing count.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace wine_check {

struct Case {
  const char* group;
  const char* name;
  void (*body)();
};

std::vector<Case>& Cases();
void Fail(const char* file, int line, const std::string& what);

struct Registrar {
  Registrar(const char* group, const char* name, void (*body)()) { Cases().push_back({group, name, body}); }
};

template <typename T>
std::string Show(const T& value) {
  if constexpr (std::is_same_v<T, std::string>) {
    return "\"" + value + "\"";
  } else if constexpr (std::is_convertible_v<T, const char*>) {
    return value == nullptr ? "null" : "\"" + std::string(value) + "\"";
  } else if constexpr (std::is_pointer_v<T>) {
    return value == nullptr ? "null" : "a pointer";
  } else if constexpr (std::is_same_v<T, bool>) {
    return value ? "true" : "false";
  } else {
    const auto wide = static_cast<std::uint64_t>(value);
    return std::to_string(wide) + " (0x" + [wide] {
      static const char digits[] = "0123456789ABCDEF";
      std::string hex;
      std::uint64_t rest = wide;
      do {
        hex.insert(hex.begin(), digits[rest & 0xF]);
        rest >>= 4;
      } while (rest != 0);
      return hex;
    }() + ")";
  }
}

}  // namespace wine_check

#define WINE_TEST(group, name)                                                                    \
  static void group##_##name();                                                                   \
  static const ::wine_check::Registrar group##_##name##_registrar(#group, #name, group##_##name); \
  static void group##_##name()

#define EXPECT_TRUE(condition) \
  ((condition) ? (void)0 : ::wine_check::Fail(__FILE__, __LINE__, "expected: " #condition))

#define EXPECT_EQ(actual, expected)                                                                   \
  do {                                                                                                \
    const auto& check_actual_ = (actual);                                                             \
    const auto& check_expected_ = (expected);                                                         \
    if (!(check_actual_ == check_expected_)) {                                                        \
      ::wine_check::Fail(__FILE__, __LINE__,                                                          \
                         #actual " is " + ::wine_check::Show(check_actual_) + ", expected " +         \
                             ::wine_check::Show(check_expected_));                                    \
    }                                                                                                 \
  } while (0)

// Ends the case at once when a precondition fails.
#define REQUIRE_TRUE(condition)                                                  \
  do {                                                                           \
    if (!(condition)) {                                                          \
      ::wine_check::Fail(__FILE__, __LINE__, "required: " #condition);           \
      return;                                                                    \
    }                                                                            \
  } while (0)
