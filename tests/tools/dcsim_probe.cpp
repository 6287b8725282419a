// A second process for the persistence tests: loads libdc.so, runs the operations given on the
// command line against the first listed device, prints one line per operation and exits, which
// makes the library write its state file.
//
//   dcsim_probe list | read ADDR SIZE | write ADDR HEX | readprop ID SIZE | writeprop ID HEX ...

#include "DcApi.h"
#include "device/DeviceList.h"

#include <QByteArray>
#include <QStringList>
#include <cstdio>
#include <string>

namespace {

QByteArray textField(const unsigned char* record, std::size_t offset, std::size_t size) {
    const QByteArray field(reinterpret_cast<const char*>(record + offset),
                           static_cast<qsizetype>(size));
    const qsizetype end = field.indexOf('\0');
    return end < 0 ? field : field.left(end);
}

int fail(const char* message) {
    std::fprintf(stderr, "dcsim_probe: %s\n", message);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    DcApi dc;
    QString error;
    if (!dc.load(QStringLiteral(DC_LIBRARY_PATH), &error)) {
        return fail(error.toLocal8Bit().constData());
    }
    static unsigned char list[DeviceList::kSize];
    DeviceFilter filter{};
    filter.words[0] = 0xFFA00001u;
    filter.words[1] = 0xFFAA0001u;
    if (dc.devices(filter, list, sizeof list) != 0) {
        return fail("dcDevices failed");
    }
    const int count = list[0] | (list[1] << 8);
    const std::u16string first = count > 0
                                     ? decodeUtf16Field(list + 2, DeviceRecord::kHardwareIdOffset,
                                                        DeviceRecord::kHardwareIdSize)
                                     : std::u16string();

    unsigned char buffer[kDeviceBufferSize];
    for (int i = 1; i < argc; ++i) {
        const QByteArray op = argv[i];
        if (op == "list") {
            for (int d = 0; d < count; ++d) {
                const unsigned char* record = list + 2 + DeviceRecord::kSize * d;
                const std::u16string id = decodeUtf16Field(record, DeviceRecord::kHardwareIdOffset,
                                                           DeviceRecord::kHardwareIdSize);
                std::printf(
                    "%s|%s|%s\n",
                    textField(record, DeviceRecord::kDeviceIdOffset, DeviceRecord::kDeviceIdSize)
                        .constData(),
                    QString::fromStdU16String(id).toUtf8().constData(),
                    textField(record, DeviceRecord::kVersionOffset, DeviceRecord::kVersionSize)
                        .constData());
            }
            continue;
        }
        if (i + 2 >= argc) {
            return fail("operation needs two arguments");
        }
        const int number = QByteArray(argv[i + 1]).toInt();
        const QByteArray argument = argv[i + 2];
        i += 2;
        int result = 0;
        if (op == "read" || op == "readprop") {
            const int size = argument.toInt();
            result = (op == "read" ? dc.read : dc.readProp)(first.c_str(), u"", kDeviceCallMagic,
                                                            buffer, size, number);
            if (result == 0) {
                std::printf(
                    "%s\n",
                    QByteArray(reinterpret_cast<const char*>(buffer), size).toHex().constData());
            }
        } else if (op == "write" || op == "writeprop") {
            const QByteArray bytes = QByteArray::fromHex(argument);
            std::copy(bytes.begin(), bytes.end(), buffer);
            result = (op == "write" ? dc.write : dc.writeProp)(
                first.c_str(), u"", kDeviceCallMagic, buffer, static_cast<int>(bytes.size()),
                number);
            if (result == 0) {
                std::printf("ok\n");
            }
        } else {
            return fail("unknown operation");
        }
        if (result != 0) {
            return fail("a device call failed");
        }
    }
    std::fflush(stdout);
    return 0;
}
