#pragma once

#include "SimWorld.h"
#include "device/DeviceLibraryApi.h"

#include <cstdint>

// The behaviour behind the library's entry points. Each takes the world's lock for the whole
// call, checks its arguments before it touches anything, and returns a SimResult. Callbacks
// are only queued here; the control thread fires them.
namespace DeviceCalls {

int deviceExist(SimWorld& world, const char16_t* hardwareId);
int devices(SimWorld& world, const DeviceFilter& filter, unsigned char* list, int size);
int onDeviceEvent(SimWorld& world, DeviceEventCallback* cell);
int onDeviceData(SimWorld& world, const char16_t* hardwareId, const char16_t* devicePath, int magic,
                 DeviceDataCallback* cell);
// dcAsk, dcScriptOut and dcIDWrite: accepted for any present device, no effect.
int ask(SimWorld& world, const char16_t* id, const char16_t* empty, int magic);
int notify(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
           std::uint32_t bytes, unsigned char* cell, int zero);
int reset(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
          std::uint32_t bytes, unsigned char* cell, int zero);
int read(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
         unsigned char* buffer, int size, int address);
int write(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
          unsigned char* buffer, int size, int address);
int readProperty(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
                 unsigned char* buffer, int size, int property);
int writeProperty(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
                  unsigned char* buffer, int size, int property);
int rebootRom(SimWorld& world, const char16_t* id, const char16_t* empty, int magic);
int eraseRom(SimWorld& world, const char16_t* id, const char16_t* empty, int magic);
int bornRom(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
            const unsigned char* block, int length, int offset);
int checkRom(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
             std::uint32_t size, std::uint32_t checkValue);
int finishUpdateRom(SimWorld& world, const char16_t* id, const char16_t* empty, int magic);

}  // namespace DeviceCalls
