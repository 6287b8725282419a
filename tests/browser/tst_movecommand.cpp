#include <QtTest>
#include <optional>

#include "browser/MoveCommand.h"

// A move command as the page writes it: "moveWindow", one separator character, four integers.
class MoveCommandTest : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void matches_data();
    void matches();
};

void MoveCommandTest::parse_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    QTest::newRow("four with commas")
        << QByteArray("moveWindow 10,20,300,400") << true << 10 << 20 << 300 << 400;
    QTest::newRow("blanks instead of commas")
        << QByteArray("moveWindow 10 20 300 400") << true << 10 << 20 << 300 << 400;
    QTest::newRow("comma and blank")
        << QByteArray("moveWindow 1, 2,\t3,\n4") << true << 1 << 2 << 3 << 4;
    QTest::newRow("signs") << QByteArray("moveWindow -10,+20,-300,+400") << true << -10 << 20
                           << -300 << 400;
    QTest::newRow("zeros") << QByteArray("moveWindow 0,0,0,0") << true << 0 << 0 << 0 << 0;
    QTest::newRow("separator other than space")
        << QByteArray("moveWindow:5,6,7,8") << true << 5 << 6 << 7 << 8;
    QTest::newRow("separator is a comma")
        << QByteArray("moveWindow,5,6,7,8") << true << 5 << 6 << 7 << 8;
    // The eleventh character is skipped whatever it is, even a digit.
    QTest::newRow("separator is a digit")
        << QByteArray("moveWindow910,20,300,400") << true << 10 << 20 << 300 << 400;
    QTest::newRow("blanks after the separator")
        << QByteArray("moveWindow    1,2,3,4") << true << 1 << 2 << 3 << 4;
    QTest::newRow("trailing comma after four")
        << QByteArray("moveWindow 1,2,3,4,") << true << 1 << 2 << 3 << 4;
    QTest::newRow("trailing garbage after four")
        << QByteArray("moveWindow 1,2,3,4xyz") << true << 1 << 2 << 3 << 4;
    QTest::newRow("trailing blank and text after four")
        << QByteArray("moveWindow 1,2,3,4 end") << true << 1 << 2 << 3 << 4;

    QTest::newRow("three numbers")
        << QByteArray("moveWindow 10,20,300") << false << 0 << 0 << 0 << 0;
    QTest::newRow("five numbers") << QByteArray("moveWindow 10,20,300,400,500") << false << 0 << 0
                                  << 0 << 0;
    QTest::newRow("five numbers with blanks")
        << QByteArray("moveWindow 1 2 3 4 5") << false << 0 << 0 << 0 << 0;
    QTest::newRow("letter among them")
        << QByteArray("moveWindow 10,2a,300,400") << false << 0 << 0 << 0 << 0;
    QTest::newRow("letter first") << QByteArray("moveWindow a10,20,300,400") << false << 0 << 0 << 0
                                  << 0;
    QTest::newRow("two commas in a row")
        << QByteArray("moveWindow 10,,20,300,400") << false << 0 << 0 << 0 << 0;
    QTest::newRow("decimal point")
        << QByteArray("moveWindow 1.5,2,3,4") << false << 0 << 0 << 0 << 0;
    QTest::newRow("hexadecimal") << QByteArray("moveWindow 0x10,2,3,4") << false << 0 << 0 << 0
                                 << 0;
    QTest::newRow("number too large for int")
        << QByteArray("moveWindow 99999999999,2,3,4") << false << 0 << 0 << 0 << 0;
    QTest::newRow("no separator: first digit is eaten")
        << QByteArray("moveWindow1,2,3,4") << false << 0 << 0 << 0 << 0;
    QTest::newRow("name only, 10 characters")
        << QByteArray("moveWindow") << false << 0 << 0 << 0 << 0;
    QTest::newRow("name and separator, 11 characters")
        << QByteArray("moveWindow ") << false << 0 << 0 << 0 << 0;
    QTest::newRow("fewer than 10 characters") << QByteArray("move") << false << 0 << 0 << 0 << 0;
    QTest::newRow("empty") << QByteArray() << false << 0 << 0 << 0 << 0;
}

void MoveCommandTest::parse() {
    QFETCH(QByteArray, request);
    QFETCH(bool, accepted);
    const std::optional<MoveCommand> command = MoveCommand::parse(request);
    QCOMPARE(command.has_value(), accepted);
    if (!accepted)
        return;
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(int, width);
    QFETCH(int, height);
    QCOMPARE(command->dx, dx);
    QCOMPARE(command->dy, dy);
    QCOMPARE(command->width, width);
    QCOMPARE(command->height, height);
}

void MoveCommandTest::matches_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("expected");

    QTest::newRow("command") << QByteArray("moveWindow 1,2,3,4") << true;
    QTest::newRow("malformed command still is one") << QByteArray("moveWindow 1,2,3") << true;
    QTest::newRow("name alone") << QByteArray("moveWindow") << true;
    QTest::newRow("other case") << QByteArray("movewindow 1,2,3,4") << false;
    QTest::newRow("leading blank") << QByteArray(" moveWindow 1,2,3,4") << false;
    QTest::newRow("json request") << QByteArray(R"({"funcname":"moveWindow"})") << false;
    QTest::newRow("shorter than the name") << QByteArray("moveWindo") << false;
}

void MoveCommandTest::matches() {
    QFETCH(QByteArray, request);
    QFETCH(bool, expected);
    QCOMPARE(MoveCommand::matches(QString::fromUtf8(request)), expected);
}

QTEST_APPLESS_MAIN(MoveCommandTest)
#include "tst_movecommand.moc"
