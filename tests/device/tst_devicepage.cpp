// The device commands and events end to end: the real client runs as a process in a private
// application directory with the device simulator as its libdc.so, the test drives the real
// page's window.cefQuery over the DevTools protocol and looks at the devices with dcsim. One
// client serves most cases; `dcsim reset` returns the devices to the configuration before each.

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QtTest>
#include <memory>
#include <optional>

#include "ClientAppDir.h"
#include "DevToolsClient.h"
#include "RunningClient.h"
#include "TestEnvironment.h"

namespace {

const QString kKeyboardId = QStringLiteral("HID\\Vid_04d9&Pid_a0f1");
const QString kMouseId = QStringLiteral("HID\\Vid_04d9&Pid_a0f2");
constexpr int kMemorySize = 65536;

// Devices plugged in by `dcsim attach`; conf.xml has no product entry for them.
QJsonObject attachedX9() {
    return {{"DeviceID", "KRV-X9"},
            {"Version", "2.1.0"},
            {"SN", "X9SIM0000001"},
            {"MASK", "03"},
            {"DevicePath", "/dev/hidraw-sim9"},
            {"HardwareID", "HID\\Vid_04d9&Pid_a0f9"}};
}

QString padded(const QString& start, QChar fill, int units) {
    return start + QString(units - start.size(), fill);
}

// Every record text at its longest: 40, 17, 14 and 2 bytes of UTF-8 (no room for a terminator)
// and 255 UTF-16 units, with characters beyond ASCII.
QJsonObject attachedLongest() {
    const QString deviceIdStart = QStringLiteral("KRV-键盘-");
    const QString deviceId =
        deviceIdStart + QString(40 - deviceIdStart.toUtf8().size(), QLatin1Char('L'));
    return {
        {"DeviceID", deviceId},
        {"Version", "10.200.3000.40000"},
        {"SN", "LONGSN00000001"},
        {"MASK", "ff"},
        {"DevicePath", padded(QStringLiteral("/dev/hidraw-长-"), QLatin1Char('p'), 255)},
        {"HardwareID", padded(QStringLiteral("HID\\Vid_04d9&Pid_a0fe&Ω-"), QLatin1Char('h'), 255)}};
}

// What "getDevicesList" reports for a device without a product entry.
QJsonObject listedWithoutProduct(QJsonObject device) {
    for (const char* member :
         {"timestamp", "productType", "productName", "productCN", "description", "device"}) {
        device.insert(QLatin1String(member), "");
    }
    return device;
}

const char kKeyboardEntry[] =
    R"(<conf deviceId="KRV-K1"><info name="产品信息" productType="keyboard" )"
    R"(productName="Korvanite K1" productCN="Korvanite K1 机械游戏键盘" )"
    R"(description="Full-size mechanical gaming keyboard with per-key RGB lighting" )"
    R"(device="keyboard" /></conf>)";
const char kMouseEntry[] =
    R"(<conf deviceId="KRV-M1"><info name="产品信息" productType="mouse" )"
    R"(productName="Korvanite M1" productCN="Korvanite M1 游戏鼠标" )"
    R"(description="Wired gaming mouse with adjustable DPI and programmable buttons" )"
    R"(device="mouse" /></conf>)";

QByteArray confWith(const QByteArray& entries) {
    return QByteArrayLiteral(
               "<?xml version=\"1.0\"?>\n<root>\n"
               "<client autoStart=\"false\" showConf=\"\" testTool=\"\" closeFunc=\"closeapp\" "
               "language=\"\" clientSize=\"1200,760\" version=\"1.0.0\" />\n") +
           entries + QByteArrayLiteral("\n</root>\n");
}

QJsonObject transfer(const QString& funcname, const QString& hardwareId, const QJsonValue& size,
                     const QString& address) {
    return {{"funcname", funcname},
            {"HardwareID", hardwareId},
            {"DevicePath", ""},
            {"PARAMSIZE", size},
            {"PARAMADDRESS", address}};
}

QJsonObject transfer(const QString& funcname, const QString& hardwareId, const QJsonValue& size,
                     const QString& address, const QString& data) {
    QJsonObject request = transfer(funcname, hardwareId, size, address);
    request.insert("PARAMDATA", data);
    return request;
}

QJsonObject propertyRequest(const QString& funcname, const QString& hardwareId,
                            const QJsonValue& size, const QJsonValue& id) {
    return {{"funcname", funcname},
            {"HardwareID", hardwareId},
            {"DevicePath", ""},
            {"PARAMSIZE", size},
            {"PARAMID", id}};
}

QJsonObject without(QJsonObject request, const QString& member) {
    request.remove(member);
    return request;
}

// "0x01,0xab": how the client writes device bytes.
QString hexList(const QByteArray& bytes) {
    QStringList items;
    for (char byte : bytes) {
        items.append(QStringLiteral("0x%1").arg(static_cast<uchar>(byte), 2, 16, QLatin1Char('0')));
    }
    return items.join(QLatin1Char(','));
}

QString repeatedItems(const QString& item, int count) {
    QStringList items;
    for (int i = 0; i < count; ++i) {
        items.append(item);
    }
    return items.join(QLatin1Char(','));
}

QByteArray memoryWith(int address, const QByteArray& bytes) {
    QByteArray memory(kMemorySize, '\0');
    memory.replace(address, bytes.size(), bytes);
    return memory;
}

QString sha256(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

int nonZeroBytes(const QByteArray& bytes) {
    return static_cast<int>(bytes.size() - bytes.count('\0'));
}

QJsonObject deviceIn(const QJsonObject& state, const QString& hardwareId) {
    for (const QJsonValue& device : state.value("devices").toArray()) {
        if (device.toObject().value("HardwareID").toString() == hardwareId) {
            return device.toObject();
        }
    }
    return {};
}

// The memory digest and non-zero count of a device whose memory is `memory`.
QString memoryDescription(const QByteArray& memory) {
    return QStringLiteral("%1 / %2 non-zero").arg(sha256(memory)).arg(nonZeroBytes(memory));
}

QString memoryDescription(const QJsonObject& device) {
    return QStringLiteral("%1 / %2 non-zero")
        .arg(device.value("memorySha256").toString())
        .arg(device.value("memoryNonZeroBytes").toInt());
}

QStringList deviceIds(const QJsonArray& devices) {
    QStringList ids;
    for (const QJsonValue& device : devices) {
        ids.append(device.toObject().value("DeviceID").toString());
    }
    return ids;
}

// The devices the page gets from "getDevicesList"; nothing when the answer is not a list.
std::optional<QJsonArray> listedDevices(RunningClient& client, QString* error) {
    const QJsonObject reply = client.ask({{"funcname", "getDevicesList"}});
    const QJsonDocument document = QJsonDocument::fromJson(reply.value("text").toString().toUtf8());
    if (reply.value("state") != "success" || !document.isArray()) {
        *error = compactJson(reply);
        return std::nullopt;
    }
    return document.array();
}

std::optional<QJsonObject> simState(RunningClient& client, QString* error) {
    const ClientAppDir::DcsimResult result = client.dir().runDcsim({"state"});
    const QJsonDocument document = QJsonDocument::fromJson(result.out.toUtf8());
    if (result.exitCode != 0 || !document.isObject()) {
        *error = QStringLiteral("dcsim state: exit %1, %2").arg(result.exitCode).arg(result.err);
        return std::nullopt;
    }
    return document.object();
}

std::unique_ptr<ClientAppDir> appDir(
    const ClientAppDir::Options& overrides = ClientAppDir::Options()) {
    ClientAppDir::Options options = overrides;
    options.simConfigFile = QStringLiteral(DC_SIM_SHIPPED_CONFIG);
    return std::make_unique<ClientAppDir>(QStringLiteral(ZELK_EXECUTABLE),
                                          QStringLiteral(DC_LIBRARY_PATH),
                                          QStringLiteral(DCSIM_PATH), options);
}

}  // namespace

#define DCSIM_OK(client, ...)                                                                 \
    do {                                                                                      \
        const ClientAppDir::DcsimResult dcsimResult = (client).dir().runDcsim({__VA_ARGS__}); \
        QVERIFY2(dcsimResult.exitCode == 0, qPrintable(QStringLiteral("dcsim: exit %1: %2")   \
                                                           .arg(dcsimResult.exitCode)         \
                                                           .arg(dcsimResult.err)));           \
    } while (false)

#define SIM_STATE(client, state)                                                 \
    QJsonObject state;                                                           \
    do {                                                                         \
        QString stateError;                                                      \
        const std::optional<QJsonObject> read = simState((client), &stateError); \
        QVERIFY2(read, qPrintable(stateError));                                  \
        state = *read;                                                           \
    } while (false)

#define COMPARE_REPLY(actual, ...) QCOMPARE(compactJson(actual), compactJson(__VA_ARGS__))

class DevicePageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void deviceListCarriesTheShippedDevices();
    void productMembersFollowConf_data();
    void productMembersFollowConf();
    void unparsableConfFailsANonEmptyList();
    void memoryWritesReachTheDevice_data();
    void memoryWritesReachTheDevice();
    void largestTransferIsAccepted();
    void propertiesRoundTrip_data();
    void propertiesRoundTrip();
    void notifyReachesTheDevice_data();
    void notifyReachesTheDevice();
    void macroWritesOnlyIntoEmptyAreas_data();
    void macroWritesOnlyIntoEmptyAreas();
    void deviceChangesReachThePageOnce_data();
    void deviceChangesReachThePageOnce();
    void everyFifthDeviceEventReachesThePage();
    void deviceDataReachesThePage_data();
    void deviceDataReachesThePage();
    void requestMissingAMemberIsNeverAnswered_data();
    void requestMissingAMemberIsNeverAnswered();
    void oversizeTransfersAreRefused_data();
    void oversizeTransfersAreRefused();
    void clientWithoutDeviceLibrary_data();
    void clientWithoutDeviceLibrary();

private:
    RunningClient& main() { return *m_main; }

    std::unique_ptr<RunningClient> m_main;
    std::unique_ptr<RunningClient> m_noLibrary;
    // Device files for `dcsim attach`, by name.
    QMap<QString, QString> m_attachFiles;
    // The devices as `dcsim reset` left them, and the page events seen before the case.
    QJsonArray m_resetDevices;
    int m_eventMark = 0;
};

void DevicePageTest::initTestCase() {
    m_main = std::make_unique<RunningClient>(appDir());
    QVERIFY2(main().dir().isValid(), qPrintable(main().dir().errorString()));
    QString error;
    QVERIFY2(main().start(&error), qPrintable(error));

    // The cases rely on the shipped simulator configuration.
    SIM_STATE(main(), state);
    QVERIFY2(state.value("configError").isNull(), qPrintable(compactJson(state)));
    QCOMPARE(state.value("eventsPerChange").toInt(), 5);
    QVERIFY(state.value("eventCallback").toBool());

    const QMap<QString, QJsonObject> devices = {{"x9", attachedX9()},
                                                {"longest", attachedLongest()}};
    for (auto it = devices.cbegin(); it != devices.cend(); ++it) {
        const QString path = main().dir().rootPath() + "/attach-" + it.key() + ".json";
        const QByteArray json = QJsonDocument(it.value()).toJson();
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(json) == json.size());
        file.close();
        m_attachFiles.insert(it.key(), path);
    }
}

void DevicePageTest::cleanupTestCase() {
    m_noLibrary.reset();
    m_main.reset();
}

void DevicePageTest::init() {
    // These cases start a client of their own and leave the shared one alone.
    static const QStringList ownClient = {"productMembersFollowConf",
                                          "unparsableConfFailsANonEmptyList",
                                          "clientWithoutDeviceLibrary"};
    if (ownClient.contains(QLatin1String(QTest::currentTestFunction()))) {
        return;
    }
    QVERIFY2(main().isRunning(), "the client has ended; its output follows");
    DCSIM_OK(main(), "reset");
    // A query answered after the reset's events: whatever the reset raised has reached the page.
    QString error;
    QVERIFY2(listedDevices(main(), &error), qPrintable(error));
    SIM_STATE(main(), state);
    m_resetDevices = state.value("devices").toArray();
    QCOMPARE(m_resetDevices.size(), 2);
    m_eventMark = main().eventCount();
    QVERIFY(m_eventMark >= 0);
}

void DevicePageTest::cleanup() {
    if (QTest::currentTestFailed()) {
        qWarning().noquote() << "client output:\n" << main().output().right(4000);
        if (m_noLibrary) {
            qWarning().noquote() << "output of the client without a device library:\n"
                                 << m_noLibrary->output().right(4000);
        }
    }
}

void DevicePageTest::deviceListCarriesTheShippedDevices() {
    const QJsonObject reply = main().ask({{"funcname", "getDevicesList"}});
    QCOMPARE(reply.value("state").toString(), QStringLiteral("success"));
    const QString text = reply.value("text").toString();
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    QVERIFY2(document.isArray(), qPrintable(text));
    QCOMPARE(text, QString::fromUtf8(document.toJson(QJsonDocument::Compact)));

    const QJsonArray expected = {
        QJsonObject{
            {"DeviceID", "KRV-K1"},
            {"DevicePath", "/dev/hidraw-sim0"},
            {"HardwareID", kKeyboardId},
            {"SN", "K1SIM0000001"},
            {"Version", "1.0.0"},
            {"MASK", "01"},
            {"timestamp", ""},
            {"productType", "keyboard"},
            {"productName", "Korvanite K1"},
            {"productCN", "Korvanite K1 机械游戏键盘"},
            {"description", "Full-size mechanical gaming keyboard with per-key RGB lighting"},
            {"device", "keyboard"}},
        QJsonObject{
            {"DeviceID", "KRV-M1"},
            {"DevicePath", "/dev/hidraw-sim1"},
            {"HardwareID", kMouseId},
            {"SN", "M1SIM0000001"},
            {"Version", "1.0.0"},
            {"MASK", "01"},
            {"timestamp", ""},
            {"productType", "mouse"},
            {"productName", "Korvanite M1"},
            {"productCN", "Korvanite M1 游戏鼠标"},
            {"description", "Wired gaming mouse with adjustable DPI and programmable buttons"},
            {"device", "mouse"}},
    };
    QCOMPARE(document.array().size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject device = document.array().at(i).toObject();
        QCOMPARE(device.size(), 12);
        QCOMPARE(compactJson(device), compactJson(expected.at(i).toObject()));
    }
}

void DevicePageTest::productMembersFollowConf_data() {
    QTest::addColumn<QByteArray>("confXml");
    QTest::addColumn<QStringList>("keyboardProduct");
    QTest::addColumn<QStringList>("mouseProduct");

    const QStringList keyboard = {"keyboard", "Korvanite K1", "Korvanite K1 机械游戏键盘",
                                  "Full-size mechanical gaming keyboard with per-key RGB lighting",
                                  "keyboard"};
    const QStringList mouse = {"mouse", "Korvanite M1", "Korvanite M1 游戏鼠标",
                               "Wired gaming mouse with adjustable DPI and programmable buttons",
                               "mouse"};
    const QStringList empty = {"", "", "", "", ""};
    QTest::newRow("keyboard entry only") << confWith(kKeyboardEntry) << keyboard << empty;
    QTest::newRow("mouse entry only") << confWith(kMouseEntry) << empty << mouse;
}

void DevicePageTest::productMembersFollowConf() {
    QFETCH(QByteArray, confXml);
    QFETCH(QStringList, keyboardProduct);
    QFETCH(QStringList, mouseProduct);

    ClientAppDir::Options options;
    options.confXml = confXml;
    RunningClient client(appDir(options));
    QVERIFY2(client.dir().isValid(), qPrintable(client.dir().errorString()));
    QString error;
    QVERIFY2(client.start(&error), qPrintable(error));

    const std::optional<QJsonArray> devices = listedDevices(client, &error);
    QVERIFY2(devices, qPrintable(error));
    QCOMPARE(deviceIds(*devices), QStringList({"KRV-K1", "KRV-M1"}));
    const QStringList members = {"productType", "productName", "productCN", "description",
                                 "device"};
    const QList<QStringList> expected = {keyboardProduct, mouseProduct};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject device = devices->at(i).toObject();
        QCOMPARE(device.size(), 12);
        QStringList product;
        for (const QString& member : members) {
            QVERIFY2(device.value(member).isString(), qPrintable(member));
            product.append(device.value(member).toString());
        }
        QCOMPARE(product, expected.at(i));
        QCOMPARE(device.value("SN").toString(),
                 i == 0 ? QStringLiteral("K1SIM0000001") : QStringLiteral("M1SIM0000001"));
    }
    client.stop();
}

void DevicePageTest::unparsableConfFailsANonEmptyList() {
    ClientAppDir::Options options;
    options.confXml = QByteArrayLiteral("<root><conf deviceId=\"KRV-K1\">");
    RunningClient client(appDir(options));
    QVERIFY2(client.dir().isValid(), qPrintable(client.dir().errorString()));
    QString error;
    QVERIFY2(client.start(&error), qPrintable(error));

    COMPARE_REPLY(client.ask({{"funcname", "getDevicesList"}}),
                  failureRecord("queryProfile load xml file failed!"));
    // Without devices there is nothing to look up, and the empty list is sent.
    DCSIM_OK(client, "detach", kKeyboardId);
    DCSIM_OK(client, "detach", kMouseId);
    COMPARE_REPLY(client.ask({{"funcname", "getDevicesList"}}), successRecord("[]"));
    client.stop();
}

void DevicePageTest::memoryWritesReachTheDevice_data() {
    QTest::addColumn<QString>("hardwareId");
    QTest::addColumn<QJsonValue>("address");
    QTest::addColumn<int>("addressValue");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("keyboard, start of memory") << kKeyboardId << QJsonValue("0x0") << 0 << 3
                                               << "0x01,0x02,0x03" << QByteArray::fromHex("010203");
    QTest::newRow("mouse, last bytes, bare hex address")
        << kMouseId << QJsonValue("fff8") << 0xfff8 << 8
        << "0x10,0x20,0x30,0x40,0x50,0x60,0x70,0x80" << QByteArray::fromHex("1020304050607080");
    QTest::newRow("address as a JSON number, read as hex digits")
        << kKeyboardId << QJsonValue(4096) << 0x4096 << 2 << "0x0a,0x0b"
        << QByteArray::fromHex("0a0b");
    QTest::newRow("items beyond the size are not written")
        << kKeyboardId << QJsonValue("0x100") << 0x100 << 2 << "0xaa,0xbb,0xcc"
        << QByteArray::fromHex("aabb");
    QTest::newRow("item spellings: bare, spaced, trailing junk, empty, wider than a byte")
        << kKeyboardId << QJsonValue("0x1000") << 0x1000 << 5 << "ff, 0x7,0x3z,,0x1a5"
        << QByteArray::fromHex("ff070300a5");
}

void DevicePageTest::memoryWritesReachTheDevice() {
    QFETCH(QString, hardwareId);
    QFETCH(QJsonValue, address);
    QFETCH(int, addressValue);
    QFETCH(int, size);
    QFETCH(QString, data);
    QFETCH(QByteArray, written);

    QJsonObject write = transfer("writeByAddr", hardwareId, size, QString(), data);
    write.insert("PARAMADDRESS", address);
    COMPARE_REPLY(main().ask(write), successRecord("writeByAddr success!"));

    SIM_STATE(main(), state);
    const QByteArray zero(kMemorySize, '\0');
    const QString other = hardwareId == kKeyboardId ? kMouseId : kKeyboardId;
    QCOMPARE(memoryDescription(deviceIn(state, hardwareId)),
             memoryDescription(memoryWith(addressValue, written)));
    QCOMPARE(memoryDescription(deviceIn(state, other)), memoryDescription(zero));

    QJsonObject read = transfer("readByAddr", hardwareId, size, QString());
    read.insert("PARAMADDRESS", address);
    COMPARE_REPLY(main().ask(read), successRecord(hexList(written)));
    // One byte more on each side: the neighbours stayed zero.
    if (addressValue > 0 && addressValue + size < kMemorySize) {
        const QString around = QStringLiteral("0x%1").arg(addressValue - 1, 0, 16);
        COMPARE_REPLY(main().ask(transfer("readByAddr", hardwareId, size + 2, around)),
                      successRecord(hexList('\0' + written + '\0')));
    }
}

void DevicePageTest::largestTransferIsAccepted() {
    QByteArray bytes(2048, '\0');
    QStringList items;
    for (int i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i % 251 + 1);
        items.append(QStringLiteral("0x%1").arg(i % 251 + 1, 0, 16));
    }
    COMPARE_REPLY(main().ask(transfer("writeByAddr", kKeyboardId, 2048, "0xf800", items.join(','))),
                  successRecord("writeByAddr success!"));
    SIM_STATE(main(), state);
    QCOMPARE(memoryDescription(deviceIn(state, kKeyboardId)),
             memoryDescription(memoryWith(0xf800, bytes)));
    COMPARE_REPLY(main().ask(transfer("readByAddr", kKeyboardId, 2048, "0xf800")),
                  successRecord(hexList(bytes)));
    // A whole-buffer emptiness test sees the one taken byte at its far end.
    COMPARE_REPLY(main().ask(transfer("isPropEmpty", kKeyboardId, 2048, "0xf000")),
                  successRecord("true"));
    COMPARE_REPLY(main().ask(transfer("isPropEmpty", kKeyboardId, 2048, "0xf001")),
                  successRecord("false"));
}

void DevicePageTest::propertiesRoundTrip_data() {
    QTest::addColumn<QString>("hardwareId");
    QTest::addColumn<QJsonValue>("id");
    QTest::addColumn<QString>("propertyKey");
    QTest::addColumn<int>("writeSize");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("readSize");
    QTest::addColumn<QString>("read");

    QTest::newRow("new property on the keyboard")
        << kKeyboardId << QJsonValue(7) << "7" << 3 << "0x11,0x22,0x33"
        << "112233" << 3 << "0x11,0x22,0x33";
    QTest::newRow("reading past the end gives zeros")
        << kKeyboardId << QJsonValue(8) << "8" << 1 << "0x44"
        << "44" << 4 << "0x44,0x00,0x00,0x00";
    QTest::newRow("a shorter write shortens the property")
        << kMouseId << QJsonValue(3) << "3" << 2 << "0xaa,0x55"
        << "aa55" << 4 << "0xaa,0x55,0x00,0x00";
    QTest::newRow("id as decimal text") << kMouseId << QJsonValue("16") << "16" << 2 << "4d,32"
                                        << "4d32" << 2 << "0x4d,0x32";
}

void DevicePageTest::propertiesRoundTrip() {
    QFETCH(QString, hardwareId);
    QFETCH(QJsonValue, id);
    QFETCH(QString, propertyKey);
    QFETCH(int, writeSize);
    QFETCH(QString, data);
    QFETCH(QString, stored);
    QFETCH(int, readSize);
    QFETCH(QString, read);

    QJsonObject write = propertyRequest("writeDevicesProp", hardwareId, writeSize, id);
    write.insert("PARAMDATA", data);
    COMPARE_REPLY(main().ask(write), successRecord("writeDevicesProp success!"));

    SIM_STATE(main(), state);
    QJsonObject expected = deviceIn(QJsonObject{{"devices", m_resetDevices}}, hardwareId)
                               .value("properties")
                               .toObject();
    expected.insert(propertyKey, stored);
    QCOMPARE(compactJson(deviceIn(state, hardwareId).value("properties").toObject()),
             compactJson(expected));
    const QString other = hardwareId == kKeyboardId ? kMouseId : kKeyboardId;
    QCOMPARE(compactJson(deviceIn(state, other)),
             compactJson(deviceIn(QJsonObject{{"devices", m_resetDevices}}, other)));

    COMPARE_REPLY(main().ask(propertyRequest("readDevicesProp", hardwareId, readSize, id)),
                  successRecord(read));
}

void DevicePageTest::notifyReachesTheDevice_data() {
    QTest::addColumn<QString>("hardwareId");
    QTest::addColumn<QJsonValue>("type");
    QTest::addColumn<QJsonValue>("data");
    QTest::addColumn<int>("expectedType");
    QTest::addColumn<int>("expectedData");

    QTest::newRow("keyboard") << kKeyboardId << QJsonValue(3) << QJsonValue(1) << 3 << 1;
    QTest::newRow("mouse, numbers as text")
        << kMouseId << QJsonValue("4") << QJsonValue("200") << 4 << 200;
    QTest::newRow("only the low byte of each travels")
        << kKeyboardId << QJsonValue(0x1ff) << QJsonValue(258) << 0xff << 2;
}

void DevicePageTest::notifyReachesTheDevice() {
    QFETCH(QString, hardwareId);
    QFETCH(QJsonValue, type);
    QFETCH(QJsonValue, data);
    QFETCH(int, expectedType);
    QFETCH(int, expectedData);

    COMPARE_REPLY(main().ask({{"funcname", "notifyDevice"},
                              {"HardwareID", hardwareId},
                              {"NotifyType", type},
                              {"NotifyData", data}}),
                  successRecord("notifyDevice success!"));
    SIM_STATE(main(), state);
    QCOMPARE(compactJson(deviceIn(state, hardwareId).value("lastNotification").toObject()),
             compactJson({{"type", expectedType}, {"data", expectedData}}));
    const QString other = hardwareId == kKeyboardId ? kMouseId : kKeyboardId;
    QVERIFY(deviceIn(state, other).value("lastNotification").isNull());
}

void DevicePageTest::macroWritesOnlyIntoEmptyAreas_data() {
    QTest::addColumn<QJsonValue>("addressMember");
    QTest::addColumn<int>("addressValue");
    // What a taken area answers: the member's text as the request gave it.
    QTest::addColumn<QString>("takenReply");

    QTest::newRow("0x prefix") << QJsonValue("0x2000") << 0x2000 << "0x2000";
    QTest::newRow("bare hex") << QJsonValue("3a00") << 0x3a00 << "3a00";
    QTest::newRow("upper-case prefix and digits") << QJsonValue("0X4B00") << 0x4b00 << "0X4B00";
    QTest::newRow("JSON number") << QJsonValue(5000) << 0x5000 << "5000";
}

void DevicePageTest::macroWritesOnlyIntoEmptyAreas() {
    QFETCH(QJsonValue, addressMember);
    QFETCH(int, addressValue);
    QFETCH(QString, takenReply);
    const int size = 16;
    const QByteArray macro = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10");
    const QByteArray zero(kMemorySize, '\0');
    // A request on the area, its address member exactly as the row gives it.
    const auto onArea = [&](const QString& funcname, const QString& data = QString()) {
        QJsonObject request = transfer(funcname, kKeyboardId, size, QString());
        request.insert("PARAMADDRESS", addressMember);
        if (!data.isNull()) {
            request.insert("PARAMDATA", data);
        }
        return request;
    };

    COMPARE_REPLY(main().ask(onArea("isPropEmpty")), successRecord("true"));
    COMPARE_REPLY(main().ask(onArea("writeMacroByAddr", hexList(macro))), successRecord("true"));
    {
        SIM_STATE(main(), state);
        QCOMPARE(memoryDescription(deviceIn(state, kKeyboardId)),
                 memoryDescription(memoryWith(addressValue, macro)));
    }

    // The area is taken: the answer is the address as sent, and nothing is written.
    COMPARE_REPLY(main().ask(onArea("writeMacroByAddr", repeatedItems("0x77", size))),
                  successRecord(takenReply));
    COMPARE_REPLY(main().ask(onArea("isPropEmpty")), successRecord("false"));
    {
        SIM_STATE(main(), state);
        QCOMPARE(memoryDescription(deviceIn(state, kKeyboardId)),
                 memoryDescription(memoryWith(addressValue, macro)));
    }

    COMPARE_REPLY(main().ask(onArea("cleanMacroByAddr")),
                  successRecord("cleanMacroByAddr success!"));
    COMPARE_REPLY(main().ask(onArea("isPropEmpty")), successRecord("true"));
    {
        SIM_STATE(main(), state);
        QCOMPARE(memoryDescription(deviceIn(state, kKeyboardId)), memoryDescription(zero));
    }

    // One byte at the far end of the area is enough to make it taken.
    const QString lastByte = QStringLiteral("0x%1").arg(addressValue + size - 1, 0, 16);
    COMPARE_REPLY(main().ask(transfer("writeByAddr", kKeyboardId, 1, lastByte, "0x01")),
                  successRecord("writeByAddr success!"));
    COMPARE_REPLY(main().ask(onArea("isPropEmpty")), successRecord("false"));
    COMPARE_REPLY(main().ask(onArea("writeMacroByAddr", hexList(macro))),
                  successRecord(takenReply));
    SIM_STATE(main(), state);
    QCOMPARE(memoryDescription(deviceIn(state, kKeyboardId)),
             memoryDescription(memoryWith(addressValue + size - 1, QByteArray(1, '\1'))));
}

void DevicePageTest::deviceChangesReachThePageOnce_data() {
    QTest::addColumn<QStringList>("dcsimArguments");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QStringList>("devicesAfter");
    // For an attach: how "getDevicesList" reports the new device.
    QTest::addColumn<QJsonObject>("attached");

    QTest::newRow("attach a third device")
        << QStringList{"attach", "<x9>"} << "devicesChanged [1]"
        << QStringList{"KRV-K1", "KRV-M1", "KRV-X9"} << listedWithoutProduct(attachedX9());
    QTest::newRow("attach a device with every text at its longest")
        << QStringList{"attach", "<longest>"} << "devicesChanged [1]"
        << QStringList{"KRV-K1", "KRV-M1", attachedLongest().value("DeviceID").toString()}
        << listedWithoutProduct(attachedLongest());
    QTest::newRow("detach the mouse") << QStringList{"detach", kMouseId} << "devicesChanged [2]"
                                      << QStringList{"KRV-K1"} << QJsonObject();
    QTest::newRow("detach the keyboard")
        << QStringList{"detach", kKeyboardId} << "devicesChanged [2]" << QStringList{"KRV-M1"}
        << QJsonObject();
}

void DevicePageTest::deviceChangesReachThePageOnce() {
    QFETCH(QStringList, dcsimArguments);
    QFETCH(QString, event);
    QFETCH(QStringList, devicesAfter);
    QFETCH(QJsonObject, attached);
    for (auto it = m_attachFiles.cbegin(); it != m_attachFiles.cend(); ++it) {
        dcsimArguments.replaceInStrings("<" + it.key() + ">", it.value());
    }

    const ClientAppDir::DcsimResult result = main().dir().runDcsim(dcsimArguments);
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    QTRY_VERIFY_WITH_TIMEOUT(!main().events(m_eventMark).isEmpty(), 10000);

    // The answer comes after every event raised before the query (the simulator has delivered
    // all five callbacks before dcsim returns), so the page's log is complete here.
    QString error;
    const std::optional<QJsonArray> devices = listedDevices(main(), &error);
    QVERIFY2(devices, qPrintable(error));
    QCOMPARE(main().events(m_eventMark), QStringList{event});
    QCOMPARE(deviceIds(*devices), devicesAfter);

    if (!attached.isEmpty()) {
        QCOMPARE(compactJson(devices->last().toObject()), compactJson(attached));
        // The attached device takes commands like the shipped ones.
        const QString id = attached.value("HardwareID").toString();
        COMPARE_REPLY(main().ask(transfer("writeByAddr", id, 2, "0x10", "0xbe,0xef")),
                      successRecord("writeByAddr success!"));
        COMPARE_REPLY(main().ask(transfer("readByAddr", id, 2, "0x10")),
                      successRecord("0xbe,0xef"));
    }
}

void DevicePageTest::everyFifthDeviceEventReachesThePage() {
    // Calls 1 and 6 are acted on whatever their codes, and the page gets their low 16 bits; ten
    // calls leave the count where the following cases expect it.
    for (const char* code : {"0xabcdffff", "2", "3", "4", "5", "0x00010006", "7", "8", "9", "10"}) {
        DCSIM_OK(main(), "event", code);
    }
    QString error;
    QVERIFY2(listedDevices(main(), &error), qPrintable(error));
    QCOMPARE(main().events(m_eventMark),
             QStringList({"devicesChanged [65535]", "devicesChanged [6]"}));
}

void DevicePageTest::deviceDataReachesThePage_data() {
    QTest::addColumn<QString>("unplugFirst");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("reporter");
    QTest::addColumn<QString>("event");

    QTest::newRow("report from the keyboard")
        << ""
        << "a1b2c3d4e5f6a7b8" << kKeyboardId << R"(onDeviceData ["a1b2c3d4e5f6a7b8"])";
    QTest::newRow("upper-case digits arrive in lower case")
        << ""
        << "FFEEDDCCBBAA9988" << kKeyboardId << R"(onDeviceData ["ffeeddccbbaa9988"])";
    QTest::newRow("all zero bytes")
        << ""
        << "0000000000000000" << kKeyboardId << R"(onDeviceData ["0000000000000000"])";
    QTest::newRow("the mouse reports once the keyboard is unplugged")
        << kKeyboardId << "0123456789abcdef" << kMouseId << R"(onDeviceData ["0123456789abcdef"])";
}

void DevicePageTest::deviceDataReachesThePage() {
    QFETCH(QString, unplugFirst);
    QFETCH(QString, hex);
    QFETCH(QString, reporter);
    QFETCH(QString, event);

    QStringList expected;
    if (!unplugFirst.isEmpty()) {
        // The client re-registers its data callback when it hears of the change.
        DCSIM_OK(main(), "detach", unplugFirst);
        QTRY_COMPARE_WITH_TIMEOUT(main().events(m_eventMark), QStringList{"devicesChanged [2]"},
                                  10000);
        expected.append("devicesChanged [2]");
    } else {
        // The reset dropped the registration; listing the devices registers the first one.
        QString error;
        QVERIFY2(listedDevices(main(), &error), qPrintable(error));
    }
    {
        SIM_STATE(main(), state);
        QCOMPARE(state.value("dataCallback").toObject().value("hardwareId").toString(), reporter);
    }

    DCSIM_OK(main(), "data", hex);
    expected.append(event);
    QTRY_COMPARE_WITH_TIMEOUT(main().events(m_eventMark).size(), expected.size(), 10000);
    QString error;
    QVERIFY2(listedDevices(main(), &error), qPrintable(error));
    QCOMPARE(main().events(m_eventMark), expected);
}

void DevicePageTest::requestMissingAMemberIsNeverAnswered_data() {
    QTest::addColumn<QJsonObject>("request");

    QTest::newRow("readDevicesProp without PARAMID")
        << without(propertyRequest("readDevicesProp", kKeyboardId, 2, 1), "PARAMID");
    QTest::newRow("writeDevicesProp without PARAMID")
        << QJsonObject{{"funcname", "writeDevicesProp"},
                       {"HardwareID", kKeyboardId},
                       {"DevicePath", ""},
                       {"PARAMSIZE", 1},
                       {"PARAMDATA", "0x09"}};
    QTest::newRow("writeByAddr without PARAMDATA")
        << transfer("writeByAddr", kKeyboardId, 2, "0x10");
    QTest::newRow("writeByAddr without DevicePath")
        << without(transfer("writeByAddr", kKeyboardId, 2, "0x10", "1,2"), "DevicePath");
    QTest::newRow("writeMacroByAddr without PARAMADDRESS")
        << without(transfer("writeMacroByAddr", kKeyboardId, 2, "0x10", "1,2"), "PARAMADDRESS");
    QTest::newRow("cleanMacroByAddr without HardwareID")
        << without(transfer("cleanMacroByAddr", kKeyboardId, 2, "0x10"), "HardwareID");
    QTest::newRow("notifyDevice without NotifyData") << QJsonObject{
        {"funcname", "notifyDevice"}, {"HardwareID", kKeyboardId}, {"NotifyType", 3}};
    QTest::newRow("isPropEmpty without PARAMSIZE")
        << without(transfer("isPropEmpty", kKeyboardId, 2, "0x10"), "PARAMSIZE");
}

void DevicePageTest::requestMissingAMemberIsNeverAnswered() {
    QFETCH(QJsonObject, request);

    const int unanswered = main().send(request);
    QVERIFY2(unanswered >= 0, qPrintable(main().page().lastError()));
    // Queries are handled in order: once this one is answered, the first has been handled.
    const int later = main().send({{"funcname", "getDevicesList"}});
    QVERIFY(later > unanswered);
    QCOMPARE(main().answer(later).value("state").toString(), QStringLiteral("success"));
    COMPARE_REPLY(main().record(unanswered), QJsonObject{{"state", "pending"}});

    SIM_STATE(main(), state);
    QCOMPARE(compactJson(QJsonObject{{"devices", state.value("devices")}}),
             compactJson(QJsonObject{{"devices", m_resetDevices}}));
}

void DevicePageTest::oversizeTransfersAreRefused_data() {
    QTest::addColumn<QJsonObject>("request");
    QTest::addColumn<QString>("failureText");

    const QString items2049 = repeatedItems("0x5a", 2049);
    QTest::newRow("writeByAddr of 2049 bytes")
        << transfer("writeByAddr", kKeyboardId, 2049, "0x100", items2049) << "writeByAddr failed!";
    QTest::newRow("writeByAddr of 2049 bytes, size as text")
        << transfer("writeByAddr", kKeyboardId, "2049", "0x100", items2049)
        << "writeByAddr failed!";
    QTest::newRow("writeByAddr of -1 bytes")
        << transfer("writeByAddr", kKeyboardId, -1, "0x100", "0x5a") << "writeByAddr failed!";
    QTest::newRow("writeByAddr with fewer items than the size")
        << transfer("writeByAddr", kKeyboardId, 4, "0x100", "0x5a,0x5a,0x5a")
        << "writeByAddr failed!";
    QTest::newRow("readByAddr of 4096 bytes")
        << transfer("readByAddr", kKeyboardId, 4096, "0x100") << "readByAddr failed!";
    QTest::newRow("writeDevicesProp of 2049 bytes") << [&] {
        QJsonObject request = propertyRequest("writeDevicesProp", kKeyboardId, 2049, 5);
        request.insert("PARAMDATA", items2049);
        return request;
    }() << "writeDevicesProp failed!";
    QTest::newRow("readDevicesProp of 2049 bytes")
        << propertyRequest("readDevicesProp", kKeyboardId, 2049, 1) << "readDevicesProp failed!";
    QTest::newRow("writeMacroByAddr of 2049 bytes")
        << transfer("writeMacroByAddr", kKeyboardId, 2049, "0x100", items2049)
        << "writeMacroByAddr failed!";
    QTest::newRow("cleanMacroByAddr of 4096 bytes")
        << transfer("cleanMacroByAddr", kKeyboardId, 4096, "0x100") << "cleanMacroByAddr failed!";
    QTest::newRow("isPropEmpty of 2049 bytes")
        << transfer("isPropEmpty", kKeyboardId, 2049, "0x100") << "isPropEmpty failed!";
}

void DevicePageTest::oversizeTransfersAreRefused() {
    QFETCH(QJsonObject, request);
    QFETCH(QString, failureText);

    COMPARE_REPLY(main().ask(request), failureRecord(failureText));
    SIM_STATE(main(), state);
    QCOMPARE(compactJson(QJsonObject{{"devices", state.value("devices")}}),
             compactJson(QJsonObject{{"devices", m_resetDevices}}));
}

void DevicePageTest::clientWithoutDeviceLibrary_data() {
    QTest::addColumn<QJsonObject>("request");
    QTest::addColumn<QJsonObject>("reply");

    QTest::newRow("getDevicesList")
        << QJsonObject{{"funcname", "getDevicesList"}} << successRecord("[]");
    QTest::newRow("writeByAddr") << transfer("writeByAddr", kKeyboardId, 2, "0x10", "1,2")
                                 << failureRecord("writeByAddr failed!");
    QTest::newRow("writeDevicesProp") << [] {
        QJsonObject request = propertyRequest("writeDevicesProp", kKeyboardId, 1, 1);
        request.insert("PARAMDATA", "0x01");
        return request;
    }() << failureRecord("writeDevicesProp failed!");
    QTest::newRow("writeMacroByAddr") << transfer("writeMacroByAddr", kKeyboardId, 2, "0x10", "1,2")
                                      << failureRecord("writeMacroByAddr failed!");
    QTest::newRow("cleanMacroByAddr") << transfer("cleanMacroByAddr", kKeyboardId, 2, "0x10")
                                      << failureRecord("cleanMacroByAddr failed!");
    QTest::newRow("notifyDevice") << QJsonObject{{"funcname", "notifyDevice"},
                                                 {"HardwareID", kKeyboardId},
                                                 {"NotifyType", 1},
                                                 {"NotifyData", 2}}
                                  << failureRecord("notifyDevice failed!");
    QTest::newRow("readByAddr reads zeros")
        << transfer("readByAddr", kKeyboardId, 2, "0x10") << successRecord("0x00,0x00");
    QTest::newRow("readDevicesProp reads zeros")
        << propertyRequest("readDevicesProp", kKeyboardId, 2, 1) << successRecord("0x00,0x00");
    QTest::newRow("isPropEmpty") << transfer("isPropEmpty", kKeyboardId, 2, "0x10")
                                 << successRecord("true");
}

void DevicePageTest::clientWithoutDeviceLibrary() {
    QFETCH(QJsonObject, request);
    QFETCH(QJsonObject, reply);

    if (!m_noLibrary) {
        ClientAppDir::Options options;
        options.withDeviceLibrary = false;
        m_noLibrary = std::make_unique<RunningClient>(appDir(options));
        QVERIFY2(m_noLibrary->dir().isValid(), qPrintable(m_noLibrary->dir().errorString()));
        QVERIFY(!QFile::exists(m_noLibrary->dir().path() + "/libdc.so"));
        QString error;
        QVERIFY2(m_noLibrary->start(&error), qPrintable(error));
    }
    COMPARE_REPLY(m_noLibrary->ask(request), reply);
    // Nothing runs a simulator for this client.
    QCOMPARE(m_noLibrary->dir().runDcsim({"state"}).exitCode, 1);
}

ZELK_GUI_TEST_MAIN(DevicePageTest)
#include "tst_devicepage.moc"
