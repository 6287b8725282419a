#include "FakeDeviceLibrary.h"

#include "device/DeviceCommands.h"
#include "device/DeviceMembers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kConf = QStringLiteral(
    "<root><client version=\"1\"/>"
    "<conf deviceId=\"KRV-K1\"><info name=\"other\" productName=\"wrong\"/>"
    "<info name=\"产品信息\" productType=\"keyboard\" productName=\"K1\" productCN=\"键盘\" "
    "description=\"d\" device=\"kb\"/></conf>"
    "<conf deviceId=\"KRV-K1\"><info name=\"产品信息\" productName=\"second entry\"/></conf>"
    "</root>");

QVariantMap request(std::initializer_list<std::pair<QString, QVariant>> members) {
    QVariantMap map{{"HardwareID", "HID\\Vid_04d9&Pid_a0f1"}, {"DevicePath", "/dev/x"}};
    for (const auto& member : members) {
        map.insert(member.first, member.second);
    }
    return map;
}

}  // namespace

class DeviceCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readAddressForms_data();
    void readAddressForms();
    void writeUsesExactlySizeItems_data();
    void writeUsesExactlySizeItems();
    void refusedTransfersNeverReachTheLibrary_data();
    void refusedTransfersNeverReachTheLibrary();
    void macroWriteOnlyIntoEmptyArea_data();
    void macroWriteOnlyIntoEmptyArea();
    void emptinessLooksAtTheWholeBuffer();
    void cleanWritesZeros();
    void properties();
    void notifySendsLowBytes();
    void failedWritesAnswerFailure();
    void withoutLibrary_data();
    void withoutLibrary();
    void deviceListCarriesProductData();
    void deviceListStopsAtTwentyRecords();
    void deviceListWithUnparsableConf();
    void everyFifthDeviceEventIsActedOn();
    void deviceDataIsEightBytesInLowerCaseHex();

private:
    std::unique_ptr<FakeDeviceLibrary> m_library;
    std::unique_ptr<devices_handler> m_handler;
    std::unique_ptr<DeviceCommands> m_commands;
    QString m_conf;
};

void DeviceCommandsTest::init() {
    m_library = std::make_unique<FakeDeviceLibrary>();
    m_handler = std::make_unique<devices_handler>(QStringLiteral("/nonexistent/libdc.so"));
    m_library->install(m_handler.get());
    m_conf = kConf;
    m_commands = std::make_unique<DeviceCommands>(m_handler.get(), [this] { return m_conf; });
}

void DeviceCommandsTest::cleanup() {
    m_commands.reset();
    m_handler.reset();
    m_library.reset();
}

void DeviceCommandsTest::readAddressForms_data() {
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<int>("expected");
    QTest::newRow("text with 0x") << QVariant("0x20") << 0x20;
    QTest::newRow("text without prefix") << QVariant("20") << 0x20;
    QTest::newRow("number 20 reads as hex") << QVariant(20.0) << 0x20;
    QTest::newRow("number 100 reads as hex") << QVariant(100.0) << 0x100;
    QTest::newRow("number 4096 reads as hex") << QVariant(qlonglong(4096)) << 0x4096;
    QTest::newRow("leading blanks and upper case") << QVariant("  0X1A") << 0x1a;
    QTest::newRow("stops at a non-digit") << QVariant("1fz9") << 0x1f;
    QTest::newRow("no digits") << QVariant("zz") << 0;
}

void DeviceCommandsTest::readAddressForms() {
    QFETCH(QVariant, address);
    QFETCH(int, expected);
    m_library->memory[expected] = char(0x0a);
    m_library->memory[expected + 1] = char(0xff);
    const CommandReply reply =
        m_commands->readByAddr(request({{"PARAMSIZE", 3}, {"PARAMADDRESS", address}}));
    QCOMPARE(reply.kind, CommandReply::Kind::Success);
    QCOMPARE(reply.text, QStringLiteral("0x0a,0xff,0x00"));
    QCOMPARE(m_library->calls.size(), 1);
    QCOMPARE(m_library->calls.first().where, expected);
    QCOMPARE(m_library->calls.first().id, QStringLiteral("HID\\Vid_04d9&Pid_a0f1"));
}

void DeviceCommandsTest::writeUsesExactlySizeItems_data() {
    QTest::addColumn<QVariant>("size");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("three items") << QVariant(3) << "0x1ff,,7" << QByteArray("\xff\x00\x07\x00", 4);
    QTest::newRow("two of three items")
        << QVariant(2) << "0x1ff,,7" << QByteArray("\xff\x00\x00\x00", 4);
    QTest::newRow("size as a string") << QVariant("1") << "ab" << QByteArray("\xab\x00\x00\x00", 4);
    QTest::newRow("size rounded") << QVariant(1.6) << "1,2" << QByteArray("\x01\x02\x00\x00", 4);
    QTest::newRow("size true is one")
        << QVariant(true) << "5,6" << QByteArray("\x05\x00\x00\x00", 4);
    QTest::newRow("size zero") << QVariant(0) << "" << QByteArray("\x00\x00\x00\x00", 4);
}

void DeviceCommandsTest::writeUsesExactlySizeItems() {
    QFETCH(QVariant, size);
    QFETCH(QString, data);
    QFETCH(QByteArray, written);
    const CommandReply reply = m_commands->writeByAddr(
        request({{"PARAMSIZE", size}, {"PARAMADDRESS", "100"}, {"PARAMDATA", data}}));
    QCOMPARE(reply.text, QStringLiteral("writeByAddr success!"));
    QCOMPARE(m_library->memory.mid(0x100, 4), written);
}

void DeviceCommandsTest::refusedTransfersNeverReachTheLibrary_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QVariantMap>("members");
    const QString tooMany = QStringList(2049, QStringLiteral("1")).join(',');
    QTest::newRow("read 2049 bytes")
        << "readByAddr" << request({{"PARAMSIZE", 2049}, {"PARAMADDRESS", "0"}});
    QTest::newRow("read a negative size")
        << "readByAddr" << request({{"PARAMSIZE", -1}, {"PARAMADDRESS", "0"}});
    QTest::newRow("read a property of 4096 bytes")
        << "readDevicesProp" << request({{"PARAMSIZE", 4096}, {"PARAMID", 1}});
    QTest::newRow("write 2049 bytes")
        << "writeByAddr"
        << request({{"PARAMSIZE", 2049}, {"PARAMADDRESS", "0"}, {"PARAMDATA", tooMany}});
    QTest::newRow("write more bytes than items")
        << "writeByAddr"
        << request({{"PARAMSIZE", 4}, {"PARAMADDRESS", "0"}, {"PARAMDATA", "1,2"}});
    QTest::newRow("property data too short")
        << "writeDevicesProp" << request({{"PARAMSIZE", 2}, {"PARAMID", 1}, {"PARAMDATA", "1"}});
    QTest::newRow("macro data too short")
        << "writeMacroByAddr"
        << request({{"PARAMSIZE", 3}, {"PARAMADDRESS", "0"}, {"PARAMDATA", "1,2"}});
    QTest::newRow("clean 5000 bytes")
        << "cleanMacroByAddr" << request({{"PARAMSIZE", 5000}, {"PARAMADDRESS", "0"}});
    QTest::newRow("emptiness of 3000 bytes")
        << "isPropEmpty" << request({{"PARAMSIZE", 3000}, {"PARAMADDRESS", "0"}});
}

void DeviceCommandsTest::refusedTransfersNeverReachTheLibrary() {
    QFETCH(QString, command);
    QFETCH(QVariantMap, members);
    const auto& table = DeviceCommands::commands();
    const auto entry =
        std::find_if(table.cbegin(), table.cend(),
                     [&](const DeviceCommands::Command& c) { return c.name == command; });
    QVERIFY(entry != table.cend());
    const CommandReply reply = m_commands->run(*entry, members);
    QCOMPARE(reply.kind, CommandReply::Kind::Failure);
    QCOMPARE(reply.text, command + QStringLiteral(" failed!"));
    QVERIFY(m_library->calls.isEmpty());
    QCOMPARE(m_library->memory, QByteArray(0x10000, '\0'));
}

void DeviceCommandsTest::macroWriteOnlyIntoEmptyArea_data() {
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("reply");
    QTest::newRow("empty area") << false << "0x1A00"
                                << "true";
    QTest::newRow("taken area answers the address as given") << true << "0x1A00"
                                                             << "0x1A00";
    QTest::newRow("taken area, lower case without prefix") << true << "1a00"
                                                           << "1a00";
}

void DeviceCommandsTest::macroWriteOnlyIntoEmptyArea() {
    QFETCH(bool, taken);
    QFETCH(QString, address);
    QFETCH(QString, reply);
    if (taken) {
        m_library->memory[0x1a02] = char(0x33);
    }
    const QByteArray before = m_library->memory;
    const CommandReply result = m_commands->writeMacroByAddr(
        request({{"PARAMSIZE", 3}, {"PARAMADDRESS", address}, {"PARAMDATA", "9,8,7"}}));
    QCOMPARE(result.kind, CommandReply::Kind::Success);
    QCOMPARE(result.text, reply);
    if (taken) {
        QCOMPARE(m_library->memory, before);
    } else {
        QCOMPARE(m_library->memory.mid(0x1a00, 3), QByteArray("\x09\x08\x07"));
    }
}

void DeviceCommandsTest::emptinessLooksAtTheWholeBuffer() {
    const QVariantMap members = request({{"PARAMSIZE", 2}, {"PARAMADDRESS", "10"}});
    QCOMPARE(m_commands->isPropEmpty(members).text, QStringLiteral("true"));
    m_library->memory[0x11] = char(1);
    QCOMPARE(m_commands->isPropEmpty(members).text, QStringLiteral("false"));
}

void DeviceCommandsTest::cleanWritesZeros() {
    m_library->memory.replace(0x40, 4, QByteArray("\x01\x02\x03\x04"));
    const CommandReply reply =
        m_commands->cleanMacroByAddr(request({{"PARAMSIZE", 3}, {"PARAMADDRESS", "40"}}));
    QCOMPARE(reply.text, QStringLiteral("cleanMacroByAddr success!"));
    QCOMPARE(m_library->memory.mid(0x40, 4), QByteArray("\x00\x00\x00\x04", 4));
}

void DeviceCommandsTest::properties() {
    QCOMPARE(m_commands
                 ->writeDevicesProp(
                     request({{"PARAMSIZE", 2}, {"PARAMID", "7"}, {"PARAMDATA", "0xA0,b"}}))
                 .text,
             QStringLiteral("writeDevicesProp success!"));
    QCOMPARE(m_library->calls.last().where, 7);
    QCOMPARE(m_commands->readDevicesProp(request({{"PARAMSIZE", 3}, {"PARAMID", 7}})).text,
             QStringLiteral("0xa0,0x0b,0x00"));
    QCOMPARE(m_commands->readDevicesProp(request({{"PARAMSIZE", 0}, {"PARAMID", 7}})).text,
             QString());
}

void DeviceCommandsTest::notifySendsLowBytes() {
    QVariantMap members{{"HardwareID", "h"}, {"NotifyType", 0x1ff}, {"NotifyData", "2"}};
    QCOMPARE(m_commands->notifyDevice(members).text, QStringLiteral("notifyDevice success!"));
    QCOMPARE(m_library->lastNotifyBytes, quint32(0x02ff));
    m_library->notifyResult = 5;
    const CommandReply failed = m_commands->notifyDevice(members);
    QCOMPARE(failed.kind, CommandReply::Kind::Failure);
    QCOMPARE(failed.text, QStringLiteral("notifyDevice failed!"));
}

void DeviceCommandsTest::failedWritesAnswerFailure() {
    m_library->writeResult = 3;
    QCOMPARE(
        m_commands
            ->writeByAddr(request({{"PARAMSIZE", 1}, {"PARAMADDRESS", "0"}, {"PARAMDATA", "1"}}))
            .text,
        QStringLiteral("writeByAddr failed!"));
    QCOMPARE(m_commands
                 ->writeDevicesProp(request({{"PARAMSIZE", 1}, {"PARAMID", 1}, {"PARAMDATA", "1"}}))
                 .text,
             QStringLiteral("writeDevicesProp failed!"));
    QCOMPARE(m_commands->cleanMacroByAddr(request({{"PARAMSIZE", 1}, {"PARAMADDRESS", "0"}})).text,
             QStringLiteral("cleanMacroByAddr failed!"));
    QCOMPARE(m_commands
                 ->writeMacroByAddr(
                     request({{"PARAMSIZE", 1}, {"PARAMADDRESS", "0"}, {"PARAMDATA", "1"}}))
                 .text,
             QStringLiteral("writeMacroByAddr failed!"));
}

void DeviceCommandsTest::withoutLibrary_data() {
    QTest::addColumn<bool>("noHandler");
    QTest::newRow("library not loaded") << false;
    QTest::newRow("no handler") << true;
}

void DeviceCommandsTest::withoutLibrary() {
    QFETCH(bool, noHandler);
    devices_handler empty(QStringLiteral("/nonexistent/libdc.so"));
    DeviceCommands commands(noHandler ? nullptr : &empty, [] { return kConf; });
    QCOMPARE(commands.readByAddr(request({{"PARAMSIZE", 2}, {"PARAMADDRESS", "0"}})).text,
             QStringLiteral("0x00,0x00"));
    QCOMPARE(commands.isPropEmpty(request({{"PARAMSIZE", 2}, {"PARAMADDRESS", "0"}})).text,
             QStringLiteral("true"));
    QCOMPARE(
        commands.writeByAddr(request({{"PARAMSIZE", 1}, {"PARAMADDRESS", "0"}, {"PARAMDATA", "1"}}))
            .kind,
        CommandReply::Kind::Failure);
    QCOMPARE(commands
                 .writeMacroByAddr(
                     request({{"PARAMSIZE", 1}, {"PARAMADDRESS", "0"}, {"PARAMDATA", "1"}}))
                 .text,
             QStringLiteral("writeMacroByAddr failed!"));
    QCOMPARE(
        commands.notifyDevice({{"HardwareID", "h"}, {"NotifyType", 1}, {"NotifyData", 1}}).text,
        QStringLiteral("notifyDevice failed!"));
    QCOMPARE(commands.getDevicesList({}).text, QStringLiteral("[]"));
}

void DeviceCommandsTest::deviceListCarriesProductData() {
    m_library->records = {FakeDeviceLibrary::record("KRV-K1", "HID\\Vid_04d9&Pid_a0f1", "/dev/k"),
                          FakeDeviceLibrary::record("OTHER", "HID\\Vid_1111&Pid_2222", "/dev/o")};
    const CommandReply reply = m_commands->getDevicesList({});
    QCOMPARE(reply.kind, CommandReply::Kind::Success);
    QVERIFY(!reply.text.contains(QLatin1Char(' ')));
    const QJsonArray devices = QJsonDocument::fromJson(reply.text.toUtf8()).array();
    QCOMPARE(devices.size(), 2);
    const QStringList members = {"DeviceID",  "DevicePath",  "HardwareID",  "MASK",
                                 "SN",        "Version",     "description", "device",
                                 "productCN", "productName", "productType", "timestamp"};
    for (const QJsonValue& device : devices) {
        QCOMPARE(device.toObject().keys(), members);
    }
    const QJsonObject keyboard = devices.at(0).toObject();
    QCOMPARE(keyboard.value("DeviceID").toString(), QStringLiteral("KRV-K1"));
    QCOMPARE(keyboard.value("HardwareID").toString(), QStringLiteral("HID\\Vid_04d9&Pid_a0f1"));
    QCOMPARE(keyboard.value("DevicePath").toString(), QStringLiteral("/dev/k"));
    QCOMPARE(keyboard.value("productName").toString(), QStringLiteral("K1"));
    QCOMPARE(keyboard.value("productCN").toString(), QStringLiteral("键盘"));
    QCOMPARE(keyboard.value("device").toString(), QStringLiteral("kb"));
    const QJsonObject other = devices.at(1).toObject();
    QCOMPARE(other.value("productName").toString(), QString());
    QCOMPARE(other.value("productType").toString(), QString());
    // Every enumeration points the data callback at the first device.
    QCOMPARE(m_library->dataCallbackFor, QStringLiteral("HID\\Vid_04d9&Pid_a0f1"));
}

void DeviceCommandsTest::deviceListStopsAtTwentyRecords() {
    for (int i = 0; i < DeviceList::kMaxRecords; ++i) {
        m_library->records.append(
            FakeDeviceLibrary::record("D" + QByteArray::number(i), "hw", "/dev/d"));
    }
    m_library->reportedCount = 300;
    const QJsonArray devices =
        QJsonDocument::fromJson(m_commands->getDevicesList({}).text.toUtf8()).array();
    QCOMPARE(devices.size(), 20);
    QCOMPARE(devices.last().toObject().value("DeviceID").toString(), QStringLiteral("D19"));
}

void DeviceCommandsTest::deviceListWithUnparsableConf() {
    m_conf = QStringLiteral("<root><conf");
    QCOMPARE(m_commands->getDevicesList({}).text, QStringLiteral("[]"));
    m_library->records = {FakeDeviceLibrary::record("KRV-K1", "hw", "/dev/k")};
    const CommandReply reply = m_commands->getDevicesList({});
    QCOMPARE(reply.kind, CommandReply::Kind::Failure);
    QCOMPARE(reply.text, QStringLiteral("queryProfile load xml file failed!"));
}

void DeviceCommandsTest::everyFifthDeviceEventIsActedOn() {
    QSignalSpy changed(m_handler.get(), &devices_handler::devicesChanged);
    // The divider is process-wide: run up to the next acted-on call first.
    for (int i = 0; i < 5 && changed.isEmpty(); ++i) {
        devices_handler::onDeviceEvent(0);
        QCoreApplication::processEvents();
    }
    QCOMPARE(changed.size(), 1);
    changed.clear();
    QList<int> acted;
    for (int call = 1; call <= 11; ++call) {
        devices_handler::onDeviceEvent(0x12345u + static_cast<unsigned>(call));
        QCoreApplication::processEvents();
        if (!changed.isEmpty()) {
            acted.append(call);
            QCOMPARE(changed.takeFirst().at(0).toInt(), int((0x12345 + call) & 0xffff));
        }
    }
    QCOMPARE(acted, QList<int>({5, 10}));
}

void DeviceCommandsTest::deviceDataIsEightBytesInLowerCaseHex() {
    QSignalSpy data(m_handler.get(), &devices_handler::deviceData);
    const unsigned char report[] = {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0xA7, 0xB8, 0x99, 0x88};
    const unsigned char* pointer = report;
    std::thread libraryThread([&pointer] { devices_handler::onDeviceBytes(&pointer, nullptr); });
    libraryThread.join();
    QTRY_COMPARE(data.size(), 1);
    QCOMPARE(data.first().at(0).toString(), QStringLiteral("a1b2c3d4e5f6a7b8"));
    devices_handler::onDeviceBytes(nullptr, nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(data.size(), 1);
}

QTEST_GUILESS_MAIN(DeviceCommandsTest)
#include "tst_devicecommands.moc"
