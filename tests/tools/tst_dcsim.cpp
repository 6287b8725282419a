// The device simulator as the client sees it: the built libdc.so loaded with QLibrary, the
// built dcsim run as a real process against its control socket, and a second process reading
// back what the first one saved. Every case starts from the configuration (`dcsim reset`).

#include "DcApi.h"
#include "device/DeviceList.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <array>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const char16_t kKeyboard[] = u"HID\\Vid_04d9&Pid_a0f1";
const char16_t kMouse[] = u"HID\\Vid_04d9&Pid_a0f2";
const char16_t kUnknown[] = u"HID\\Vid_04d9&Pid_ffff";
const QString kKeyboardId = QStringLiteral("HID\\Vid_04d9&Pid_a0f1");
const QString kMouseId = QStringLiteral("HID\\Vid_04d9&Pid_a0f2");
const QString kBootLoaderId = QString::fromUtf16(kBootLoaderHardwareId);
constexpr int kMemorySize = 65536;
constexpr std::uint32_t kArrived = 0x0001;
constexpr std::uint32_t kRemoved = 0x0002;
constexpr int kWaitMs = 5000;

const char kTestConfig[] = R"({
    "bootLoaderDelayMs": 300,
    "restartDelayMs": 100,
    "devices": [
        {"DeviceID": "KRV-K1", "Version": "1.0.0", "SN": "K1TEST000001", "MASK": "01",
         "DevicePath": "/dev/hidraw-test0", "HardwareID": "HID\\Vid_04d9&Pid_a0f1",
         "memorySize": 65536, "properties": {"1": "01", "2": "03 e8"}},
        {"DeviceID": "KRV-M1", "Version": "1.0.0", "SN": "M1TEST000001", "MASK": "02",
         "DevicePath": "/dev/hidraw-test1", "HardwareID": "HID\\Vid_04d9&Pid_a0f2",
         "memorySize": 65536, "properties": {"1": "02"},
         "firmwareVersionAfterUpdate": "2.0.0"}
    ]
})";

DcApi dc;

// What the library's callbacks delivered, and on which thread.
struct CallbackRecorder {
    std::mutex mutex;
    std::vector<std::uint32_t> codes;
    std::vector<QByteArray> reports;
    std::vector<void*> secondArguments;
    std::vector<std::thread::id> threads;
    // Device counts seen by dcDevices called from inside the device-change callback.
    std::vector<int> countsSeenInside;

    void clear() {
        std::lock_guard<std::mutex> lock(mutex);
        codes.clear();
        reports.clear();
        secondArguments.clear();
        threads.clear();
        countsSeenInside.clear();
    }
    std::vector<std::uint32_t> eventCodes() {
        std::lock_guard<std::mutex> lock(mutex);
        return codes;
    }
    std::vector<QByteArray> dataReports() {
        std::lock_guard<std::mutex> lock(mutex);
        return reports;
    }
    bool allOnOtherThreads() {
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::thread::id& id : threads) {
            if (id == std::this_thread::get_id()) {
                return false;
            }
        }
        return !threads.empty();
    }
};

CallbackRecorder recorder;

int listedCount(const unsigned char* list) {
    return list[0] | (list[1] << 8);
}

int enumerate(unsigned char* list) {
    DeviceFilter filter{};
    filter.words[0] = 0xFFA00001u;
    filter.words[1] = 0xFFAA0001u;
    return dc.devices(filter, list, static_cast<int>(DeviceList::kSize));
}

int onDeviceEvent(std::uint32_t code) {
    // The client enumerates again from inside this callback; the library must allow it.
    std::vector<unsigned char> list(DeviceList::kSize);
    const int count = enumerate(list.data()) == 0 ? listedCount(list.data()) : -1;
    std::lock_guard<std::mutex> lock(recorder.mutex);
    recorder.codes.push_back(code);
    recorder.threads.push_back(std::this_thread::get_id());
    recorder.countsSeenInside.push_back(count);
    return 1;
}

int onDeviceData(const unsigned char* const* data, void* unused) {
    std::lock_guard<std::mutex> lock(recorder.mutex);
    recorder.reports.push_back(QByteArray(reinterpret_cast<const char*>(*data), 8));
    recorder.secondArguments.push_back(unused);
    recorder.threads.push_back(std::this_thread::get_id());
    return 1;
}

QString wideField(const unsigned char* record, std::size_t offset, std::size_t size) {
    QString text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit =
            static_cast<char16_t>(record[offset + i] | (record[offset + i + 1] << 8));
        if (unit == 0) {
            break;
        }
        text.append(QChar(unit));
    }
    return text;
}

QByteArray field(const unsigned char* record, std::size_t offset, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(record + offset), static_cast<qsizetype>(size));
}

QByteArray padded(const QByteArray& text, int size) {
    return text + QByteArray(size - text.size(), '\0');
}

QByteArray utf16Padded(const QString& text, int size) {
    QByteArray bytes;
    for (QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return padded(bytes, size);
}

// CRC-32 bit by bit, independent of the simulator's table-driven one.
std::uint32_t referenceCrc32(const QByteArray& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char byte : data) {
        crc ^= static_cast<unsigned char>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

QByteArray randomBytes(int size, quint32 seed) {
    QRandomGenerator generator(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator.bounded(256));
    }
    return bytes;
}

struct ProcessResult {
    int exitCode = -1;
    QString out;
    QString err;
};

ProcessResult runProgram(const QString& program, const QStringList& arguments,
                         const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProcessResult result;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("did not finish normally");
        return result;
    }
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

ProcessResult dcsim(const QStringList& arguments) {
    return runProgram(QStringLiteral(DCSIM_PATH), arguments,
                      QProcessEnvironment::systemEnvironment());
}

using DcCall = std::function<int(unsigned char* buffer)>;

}  // namespace

Q_DECLARE_METATYPE(DcCall)

class DcSimTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void listsConfiguredDevices();
    void listFillsFieldsToTheirLastByte();
    void listRefusesBadArguments_data();
    void listRefusesBadArguments();
    void deviceExistence_data();
    void deviceExistence();

    void memoryRoundTrip_data();
    void memoryRoundTrip();
    void memoryIsPerDevice();
    void propertyRead_data();
    void propertyRead();
    void propertyWriteStoresExactlyTheSize();
    void badCallsChangeNothing_data();
    void badCallsChangeNothing();
    void notificationIsRecordedPerDevice();
    void otherResetsAreHarmless();

    void attachFiresDeviceChange();
    void attachRefusesUnfitDevices_data();
    void attachRefusesUnfitDevices();
    void listHoldsAtMostTwentyDevices();
    void detachFiresDeviceChange();
    void eventPassesTheFullCode_data();
    void eventPassesTheFullCode();
    void eventRefusesBadCodes_data();
    void eventRefusesBadCodes();
    void dataReachesTheRegisteredCallback();
    void dataRefusals_data();
    void dataRefusals();
    void dcsimUsage_data();
    void dcsimUsage();
    void textRequestsOnOneConnection();
    void eventsPerChangeRepeatsDeviceChanges();
    void resetKeepsTheDevicesWhenTheConfigurationIsBroken();

    void stateReportsMemoryDigest();
    void stateFileIsWrittenBeforeTheStateReply();
    void resetRestoresTheConfiguration();
    void stateSurvivesARestart();
    void changedConfigurationStartsAfresh();
    void shippedConfigurationListsKeyboardAndMouse();

    void firmwareUpdate_data();
    void firmwareUpdate();
    void checkValueIsZlibCrc32();
    void unverifiedImageKeepsTheBootLoader();
    void updateWithoutEraseKeepsTheOldProgram();
    void onlyOneDeviceInBootLoader();

private:
    QJsonObject simState();
    QJsonObject deviceState(const QString& hardwareId);
    QString writeJsonFile(const QString& name, const QByteArray& content);
    QString configPath() const { return m_dir.filePath(QStringLiteral("dc-sim.json")); }
    QProcessEnvironment probeEnvironment(const QString& name);
    void enterBootLoader(const char16_t* hardwareId);

    QTemporaryDir m_dir;
};

QJsonObject DcSimTest::simState() {
    const ProcessResult result = dcsim({QStringLiteral("state")});
    if (result.exitCode != 0) {
        qWarning() << "dcsim state failed:" << result.err;
        return {};
    }
    return QJsonDocument::fromJson(result.out.toUtf8()).object();
}

QJsonObject DcSimTest::deviceState(const QString& hardwareId) {
    for (const QJsonValue& device : simState().value(QStringLiteral("devices")).toArray()) {
        if (device.toObject().value(QStringLiteral("HardwareID")).toString() == hardwareId) {
            return device.toObject();
        }
    }
    return {};
}

QString DcSimTest::writeJsonFile(const QString& name, const QByteArray& content) {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size()) {
        qWarning() << "cannot write" << path;
    }
    return path;
}

// A second process with its own socket and state file; the configuration is the test's.
QProcessEnvironment DcSimTest::probeEnvironment(const QString& name) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DC_SIM_SOCKET"),
                       m_dir.filePath(name + QStringLiteral(".sock")));
    environment.insert(QStringLiteral("DC_SIM_STATE"),
                       m_dir.filePath(name + QStringLiteral("-state.json")));
    return environment;
}

void DcSimTest::enterBootLoader(const char16_t* hardwareId) {
    unsigned char cell = 0;
    QCOMPARE(dc.reset(hardwareId, u"", kDeviceCallMagic, 0x0001u, &cell, 0), 0);
    QTRY_VERIFY_WITH_TIMEOUT(dc.deviceExist(kBootLoaderHardwareId) == 0, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.eventCodes(),
                              (std::vector<std::uint32_t>{kRemoved, kArrived}), kWaitMs);
    recorder.clear();
}

void DcSimTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    // The library writes its state file at process exit, after this object is gone; the
    // folder goes with the run's temporary root, which outlives the library.
    m_dir.setAutoRemove(false);
    const QString config = writeJsonFile(QStringLiteral("dc-sim.json"), kTestConfig);
    qputenv("DC_SIM_CONFIG", QFile::encodeName(config));
    qputenv("DC_SIM_STATE", QFile::encodeName(m_dir.filePath(QStringLiteral("state.json"))));
    qputenv("DC_SIM_SOCKET", QFile::encodeName(m_dir.filePath(QStringLiteral("sim.sock"))));

    QString error;
    QVERIFY2(dc.load(QStringLiteral(DC_LIBRARY_PATH), &error), qPrintable(error));
    DeviceEventCallback cell = &onDeviceEvent;
    QCOMPARE(dc.onDeviceEvent(&cell), 0);
    QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("sim.sock"))));
    QCOMPARE(QFile::permissions(m_dir.filePath(QStringLiteral("sim.sock"))) &
                 (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());
}

void DcSimTest::init() {
    // Cases may change the configuration; each starts from the test's own.
    writeJsonFile(QStringLiteral("dc-sim.json"), kTestConfig);
    const ProcessResult result = dcsim({QStringLiteral("reset")});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    recorder.clear();
}

void DcSimTest::listsConfiguredDevices() {
    std::vector<unsigned char> buffer(DeviceList::kSize + 64, 0xEE);
    QCOMPARE(enumerate(buffer.data()), 0);

    QCOMPARE(listedCount(buffer.data()), 2);
    const unsigned char* keyboard = buffer.data() + 2;
    QCOMPARE(field(keyboard, DeviceRecord::kDeviceIdOffset, 40), padded("KRV-K1", 40));
    QCOMPARE(field(keyboard, DeviceRecord::kVersionOffset, 17), padded("1.0.0", 17));
    QCOMPARE(field(keyboard, DeviceRecord::kSnOffset, 14), padded("K1TEST000001", 14));
    QCOMPARE(field(keyboard, DeviceRecord::kMaskOffset, 2), QByteArray("01"));
    QCOMPARE(field(keyboard, 73, 1012), QByteArray(1012, '\0'));
    QCOMPARE(field(keyboard, DeviceRecord::kDevicePathOffset, 510),
             utf16Padded(QStringLiteral("/dev/hidraw-test0"), 510));
    QCOMPARE(field(keyboard, DeviceRecord::kHardwareIdOffset, 510), utf16Padded(kKeyboardId, 510));

    const unsigned char* mouse = keyboard + DeviceRecord::kSize;
    QCOMPARE(field(mouse, DeviceRecord::kDeviceIdOffset, 40), padded("KRV-M1", 40));
    QCOMPARE(field(mouse, DeviceRecord::kMaskOffset, 2), QByteArray("02"));
    QCOMPARE(wideField(mouse, DeviceRecord::kHardwareIdOffset, 510), kMouseId);

    // The other slots are zeroed, and nothing is written past the list.
    const QByteArray rest(reinterpret_cast<const char*>(mouse + DeviceRecord::kSize),
                          18 * DeviceRecord::kSize);
    QCOMPARE(rest, QByteArray(rest.size(), '\0'));
    for (std::size_t i = DeviceList::kSize; i < buffer.size(); ++i) {
        QCOMPARE(buffer[i], static_cast<unsigned char>(0xEE));
    }
}

void DcSimTest::listFillsFieldsToTheirLastByte() {
    const QString longId = QStringLiteral("HID\\") + QString(251, QLatin1Char('x'));  // 255 units
    QJsonObject device{
        {QStringLiteral("DeviceID"), QString(40, QLatin1Char('D'))},
        {QStringLiteral("Version"), QString(17, QLatin1Char('V'))},
        {QStringLiteral("SN"), QString(14, QLatin1Char('S'))},
        {QStringLiteral("MASK"), QStringLiteral("MM")},
        {QStringLiteral("DevicePath"), QString(255, QLatin1Char('p'))},
        {QStringLiteral("HardwareID"), longId},
    };
    const QString file = writeJsonFile(QStringLiteral("full.json"), QJsonDocument(device).toJson());
    const ProcessResult attached = dcsim({QStringLiteral("attach"), file});
    QVERIFY2(attached.exitCode == 0, qPrintable(attached.err));

    std::vector<unsigned char> list(DeviceList::kSize);
    QCOMPARE(enumerate(list.data()), 0);
    QCOMPARE(listedCount(list.data()), 3);
    const unsigned char* record = list.data() + 2 + 2 * DeviceRecord::kSize;
    QCOMPARE(field(record, 0, 40), QByteArray(40, 'D'));
    QCOMPARE(field(record, 40, 17), QByteArray(17, 'V'));
    QCOMPARE(field(record, 57, 14), QByteArray(14, 'S'));
    QCOMPARE(field(record, 71, 2), QByteArray("MM"));
    QCOMPARE(field(record, 73, 1012), QByteArray(1012, '\0'));
    QCOMPARE(wideField(record, DeviceRecord::kDevicePathOffset, 510),
             QString(255, QLatin1Char('p')));
    QCOMPARE(wideField(record, DeviceRecord::kHardwareIdOffset, 510), longId);
    QCOMPARE(dc.deviceExist(reinterpret_cast<const char16_t*>(longId.utf16())), 0);
}

void DcSimTest::listRefusesBadArguments_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("nullBuffer");
    QTest::addColumn<quint32>("word0");
    QTest::addColumn<quint32>("word1");
    QTest::newRow("size one byte short")
        << int(DeviceList::kSize - 1) << false << 0xFFA00001u << 0xFFAA0001u;
    QTest::newRow("negative size") << -1 << false << 0xFFA00001u << 0xFFAA0001u;
    QTest::newRow("null buffer") << int(DeviceList::kSize) << true << 0xFFA00001u << 0xFFAA0001u;
    QTest::newRow("filter word 0 wrong") << int(DeviceList::kSize) << false << 0u << 0xFFAA0001u;
    QTest::newRow("filter word 1 wrong")
        << int(DeviceList::kSize) << false << 0xFFA00001u << 0xFFA00001u;
}

void DcSimTest::listRefusesBadArguments() {
    QFETCH(int, size);
    QFETCH(bool, nullBuffer);
    QFETCH(quint32, word0);
    QFETCH(quint32, word1);
    std::vector<unsigned char> buffer(DeviceList::kSize, 0xEE);
    DeviceFilter filter{};
    filter.words[0] = word0;
    filter.words[1] = word1;
    QVERIFY(dc.devices(filter, nullBuffer ? nullptr : buffer.data(), size) != 0);
    QCOMPARE(std::count(buffer.begin(), buffer.end(), 0xEE), static_cast<long>(buffer.size()));
}

void DcSimTest::deviceExistence_data() {
    QTest::addColumn<QString>("hardwareId");
    QTest::addColumn<bool>("present");
    QTest::newRow("keyboard") << kKeyboardId << true;
    QTest::newRow("mouse") << kMouseId << true;
    QTest::newRow("unknown") << QString::fromUtf16(kUnknown) << false;
    QTest::newRow("other case") << kKeyboardId.toUpper() << false;
    QTest::newRow("boot loader, nobody updating") << kBootLoaderId << false;
    QTest::newRow("empty") << QString() << false;
}

void DcSimTest::deviceExistence() {
    QFETCH(QString, hardwareId);
    QFETCH(bool, present);
    QCOMPARE(dc.deviceExist(reinterpret_cast<const char16_t*>(hardwareId.utf16())) == 0, present);
    QVERIFY(dc.deviceExist(nullptr) != 0);
}

void DcSimTest::memoryRoundTrip_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("size");
    QTest::newRow("first byte") << 0 << 1;
    QTest::newRow("full buffer inside") << 0x1234 << kDeviceBufferSize;
    QTest::newRow("full buffer at the end") << kMemorySize - kDeviceBufferSize << kDeviceBufferSize;
    QTest::newRow("last byte") << kMemorySize - 1 << 1;
    QTest::newRow("nothing at the very end") << kMemorySize << 0;
}

void DcSimTest::memoryRoundTrip() {
    QFETCH(int, address);
    QFETCH(int, size);
    QByteArray pattern = randomBytes(kDeviceBufferSize, static_cast<quint32>(address + size));
    QCOMPARE(dc.write(kKeyboard, u"", kDeviceCallMagic,
                      reinterpret_cast<unsigned char*>(pattern.data()), size, address),
             0);

    std::vector<unsigned char> readBack(kDeviceBufferSize + 1, 0xEE);
    QCOMPARE(dc.read(kKeyboard, u"", kDeviceCallMagic, readBack.data(), size, address), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(readBack.data()), size), pattern.left(size));
    // A read fills exactly size bytes.
    QCOMPARE(readBack[size], static_cast<unsigned char>(0xEE));

    // Exactly those bytes changed.
    const QJsonObject state = deviceState(kKeyboardId);
    QCOMPARE(state.value(QStringLiteral("memoryNonZeroBytes")).toInt(),
             static_cast<int>(std::count_if(pattern.begin(), pattern.begin() + size,
                                            [](char c) { return c != '\0'; })));
}

void DcSimTest::memoryIsPerDevice() {
    unsigned char bytes[4] = {1, 2, 3, 4};
    QCOMPARE(dc.write(kKeyboard, u"", kDeviceCallMagic, bytes, 4, 0x100), 0);
    unsigned char readBack[4] = {9, 9, 9, 9};
    QCOMPARE(dc.read(kMouse, u"", kDeviceCallMagic, readBack, 4, 0x100), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(readBack), 4), QByteArray(4, '\0'));
}

void DcSimTest::propertyRead_data() {
    QTest::addColumn<int>("property");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("longer than the property") << 2 << 6 << QByteArray::fromHex("03e800000000");
    QTest::newRow("exactly the property") << 2 << 2 << QByteArray::fromHex("03e8");
    QTest::newRow("shorter than the property") << 2 << 1 << QByteArray::fromHex("03");
    QTest::newRow("one-byte property, full buffer")
        << 1 << kDeviceBufferSize
        << QByteArray::fromHex("01") + QByteArray(kDeviceBufferSize - 1, '\0');
}

void DcSimTest::propertyRead() {
    QFETCH(int, property);
    QFETCH(int, size);
    QFETCH(QByteArray, expected);
    std::vector<unsigned char> buffer(kDeviceBufferSize + 1, 0xEE);
    QCOMPARE(dc.readProp(kKeyboard, u"", kDeviceCallMagic, buffer.data(), size, property), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer.data()), size), expected);
    QCOMPARE(buffer[size], static_cast<unsigned char>(0xEE));
}

void DcSimTest::propertyWriteStoresExactlyTheSize() {
    unsigned char value[8] = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8};
    std::vector<unsigned char> buffer(8);

    QCOMPARE(dc.writeProp(kKeyboard, u"", kDeviceCallMagic, value, 5, 2), 0);
    QCOMPARE(dc.readProp(kKeyboard, u"", kDeviceCallMagic, buffer.data(), 8, 2), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer.data()), 8),
             QByteArray::fromHex("a1a2a3a4a5000000"));

    // A shorter write shortens the property.
    QCOMPARE(dc.writeProp(kKeyboard, u"", kDeviceCallMagic, value + 7, 1, 2), 0);
    QCOMPARE(dc.readProp(kKeyboard, u"", kDeviceCallMagic, buffer.data(), 8, 2), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer.data()), 8),
             QByteArray::fromHex("a800000000000000"));

    // A new id becomes a property; the other device is untouched.
    QCOMPARE(dc.writeProp(kKeyboard, u"", kDeviceCallMagic, value, 3, 300), 0);
    const QJsonObject properties =
        deviceState(kKeyboardId).value(QStringLiteral("properties")).toObject();
    QCOMPARE(properties.value(QStringLiteral("300")).toString(), QStringLiteral("a1a2a3"));
    QCOMPARE(properties.value(QStringLiteral("2")).toString(), QStringLiteral("a8"));
    QCOMPARE(dc.readProp(kMouse, u"", kDeviceCallMagic, buffer.data(), 8, 300) != 0, true);
}

void DcSimTest::badCallsChangeNothing_data() {
    QTest::addColumn<DcCall>("call");
    const int m = kDeviceCallMagic;
    struct Transfer {
        const char* name;
        DcTransferFn DcApi::*entry;
    };
    const Transfer transfers[] = {{"dcRead", &DcApi::read},
                                  {"dcWrite", &DcApi::write},
                                  {"dcReadProp", &DcApi::readProp},
                                  {"dcWriteProp", &DcApi::writeProp}};
    for (const Transfer& t : transfers) {
        const auto entry = t.entry;
        const bool memory = entry == &DcApi::read || entry == &DcApi::write;
        auto row = [&](const char* fault, DcCall call) {
            QTest::addRow("%s: %s", t.name, fault) << call;
        };
        row("wrong magic",
            [=](unsigned char* b) { return (dc.*entry)(kKeyboard, u"", m - 1, b, 16, 0); });
        row("unknown id",
            [=](unsigned char* b) { return (dc.*entry)(kUnknown, u"", m, b, 16, 1); });
        row("null id", [=](unsigned char* b) { return (dc.*entry)(nullptr, u"", m, b, 16, 1); });
        row("null empty string",
            [=](unsigned char* b) { return (dc.*entry)(kKeyboard, nullptr, m, b, 16, 1); });
        row("null buffer",
            [=](unsigned char*) { return (dc.*entry)(kKeyboard, u"", m, nullptr, 16, 1); });
        row("size -1", [=](unsigned char* b) { return (dc.*entry)(kKeyboard, u"", m, b, -1, 1); });
        row("size 2049",
            [=](unsigned char* b) { return (dc.*entry)(kKeyboard, u"", m, b, 2049, 1); });
        row("boot-loader id",
            [=](unsigned char* b) { return (dc.*entry)(kBootLoaderHardwareId, u"", m, b, 16, 1); });
        if (memory) {
            row("address -1",
                [=](unsigned char* b) { return (dc.*entry)(kKeyboard, u"", m, b, 16, -1); });
            row("address beyond memory", [=](unsigned char* b) {
                return (dc.*entry)(kKeyboard, u"", m, b, 1, kMemorySize);
            });
            row("range crossing the end", [=](unsigned char* b) {
                return (dc.*entry)(kKeyboard, u"", m, b, 2, kMemorySize - 1);
            });
        } else {
            row("negative property",
                [=](unsigned char* b) { return (dc.*entry)(kKeyboard, u"", m, b, 16, -1); });
        }
    }
    QTest::newRow("dcReadProp: unknown property")
        << DcCall([=](unsigned char* b) { return dc.readProp(kKeyboard, u"", m, b, 16, 999); });

    struct Notify {
        const char* name;
        DcNotifyFn DcApi::*entry;
    };
    for (const Notify& n : {Notify{"dcNotify", &DcApi::notify}, Notify{"dcReset", &DcApi::reset}}) {
        const auto entry = n.entry;
        QTest::addRow("%s: wrong magic", n.name) << DcCall(
            [=](unsigned char* b) { return (dc.*entry)(kKeyboard, u"", m + 1, 1, b, 0); });
        QTest::addRow("%s: unknown id", n.name)
            << DcCall([=](unsigned char* b) { return (dc.*entry)(kUnknown, u"", m, 1, b, 0); });
        QTest::addRow("%s: null cell", n.name) << DcCall(
            [=](unsigned char*) { return (dc.*entry)(kKeyboard, u"", m, 1, nullptr, 0); });
    }

    struct Plain {
        const char* name;
        DcAskFn DcApi::*entry;
    };
    for (const Plain& p :
         {Plain{"dcAsk", &DcApi::ask}, Plain{"dcScriptOut", &DcApi::scriptOut},
          Plain{"dcIDWrite", &DcApi::idWrite}, Plain{"dcRebootRom", &DcApi::rebootRom}}) {
        const auto entry = p.entry;
        QTest::addRow("%s: wrong magic", p.name)
            << DcCall([=](unsigned char*) { return (dc.*entry)(kKeyboard, u"", 0); });
        QTest::addRow("%s: unknown id", p.name)
            << DcCall([=](unsigned char*) { return (dc.*entry)(kUnknown, u"", m); });
    }

    // The firmware calls need a device in boot-loader mode.
    QTest::newRow("dcEraseRom: normal device")
        << DcCall([=](unsigned char*) { return dc.eraseRom(kKeyboard, u"", m); });
    QTest::newRow("dcEraseRom: boot-loader id, nobody there")
        << DcCall([=](unsigned char*) { return dc.eraseRom(kBootLoaderHardwareId, u"", m); });
    QTest::newRow("dcBornRom: normal device")
        << DcCall([=](unsigned char* b) { return dc.bornRom(kKeyboard, u"", m, b, 16, 0); });
    QTest::newRow("dcCheckRom: normal device")
        << DcCall([=](unsigned char*) { return dc.checkRom(kKeyboard, u"", m, 0, 0); });
    QTest::newRow("dcFinishUpdateRom: normal device")
        << DcCall([=](unsigned char*) { return dc.finishUpdateRom(kKeyboard, u"", m); });

    QTest::newRow("dconDeviceData: wrong magic") << DcCall([=](unsigned char*) {
        DeviceDataCallback cell = &onDeviceData;
        return dc.onDeviceData(kKeyboard, u"/dev/hidraw-test0", m - 1, &cell);
    });
    QTest::newRow("dconDeviceData: unknown id") << DcCall([=](unsigned char*) {
        DeviceDataCallback cell = &onDeviceData;
        return dc.onDeviceData(kUnknown, u"/dev/hidraw-test0", m, &cell);
    });
    QTest::newRow("dconDeviceData: null path") << DcCall([=](unsigned char*) {
        DeviceDataCallback cell = &onDeviceData;
        return dc.onDeviceData(kKeyboard, nullptr, m, &cell);
    });
    QTest::newRow("dconDeviceData: null cell") << DcCall([=](unsigned char*) {
        return dc.onDeviceData(kKeyboard, u"/dev/hidraw-test0", m, nullptr);
    });
    QTest::newRow("dcOnDeviceEvent: null cell")
        << DcCall([=](unsigned char*) { return dc.onDeviceEvent(nullptr); });
}

void DcSimTest::badCallsChangeNothing() {
    QFETCH(DcCall, call);
    const QJsonObject before = simState();
    QVERIFY(!before.isEmpty());

    std::vector<unsigned char> buffer(4096, 0x5A);
    QVERIFY(call(buffer.data()) != 0);

    QCOMPARE(std::count(buffer.begin(), buffer.end(), 0x5A), static_cast<long>(buffer.size()));
    QCOMPARE(simState(), before);
    QVERIFY(recorder.eventCodes().empty());
}

void DcSimTest::notificationIsRecordedPerDevice() {
    unsigned char cell = 0;
    // Only the two low bytes carry the notification.
    QCOMPARE(dc.notify(kKeyboard, u"", kDeviceCallMagic, 0xAB000705u, &cell, 0), 0);
    QCOMPARE(dc.notify(kKeyboard, u"", kDeviceCallMagic, 0x0000FF09u, &cell, 0), 0);
    QCOMPARE(deviceState(kKeyboardId).value(QStringLiteral("lastNotification")).toObject(),
             (QJsonObject{{QStringLiteral("type"), 9}, {QStringLiteral("data"), 255}}));
    QVERIFY(deviceState(kMouseId).value(QStringLiteral("lastNotification")).isNull());
}

void DcSimTest::otherResetsAreHarmless() {
    unsigned char cell = 0;
    QCOMPARE(dc.reset(kKeyboard, u"", kDeviceCallMagic, 0x0000u, &cell, 0), 0);
    QCOMPARE(dc.reset(kKeyboard, u"", kDeviceCallMagic, 0x0101u, &cell, 0), 0);
    QCOMPARE(dc.ask(kKeyboard, u"", kDeviceCallMagic), 0);
    QCOMPARE(dc.scriptOut(kMouse, u"", kDeviceCallMagic), 0);
    QCOMPARE(dc.idWrite(kMouse, u"", kDeviceCallMagic), 0);
    QCOMPARE(dc.rebootRom(kMouse, u"", kDeviceCallMagic), 0);
    // A control command fires whatever callbacks were queued before it replies.
    const QJsonObject keyboard = deviceState(kKeyboardId);
    QCOMPARE(keyboard.value(QStringLiteral("bootLoader")).toBool(), false);
    QCOMPARE(keyboard.value(QStringLiteral("present")).toBool(), true);
    QVERIFY(recorder.eventCodes().empty());
}

void DcSimTest::attachFiresDeviceChange() {
    const QString file = writeJsonFile(QStringLiteral("extra.json"), R"({
        "DeviceID": "KRV-X1", "Version": "3.1", "SN": "X1", "MASK": "03",
        "DevicePath": "/dev/hidraw-test2", "HardwareID": "HID\\Vid_04d9&Pid_a0f3",
        "memory": [{"address": "0x10", "data": "0x01,0x02"}],
        "properties": {"0x10": [1, 2, 3]}
    })");
    const ProcessResult result = dcsim({QStringLiteral("attach"), file});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    QCOMPARE(result.out, QStringLiteral("ok\n"));

    // The reply comes after the callback, which ran on the simulator's thread and could
    // enumerate from inside.
    QCOMPARE(recorder.eventCodes(), std::vector<std::uint32_t>{kArrived});
    QVERIFY(recorder.allOnOtherThreads());
    QCOMPARE(recorder.countsSeenInside, std::vector<int>{3});

    std::vector<unsigned char> list(DeviceList::kSize);
    QCOMPARE(enumerate(list.data()), 0);
    QCOMPARE(listedCount(list.data()), 3);
    const unsigned char* record = list.data() + 2 + 2 * DeviceRecord::kSize;
    QCOMPARE(wideField(record, DeviceRecord::kHardwareIdOffset, 510),
             QStringLiteral("HID\\Vid_04d9&Pid_a0f3"));
    unsigned char bytes[4] = {};
    QCOMPARE(dc.read(u"HID\\Vid_04d9&Pid_a0f3", u"", kDeviceCallMagic, bytes, 3, 0x10), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes), 3), QByteArray::fromHex("010200"));
    QCOMPARE(dc.readProp(u"HID\\Vid_04d9&Pid_a0f3", u"", kDeviceCallMagic, bytes, 4, 16), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes), 4), QByteArray::fromHex("01020300"));
}

void DcSimTest::attachRefusesUnfitDevices_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("hardware id already attached")
        << QByteArray(R"({"DeviceID": "X", "HardwareID": "HID\\Vid_04d9&Pid_a0f1"})")
        << "used twice";
    QTest::newRow("boot-loader id")
        << QByteArray(R"({"DeviceID": "X", "HardwareID": "HID\\Vid_04d9&Pid_b0d2"})")
        << "boot-loader";
    QTest::newRow("no DeviceID") << QByteArray(R"({"HardwareID": "HID\\Vid_1"})") << "DeviceID";
    QTest::newRow("DeviceID of 41 bytes") << QByteArray(R"({"DeviceID": ")" + QByteArray(41, 'D') +
                                                        R"(", "HardwareID": "HID\\Vid_1"})")
                                          << "40-byte";
    QTest::newRow("SN of 15 bytes")
        << QByteArray(R"({"DeviceID": "X", "SN": "123456789012345", "HardwareID": "HID\\Vid_1"})")
        << "SN";
    QTest::newRow("memory below 64 KiB")
        << QByteArray(R"({"DeviceID": "X", "HardwareID": "HID\\Vid_1", "memorySize": 1024})")
        << "memorySize";
    QTest::newRow("memory contents past the end")
        << QByteArray(
               R"({"DeviceID": "X", "HardwareID": "HID\\Vid_1", "memory": [{"address": 65535, "data": "0102"}]})")
        << "memorySize";
    QTest::newRow("property not hex")
        << QByteArray(
               R"({"DeviceID": "X", "HardwareID": "HID\\Vid_1", "properties": {"1": "xyz"}})")
        << "hex";
    QTest::newRow("misspelt key")
        << QByteArray(R"({"DeviceID": "X", "HardwareID": "HID\\Vid_1", "memsize": 65536})")
        << "memsize";
    QTest::newRow("not JSON") << QByteArray("DeviceID=X") << "JSON";
}

void DcSimTest::attachRefusesUnfitDevices() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString file = writeJsonFile(QStringLiteral("unfit.json"), content);
    const ProcessResult result = dcsim({QStringLiteral("attach"), file});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    QVERIFY(result.out.isEmpty());

    std::vector<unsigned char> list(DeviceList::kSize);
    QCOMPARE(enumerate(list.data()), 0);
    QCOMPARE(listedCount(list.data()), 2);
    simState();  // fires anything queued
    QVERIFY(recorder.eventCodes().empty());
}

void DcSimTest::listHoldsAtMostTwentyDevices() {
    for (int i = 3; i <= 21; ++i) {
        const QString file = writeJsonFile(
            QStringLiteral("device%1.json").arg(i),
            QStringLiteral(R"({"DeviceID": "KRV-N%1", "HardwareID": "HID\\Vid_04d9&Pid_%2"})")
                .arg(i)
                .arg(0xc000 + i, 4, 16, QLatin1Char('0'))
                .toUtf8());
        const ProcessResult result = dcsim({QStringLiteral("attach"), file});
        if (i <= 20) {
            QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        } else {
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(result.err.contains(QLatin1String("20")), qPrintable(result.err));
        }
    }
    std::vector<unsigned char> list(DeviceList::kSize);
    QCOMPARE(enumerate(list.data()), 0);
    QCOMPARE(listedCount(list.data()), 20);
    const unsigned char* last = list.data() + 2 + 19 * DeviceRecord::kSize;
    QCOMPARE(field(last, 0, 7), QByteArray("KRV-N20"));
}

void DcSimTest::detachFiresDeviceChange() {
    const ProcessResult result = dcsim({QStringLiteral("detach"), kMouseId});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    QCOMPARE(recorder.eventCodes(), std::vector<std::uint32_t>{kRemoved});
    QVERIFY(recorder.allOnOtherThreads());
    QCOMPARE(recorder.countsSeenInside, std::vector<int>{1});
    QVERIFY(dc.deviceExist(kMouse) != 0);
    unsigned char bytes[4];
    QVERIFY(dc.read(kMouse, u"", kDeviceCallMagic, bytes, 4, 0) != 0);

    const ProcessResult again = dcsim({QStringLiteral("detach"), kMouseId});
    QCOMPARE(again.exitCode, 1);
    QVERIFY(again.err.contains(kMouseId));
}

void DcSimTest::eventPassesTheFullCode_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<quint32>("code");
    QTest::newRow("decimal") << "2" << 2u;
    QTest::newRow("zero") << "0x0" << 0u;
    QTest::newRow("hex above 16 bits") << "0x12345678" << 0x12345678u;
    QTest::newRow("upper-case hex") << "0XABCDEF01" << 0xABCDEF01u;
    QTest::newRow("largest") << "4294967295" << 0xFFFFFFFFu;
}

void DcSimTest::eventPassesTheFullCode() {
    QFETCH(QString, argument);
    QFETCH(quint32, code);
    const ProcessResult result = dcsim({QStringLiteral("event"), argument});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    QCOMPARE(recorder.eventCodes(), std::vector<std::uint32_t>{code});
    QVERIFY(recorder.allOnOtherThreads());
    QCOMPARE(recorder.countsSeenInside, std::vector<int>{2});
}

void DcSimTest::eventRefusesBadCodes_data() {
    QTest::addColumn<QString>("argument");
    QTest::newRow("word") << "x";
    QTest::newRow("33 bits") << "4294967296";
    QTest::newRow("negative") << "-1";
    QTest::newRow("empty") << "";
    QTest::newRow("bare prefix") << "0x";
}

void DcSimTest::eventRefusesBadCodes() {
    QFETCH(QString, argument);
    const ProcessResult result = dcsim({QStringLiteral("event"), argument});
    QCOMPARE(result.exitCode, 2);
    QVERIFY(!result.err.isEmpty());
    simState();
    QVERIFY(recorder.eventCodes().empty());
}

void DcSimTest::dataReachesTheRegisteredCallback() {
    DeviceDataCallback cell = &onDeviceData;
    QCOMPARE(dc.onDeviceData(kMouse, u"/dev/hidraw-test1", kDeviceCallMagic, &cell), 0);
    cell = nullptr;  // the library copied the address out during the call
    QCOMPARE(simState()
                 .value(QStringLiteral("dataCallback"))
                 .toObject()
                 .value(QStringLiteral("hardwareId"))
                 .toString(),
             kMouseId);

    const ProcessResult result =
        dcsim({QStringLiteral("data"), QStringLiteral("a1b2c3d4e5f6a7b8")});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    QCOMPARE(recorder.dataReports(),
             std::vector<QByteArray>{QByteArray::fromHex("a1b2c3d4e5f6a7b8")});
    QCOMPARE(recorder.secondArguments, std::vector<void*>{nullptr});
    QVERIFY(recorder.allOnOtherThreads());

    // Registering again moves the reports to the new device.
    cell = &onDeviceData;
    QCOMPARE(dc.onDeviceData(kKeyboard, u"/dev/hidraw-test0", kDeviceCallMagic, &cell), 0);
    QCOMPARE(simState()
                 .value(QStringLiteral("dataCallback"))
                 .toObject()
                 .value(QStringLiteral("hardwareId"))
                 .toString(),
             kKeyboardId);
    QCOMPARE(dcsim({QStringLiteral("data"), QStringLiteral("0001020304050607")}).exitCode, 0);
    QCOMPARE(recorder.dataReports().size(), std::size_t(2));
    QCOMPARE(recorder.dataReports()[1], QByteArray::fromHex("0001020304050607"));
}

void DcSimTest::dataRefusals_data() {
    QTest::addColumn<QString>("hex");
    QTest::addColumn<bool>("registered");
    QTest::addColumn<bool>("detachFirst");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("4 digits") << "a1b2" << true << false << 2;
    QTest::newRow("17 digits") << "a1b2c3d4e5f6a7b80" << true << false << 2;
    QTest::newRow("not hex") << "a1b2c3d4e5f6a7bz" << true << false << 2;
    QTest::newRow("separated") << "a1 b2 c3 d4 e5 f6" << true << false << 2;
    QTest::newRow("nothing registered") << "a1b2c3d4e5f6a7b8" << false << false << 1;
    QTest::newRow("registered device detached") << "a1b2c3d4e5f6a7b8" << true << true << 1;
}

void DcSimTest::dataRefusals() {
    QFETCH(QString, hex);
    QFETCH(bool, registered);
    QFETCH(bool, detachFirst);
    QFETCH(int, exitCode);
    if (registered) {
        DeviceDataCallback cell = &onDeviceData;
        QCOMPARE(dc.onDeviceData(kMouse, u"/dev/hidraw-test1", kDeviceCallMagic, &cell), 0);
    }
    if (detachFirst) {
        QCOMPARE(dcsim({QStringLiteral("detach"), kMouseId}).exitCode, 0);
    }
    const ProcessResult result = dcsim({QStringLiteral("data"), hex});
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(!result.err.isEmpty());
    QVERIFY(recorder.dataReports().empty());
}

void DcSimTest::dcsimUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("no command") << QStringList{} << 2;
    QTest::newRow("unknown command") << QStringList{"plug"} << 2;
    QTest::newRow("missing argument") << QStringList{"detach"} << 2;
    QTest::newRow("extra argument") << QStringList{"state", "now"} << 2;
    QTest::newRow("socket without path") << QStringList{"--socket"} << 2;
    QTest::newRow("no simulator on that socket")
        << QStringList{"--socket", "/nonexistent/dc-sim.sock", "state"} << 1;
    QTest::newRow("attach file missing") << QStringList{"attach", "/nonexistent/device.json"} << 1;
}

void DcSimTest::dcsimUsage() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    const ProcessResult result = dcsim(arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(!result.err.isEmpty());
    QVERIFY(result.out.isEmpty());
}

void DcSimTest::textRequestsOnOneConnection() {
    QLocalSocket socket;
    socket.connectToServer(m_dir.filePath(QStringLiteral("sim.sock")));
    QVERIFY(socket.waitForConnected(kWaitMs));
    socket.write(
        "event 0x10\nbogus\n\n{\"cmd\":\"detach\",\"hardwareId\":\"HID\\\\Vid_04d9&Pid_a0f2\"}\n");
    QStringList replies;
    while (replies.size() < 3 && socket.waitForReadyRead(kWaitMs)) {
        while (socket.canReadLine()) {
            replies << QString::fromUtf8(socket.readLine()).trimmed();
        }
    }
    QCOMPARE(replies.size(), 3);  // the empty line gets no reply
    QCOMPARE(replies[0], QStringLiteral("{\"ok\":true}"));
    QCOMPARE(QJsonDocument::fromJson(replies[1].toUtf8())
                 .object()
                 .value(QStringLiteral("ok"))
                 .toBool(true),
             false);
    QCOMPARE(replies[2], QStringLiteral("{\"ok\":true}"));
    QCOMPARE(recorder.eventCodes(), (std::vector<std::uint32_t>{0x10, kRemoved}));
}

void DcSimTest::eventsPerChangeRepeatsDeviceChanges() {
    writeJsonFile(QStringLiteral("dc-sim.json"),
                  QByteArray(kTestConfig)
                      .replace("\"restartDelayMs\": 100,",
                               "\"restartDelayMs\": 100, \"eventsPerChange\": 5,"));
    QCOMPARE(dcsim({QStringLiteral("reset")}).exitCode, 0);
    QCOMPARE(simState().value(QStringLiteral("eventsPerChange")).toInt(), 5);
    recorder.clear();

    QCOMPARE(dcsim({QStringLiteral("detach"), kMouseId}).exitCode, 0);
    QCOMPARE(recorder.eventCodes(), std::vector<std::uint32_t>(5, kRemoved));
    recorder.clear();
    QCOMPARE(dcsim({QStringLiteral("event"), QStringLiteral("7")}).exitCode, 0);
    QCOMPARE(recorder.eventCodes(), std::vector<std::uint32_t>{7});
}

void DcSimTest::resetKeepsTheDevicesWhenTheConfigurationIsBroken() {
    unsigned char byte = 0x42;
    QCOMPARE(dc.write(kKeyboard, u"", kDeviceCallMagic, &byte, 1, 0), 0);
    writeJsonFile(QStringLiteral("dc-sim.json"), "{\"devices\": [{\"DeviceID\": \"X\"}]}");
    const ProcessResult result = dcsim({QStringLiteral("reset")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QLatin1String("HardwareID")), qPrintable(result.err));
    QCOMPARE(deviceState(kKeyboardId).value(QStringLiteral("memoryNonZeroBytes")).toInt(), 1);
    QCOMPARE(dc.deviceExist(kMouse), 0);
}

void DcSimTest::stateReportsMemoryDigest() {
    QByteArray pattern = randomBytes(300, 7);
    pattern[0] = 1;
    QCOMPARE(
        dc.write(kMouse, u"", kDeviceCallMagic, reinterpret_cast<unsigned char*>(pattern.data()),
                 static_cast<int>(pattern.size()), 0x2000),
        0);
    QByteArray memory(kMemorySize, '\0');
    memory.replace(0x2000, pattern.size(), pattern);

    const QJsonObject mouse = deviceState(kMouseId);
    QCOMPARE(
        mouse.value(QStringLiteral("memorySha256")).toString(),
        QString::fromLatin1(QCryptographicHash::hash(memory, QCryptographicHash::Sha256).toHex()));
    QCOMPARE(mouse.value(QStringLiteral("memoryNonZeroBytes")).toInt(),
             static_cast<int>(
                 std::count_if(pattern.begin(), pattern.end(), [](char c) { return c != '\0'; })));
    QCOMPARE(mouse.value(QStringLiteral("memorySize")).toInt(), kMemorySize);
    QCOMPARE(mouse.value(QStringLiteral("Version")).toString(), QStringLiteral("1.0.0"));
    QCOMPARE(mouse.value(QStringLiteral("bootLoader")).toBool(true), false);
    QCOMPARE(mouse.value(QStringLiteral("properties")).toObject(),
             (QJsonObject{{QStringLiteral("1"), QStringLiteral("02")}}));
    QCOMPARE(deviceState(kKeyboardId).value(QStringLiteral("memoryNonZeroBytes")).toInt(-1), 0);
}

void DcSimTest::stateFileIsWrittenBeforeTheStateReply() {
    unsigned char bytes[4] = {0xDE, 0xAD, 0xBE, 0xEF};
    QCOMPARE(dc.write(kKeyboard, u"", kDeviceCallMagic, bytes, 4, 0x4321), 0);
    QVERIFY(!simState().isEmpty());

    QFile file(m_dir.filePath(QStringLiteral("state.json")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonObject keyboard = saved.value(QStringLiteral("devices")).toArray().at(0).toObject();
    QCOMPARE(keyboard.value(QStringLiteral("HardwareID")).toString(), kKeyboardId);
    QCOMPARE(keyboard.value(QStringLiteral("memory")).toArray(),
             (QJsonArray{QJsonObject{{QStringLiteral("address"), 0x4321},
                                     {QStringLiteral("data"), QStringLiteral("deadbeef")}}}));
}

void DcSimTest::resetRestoresTheConfiguration() {
    unsigned char bytes[2] = {7, 7};
    unsigned char cell = 0;
    QCOMPARE(dc.write(kKeyboard, u"", kDeviceCallMagic, bytes, 2, 10), 0);
    QCOMPARE(dc.writeProp(kKeyboard, u"", kDeviceCallMagic, bytes, 2, 1), 0);
    QCOMPARE(dc.notify(kKeyboard, u"", kDeviceCallMagic, 0x0102, &cell, 0), 0);
    DeviceDataCallback dataCell = &onDeviceData;
    QCOMPARE(dc.onDeviceData(kKeyboard, u"/dev/hidraw-test0", kDeviceCallMagic, &dataCell), 0);
    QCOMPARE(dcsim({QStringLiteral("detach"), kMouseId}).exitCode, 0);
    recorder.clear();

    const ProcessResult result = dcsim({QStringLiteral("reset")});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    // The mouse came back, so the host hears of it.
    QCOMPARE(recorder.eventCodes(), std::vector<std::uint32_t>{kArrived});

    const QJsonObject state = simState();
    QVERIFY(state.value(QStringLiteral("dataCallback")).isNull());
    QCOMPARE(state.value(QStringLiteral("eventCallback")).toBool(), true);
    const QJsonObject keyboard = deviceState(kKeyboardId);
    QCOMPARE(keyboard.value(QStringLiteral("memoryNonZeroBytes")).toInt(-1), 0);
    QCOMPARE(keyboard.value(QStringLiteral("properties"))
                 .toObject()
                 .value(QStringLiteral("1"))
                 .toString(),
             QStringLiteral("01"));
    QVERIFY(keyboard.value(QStringLiteral("lastNotification")).isNull());
    QCOMPARE(dc.deviceExist(kMouse), 0);
}

void DcSimTest::stateSurvivesARestart() {
    const QProcessEnvironment environment = probeEnvironment(QStringLiteral("restart"));
    const QString probe = QStringLiteral(DCSIM_PROBE_PATH);
    // The first process exits right after writing: the state is written on the way out.
    ProcessResult first =
        runProgram(probe, {"write", "4660", "deadbeef", "writeprop", "7", "0102"}, environment);
    QVERIFY2(first.exitCode == 0, qPrintable(first.err));
    QCOMPARE(first.out, QStringLiteral("ok\nok\n"));

    ProcessResult second = runProgram(
        probe, {"read", "4658", "8", "readprop", "7", "4", "readprop", "2", "2"}, environment);
    QVERIFY2(second.exitCode == 0, qPrintable(second.err));
    QCOMPARE(second.out, QStringLiteral("0000deadbeef0000\n01020000\n03e8\n"));
    QVERIFY(!QFile::exists(environment.value(QStringLiteral("DC_SIM_SOCKET"))));
}

void DcSimTest::changedConfigurationStartsAfresh() {
    QProcessEnvironment environment = probeEnvironment(QStringLiteral("changed"));
    const QString probe = QStringLiteral(DCSIM_PROBE_PATH);
    QCOMPARE(runProgram(probe, {"write", "0", "ff"}, environment).exitCode, 0);
    QCOMPARE(runProgram(probe, {"read", "0", "1"}, environment).out, QStringLiteral("ff\n"));

    const QString changed =
        writeJsonFile(QStringLiteral("changed.json"),
                      QByteArray(kTestConfig).replace("K1TEST000001", "K1TEST000002"));
    environment.insert(QStringLiteral("DC_SIM_CONFIG"), changed);
    const ProcessResult result = runProgram(probe, {"read", "0", "1"}, environment);
    QCOMPARE(result.out, QStringLiteral("00\n"));
    QVERIFY2(result.err.contains(QLatin1String("another configuration")), qPrintable(result.err));
}

void DcSimTest::shippedConfigurationListsKeyboardAndMouse() {
    QProcessEnvironment environment = probeEnvironment(QStringLiteral("shipped"));
    environment.remove(QStringLiteral("DC_SIM_CONFIG"));  // the copy beside libdc.so
    const ProcessResult result =
        runProgram(QStringLiteral(DCSIM_PROBE_PATH), {"list", "readprop", "16", "6"}, environment);
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    QCOMPARE(result.out, QStringLiteral("KRV-K1|HID\\Vid_04d9&Pid_a0f1|1.0.0\n"
                                        "KRV-M1|HID\\Vid_04d9&Pid_a0f2|1.0.0\n"
                                        "4b52562d4b31\n"));
}

void DcSimTest::firmwareUpdate_data() {
    QTest::addColumn<QString>("hardwareId");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("newVersion");
    QTest::newRow("keyboard, size a multiple of 2000, version counted up")
        << kKeyboardId << 4000 << "1.0.1";
    QTest::newRow("mouse, largest image, configured version") << kMouseId << 65849 << "2.0.0";
}

void DcSimTest::firmwareUpdate() {
    QFETCH(QString, hardwareId);
    QFETCH(int, size);
    QFETCH(QString, newVersion);
    const char16_t* id = reinterpret_cast<const char16_t*>(hardwareId.utf16());
    const char16_t* boot = kBootLoaderHardwareId;
    const int m = kDeviceCallMagic;

    unsigned char kept[3] = {0x11, 0x22, 0x33};
    QCOMPARE(dc.write(id, u"", m, kept, 3, 0x300), 0);

    unsigned char cell = 0;
    QCOMPARE(dc.reset(id, u"", m, 0x0001u, &cell, 0), 0);
    QVERIFY(dc.deviceExist(id) != 0);  // gone at once
    QTRY_COMPARE_WITH_TIMEOUT(recorder.eventCodes(),
                              (std::vector<std::uint32_t>{kRemoved, kArrived}), kWaitMs);
    QVERIFY(recorder.allOnOtherThreads());
    QCOMPARE(dc.deviceExist(boot), 0);

    // Listed once, as the same device under the boot-loader id.
    std::vector<unsigned char> list(DeviceList::kSize);
    QCOMPARE(enumerate(list.data()), 0);
    QCOMPARE(listedCount(list.data()), 2);
    QStringList ids;
    for (int i = 0; i < 2; ++i) {
        ids << wideField(list.data() + 2 + i * DeviceRecord::kSize, DeviceRecord::kHardwareIdOffset,
                         510);
    }
    QVERIFY(ids.contains(kBootLoaderId));
    QVERIFY(!ids.contains(hardwareId));

    // A boot loader only takes firmware calls, and blocks only after an erase.
    const QByteArray image = randomBytes(size, static_cast<quint32>(size));
    std::vector<unsigned char> block(kDeviceBufferSize);
    QVERIFY(dc.read(boot, u"", m, block.data(), 4, 0) != 0);
    QVERIFY(dc.bornRom(boot, u"", m, block.data(), 16, 0) != 0);
    QCOMPARE(dc.eraseRom(boot, u"", m), 0);

    // Blocks as the client sends them: n / 2000 + 1 of them, the last one possibly empty.
    for (int i = 0; i <= size / kFirmwareBlockSize; ++i) {
        const int offset = i * kFirmwareBlockSize;
        const int length = std::min(kFirmwareBlockSize, size - offset);
        std::fill(block.begin(), block.end(), 0);
        std::memcpy(block.data(), image.constData() + offset, static_cast<std::size_t>(length));
        QCOMPARE(dc.bornRom(boot, u"", m, block.data(), length, offset), 0);
    }
    QVERIFY(dc.bornRom(boot, u"", m, block.data(), kFirmwareBlockSize + 1, 0) != 0);
    QVERIFY(dc.bornRom(boot, u"", m, block.data(), 1, -1) != 0);
    QVERIFY(dc.bornRom(boot, u"", m, block.data(), 2, 65848) != 0);  // past the capacity
    QVERIFY(dc.bornRom(boot, u"", m, nullptr, 1, 0) != 0);

    const std::uint32_t crc = referenceCrc32(image);
    const QJsonObject written =
        deviceState(hardwareId).value(QStringLiteral("firmwareImage")).toObject();
    QCOMPARE(written.value(QStringLiteral("size")).toInt(), size);
    QCOMPARE(written.value(QStringLiteral("crc32")).toString(),
             QStringLiteral("0x%1").arg(crc, 8, 16, QLatin1Char('0')));

    QVERIFY(dc.checkRom(boot, u"", m, static_cast<std::uint32_t>(size), crc ^ 1u) != 0);
    QVERIFY(dc.checkRom(boot, u"", m, static_cast<std::uint32_t>(size - 1), crc) != 0);
    QVERIFY(dc.checkRom(boot, u"", m + 1, static_cast<std::uint32_t>(size), crc) != 0);
    QCOMPARE(dc.checkRom(boot, u"", m, static_cast<std::uint32_t>(size), crc), 0);

    recorder.clear();
    QCOMPARE(dc.finishUpdateRom(boot, u"", m), 0);
    QVERIFY(dc.deviceExist(boot) != 0);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.eventCodes(),
                              (std::vector<std::uint32_t>{kRemoved, kArrived}), kWaitMs);
    QCOMPARE(dc.deviceExist(id), 0);
    QVERIFY(dc.deviceExist(boot) != 0);

    QCOMPARE(enumerate(list.data()), 0);
    for (int i = 0; i < 2; ++i) {
        const unsigned char* record = list.data() + 2 + i * DeviceRecord::kSize;
        if (wideField(record, DeviceRecord::kHardwareIdOffset, 510) == hardwareId) {
            QCOMPARE(field(record, DeviceRecord::kVersionOffset, 17),
                     padded(newVersion.toLatin1(), 17));
        }
    }
    QCOMPARE(deviceState(hardwareId).value(QStringLiteral("Version")).toString(), newVersion);
    // Memory went through the update untouched.
    unsigned char readBack[3] = {};
    QCOMPARE(dc.read(id, u"", m, readBack, 3, 0x300), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(readBack), 3), QByteArray::fromHex("112233"));
}

void DcSimTest::checkValueIsZlibCrc32() {
    enterBootLoader(kKeyboard);
    if (QTest::currentTestFailed()) {
        return;
    }
    const char16_t* boot = kBootLoaderHardwareId;
    QCOMPARE(dc.eraseRom(boot, u"", kDeviceCallMagic), 0);
    unsigned char block[kDeviceBufferSize] = {};
    std::memcpy(block, "123456789", 9);
    QCOMPARE(dc.bornRom(boot, u"", kDeviceCallMagic, block, 9, 0), 0);
    // The standard check value of CRC-32 (zlib's crc32) for "123456789".
    QCOMPARE(dc.checkRom(boot, u"", kDeviceCallMagic, 9, 0xCBF43926u), 0);
}

void DcSimTest::unverifiedImageKeepsTheBootLoader() {
    enterBootLoader(kMouse);
    if (QTest::currentTestFailed()) {
        return;
    }
    const char16_t* boot = kBootLoaderHardwareId;
    unsigned char block[kDeviceBufferSize] = {1, 2, 3};
    QCOMPARE(dc.eraseRom(boot, u"", kDeviceCallMagic), 0);
    QCOMPARE(dc.bornRom(boot, u"", kDeviceCallMagic, block, 3, 0), 0);
    QVERIFY(dc.checkRom(boot, u"", kDeviceCallMagic, 3, 0) != 0);

    QVERIFY(dc.finishUpdateRom(boot, u"", kDeviceCallMagic) != 0);
    QCOMPARE(dc.deviceExist(boot), 0);
    const QJsonObject mouse = deviceState(kMouseId);
    QCOMPARE(mouse.value(QStringLiteral("bootLoader")).toBool(), true);
    QCOMPARE(mouse.value(QStringLiteral("Version")).toString(), QStringLiteral("1.0.0"));
    QVERIFY(recorder.eventCodes().empty());
}

void DcSimTest::updateWithoutEraseKeepsTheOldProgram() {
    enterBootLoader(kMouse);
    if (QTest::currentTestFailed()) {
        return;
    }
    QCOMPARE(dc.finishUpdateRom(kBootLoaderHardwareId, u"", kDeviceCallMagic), 0);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.eventCodes(),
                              (std::vector<std::uint32_t>{kRemoved, kArrived}), kWaitMs);
    QCOMPARE(dc.deviceExist(kMouse), 0);
    QCOMPARE(deviceState(kMouseId).value(QStringLiteral("Version")).toString(),
             QStringLiteral("1.0.0"));
}

void DcSimTest::onlyOneDeviceInBootLoader() {
    enterBootLoader(kKeyboard);
    if (QTest::currentTestFailed()) {
        return;
    }
    unsigned char cell = 0;
    QVERIFY(dc.reset(kMouse, u"", kDeviceCallMagic, 0x0001u, &cell, 0) != 0);
    QCOMPARE(dc.deviceExist(kMouse), 0);
    QCOMPARE(deviceState(kMouseId).value(QStringLiteral("bootLoader")).toBool(), false);
}

// The user folders point into a temporary folder for the whole run.
int main(int argc, char** argv) {
    // Static, so that it is removed only after the library's exit-time state write.
    static QTemporaryDir root;
    if (!root.isValid()) {
        return 1;
    }
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                             "XDG_RUNTIME_DIR", "TMPDIR"}) {
        qputenv(name, QFile::encodeName(root.path()));
    }
    QCoreApplication app(argc, argv);
    DcSimTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dcsim.moc"
