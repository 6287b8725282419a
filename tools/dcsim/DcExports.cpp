// The library's entry points: exactly the eighteen names of the device library, with C linkage
// and default visibility; everything else in libdc.so is hidden.

#include "DeviceCalls.h"
#include "SimRuntime.h"
#include "device/DeviceLibraryApi.h"

#include <type_traits>

#define DC_EXPORT extern "C" __attribute__((visibility("default")))

DC_EXPORT int dcDeviceExist(const char16_t* hardwareId) {
    return DeviceCalls::deviceExist(SimRuntime::world(), hardwareId);
}

DC_EXPORT int dcDevices(DeviceFilter filter, unsigned char* list, int size) {
    return DeviceCalls::devices(SimRuntime::world(), filter, list, size);
}

DC_EXPORT int dcOnDeviceEvent(DeviceEventCallback* cell) {
    return DeviceCalls::onDeviceEvent(SimRuntime::world(), cell);
}

DC_EXPORT int dconDeviceData(const char16_t* hardwareId, const char16_t* devicePath, int magic,
                             DeviceDataCallback* cell) {
    return DeviceCalls::onDeviceData(SimRuntime::world(), hardwareId, devicePath, magic, cell);
}

DC_EXPORT int dcAsk(const char16_t* id, const char16_t* empty, int magic) {
    return DeviceCalls::ask(SimRuntime::world(), id, empty, magic);
}

DC_EXPORT int dcScriptOut(const char16_t* id, const char16_t* empty, int magic) {
    return DeviceCalls::ask(SimRuntime::world(), id, empty, magic);
}

DC_EXPORT int dcIDWrite(const char16_t* id, const char16_t* empty, int magic) {
    return DeviceCalls::ask(SimRuntime::world(), id, empty, magic);
}

DC_EXPORT int dcReset(const char16_t* id, const char16_t* empty, int magic, std::uint32_t bytes,
                      unsigned char* cell, int zero) {
    return DeviceCalls::reset(SimRuntime::world(), id, empty, magic, bytes, cell, zero);
}

DC_EXPORT int dcNotify(const char16_t* id, const char16_t* empty, int magic, std::uint32_t bytes,
                       unsigned char* cell, int zero) {
    return DeviceCalls::notify(SimRuntime::world(), id, empty, magic, bytes, cell, zero);
}

DC_EXPORT int dcRead(const char16_t* id, const char16_t* empty, int magic, unsigned char* buffer,
                     int size, int address) {
    return DeviceCalls::read(SimRuntime::world(), id, empty, magic, buffer, size, address);
}

DC_EXPORT int dcWrite(const char16_t* id, const char16_t* empty, int magic, unsigned char* buffer,
                      int size, int address) {
    return DeviceCalls::write(SimRuntime::world(), id, empty, magic, buffer, size, address);
}

DC_EXPORT int dcReadProp(const char16_t* id, const char16_t* empty, int magic,
                         unsigned char* buffer, int size, int property) {
    return DeviceCalls::readProperty(SimRuntime::world(), id, empty, magic, buffer, size, property);
}

DC_EXPORT int dcWriteProp(const char16_t* id, const char16_t* empty, int magic,
                          unsigned char* buffer, int size, int property) {
    return DeviceCalls::writeProperty(SimRuntime::world(), id, empty, magic, buffer, size,
                                      property);
}

DC_EXPORT int dcRebootRom(const char16_t* id, const char16_t* empty, int magic) {
    return DeviceCalls::rebootRom(SimRuntime::world(), id, empty, magic);
}

DC_EXPORT int dcEraseRom(const char16_t* id, const char16_t* empty, int magic) {
    return DeviceCalls::eraseRom(SimRuntime::world(), id, empty, magic);
}

DC_EXPORT int dcBornRom(const char16_t* id, const char16_t* empty, int magic,
                        const unsigned char* block, int length, int offset) {
    return DeviceCalls::bornRom(SimRuntime::world(), id, empty, magic, block, length, offset);
}

DC_EXPORT int dcCheckRom(const char16_t* id, const char16_t* empty, int magic, std::uint32_t size,
                         std::uint32_t checkValue) {
    return DeviceCalls::checkRom(SimRuntime::world(), id, empty, magic, size, checkValue);
}

DC_EXPORT int dcFinishUpdateRom(const char16_t* id, const char16_t* empty, int magic) {
    return DeviceCalls::finishUpdateRom(SimRuntime::world(), id, empty, magic);
}

// The definitions must match the types the client resolves them as.
static_assert(std::is_same_v<decltype(&dcDeviceExist), DcDeviceExistFn>);
static_assert(std::is_same_v<decltype(&dcDevices), DcDevicesFn>);
static_assert(std::is_same_v<decltype(&dcOnDeviceEvent), DcOnDeviceEventFn>);
static_assert(std::is_same_v<decltype(&dconDeviceData), DcOnDeviceDataFn>);
static_assert(std::is_same_v<decltype(&dcAsk), DcAskFn>);
static_assert(std::is_same_v<decltype(&dcScriptOut), DcAskFn>);
static_assert(std::is_same_v<decltype(&dcIDWrite), DcAskFn>);
static_assert(std::is_same_v<decltype(&dcReset), DcNotifyFn>);
static_assert(std::is_same_v<decltype(&dcNotify), DcNotifyFn>);
static_assert(std::is_same_v<decltype(&dcRead), DcTransferFn>);
static_assert(std::is_same_v<decltype(&dcWrite), DcTransferFn>);
static_assert(std::is_same_v<decltype(&dcReadProp), DcTransferFn>);
static_assert(std::is_same_v<decltype(&dcWriteProp), DcTransferFn>);
static_assert(std::is_same_v<decltype(&dcRebootRom), DcRomFn>);
static_assert(std::is_same_v<decltype(&dcEraseRom), DcRomFn>);
static_assert(std::is_same_v<decltype(&dcFinishUpdateRom), DcRomFn>);
static_assert(std::is_same_v<decltype(&dcBornRom), DcBornRomFn>);
static_assert(std::is_same_v<decltype(&dcCheckRom), DcCheckRomFn>);
