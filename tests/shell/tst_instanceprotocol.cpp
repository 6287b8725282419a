#include "shell/InstanceProtocol.h"

#include <QtTest>
#include <optional>

class InstanceProtocolTest : public QObject {
    Q_OBJECT

private slots:
    void takeCompletePieces_data();
    void takeCompletePieces();
    void pieceSplitOverTwoReads();
    void commandName_data();
    void commandName();
    void replyCarriesThePid();
    void replyIsUnderstoodByTheReader();
    void completeReply_data();
    void completeReply();
    void replyInTwoPieces();
};

void InstanceProtocolTest::takeCompletePieces_data() {
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QByteArray>("rest");

    QTest::newRow("one command") << QByteArray("CMD:show;") << QStringList{"CMD:show"}
                                 << QByteArray();
    QTest::newRow("two commands in one write")
        << QByteArray("CMD:show;CMD:other;") << QStringList{"CMD:show", "CMD:other"}
        << QByteArray();
    QTest::newRow("trailing text kept")
        << QByteArray("CMD:show;CMD:sh") << QStringList{"CMD:show"} << QByteArray("CMD:sh");
    QTest::newRow("no separator at all")
        << QByteArray("CMD:show") << QStringList() << QByteArray("CMD:show");
    QTest::newRow("empty buffer") << QByteArray() << QStringList() << QByteArray();
    QTest::newRow("only a separator") << QByteArray(";") << QStringList{""} << QByteArray();
    QTest::newRow("empty pieces between separators")
        << QByteArray(";;CMD:show;;") << QStringList{"", "", "CMD:show", ""} << QByteArray();
    QTest::newRow("piece without prefix is still a piece")
        << QByteArray("hello;CMD:show;") << QStringList{"hello", "CMD:show"} << QByteArray();
    QTest::newRow("separator-only rest after pieces")
        << QByteArray("CMD:a;;x") << QStringList{"CMD:a", ""} << QByteArray("x");
}

void InstanceProtocolTest::takeCompletePieces() {
    QFETCH(QByteArray, buffer);
    QFETCH(QStringList, pieces);
    QFETCH(QByteArray, rest);

    QCOMPARE(InstanceProtocol::takeCompletePieces(&buffer), pieces);
    QCOMPARE(buffer, rest);
}

void InstanceProtocolTest::pieceSplitOverTwoReads() {
    QByteArray buffer("CMD:sh");
    QVERIFY(InstanceProtocol::takeCompletePieces(&buffer).isEmpty());
    QCOMPARE(buffer, QByteArray("CMD:sh"));

    buffer.append("ow;CMD:x");
    QCOMPARE(InstanceProtocol::takeCompletePieces(&buffer), QStringList{"CMD:show"});
    QCOMPARE(buffer, QByteArray("CMD:x"));

    buffer.append(";");
    QCOMPARE(InstanceProtocol::takeCompletePieces(&buffer), QStringList{"CMD:x"});
    QVERIFY(buffer.isEmpty());
}

void InstanceProtocolTest::commandName_data() {
    QTest::addColumn<QString>("piece");
    QTest::addColumn<bool>("isCommand");
    QTest::addColumn<QString>("name");

    QTest::newRow("show") << "CMD:show" << true << "show";
    QTest::newRow("any other name") << "CMD:other" << true << "other";
    QTest::newRow("empty name") << "CMD:" << true << "";
    QTest::newRow("name keeps its case and blanks") << "CMD: Show " << true << " Show ";
    QTest::newRow("no prefix") << "show" << false << "";
    QTest::newRow("empty piece") << "" << false << "";
    QTest::newRow("lower-case prefix") << "cmd:show" << false << "";
    QTest::newRow("prefix not at the start") << " CMD:show" << false << "";
    QTest::newRow("prefix without colon") << "CMDshow" << false << "";
}

void InstanceProtocolTest::commandName() {
    QFETCH(QString, piece);
    QFETCH(bool, isCommand);
    QFETCH(QString, name);

    const std::optional<QString> result = InstanceProtocol::commandName(piece);
    QCOMPARE(result.has_value(), isCommand);
    if (isCommand) {
        QCOMPARE(*result, name);
    }
}

void InstanceProtocolTest::replyCarriesThePid() {
    QCOMPARE(InstanceProtocol::reply(1234), QByteArray("RES:1234;"));
    QCOMPARE(InstanceProtocol::reply(0), QByteArray("RES:0;"));
    QCOMPARE(InstanceProtocol::reply(4194304), QByteArray("RES:4194304;"));
    QCOMPARE(InstanceProtocol::showCommand(), QByteArray("CMD:show;"));
}

void InstanceProtocolTest::replyIsUnderstoodByTheReader() {
    const qint64 pid = QCoreApplication::applicationPid();
    const QString text = QString::fromUtf8(InstanceProtocol::reply(pid));
    QVERIFY(InstanceProtocol::isCompleteReply(text));
    QCOMPARE(InstanceProtocol::replyPid(text), quint64(pid));
}

void InstanceProtocolTest::completeReply_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<quint64>("pid");

    QTest::newRow("plain") << "RES:1234;" << true << quint64(1234);
    QTest::newRow("zero") << "RES:0;" << true << quint64(0);
    QTest::newRow("no digits") << "RES:;" << false << quint64(0);
    QTest::newRow("no separator yet") << "RES:1234" << false << quint64(0);
    QTest::newRow("empty") << "" << false << quint64(0);
    QTest::newRow("lower-case prefix") << "res:1234;" << false << quint64(0);
    // The number is read between a leading "RES:" and the final ";": anything in front of the
    // reply leaves no number to read.
    QTest::newRow("garbage before the reply") << "xyRES:1234;" << true << quint64(0);
    QTest::newRow("not a number") << "RES:12a4;" << false << quint64(0);
    QTest::newRow("text that is not a number, then a reply")
        << "RES:abc;RES:5;" << true << quint64(0);
    QTest::newRow("digits followed by more text") << "RES:12;x;" << true << quint64(0);
    QTest::newRow("largest 64-bit number")
        << "RES:18446744073709551615;" << true << quint64(18446744073709551615ULL);
    QTest::newRow("20 digits beyond 64 bits") << "RES:99999999999999999999;" << true << quint64(0);
}

void InstanceProtocolTest::completeReply() {
    QFETCH(QString, text);
    QFETCH(bool, complete);
    QFETCH(quint64, pid);

    QCOMPARE(InstanceProtocol::isCompleteReply(text), complete);
    // The number is only read from a complete reply.
    if (complete) {
        QCOMPARE(InstanceProtocol::replyPid(text), pid);
    }
}

void InstanceProtocolTest::replyInTwoPieces() {
    QString received = QStringLiteral("RES:12");
    QVERIFY(!InstanceProtocol::isCompleteReply(received));
    received += QStringLiteral("34;");
    QVERIFY(InstanceProtocol::isCompleteReply(received));
    QCOMPARE(InstanceProtocol::replyPid(received), quint64(1234));
}

QTEST_GUILESS_MAIN(InstanceProtocolTest)
#include "tst_instanceprotocol.moc"
