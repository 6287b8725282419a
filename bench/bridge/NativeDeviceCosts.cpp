#include "NativeDeviceCosts.h"

#include "browser/QueryCallback.h"
#include "device/DeviceLibraryApi.h"
#include "device/DeviceMembers.h"
#include "device/devices_handler.h"
#include "ui/PageRequest.h"
#include "ui/zelk.h"

#include <array>
#include <chrono>
#include <vector>

namespace {

constexpr int kWarmup = 50;

// Keeps the compiler from dropping work whose result is not otherwise used.
volatile qint64 g_sink = 0;

template <typename Step>
SampleStats timeEach(int iterations, Step step) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> samples;
    samples.reserve(iterations);
    for (int i = -kWarmup; i < iterations; ++i) {
        const Clock::time_point start = Clock::now();
        g_sink = g_sink + step();
        const Clock::time_point end = Clock::now();
        if (i >= 0) {
            samples.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        }
    }
    return SampleStats::of(std::move(samples));
}

}  // namespace

DeviceNativeCosts measureDeviceNativeCosts(zelk& window, devices_handler& handler,
                                           const DeviceRequests& requests, int iterations) {
    DeviceNativeCosts costs;
    costs.iterations = iterations;
    const std::optional<PageRequest> write = PageRequest::parse(requests.write);
    if (!write || !PageRequest::parse(requests.read)) {
        return costs;
    }
    const QVariant data = write->members.value(QStringLiteral("PARAMDATA"));
    std::array<unsigned char, kDeviceBufferSize> buffer{};
    const std::optional<QByteArray> bytes = DeviceMembers::bytes(data, requests.size);
    if (bytes) {
        std::copy(bytes->cbegin(), bytes->cend(), buffer.begin());
    }

    costs.parseRead =
        timeEach(iterations, [&] { return PageRequest::parse(requests.read)->members.size(); });
    costs.parseWrite =
        timeEach(iterations, [&] { return PageRequest::parse(requests.write)->members.size(); });
    costs.dataBytes =
        timeEach(iterations, [&] { return DeviceMembers::bytes(data, requests.size)->size(); });
    costs.hexList = timeEach(iterations, [&] {
        return DeviceMembers::hexByteList(buffer.data(), requests.size).size();
    });
    std::array<unsigned char, kDeviceBufferSize> readBack{};
    costs.libraryRead = timeEach(iterations, [&] {
        handler.read(readBack.data(), requests.hardwareId, requests.size, requests.address);
        return qint64(readBack[0]);
    });
    costs.libraryWrite = timeEach(iterations, [&] {
        return qint64(
            handler.write(requests.hardwareId, buffer.data(), requests.size, requests.address));
    });
    const auto handle = [&window](const QString& request) {
        window.onJsMessage(request, QueryCallbackPtr::create(nullptr, QString(), 0, false));
        return qint64(1);
    };
    costs.windowRead = timeEach(iterations, [&] { return handle(requests.read); });
    costs.windowWrite = timeEach(iterations, [&] { return handle(requests.write); });
    return costs;
}
