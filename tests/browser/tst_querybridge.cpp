#include "browser/QueryBridge.h"

#include <QSignalSpy>
#include <QtTest>
#include <thread>

// The native end of the query channel without a page: what reaches the handler, and which
// answers go back to which frame.
class QueryBridgeTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void requestWrites_data();
    void requestWrites();
    void plainQueryIsAnsweredOnce();
    void persistentQueryAnswersUntilItFails();
    void cancelledOrReleasedQueriesGetNoAnswer_data();
    void cancelledOrReleasedQueriesGetNoAnswer();
    void answerFromAnotherThreadArrivesOnTheBridgeThread();

private:
    std::unique_ptr<QueryBridge> m_bridge;
    QStringList m_requests;
    QList<QueryCallbackPtr> m_callbacks;
};

void QueryBridgeTest::init() {
    m_requests.clear();
    m_callbacks.clear();
    m_bridge = std::make_unique<QueryBridge>(
        [this](const QString& request, const QueryCallbackPtr& callback) {
            m_requests.append(request);
            m_callbacks.append(callback);
        });
}

void QueryBridgeTest::requestWrites_data() {
    QTest::addColumn<QVariantList>("write");
    QTest::addColumn<QStringList>("requests");
    QTest::newRow("request as text")
        << QVariantList{"f", 1, R"({"funcname":"a"})", false} << QStringList{R"({"funcname":"a"})"};
    QTest::newRow("request as its pieces between quotes")
        << QVariantList{"f", 1, QVariantList{"{", "funcname", ":", "a\\\\", "}"}, false}
        << QStringList{R"({"funcname":"a\\"})"};
    QTest::newRow("one piece") << QVariantList{"f", 1, QVariantList{"moveWindow 1,2,3,4"}, false}
                               << QStringList{"moveWindow 1,2,3,4"};
    QTest::newRow("three members") << QVariantList{"f", 1, "x"} << QStringList();
    QTest::newRow("five members") << QVariantList{"f", 1, "x", false, 0} << QStringList();
    QTest::newRow("frame not text") << QVariantList{7, 1, "x", false} << QStringList();
    QTest::newRow("request a number") << QVariantList{"f", 1, 5, false} << QStringList();
    QTest::newRow("a piece not text")
        << QVariantList{"f", 1, QVariantList{"a", 2}, false} << QStringList();
}

void QueryBridgeTest::requestWrites() {
    QFETCH(QVariantList, write);
    QFETCH(QStringList, requests);
    m_bridge->setRequest(write);
    QCOMPARE(m_requests, requests);
    QCOMPARE(m_bridge->pendingCount(), requests.size());
}

void QueryBridgeTest::plainQueryIsAnsweredOnce() {
    QSignalSpy replies(m_bridge.get(), &QueryBridge::reply);
    m_bridge->query("frame", 4, "q", false);
    m_callbacks.first()->Success("one");
    m_callbacks.first()->Success("two");
    m_callbacks.first()->Failure(0, "three");
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies.first(), QVariantList({"frame", 4, true, 0, "one", true}));
    QVERIFY(!m_callbacks.first()->isActive());
    QCOMPARE(m_bridge->pendingCount(), 0);
}

void QueryBridgeTest::persistentQueryAnswersUntilItFails() {
    QSignalSpy replies(m_bridge.get(), &QueryBridge::reply);
    m_bridge->query("frame", 1, "q", true);
    m_callbacks.first()->Success("a");
    m_callbacks.first()->Success("b");
    m_callbacks.first()->Failure(3, "end");
    m_callbacks.first()->Success("late");
    QCOMPARE(replies.size(), 3);
    QCOMPARE(replies.at(1), QVariantList({"frame", 1, true, 0, "b", false}));
    QCOMPARE(replies.at(2), QVariantList({"frame", 1, false, 3, "end", true}));
}

void QueryBridgeTest::cancelledOrReleasedQueriesGetNoAnswer_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("cancelled") << "cancel";
    QTest::newRow("frame released") << "release";
    QTest::newRow("page navigated") << "drop";
}

void QueryBridgeTest::cancelledOrReleasedQueriesGetNoAnswer() {
    QFETCH(QString, how);
    QSignalSpy replies(m_bridge.get(), &QueryBridge::reply);
    m_bridge->query("gone", 1, "q", false);
    m_bridge->query("other", 1, "q", false);
    if (how == "cancel") {
        m_bridge->cancel("gone", 1);
    } else if (how == "release") {
        m_bridge->releaseFrame("gone");
    } else {
        m_bridge->dropAll();
    }
    m_callbacks.at(0)->Success("late");
    QVERIFY(replies.isEmpty());
    QVERIFY(!m_callbacks.at(0)->isActive());
    // The same id in another frame is another query.
    m_callbacks.at(1)->Success("fine");
    QCOMPARE(replies.size(), how == "drop" ? 0 : 1);
}

void QueryBridgeTest::answerFromAnotherThreadArrivesOnTheBridgeThread() {
    QSignalSpy replies(m_bridge.get(), &QueryBridge::reply);
    m_bridge->query("frame", 9, "q", false);
    const QueryCallbackPtr callback = m_callbacks.first();
    Qt::HANDLE replyThread = nullptr;
    connect(
        m_bridge.get(), &QueryBridge::reply, this,
        [&replyThread] { replyThread = QThread::currentThreadId(); }, Qt::DirectConnection);
    std::thread worker([callback] { callback->Success("from a worker"); });
    worker.join();
    QTRY_COMPARE(replies.size(), 1);
    QCOMPARE(replyThread, QThread::currentThreadId());
    QCOMPARE(replies.first().at(4).toString(), QStringLiteral("from a worker"));
}

QTEST_GUILESS_MAIN(QueryBridgeTest)
#include "tst_querybridge.moc"
