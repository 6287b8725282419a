#pragma once

// The device library's binary interface: plain C functions exported by libdc.so, strings as
// NUL-terminated UTF-16 (char16_t), every per-device call carrying the fixed number 4118. The
// library copies a callback's address out of its registration cell during the call.

#include <cstdint>

extern "C" {

// The first argument of dcDevices, passed by value.
struct DeviceFilter {
    std::uint32_t words[20];
};

// Called when the set of devices changes; the low 16 bits of code are the event code.
typedef int (*DeviceEventCallback)(std::uint32_t code);
// Called with a pointer to a pointer to the device's data (8 bytes are read); the second
// argument is unused.
typedef int (*DeviceDataCallback)(const unsigned char* const* data, void* unused);

typedef int (*DcDeviceExistFn)(const char16_t* hardwareId);
typedef int (*DcDevicesFn)(DeviceFilter filter, unsigned char* list, int size);
typedef int (*DcOnDeviceEventFn)(DeviceEventCallback* cell);
typedef int (*DcOnDeviceDataFn)(const char16_t* hardwareId, const char16_t* devicePath, int magic,
                                DeviceDataCallback* cell);
typedef int (*DcAskFn)(const char16_t* id, const char16_t* empty, int magic);
// dcReset and dcNotify: the two bytes {type, data} travel in the low bytes of one 32-bit slot.
typedef int (*DcNotifyFn)(const char16_t* id, const char16_t* empty, int magic, std::uint32_t bytes,
                          unsigned char* cell, int zero);
typedef int (*DcTransferFn)(const char16_t* id, const char16_t* empty, int magic,
                            unsigned char* buffer, int size, int addressOrProperty);
typedef int (*DcRomFn)(const char16_t* id, const char16_t* empty, int magic);
typedef int (*DcCheckRomFn)(const char16_t* id, const char16_t* empty, int magic,
                            std::uint32_t size, std::uint32_t checkValue);
typedef int (*DcBornRomFn)(const char16_t* id, const char16_t* empty, int magic,
                           const unsigned char* block, int length, int offset);

}  // extern "C"

// The number every per-device call carries.
constexpr int kDeviceCallMagic = 4118;
// The largest transfer of one call.
constexpr int kDeviceBufferSize = 2048;
// The largest firmware block of one dcBornRom call.
constexpr int kFirmwareBlockSize = 2000;
// The hardware id under which a device in boot-loader mode is listed.
inline constexpr char16_t kBootLoaderHardwareId[] = u"HID\\Vid_04d9&Pid_b0d2";
