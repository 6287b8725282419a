#include "ProfileCommandHarness.h"

#include "profiles/ExportFile.h"

#include <QtTest>

using Files = QMap<QString, QByteArray>;
using Texts = QMap<QString, QString>;
Q_DECLARE_METATYPE(Files)
Q_DECLARE_METATYPE(Texts)

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\"?>\n");

QString doc(const QString& body) {
    return kDeclaration + body;
}

}  // namespace

class ProfileCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void command_data();
    void command();
    void unreadableProfileIsNeverAnswered_data();
    void unreadableProfileIsNeverAnswered();
    void profileIsReadOncePerPath();
    void exportThenImportGivesEqualChildren();
    void importFailureChangesNothing_data();
    void importFailureChangesNothing();
    void exportToUnwritablePathFails();
    void resetThenSaveWritesTheSourceText();
    void savexmlWithUnwritablePathKeepsEverythingDirty();
    void savexmlWithEmptyCacheIsNotAnswered();
    void fillHexCode_data();
    void fillHexCode();
};

void ProfileCommandsTest::command_data() {
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("request");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<Texts>("cached");  // expected cache texts by file name
    QTest::addColumn<QStringList>("dirty");

    const Files twoB{{"p.xml", "<a><b x=\"1\" y=\"0\"/><b x=\"2\"/></a>"}};
    const QString modify =
        R"J({"funcname":"modifyProfile","filePath":"p.xml","xpath":"%1","attribute":"%2","attributeValue":"%3"})J";

    QTest::newRow("modifyProfile never creates an attribute")
        << twoB << modify.arg("//b", "z", "9") << true << "modifyProfile success!"
        << Texts{{"p.xml", doc("<a>\n\t<b x=\"1\" y=\"0\" />\n\t<b x=\"2\" />\n</a>\n")}}
        << QStringList{"p.xml"};
    QTest::newRow("modifyProfile with two names and two values")
        << twoB << modify.arg("//b", "x;y", "7;8") << true << "modifyProfile success!"
        << Texts{{"p.xml", doc("<a>\n\t<b x=\"7\" y=\"8\" />\n\t<b x=\"7\" />\n</a>\n")}}
        << QStringList{"p.xml"};
    QTest::newRow("modifyProfile drops empty names but keeps empty values")
        << twoB << modify.arg("//b[1]", "x;;y", "7;;8") << true << "modifyProfile success!"
        << Texts{{"p.xml", doc("<a>\n\t<b x=\"7\" y=\"\" />\n\t<b x=\"2\" />\n</a>\n")}}
        << QStringList{"p.xml"};
    QTest::newRow("modifyProfile with fewer values than names")
        << twoB << modify.arg("//b[1]", "x;y", "5") << true << "modifyProfile success!"
        << Texts{{"p.xml", doc("<a>\n\t<b x=\"5\" y=\"0\" />\n\t<b x=\"2\" />\n</a>\n")}}
        << QStringList{"p.xml"};
    QTest::newRow("a leading comment is lost at the first edit")
        << Files{{"p.xml", "<!-- hand made -->\n<a>\n  <b x=\"1\"/>\n</a>\n"}}
        << modify.arg("//b", "x", "2") << true << "modifyProfile success!"
        << Texts{{"p.xml", doc("<a>\n\t<b x=\"2\" />\n</a>\n")}} << QStringList{"p.xml"};
    QTest::newRow("an XPath that does not compile changes nothing")
        << twoB << modify.arg("//b[", "x", "2") << false << "modifyProfile load xml file failed!"
        << Texts{{"p.xml", QString::fromUtf8(twoB["p.xml"])}} << QStringList();
    QTest::newRow("an unparsable profile is not marked")
        << Files{{"p.xml", "<a><b></a>"}} << modify.arg("//b", "x", "2") << false
        << "modifyProfile load xml file failed!" << Texts{{"p.xml", "<a><b></a>"}} << QStringList();

    QTest::newRow("queryProfile of two siblings")
        << twoB << R"J({"funcname":"queryProfile","filePath":"p.xml","xpath":"/a/b"})J" << true
        << "<b x=\"1\" y=\"0\" />\n<b x=\"2\" />\n"
        << Texts{{"p.xml", QString::fromUtf8(twoB["p.xml"])}} << QStringList();
    QTest::newRow("queryProfile of an attribute answers nothing")
        << twoB << R"J({"funcname":"queryProfile","filePath":"p.xml","xpath":"//b/@x"})J" << true
        << "" << Texts() << QStringList();
    QTest::newRow("queryProfile of a sub-tree")
        << Files{{"p.xml", "<a><k n=\"1\"><m>text</m><e/></k></a>"}}
        << R"J({"funcname":"queryProfile","filePath":"p.xml","xpath":"//k"})J" << true
        << "<k n=\"1\">\n\t<m>text</m>\n\t<e />\n</k>\n"
        << Texts() << QStringList();
    QTest::newRow("queryProfile with a broken XPath")
        << twoB << R"J({"funcname":"queryProfile","filePath":"p.xml","xpath":"///"})J" << false
        << "queryProfile load xml file failed!" << Texts() << QStringList();
    QTest::newRow("queryProfile of an XPath that is no node set")
        << twoB << R"J({"funcname":"queryProfile","filePath":"p.xml","xpath":"count(//b)"})J"
        << false << "queryProfile load xml file failed!" << Texts() << QStringList();

    QTest::newRow("nodeCounterProfile ignores indentation")
        << Files{{"p.xml", "<a>\n    <b/>\n    <c/>\n    <d/>\n</a>\n"}}
        << R"J({"funcname":"nodeCounterProfile","filePath":"p.xml","xpath":"/a"})J" << true << "3"
        << Texts() << QStringList();
    QTest::newRow("nodeCounterProfile counts text and CDATA")
        << Files{{"p.xml", "<a>t<b/><![CDATA[c]]></a>"}}
        << R"J({"funcname":"nodeCounterProfile","filePath":"p.xml","xpath":"/a"})J" << true << "3"
        << Texts() << QStringList();
    QTest::newRow("nodeCounterProfile of nothing")
        << twoB << R"J({"funcname":"nodeCounterProfile","filePath":"p.xml","xpath":"//zz"})J"
        << true << "0" << Texts() << QStringList();

    QTest::newRow("queryHexByte with placeholders")
        << Files{{"p.xml", "<a><key code=\"0x01,%,0x03,%\"/></a>"}}
        << R"J({"funcname":"queryHexByte","filePath":"p.xml","xpath":"//key","args":"0xAA,0xBB"})J"
        << true << "0x01,0xAA,0x03,0xBB" << Texts() << QStringList();
    QTest::newRow("queryHexByte without placeholders")
        << Files{{"p.xml", "<a><key code=\"0x01,0x02\"/></a>"}}
        << R"J({"funcname":"queryHexByte","filePath":"p.xml","xpath":"//key","args":"0xAA"})J"
        << true << "0x01,0x02" << Texts() << QStringList();

    QTest::newRow("modifyAddProfile without a node name")
        << Files{{"p.xml", "<a/>"}}
        << R"J({"funcname":"modifyAddProfile","filePath":"p.xml","xpath":"/a","attribute":"k;;j","attributeValue":"v;w"})J"
        << true << "modifyAddProfile success"
        << Texts{{"p.xml", doc("<a>\n\t<:anonymous k=\"v\" j=\"w\" />\n</a>\n")}}
        << QStringList{"p.xml"};
    QTest::newRow("modifyAddProfile with a node name")
        << Files{{"p.xml", "<a><b/></a>"}}
        << R"J({"funcname":"modifyAddProfile","filePath":"p.xml","xpath":"//b","attribute":"k","attributeValue":"v","addNodeName":"n"})J"
        << true << "modifyAddProfile success"
        << Texts{{"p.xml", doc("<a>\n\t<b>\n\t\t<n k=\"v\" />\n\t</b>\n</a>\n")}}
        << QStringList{"p.xml"};

    QTest::newRow("modifyRemoveProfile of nested selections")
        << Files{{"p.xml", "<a><b><c/></b><d/></a>"}}
        << R"J({"funcname":"modifyRemoveProfile","filePath":"p.xml","xpath":"//b | //c | //b/@q"})J"
        << true << "modifyRemoveProfile success" << Texts{{"p.xml", doc("<a>\n\t<d />\n</a>\n")}}
        << QStringList{"p.xml"};

    QTest::newRow("modifyProfileEx replaces the children")
        << Files{{"p.xml", "<a><b><old/></b></a>"}}
        << R"J({"funcname":"modifyProfileEx","filePath":"p.xml","xpath":"//b","subTreeString":"<n1/><n2 v=\"1\"/>"})J"
        << true << "modifyProfileEx success"
        << Texts{{"p.xml", doc("<a>\n\t<b>\n\t\t<n1 />\n\t\t<n2 v=\"1\" />\n\t</b>\n</a>\n")}}
        << QStringList{"p.xml"};
    QTest::newRow("modifyProfileEx of nested selections")
        << Files{{"p.xml", "<a><b><b><old/></b></b></a>"}}
        << R"J({"funcname":"modifyProfileEx","filePath":"p.xml","xpath":"//b","subTreeString":"<n/>"})J"
        << true << "modifyProfileEx success"
        << Texts{{"p.xml", doc("<a>\n\t<b>\n\t\t<n />\n\t</b>\n</a>\n")}} << QStringList{"p.xml"};

    const Files pair{{"s.xml", "<s><k id=\"new\"/></s>"},
                     {"d.xml", "<d><x/><k id=\"old\"/><y/></d>"}};
    QTest::newRow("modifyReplaceProfile puts the copy in the old node's place")
        << pair
        << R"J({"funcname":"modifyReplaceProfile","srcFilePath":"s.xml","desFilePath":"d.xml","srcXpath":"//k","desXpath":"//k"})J"
        << true << "modifyReplaceProfile success"
        << Texts{{"d.xml", doc("<d>\n\t<x />\n\t<k id=\"new\" />\n\t<y />\n</d>\n")},
                 {"s.xml", "<s><k id=\"new\"/></s>"}}
        << QStringList{"d.xml"};
    QTest::newRow("modifyReplaceProfile of a first child")
        << pair
        << R"J({"funcname":"modifyReplaceProfile","srcFilePath":"s.xml","desFilePath":"d.xml","srcXpath":"//k","desXpath":"//x"})J"
        << true << "modifyReplaceProfile success"
        << Texts{{"d.xml", doc("<d>\n\t<k id=\"new\" />\n\t<k id=\"old\" />\n\t<y />\n</d>\n")}}
        << QStringList{"d.xml"};
    QTest::newRow("modifyReplaceProfile without a source node removes the destination")
        << pair
        << R"J({"funcname":"modifyReplaceProfile","srcFilePath":"s.xml","desFilePath":"d.xml","srcXpath":"//none","desXpath":"//y"})J"
        << true << "modifyReplaceProfile success"
        << Texts{{"d.xml", doc("<d>\n\t<x />\n\t<k id=\"old\" />\n</d>\n")}}
        << QStringList{"d.xml"};
}

void ProfileCommandsTest::command() {
    QFETCH(Files, files);
    QFETCH(QString, request);
    QFETCH(bool, ok);
    QFETCH(QString, reply);
    QFETCH(Texts, cached);
    QFETCH(QStringList, dirty);

    ProfileCommandHarness harness;
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        harness.writeFile(it.key(), it.value());
    }
    const ProfileCommandHarness::Reply answer = harness.send(request);
    QVERIFY(answer.answered);
    QCOMPARE(answer.ok, ok);
    QCOMPARE(answer.code, 0);
    QCOMPARE(answer.text, reply);
    for (auto it = cached.constBegin(); it != cached.constEnd(); ++it) {
        QCOMPARE(harness.cache().text(harness.path(it.key())), it.value());
    }
    QStringList expectedDirty;
    for (const QString& name : dirty) {
        expectedDirty.append(harness.path(name));
    }
    QCOMPARE(harness.cache().dirtyPaths(), expectedDirty);
    // Edits stay in memory until saved.
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        QCOMPARE(harness.readFile(it.key()), it.value());
    }
}

void ProfileCommandsTest::unreadableProfileIsNeverAnswered_data() {
    QTest::addColumn<QString>("request");
    QTest::newRow("missing file")
        << R"J({"funcname":"queryProfile","filePath":"absent.xml","xpath":"/a"})J";
    QTest::newRow("missing destination")
        << R"J({"funcname":"modifyReplaceProfile","srcFilePath":"p.xml","desFilePath":"absent.xml","srcXpath":"/a","desXpath":"/a"})J";
    QTest::newRow("missing reset source")
        << R"J({"funcname":"resetProfile","srcFilePath":"absent.xml","desFilePath":"p.xml"})J";
    QTest::newRow("missing member")
        << R"J({"funcname":"modifyProfile","filePath":"p.xml","xpath":"/a","attributeValue":"1"})J";
    QTest::newRow("a directory is no profile")
        << R"J({"funcname":"queryProfile","filePath":".","xpath":"/a"})J";
}

void ProfileCommandsTest::unreadableProfileIsNeverAnswered() {
    QFETCH(QString, request);
    ProfileCommandHarness harness;
    harness.writeFile(QStringLiteral("p.xml"), "<a x=\"1\"/>");
    QVERIFY(!harness.send(request).answered);
    QVERIFY(harness.cache().dirtyPaths().isEmpty());
}

void ProfileCommandsTest::profileIsReadOncePerPath() {
    ProfileCommandHarness harness;
    harness.writeFile(QStringLiteral("p.xml"), "<a v=\"1\"/>");
    const QString query = R"J({"funcname":"queryProfile","filePath":"p.xml","xpath":"/a"})J";
    QCOMPARE(harness.send(query).text, QStringLiteral("<a v=\"1\" />\n"));
    harness.writeFile(QStringLiteral("p.xml"), "<a v=\"2\"/>");
    QCOMPARE(harness.send(query).text, QStringLiteral("<a v=\"1\" />\n"));
    // Another spelling of the same file is another entry.
    QCOMPARE(
        harness.send(R"J({"funcname":"queryProfile","filePath":"./p.xml","xpath":"/a"})J").text,
        QStringLiteral("<a v=\"2\" />\n"));
}

void ProfileCommandsTest::exportThenImportGivesEqualChildren() {
    ProfileCommandHarness harness;
    harness.writeFile(QStringLiteral("p.xml"),
                      "<a><mode n=\"1\"><key code=\"1\"/>text<key code=\"2\"/></mode></a>");
    harness.writeFile(QStringLiteral("q.xml"), "<a><mode n=\"9\"><other/></mode></a>");
    const ProfileCommandHarness::Reply exported = harness.send(
        R"J({"funcname":"saveXmlAs","srcFilePath":"p.xml","desFilePath":"{dir}/out.pfd","xpath":"//mode"})J");
    QCOMPARE(exported.text, QStringLiteral("saveXmlAs success"));
    QVERIFY(harness.cache().dirtyPaths().isEmpty());

    const QByteArray file = harness.readFile(QStringLiteral("out.pfd"));
    QCOMPARE(file.left(4), QByteArray("\x0A\x0B\x0C\x0D", 4));
    const std::optional<QByteArray> inner = ExportFile::decode(file);
    QVERIFY(inner);
    QCOMPARE(*inner, QByteArray("<?xml version=\"1.0\"?>\n<mode n=\"1\">\n\t<key code=\"1\" />"
                                "text<key code=\"2\" />\n</mode>\n"));

    const ProfileCommandHarness::Reply imported = harness.send(
        R"J({"funcname":"modifyReplaceProfileEx","srcFilePath":"{dir}/out.pfd","desFilePath":"q.xml","srcXpath":"x","desXpath":"//mode"})J");
    QCOMPARE(imported.text, QStringLiteral("modifyReplaceProfile success"));
    const QString children =
        harness.send(R"J({"funcname":"queryProfile","filePath":"q.xml","xpath":"//mode/node()"})J")
            .text;
    const QString original =
        harness.send(R"J({"funcname":"queryProfile","filePath":"p.xml","xpath":"//mode/node()"})J")
            .text;
    QCOMPARE(children, original);
    QCOMPARE(harness.cache().dirtyPaths(), QStringList{harness.path(QStringLiteral("q.xml"))});
}

void ProfileCommandsTest::importFailureChangesNothing_data() {
    QTest::addColumn<QByteArray>("file");
    const QByteArray good = ExportFile::encode("<m><k/></m>");
    QTest::newRow("wrong magic") << QByteArray("\x0D\x0C\x0B\x0A", 4) + good.mid(4);
    QTest::newRow("magic only") << good.left(4);
    QTest::newRow("truncated array") << good.left(good.size() - 3);
    QTest::newRow("length beyond the file") << good.left(4) + QByteArray("\x7f\xff\xff\xff", 4);
    QTest::newRow("bad Base64") << ExportFile::encode("x").left(8) + QByteArray("*!*!");
    QTest::newRow("unparsable XML") << ExportFile::encode("<m><k></m>");
    QTest::newRow("empty XML") << ExportFile::encode("");
    QTest::newRow("empty file") << QByteArray();
}

void ProfileCommandsTest::importFailureChangesNothing() {
    QFETCH(QByteArray, file);
    ProfileCommandHarness harness;
    harness.writeFile(QStringLiteral("q.xml"), "<a><mode><other/></mode></a>");
    harness.writeFile(QStringLiteral("in.pfd"), file);
    const ProfileCommandHarness::Reply reply = harness.send(
        R"J({"funcname":"modifyReplaceProfileEx","srcFilePath":"{dir}/in.pfd","desFilePath":"q.xml","srcXpath":"x","desXpath":"//mode"})J");
    QVERIFY(reply.answered);
    QVERIFY(!reply.ok);
    QCOMPARE(reply.code, 0);
    QCOMPARE(reply.text, QStringLiteral("modifyReplaceProfile load xml file failed!"));
    QCOMPARE(harness.cache().text(harness.path(QStringLiteral("q.xml"))),
             QStringLiteral("<a><mode><other/></mode></a>"));
    QVERIFY(harness.cache().dirtyPaths().isEmpty());
}

void ProfileCommandsTest::exportToUnwritablePathFails() {
    ProfileCommandHarness harness;
    harness.writeFile(QStringLiteral("p.xml"), "<a><b/></a>");
    const ProfileCommandHarness::Reply reply = harness.send(
        R"J({"funcname":"saveXmlAs","srcFilePath":"p.xml","desFilePath":"{dir}/no/such/dir/x.pfd","xpath":"//b"})J");
    QVERIFY(reply.answered);
    QVERIFY(!reply.ok);
    QCOMPARE(reply.text, QStringLiteral("saveXmlAs desFilePath is failed!"));
}

void ProfileCommandsTest::resetThenSaveWritesTheSourceText() {
    ProfileCommandHarness harness;
    harness.writeFile(QStringLiteral("default.xml"), "<a>\r\n<b v=\"default\"/>\r\n</a>\r\n");
    harness.writeFile(QStringLiteral("user.xml"), "<a><b v=\"mine\"/></a>");
    QCOMPARE(
        harness
            .send(
                R"J({"funcname":"resetProfile","srcFilePath":"default.xml","desFilePath":"user.xml"})J")
            .text,
        QStringLiteral("resetProfile success"));
    QCOMPARE(harness.send(R"J({"funcname":"savexml"})J").text, QStringLiteral("save xml success"));
    QCOMPARE(harness.readFile(QStringLiteral("user.xml")),
             QByteArray("<a>\n<b v=\"default\"/>\n</a>\n"));
    QVERIFY(harness.cache().dirtyPaths().isEmpty());
}

void ProfileCommandsTest::savexmlWithUnwritablePathKeepsEverythingDirty() {
    ProfileCommandHarness harness;
    harness.writeFile(QStringLiteral("p.xml"), "<a x=\"1\"/>");
    harness.cache().store(harness.path(QStringLiteral("gone/q.xml")), QStringLiteral("<q/>"));
    harness.send(
        R"J({"funcname":"modifyProfile","filePath":"p.xml","xpath":"/a","attribute":"x","attributeValue":"2"})J");
    QVERIFY(!harness.send(R"J({"funcname":"savexml"})J").answered);
    QCOMPARE(harness.cache().dirtyPaths().size(), 2);
    QVERIFY(QDir(harness.dir()).mkdir(QStringLiteral("gone")));
    QCOMPARE(harness.send(R"J({"funcname":"savexml"})J").text, QStringLiteral("save xml success"));
    QCOMPARE(harness.readFile(QStringLiteral("p.xml")),
             QByteArray("<?xml version=\"1.0\"?>\n<a x=\"2\" />\n"));
}

void ProfileCommandsTest::savexmlWithEmptyCacheIsNotAnswered() {
    ProfileCommandHarness harness;
    QVERIFY(!harness.send(R"J({"funcname":"savexml"})J").answered);
}

void ProfileCommandsTest::fillHexCode_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("filled");
    QTest::newRow("second and fourth") << "1,%,3,%"
                                       << "a,b"
                                       << "1,a,3,b";
    QTest::newRow("no placeholder") << "1,2,3,4"
                                    << "a"
                                    << "1,2,3,4";
    QTest::newRow("only the first four fields") << "%,2,3,4,%"
                                                << "a,b"
                                                << "a,2,3,4,%";
    QTest::newRow("fewer arguments than placeholders") << "%,%,%"
                                                       << "a"
                                                       << "a,%,%";
    QTest::newRow("empty arguments are dropped") << "%,%"
                                                 << ",a,,b,"
                                                 << "a,b";
    QTest::newRow("fewer than four fields") << "%"
                                            << "a"
                                            << "a";
    QTest::newRow("empty fields are kept") << "1,,%,,"
                                           << "z"
                                           << "1,,z,,";
    QTest::newRow("placeholder inside a field is text") << "0x%,%"
                                                        << "a"
                                                        << "0x%,a";
}

void ProfileCommandsTest::fillHexCode() {
    QFETCH(QString, code);
    QFETCH(QString, args);
    QFETCH(QString, filled);
    QCOMPARE(ProfileCommands::fillHexCode(code, args), filled);
}

QTEST_GUILESS_MAIN(ProfileCommandsTest)
#include "tst_profilecommands.moc"
