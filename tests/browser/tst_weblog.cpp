#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>
#include <vector>

#include "browser/WebLog.h"

namespace {

QStringList readLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// "[MMDD/HHMMSS.mmm:SEVERITY:source(line)] text"
const QRegularExpression kRecord(
    QStringLiteral(R"(^\[\d{4}/\d{6}\.\d{3}:([A-Z0-9]+):([^()]+)\((-?\d+)\)\] (.*)$)"));

}  // namespace

class WebLogTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void formatLine_data();
    void formatLine();

    void parseSeverity_data();
    void parseSeverity();

    void admits_data();
    void admits();

    void writesOnlyAdmittedRecords();
    void appendsToAnExistingLog();
    void disabledLogWritesNothing();
    void openFailsForAnUnwritablePath();
    void concurrentWritersKeepWholeLines();
};

void WebLogTest::cleanup() {
    WebLog::close();
}

void WebLogTest::formatLine_data() {
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<int>("severity");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const QDateTime early(QDate(2026, 3, 4), QTime(5, 6, 7, 89));
    const QDateTime late(QDate(2025, 12, 31), QTime(23, 59, 59, 999));
    QTest::newRow("info, zero-padded fields")
        << early << int(WebLog::Info) << "cefapplication" << 42 << "text"
        << "[0304/050607.089:INFO:cefapplication(42)] text\n";
    QTest::newRow("warning") << early << int(WebLog::Warning) << "process_moniter" << 7
                             << "program gone"
                             << "[0304/050607.089:WARNING:process_moniter(7)] program gone\n";
    QTest::newRow("error, last moment of the year")
        << late << int(WebLog::Error) << "updatesystem" << 1200 << "no answer"
        << "[1231/235959.999:ERROR:updatesystem(1200)] no answer\n";
    QTest::newRow("midnight uses 24-hour digits")
        << QDateTime(QDate(2026, 1, 2), QTime(0, 0, 0, 0)) << int(WebLog::Info) << "s" << 0 << ""
        << "[0102/000000.000:INFO:s(0)] \n";
    QTest::newRow("afternoon is not 12-hour")
        << QDateTime(QDate(2026, 7, 8), QTime(13, 14, 15, 160)) << int(WebLog::Info) << "s" << 1
        << "x"
        << "[0708/131415.160:INFO:s(1)] x\n";
    QTest::newRow("text kept as given")
        << early << int(WebLog::Info) << "CONSOLE" << 3 << "\"Grüße %1\", source: file:///a (3)"
        << "[0304/050607.089:INFO:CONSOLE(3)] \"Grüße %1\", source: file:///a (3)\n";
}

void WebLogTest::formatLine() {
    QFETCH(QDateTime, when);
    QFETCH(int, severity);
    QFETCH(QString, source);
    QFETCH(int, line);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(WebLog::formatLine(when, severity, source, line, text), expected);
}

void WebLogTest::parseSeverity_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    const int fallback = 7;  // no severity has this value
    QTest::newRow("info") << "info" << int(WebLog::Info);
    QTest::newRow("warning") << "warning" << int(WebLog::Warning);
    QTest::newRow("error") << "error" << int(WebLog::Error);
    QTest::newRow("disable") << "disable" << int(WebLog::Disabled);
    QTest::newRow("verbose") << "verbose" << int(WebLog::Verbose);
    // The engine's own --log-severity switch also takes "fatal".
    QTest::newRow("fatal") << "fatal" << int(WebLog::Fatal);
    QTest::newRow("upper case") << "WARNING" << int(WebLog::Warning);
    QTest::newRow("surrounding blanks") << "  error " << int(WebLog::Error);
    QTest::newRow("number") << "2" << 2;
    QTest::newRow("negative number") << "-1" << -1;
    QTest::newRow("empty") << "" << fallback;
    QTest::newRow("unknown word") << "loud" << fallback;
    QTest::newRow("number with trailing text") << "1x" << fallback;
    QTest::newRow("prefix of a name") << "warn" << fallback;
}

void WebLogTest::parseSeverity() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(WebLog::parseSeverity(text, 7), expected);
}

void WebLogTest::admits_data() {
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("severity");
    QTest::addColumn<bool>("expected");

    QTest::newRow("default level takes info") << 0 << int(WebLog::Info) << true;
    QTest::newRow("default level takes errors") << 0 << int(WebLog::Error) << true;
    QTest::newRow("default level drops verbose") << 0 << int(WebLog::Verbose) << false;
    QTest::newRow("verbose level takes verbose") << -1 << int(WebLog::Verbose) << true;
    QTest::newRow("warning level drops info") << 1 << int(WebLog::Info) << false;
    QTest::newRow("warning level takes warnings") << 1 << int(WebLog::Warning) << true;
    QTest::newRow("error level drops warnings") << 2 << int(WebLog::Warning) << false;
    QTest::newRow("fatal level takes fatal") << 3 << int(WebLog::Fatal) << true;
    QTest::newRow("fatal level drops errors") << 3 << int(WebLog::Error) << false;
    QTest::newRow("disabled drops fatal") << int(WebLog::Disabled) << int(WebLog::Fatal) << false;
    QTest::newRow("disabled drops even its own value")
        << int(WebLog::Disabled) << int(WebLog::Disabled) << false;
}

void WebLogTest::admits() {
    QFETCH(int, minimum);
    QFETCH(int, severity);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(WebLog::open(dir.filePath("web.log"), minimum));
    QCOMPARE(WebLog::minSeverity(), minimum);
    QCOMPARE(WebLog::admits(severity), expected);
}

void WebLogTest::writesOnlyAdmittedRecords() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("web.log");
    QVERIFY(WebLog::open(path, WebLog::Warning));
    QCOMPARE(WebLog::path(), path);

    WebLog::write(WebLog::Verbose, "source_a", 1, "verbose record");
    WebLog::write(WebLog::Info, "source_b", 2, "info record");
    WebLog::write(WebLog::Warning, "source_c", 3, "warning record");
    WebLog::write(WebLog::Error, "source_d", 4, "error record");
    WebLog::write(WebLog::Fatal, "source_e", 5, "fatal record");

    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), 3);
    const struct {
        const char* severity;
        const char* source;
        const char* line;
        const char* text;
    } expected[] = {{"WARNING", "source_c", "3", "warning record"},
                    {"ERROR", "source_d", "4", "error record"},
                    {"FATAL", "source_e", "5", "fatal record"}};
    for (int i = 0; i < 3; ++i) {
        const QRegularExpressionMatch match = kRecord.match(lines.at(i));
        QVERIFY2(match.hasMatch(), qPrintable(lines.at(i)));
        QCOMPARE(match.captured(1), QLatin1String(expected[i].severity));
        QCOMPARE(match.captured(2), QLatin1String(expected[i].source));
        QCOMPARE(match.captured(3), QLatin1String(expected[i].line));
        QCOMPARE(match.captured(4), QLatin1String(expected[i].text));
    }

    // Records are on disk as soon as write() returns, with the time of writing.
    const QString stamp = QDateTime::currentDateTime().toString("MMdd");
    QVERIFY2(lines.first().startsWith('[' + stamp + '/'), qPrintable(lines.first()));
}

void WebLogTest::appendsToAnExistingLog() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("web.log");
    {
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        QVERIFY(earlier.write("earlier run\n") > 0);
    }
    QVERIFY(WebLog::open(path, WebLog::Info));
    WebLog::write(WebLog::Info, "cefapplication", 9, "this run");
    WebLog::close();
    WebLog::write(WebLog::Info, "cefapplication", 10, "after close");

    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), QStringLiteral("earlier run"));
    QVERIFY2(lines.at(1).endsWith(":INFO:cefapplication(9)] this run"), qPrintable(lines.at(1)));
    QCOMPARE(WebLog::path(), QString());
}

void WebLogTest::disabledLogWritesNothing() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("web.log");
    QVERIFY(WebLog::open(path, WebLog::parseSeverity("disable", WebLog::Info)));
    WebLog::write(WebLog::Fatal, "s", 1, "fatal");
    WebLog::write(WebLog::Disabled, "s", 2, "as high as it goes");
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(QFileInfo(path).size(), qint64(0));
}

void WebLogTest::openFailsForAnUnwritablePath() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("no-such-folder/web.log");
    QVERIFY(!WebLog::open(path, WebLog::Info));
    QCOMPARE(WebLog::path(), QString());
    WebLog::write(WebLog::Error, "s", 1, "goes nowhere");  // must not crash
    QVERIFY(!QFileInfo::exists(path));
}

void WebLogTest::concurrentWritersKeepWholeLines() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("web.log");
    QVERIFY(WebLog::open(path, WebLog::Info));

    const int writers = 4;
    const int recordsEach = 250;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([w] {
            for (int i = 0; i < recordsEach; ++i)
                WebLog::write(WebLog::Info, QStringLiteral("writer%1").arg(w), i,
                              QStringLiteral("record %1 of writer %2").arg(i).arg(w));
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), writers * recordsEach);
    QVector<int> nextOf(writers, 0);
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = kRecord.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        const int writer = match.captured(2).mid(6).toInt();
        const int index = match.captured(3).toInt();
        QCOMPARE(match.captured(4),
                 QStringLiteral("record %1 of writer %2").arg(index).arg(writer));
        // Each writer's records keep their order.
        QCOMPARE(index, nextOf[writer]);
        ++nextOf[writer];
    }
}

QTEST_GUILESS_MAIN(WebLogTest)
#include "tst_weblog.moc"
