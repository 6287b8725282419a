#include "browser/QueryCallback.h"
#include "ui/CommandDispatcher.h"
#include "ui/PageRequest.h"

#include <QtTest>

// The callbacks here have no bridge: an answer reaches no page, but it still ends the query, so
// isActive() tells whether a handler answered.
class DispatcherTest : public QObject {
    Q_OBJECT

private slots:
    void namesMatchExactlyAndCaseSensitively_data();
    void namesMatchExactlyAndCaseSensitively();
    void requiredMembers_data();
    void requiredMembers();
    void handlerGetsTheWholeMapAndTheCallback();
    void duplicateAddKeepsTheFirstHandler();
    void unknownNameIsNotDispatched();

    void parse_data();
    void parse();

private:
    static QueryCallbackPtr unboundCallback(int id = 1) {
        return QueryCallbackPtr::create(nullptr, QStringLiteral("frame"), id, false);
    }
};

void DispatcherTest::namesMatchExactlyAndCaseSensitively_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("runs");

    QTest::newRow("exact") << "getConf" << true;
    QTest::newRow("capital first letter") << "GetConf" << false;
    QTest::newRow("all lower case") << "getconf" << false;
    QTest::newRow("trailing blank") << "getConf " << false;
    QTest::newRow("prefix only") << "get" << false;
    QTest::newRow("empty") << "" << false;
}

void DispatcherTest::namesMatchExactlyAndCaseSensitively() {
    QFETCH(QString, name);
    QFETCH(bool, runs);

    CommandDispatcher dispatcher;
    int getConfRuns = 0;
    int otherRuns = 0;
    QVERIFY(dispatcher.add(QStringLiteral("getConf"), {},
                           [&](const QVariantMap&, const QueryCallbackPtr& reply) {
                               ++getConfRuns;
                               reply->Success(QStringLiteral("ok"));
                           }));
    QVERIFY(dispatcher.add(QStringLiteral("closeApp"), {},
                           [&](const QVariantMap&, const QueryCallbackPtr&) { ++otherRuns; }));

    const QueryCallbackPtr reply = unboundCallback();
    QCOMPARE(dispatcher.dispatch(name, {{QStringLiteral("funcname"), name}}, reply), runs);
    QCOMPARE(getConfRuns, runs ? 1 : 0);
    QCOMPARE(otherRuns, 0);
    QCOMPARE(reply->isActive(), !runs);
}

void DispatcherTest::requiredMembers_data() {
    QTest::addColumn<QVariantMap>("members");
    QTest::addColumn<bool>("runs");

    const QVariantMap both{{QStringLiteral("filePath"), QStringLiteral("/p.xml")},
                           {QStringLiteral("xpath"), QStringLiteral("/root")}};
    QTest::newRow("all present") << both << true;
    QTest::newRow("all present, value empty")
        << QVariantMap{{QStringLiteral("filePath"), QString()},
                       {QStringLiteral("xpath"), QVariant()}}
        << true;
    QTest::newRow("second missing")
        << QVariantMap{{QStringLiteral("filePath"), QStringLiteral("/p.xml")}} << false;
    QTest::newRow("first missing")
        << QVariantMap{{QStringLiteral("xpath"), QStringLiteral("/root")}} << false;
    QTest::newRow("none") << QVariantMap() << false;
    QTest::newRow("other case") << QVariantMap{{QStringLiteral("FilePath"),
                                                QStringLiteral("/p.xml")},
                                               {QStringLiteral("xpath"), QStringLiteral("/root")}}
                                << false;
}

void DispatcherTest::requiredMembers() {
    QFETCH(QVariantMap, members);
    QFETCH(bool, runs);

    CommandDispatcher dispatcher;
    int calls = 0;
    dispatcher.add(QStringLiteral("queryProfile"),
                   {QStringLiteral("filePath"), QStringLiteral("xpath")},
                   [&](const QVariantMap&, const QueryCallbackPtr& reply) {
                       ++calls;
                       reply->Failure(0, QStringLiteral("answered"));
                   });
    const QueryCallbackPtr reply = unboundCallback();
    QCOMPARE(dispatcher.dispatch(QStringLiteral("queryProfile"), members, reply), runs);
    QCOMPARE(calls, runs ? 1 : 0);
    QCOMPARE(reply->isActive(), !runs);
}

void DispatcherTest::handlerGetsTheWholeMapAndTheCallback() {
    CommandDispatcher dispatcher;
    QVariantMap seen;
    QueryCallbackPtr seenReply;
    dispatcher.add(QStringLiteral("modifyProfile"), {QStringLiteral("xpath")},
                   [&](const QVariantMap& members, const QueryCallbackPtr& reply) {
                       seen = members;
                       seenReply = reply;
                   });
    const QVariantMap members{{QStringLiteral("funcname"), QStringLiteral("modifyProfile")},
                              {QStringLiteral("xpath"), QStringLiteral("/a/b")},
                              {QStringLiteral("extra"), 5},
                              {QStringLiteral("nested"), QVariantList{1, QStringLiteral("x")}}};
    const QueryCallbackPtr reply = unboundCallback();
    QVERIFY(dispatcher.dispatch(QStringLiteral("modifyProfile"), members, reply));
    QCOMPARE(seen, members);
    QCOMPARE(seenReply, reply);
    QVERIFY(reply->isActive());  // the handler did not answer, so the query is still open
}

void DispatcherTest::duplicateAddKeepsTheFirstHandler() {
    CommandDispatcher dispatcher;
    QStringList ran;
    QVERIFY(dispatcher.add(QStringLiteral("goback"), {},
                           [&](const QVariantMap&, const QueryCallbackPtr&) { ran << "first"; }));
    QVERIFY(!dispatcher.add(QStringLiteral("goback"), {},
                            [&](const QVariantMap&, const QueryCallbackPtr&) { ran << "second"; }));
    // Nor does the second add's requirement replace the first's.
    QVERIFY(!dispatcher.add(QStringLiteral("goback"), {QStringLiteral("needed")},
                            [&](const QVariantMap&, const QueryCallbackPtr&) { ran << "third"; }));

    QVERIFY(dispatcher.dispatch(QStringLiteral("goback"), {}, unboundCallback()));
    QCOMPARE(ran, QStringList{QStringLiteral("first")});
    QCOMPARE(dispatcher.names(), QStringList{QStringLiteral("goback")});
}

void DispatcherTest::unknownNameIsNotDispatched() {
    CommandDispatcher empty;
    QVERIFY(!empty.dispatch(QStringLiteral("getConf"), {}, unboundCallback()));

    CommandDispatcher dispatcher;
    int calls = 0;
    dispatcher.add(QStringLiteral("getConf"), {},
                   [&](const QVariantMap&, const QueryCallbackPtr&) { ++calls; });
    const QueryCallbackPtr reply = unboundCallback();
    QVERIFY(!dispatcher.dispatch(QStringLiteral("noSuchCommand"), {}, reply));
    QVERIFY(!dispatcher.contains(QStringLiteral("noSuchCommand")));
    QCOMPARE(calls, 0);
    QVERIFY(reply->isActive());
}

void DispatcherTest::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<QString>("funcname");
    QTest::addColumn<QVariantMap>("members");

    QTest::newRow("object") << R"({"funcname":"getConf"})" << true << "getConf"
                            << QVariantMap{{"funcname", "getConf"}};
    QTest::newRow("object with members and blanks")
        << R"( { "funcname" : "queryProfile", "filePath" : "/a b.xml", "xpath":"/root" } )" << true
        << "queryProfile"
        << QVariantMap{{"funcname", "queryProfile"}, {"filePath", "/a b.xml"}, {"xpath", "/root"}};
    QTest::newRow("nested members kept")
        << R"({"funcname":"x","data":{"list":[1,"two",{"three":3}],"on":true}})" << true << "x"
        << QVariantMap{
               {"funcname", "x"},
               {"data", QVariantMap{{"list", QVariantList{1.0, "two", QVariantMap{{"three", 3.0}}}},
                                    {"on", true}}}};
    QTest::newRow("funcname a number")
        << R"({"funcname":12})" << true << "12" << QVariantMap{{"funcname", 12.0}};
    QTest::newRow("funcname a fraction")
        << R"({"funcname":1.5})" << true << "1.5" << QVariantMap{{"funcname", 1.5}};
    QTest::newRow("funcname a boolean")
        << R"({"funcname":true})" << true << "true" << QVariantMap{{"funcname", true}};
    QTest::newRow("non-ASCII text")
        << QStringLiteral("{\"funcname\":\"名前\"}") << true << QStringLiteral("名前")
        << QVariantMap{{"funcname", QStringLiteral("名前")}};

    const QVariantMap none;
    QTest::newRow("invalid JSON") << R"({"funcname":"getConf")" << false << "" << none;
    QTest::newRow("trailing garbage") << R"({"funcname":"getConf"}x)" << false << "" << none;
    QTest::newRow("array") << R"([{"funcname":"getConf"}])" << false << "" << none;
    QTest::newRow("string") << R"("getConf")" << false << "" << none;
    QTest::newRow("number") << "12" << false << "" << none;
    QTest::newRow("empty text") << "" << false << "" << none;
    QTest::newRow("no funcname") << R"({"name":"getConf"})" << false << "" << none;
    QTest::newRow("funcname in other case") << R"({"FuncName":"getConf"})" << false << "" << none;
    QTest::newRow("funcname only nested")
        << R"({"args":{"funcname":"getConf"}})" << false << "" << none;
}

void DispatcherTest::parse() {
    QFETCH(QString, text);
    QFETCH(bool, parses);
    QFETCH(QString, funcname);
    QFETCH(QVariantMap, members);

    const std::optional<PageRequest> request = PageRequest::parse(text);
    QCOMPARE(request.has_value(), parses);
    if (!parses) {
        return;
    }
    QCOMPARE(request->funcname, funcname);
    QCOMPARE(request->members, members);
}

QTEST_GUILESS_MAIN(DispatcherTest)
#include "tst_dispatcher.moc"
