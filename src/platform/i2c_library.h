// The I2C bus access library (I2CDLL.dll) through which the cage indicators
// are driven. The library is closed: these five functions, with the C calling
// convention, are all it offers. Every call returns 0 on success and a
// nonzero failure code of the library's own otherwise. A device address is an
// 8-bit I2C address passed in a 32-bit argument; transfers here are one byte.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define LUMBREL_I2C_CALL __cdecl
#else
#define LUMBREL_I2C_CALL
#endif

extern "C" {
std::uint32_t LUMBREL_I2C_CALL I2C_OpenDevice(void);
std::uint32_t LUMBREL_I2C_CALL I2C_CloseDevice(void);
std::uint32_t LUMBREL_I2C_CALL I2C_GetOutputShadow(std::uint32_t address, std::uint8_t* output);
std::uint32_t LUMBREL_I2C_CALL I2C_ReceiveMessage(std::uint32_t address, std::uint8_t* buffer, std::uint32_t count);
std::uint32_t LUMBREL_I2C_CALL I2C_SendMessage(std::uint32_t address, const std::uint8_t* buffer, std::uint32_t count);
}
