#include "device/DeviceCommands.h"

#include "device/DeviceLibraryApi.h"
#include "device/DeviceList.h"
#include "device/DeviceLog.h"
#include "device/DeviceMembers.h"
#include "device/devices_handler.h"
#include "profiles/ProductCatalog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <array>
#include <limits>
#include <optional>

namespace {

using Buffer = std::array<unsigned char, kDeviceBufferSize>;

const char16_t* utf16(const QString& text) {
    return reinterpret_cast<const char16_t*>(text.utf16());
}

QString hardwareId(const QVariantMap& members) {
    return members.value(QStringLiteral("HardwareID")).toString();
}

int address(const QVariantMap& members) {
    const long value = DeviceMembers::hex(members.value(QStringLiteral("PARAMADDRESS")));
    if (value > std::numeric_limits<int>::max()) {
        return std::numeric_limits<int>::max();
    }
    if (value < std::numeric_limits<int>::min()) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(value);
}

// The transfer size, when it fits the buffer.
std::optional<int> transferSize(const QVariantMap& members) {
    const int size = DeviceMembers::integer(members.value(QStringLiteral("PARAMSIZE")));
    if (size < 0 || size > kDeviceBufferSize) {
        qCWarning(lcDevice) << "refused a transfer of" << size << "bytes";
        return std::nullopt;
    }
    return size;
}

// A zeroed buffer holding the first size items of PARAMDATA; nothing when there are too few.
std::optional<Buffer> dataBuffer(const QVariantMap& members, int size) {
    const std::optional<QByteArray> bytes =
        DeviceMembers::bytes(members.value(QStringLiteral("PARAMDATA")), size);
    if (!bytes) {
        qCWarning(lcDevice) << "refused data with fewer than" << size << "items";
        return std::nullopt;
    }
    Buffer buffer{};
    std::copy(bytes->cbegin(), bytes->cend(), buffer.begin());
    return buffer;
}

bool allZero(const Buffer& buffer) {
    return std::all_of(buffer.cbegin(), buffer.cend(), [](unsigned char b) { return b == 0; });
}

QString failed(const char* command) {
    return QString::fromLatin1(command) + QStringLiteral(" failed!");
}

}  // namespace

const QVector<DeviceCommands::Command>& DeviceCommands::commands() {
    static const QStringList transfer = {"HardwareID", "DevicePath", "PARAMSIZE", "PARAMADDRESS"};
    static const QVector<Command> table = {
        {QStringLiteral("getDevicesList"), {}, &DeviceCommands::getDevicesList},
        {QStringLiteral("readDevicesProp"),
         {"HardwareID", "DevicePath", "PARAMSIZE", "PARAMID"},
         &DeviceCommands::readDevicesProp},
        {QStringLiteral("writeDevicesProp"),
         {"HardwareID", "DevicePath", "PARAMSIZE", "PARAMID", "PARAMDATA"},
         &DeviceCommands::writeDevicesProp},
        {QStringLiteral("readByAddr"), transfer, &DeviceCommands::readByAddr},
        {QStringLiteral("writeByAddr"), transfer + QStringList{"PARAMDATA"},
         &DeviceCommands::writeByAddr},
        {QStringLiteral("notifyDevice"),
         {"HardwareID", "NotifyType", "NotifyData"},
         &DeviceCommands::notifyDevice},
        {QStringLiteral("isPropEmpty"), transfer, &DeviceCommands::isPropEmpty},
        {QStringLiteral("cleanMacroByAddr"), transfer, &DeviceCommands::cleanMacroByAddr},
        {QStringLiteral("writeMacroByAddr"), transfer + QStringList{"PARAMDATA"},
         &DeviceCommands::writeMacroByAddr},
    };
    return table;
}

CommandReply DeviceCommands::getDevicesList(const QVariantMap& members) {
    Q_UNUSED(members);
    const DeviceList list = m_handler ? m_handler->getDevices() : DeviceList();
    const QVector<DeviceSnapshotEntry> devices = decodeDeviceList(list);
    QJsonArray array;
    std::optional<ProductCatalog> catalog;
    for (const DeviceSnapshotEntry& device : devices) {
        if (!catalog) {
            catalog = ProductCatalog::parse(m_confText ? m_confText() : QString());
            if (!catalog) {
                return CommandReply::failure(QStringLiteral("queryProfile load xml file failed!"));
            }
        }
        const ProductData product = catalog->find(device.deviceId);
        array.append(QJsonObject{{"DeviceID", device.deviceId},
                                 {"DevicePath", device.devicePath},
                                 {"HardwareID", device.hardwareId},
                                 {"SN", device.sn},
                                 {"Version", device.version},
                                 {"MASK", device.mask},
                                 {"timestamp", QString()},
                                 {"productType", product.productType},
                                 {"productName", product.productName},
                                 {"productCN", product.productCN},
                                 {"description", product.description},
                                 {"device", product.device}});
    }
    return CommandReply::success(
        QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)));
}

CommandReply DeviceCommands::readDevicesProp(const QVariantMap& members) {
    const std::optional<int> size = transferSize(members);
    if (!size) {
        return CommandReply::failure(failed("readDevicesProp"));
    }
    Buffer buffer{};
    if (m_handler && m_handler->dcReadProp) {
        m_handler->dcReadProp(utf16(hardwareId(members)), u"", kDeviceCallMagic, buffer.data(),
                              *size, DeviceMembers::integer(members.value("PARAMID")));
    }
    return CommandReply::success(DeviceMembers::hexByteList(buffer.data(), *size));
}

CommandReply DeviceCommands::writeDevicesProp(const QVariantMap& members) {
    const std::optional<int> size = transferSize(members);
    std::optional<Buffer> buffer = size ? dataBuffer(members, *size) : std::nullopt;
    if (!buffer) {
        return CommandReply::failure(failed("writeDevicesProp"));
    }
    const bool written =
        m_handler && m_handler->dcWriteProp &&
        m_handler->dcWriteProp(utf16(hardwareId(members)), u"", kDeviceCallMagic, buffer->data(),
                               *size, DeviceMembers::integer(members.value("PARAMID"))) == 0;
    return written ? CommandReply::success(QStringLiteral("writeDevicesProp success!"))
                   : CommandReply::failure(failed("writeDevicesProp"));
}

CommandReply DeviceCommands::readByAddr(const QVariantMap& members) {
    const std::optional<int> size = transferSize(members);
    if (!size) {
        return CommandReply::failure(failed("readByAddr"));
    }
    Buffer buffer{};
    if (m_handler) {
        m_handler->read(buffer.data(), hardwareId(members), *size, address(members));
    }
    return CommandReply::success(DeviceMembers::hexByteList(buffer.data(), *size));
}

CommandReply DeviceCommands::writeByAddr(const QVariantMap& members) {
    const std::optional<int> size = transferSize(members);
    std::optional<Buffer> buffer = size ? dataBuffer(members, *size) : std::nullopt;
    if (!buffer) {
        return CommandReply::failure(failed("writeByAddr"));
    }
    const bool written =
        m_handler && m_handler->write(hardwareId(members), buffer->data(), *size, address(members));
    return written ? CommandReply::success(QStringLiteral("writeByAddr success!"))
                   : CommandReply::failure(failed("writeByAddr"));
}

CommandReply DeviceCommands::notifyDevice(const QVariantMap& members) {
    const bool sent =
        m_handler && m_handler->dcNotify &&
        m_handler->notify(hardwareId(members), DeviceMembers::integer(members.value("NotifyType")),
                          DeviceMembers::integer(members.value("NotifyData")));
    return sent ? CommandReply::success(QStringLiteral("notifyDevice success!"))
                : CommandReply::failure(failed("notifyDevice"));
}

CommandReply DeviceCommands::isPropEmpty(const QVariantMap& members) {
    const std::optional<int> size = transferSize(members);
    if (!size) {
        return CommandReply::failure(failed("isPropEmpty"));
    }
    Buffer buffer{};
    if (m_handler) {
        m_handler->read(buffer.data(), hardwareId(members), *size, address(members));
    }
    return CommandReply::success(allZero(buffer) ? QStringLiteral("true")
                                                 : QStringLiteral("false"));
}

CommandReply DeviceCommands::cleanMacroByAddr(const QVariantMap& members) {
    const std::optional<int> size = transferSize(members);
    if (!size) {
        return CommandReply::failure(failed("cleanMacroByAddr"));
    }
    Buffer zeros{};
    const bool written =
        m_handler && m_handler->write(hardwareId(members), zeros.data(), *size, address(members));
    return written ? CommandReply::success(QStringLiteral("cleanMacroByAddr success!"))
                   : CommandReply::failure(failed("cleanMacroByAddr"));
}

CommandReply DeviceCommands::writeMacroByAddr(const QVariantMap& members) {
    const std::optional<int> size = transferSize(members);
    std::optional<Buffer> data = size ? dataBuffer(members, *size) : std::nullopt;
    if (!data) {
        return CommandReply::failure(failed("writeMacroByAddr"));
    }
    Buffer current{};
    if (m_handler) {
        m_handler->read(current.data(), hardwareId(members), *size, address(members));
    }
    if (!allZero(current)) {
        return CommandReply::success(members.value(QStringLiteral("PARAMADDRESS")).toString());
    }
    const bool written =
        m_handler && m_handler->write(hardwareId(members), data->data(), *size, address(members));
    return written ? CommandReply::success(QStringLiteral("true"))
                   : CommandReply::failure(failed("writeMacroByAddr"));
}
