#include "device/DeviceList.h"

#include <QtTest>
#include <cstring>

Q_DECLARE_METATYPE(DeviceSnapshotEntry)

namespace {

// Writes one record the way the device library lays it out.
struct RecordWriter {
    unsigned char* record;

    RecordWriter& narrow(std::size_t offset, const QByteArray& bytes) {
        std::memcpy(record + offset, bytes.constData(), static_cast<std::size_t>(bytes.size()));
        return *this;
    }
    RecordWriter& wide(std::size_t offset, const QString& text) {
        for (int i = 0; i < text.size(); ++i) {
            const char16_t unit = text.at(i).unicode();
            record[offset + 2 * i] = static_cast<unsigned char>(unit & 0xff);
            record[offset + 2 * i + 1] = static_cast<unsigned char>(unit >> 8);
        }
        return *this;
    }
};

using R = DeviceRecord;

}  // namespace

class DeviceListTest : public QObject {
    Q_OBJECT

private slots:
    void layoutMatchesTheLibrary();
    void decodeRecord_data();
    void decodeRecord();
    void countIsClampedToTheSlots_data();
    void countIsClampedToTheSlots();
};

void DeviceListTest::layoutMatchesTheLibrary() {
    QCOMPARE(sizeof(DeviceList), std::size_t(42102));
    QCOMPARE(sizeof(DeviceRecord), std::size_t(2105));
    DeviceList list;
    QCOMPARE(list.record(1) - list.record(0), 2105);
    QCOMPARE(list.record(0) - list.bytes, 2);
}

void DeviceListTest::decodeRecord_data() {
    QTest::addColumn<QByteArray>("deviceId");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("sn");
    QTest::addColumn<QByteArray>("mask");
    QTest::addColumn<QString>("devicePath");
    QTest::addColumn<QString>("hardwareId");
    QTest::addColumn<DeviceSnapshotEntry>("expected");

    QTest::newRow("ordinary")
        << QByteArray("KRV-K1") << QByteArray("1.02") << QByteArray("SN0001") << QByteArray("01")
        << QStringLiteral("\\\\?\\hid#vid_04d9") << QStringLiteral("HID\\Vid_04d9&Pid_a0f1")
        << DeviceSnapshotEntry{
               "KRV-K1", "SN0001", "1.02", "HID\\Vid_04d9&Pid_a0f1", "\\\\?\\hid#vid_04d9", "01"};

    // Every field filled to its end: the text stops at the field, not at the next one.
    const QByteArray id40(40, 'I'), version17(17, 'V'), sn14(14, 'S');
    const QString path255(255, QLatin1Char('p')), hardware255(255, QLatin1Char('h'));
    QTest::newRow("full-width fields")
        << id40 << version17 << sn14 << QByteArray("AB") << path255 << hardware255
        << DeviceSnapshotEntry{QString::fromLatin1(id40),
                               QString::fromLatin1(sn14),
                               QString::fromLatin1(version17),
                               hardware255,
                               path255,
                               "AB"};

    QTest::newRow("embedded zero ends the text")
        << QByteArray("AB\0CD", 5)
        << QByteArray(
               "1\0"
               "2",
               3)
        << QByteArray() << QByteArray("\0x", 2) << QString() << QString()
        << DeviceSnapshotEntry{"AB", "", "1", "", "", ""};

    QTest::newRow("non-ASCII texts")
        << QByteArray("键盘") << QByteArray("v1") << QByteArray("号") << QByteArray("01")
        << QStringLiteral("/dev/hidraw0/设备") << QStringLiteral("HID\\Vid_04d9&Pid_b0d2")
        << DeviceSnapshotEntry{QStringLiteral("键盘"),
                               QStringLiteral("号"),
                               "v1",
                               "HID\\Vid_04d9&Pid_b0d2",
                               QStringLiteral("/dev/hidraw0/设备"),
                               "01"};
}

void DeviceListTest::decodeRecord() {
    QFETCH(QByteArray, deviceId);
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, sn);
    QFETCH(QByteArray, mask);
    QFETCH(QString, devicePath);
    QFETCH(QString, hardwareId);
    QFETCH(DeviceSnapshotEntry, expected);

    DeviceList list;
    // The slot after this one is full of text that must never leak into the decoded fields.
    std::memset(list.mutableRecord(1), 'X', DeviceRecord::kSize);
    std::memset(list.mutableRecord(0) + R::kMaskOffset + R::kMaskSize, 'Y',
                R::kDevicePathOffset - (R::kMaskOffset + R::kMaskSize));
    RecordWriter{list.mutableRecord(0)}
        .narrow(R::kDeviceIdOffset, deviceId)
        .narrow(R::kVersionOffset, version)
        .narrow(R::kSnOffset, sn)
        .narrow(R::kMaskOffset, mask)
        .wide(R::kDevicePathOffset, devicePath)
        .wide(R::kHardwareIdOffset, hardwareId);
    list.setReportedCount(1);

    const QVector<DeviceSnapshotEntry> entries = decodeDeviceList(list);
    QCOMPARE(entries.size(), 1);
    const DeviceSnapshotEntry& entry = entries.first();
    QCOMPARE(entry.deviceId, expected.deviceId);
    QCOMPARE(entry.version, expected.version);
    QCOMPARE(entry.sn, expected.sn);
    QCOMPARE(entry.mask, expected.mask);
    QCOMPARE(entry.devicePath, expected.devicePath);
    QCOMPARE(entry.hardwareId, expected.hardwareId);
}

void DeviceListTest::countIsClampedToTheSlots_data() {
    QTest::addColumn<int>("reported");
    QTest::addColumn<int>("decoded");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("two") << 2 << 2;
    QTest::newRow("all twenty") << 20 << 20;
    QTest::newRow("twenty-one") << 21 << 20;
    QTest::newRow("largest count") << 0xffff << 20;
}

void DeviceListTest::countIsClampedToTheSlots() {
    QFETCH(int, reported);
    QFETCH(int, decoded);
    DeviceList list;
    for (int i = 0; i < DeviceList::kMaxRecords; ++i) {
        RecordWriter{list.mutableRecord(i)}.narrow(R::kDeviceIdOffset,
                                                   "dev" + QByteArray::number(i));
    }
    list.setReportedCount(static_cast<quint16>(reported));
    QCOMPARE(list.reportedCount(), quint16(reported));
    const QVector<DeviceSnapshotEntry> entries = decodeDeviceList(list);
    QCOMPARE(entries.size(), decoded);
    if (decoded > 0) {
        QCOMPARE(entries.last().deviceId, QStringLiteral("dev%1").arg(decoded - 1));
    }
}

QTEST_GUILESS_MAIN(DeviceListTest)
#include "tst_devicelist.moc"
