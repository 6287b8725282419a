#include "device/DeviceMembers.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class DeviceMembersTest : public QObject {
    Q_OBJECT

private slots:
    void integer_data();
    void integer();
    void bytes_data();
    void bytes();
    void hexByteList();
};

namespace {
// A member as the dispatcher hands it over: parsed from the page's JSON.
QVariant fromJson(const char* json) {
    return QJsonDocument::fromJson(QByteArray("{\"m\":") + json + "}")
        .object()
        .toVariantMap()
        .value("m");
}
}  // namespace

void DeviceMembersTest::integer_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("value");
    QTest::newRow("number") << QByteArray("12") << 12;
    QTest::newRow("fraction rounds up") << QByteArray("2.5") << 3;
    QTest::newRow("fraction rounds down") << QByteArray("2.4") << 2;
    QTest::newRow("negative") << QByteArray("-7") << -7;
    QTest::newRow("true") << QByteArray("true") << 1;
    QTest::newRow("false") << QByteArray("false") << 0;
    QTest::newRow("decimal string") << QByteArray("\"42\"") << 42;
    QTest::newRow("hex string is no integer") << QByteArray("\"0x10\"") << 0;
    QTest::newRow("text") << QByteArray("\"abc\"") << 0;
    QTest::newRow("null") << QByteArray("null") << 0;
    QTest::newRow("array") << QByteArray("[1]") << 0;
    QTest::newRow("beyond int") << QByteArray("1e20") << 0;
}

void DeviceMembersTest::integer() {
    QFETCH(QByteArray, json);
    QFETCH(int, value);
    QCOMPARE(DeviceMembers::integer(fromJson(json.constData())), value);
}

void DeviceMembersTest::bytes_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("enough");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("low eight bits")
        << QByteArray("\"0x1ff,,7\"") << 3 << true << QByteArray("\xff\x00\x07", 3);
    QTest::newRow("fewer used than given")
        << QByteArray("\"1,2,3\"") << 1 << true << QByteArray("\x01");
    QTest::newRow("too few items") << QByteArray("\"1,2\"") << 3 << false << QByteArray();
    QTest::newRow("empty text is one empty item")
        << QByteArray("\"\"") << 1 << true << QByteArray("\x00", 1);
    QTest::newRow("nothing needed") << QByteArray("\"\"") << 0 << true << QByteArray();
    QTest::newRow("blanks and prefixes")
        << QByteArray("\" 0Xa, 0x0b\"") << 2 << true << QByteArray("\x0a\x0b");
    QTest::newRow("a JSON number reads as hex text")
        << QByteArray("10") << 1 << true << QByteArray("\x10");
    QTest::newRow("negative count") << QByteArray("\"1\"") << -1 << false << QByteArray();
    // Where plain hex digits end and strtol's own rules take over.
    QTest::newRow("prefix alone") << QByteArray("\"0x\"") << 1 << true << QByteArray("\x00", 1);
    QTest::newRow("prefix then no digit")
        << QByteArray("\"0xg\"") << 1 << true << QByteArray("\x00", 1);
    QTest::newRow("minus one") << QByteArray("\"-1\"") << 1 << true << QByteArray("\xff");
    QTest::newRow("plus sign and prefix")
        << QByteArray("\"+0x1f\"") << 1 << true << QByteArray("\x1f");
    QTest::newRow("digits then junk") << QByteArray("\"1fz\"") << 1 << true << QByteArray("\x1f");
    QTest::newRow("fifteen digits")
        << QByteArray("\"00000000000001a\"") << 1 << true << QByteArray("\x1a");
    QTest::newRow("sixteen digits")
        << QByteArray("\"000000000000001b\"") << 1 << true << QByteArray("\x1b");
    QTest::newRow("overflow saturates")
        << QByteArray("\"ffffffffffffffffff\"") << 1 << true << QByteArray("\xff");
    QTest::newRow("negative overflow saturates")
        << QByteArray("\"-ffffffffffffffffff\"") << 1 << true << QByteArray("\x00", 1);
    QTest::newRow("non-ASCII digit")
        << QByteArray("\"\xef\xbc\x91\"") << 1 << true << QByteArray("\x00", 1);
}

void DeviceMembersTest::bytes() {
    QFETCH(QByteArray, json);
    QFETCH(int, count);
    QFETCH(bool, enough);
    QFETCH(QByteArray, bytes);
    const std::optional<QByteArray> result =
        DeviceMembers::bytes(fromJson(json.constData()), count);
    QCOMPARE(result.has_value(), enough);
    if (result) {
        QCOMPARE(*result, bytes);
    }
}

void DeviceMembersTest::hexByteList() {
    const unsigned char bytes[] = {0x0a, 0xff, 0x00};
    QCOMPARE(DeviceMembers::hexByteList(bytes, 3), QStringLiteral("0x0a,0xff,0x00"));
    QCOMPARE(DeviceMembers::hexByteList(bytes, 0), QString());
}

QTEST_GUILESS_MAIN(DeviceMembersTest)
#include "tst_devicemembers.moc"
