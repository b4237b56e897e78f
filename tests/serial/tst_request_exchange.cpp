// One request and the wait for its answer, over the scripted serial control: when the wait ends and what it credits.
#include "fake_serial_control.h"
#include "request_exchange.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <sys/resource.h>

using namespace orvik;

namespace {

constexpr int kTimeoutMs = 300;
constexpr int kBoundMs = 5000; // generous: the machine is shared

struct Chunk {
    int afterMs; // after the previous chunk (or the request)
    QByteArray bytes;
};
using Script = QList<Chunk>;

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// Slave 3 polled for its distance: 03 03 00 15 00 02 D4 2D; its answer 12345 is 03 03 04 00 00 30 39 0D E1.
const QByteArray kPoll3 = hex("03030015 0002D42D");
const QByteArray kAnswer3 = hex("030304 00003039 0DE1");
// Slave 2's answer 12345, late: 02 03 04 00 00 30 39 0C 30.
const QByteArray kAnswer2 = hex("020304 00003039 0C30");

// Plays the script once the request is written, each chunk after its delay.
void play(FakeSerialControl& port, QObject* context, const Script& script)
{
    port.onWrite = [&port, context, script](const QByteArray&) {
        int at = 0;
        for (const Chunk& chunk : script) {
            at += chunk.afterMs;
            QTimer::singleShot(at, context, [&port, bytes = chunk.bytes] {
                if (bytes.isEmpty())
                    port.deliverEvent(kComEventPortLost);
                else
                    port.deliver(bytes);
            });
        }
    };
}

// CPU time this process has used, user and system.
qint64 cpuMs()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return (qint64 { usage.ru_utime.tv_sec } + usage.ru_stime.tv_sec) * 1000
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

} // namespace

Q_DECLARE_METATYPE(ExchangeEnd)

class TestRequestExchange : public QObject {
    Q_OBJECT
private slots:
    void ends_data();
    void ends();
    void gapBeforeNextRequest();
};

void TestRequestExchange::ends_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<ExchangeEnd>("end");
    QTest::addColumn<int>("distance");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<bool>("beforeTimeout"); // ended by the line, not by the reply timeout
    // clang-format off
    QTest::newRow("answer at once") << Script { { 5, kAnswer3 } } << ExchangeEnd::Answered << 12345 << 0 << true;
    QTest::newRow("answer in pieces") << Script { { 5, kAnswer3.left(4) }, { 2, kAnswer3.mid(4) } }
                                      << ExchangeEnd::Answered << 12345 << 0 << true;
    QTest::newRow("echo run into answer") << Script { { 0, kPoll3 + kAnswer3 } } << ExchangeEnd::Answered << 12345 << 0
                                          << true;
    QTest::newRow("echo, then answer") << Script { { 0, kPoll3 }, { 20, kAnswer3 } } << ExchangeEnd::Answered << 12345
                                       << 1 << true;
    QTest::newRow("echo only") << Script { { 0, kPoll3 } } << ExchangeEnd::EchoOnly << 0 << 1 << false;
    QTest::newRow("late answer of another") << Script { { 5, kAnswer2 } } << ExchangeEnd::Unanswered << 0 << 1 << false;
    QTest::newRow("late answer, then own") << Script { { 5, kAnswer2 }, { 20, kAnswer3 } } << ExchangeEnd::Answered
                                           << 12345 << 1 << true;
    QTest::newRow("damaged, ends at silence") << Script { { 5, hex("030304 00003039 0DE0") } } << ExchangeEnd::Damaged
                                              << 0 << 0 << true;
    QTest::newRow("start of the answer, held to the timeout") << Script { { 5, kAnswer3.left(7) } }
        << ExchangeEnd::Damaged << 0 << 0 << false;
    QTest::newRow("nothing") << Script {} << ExchangeEnd::Unanswered << 0 << 0 << false;
    QTest::newRow("port pulled") << Script { { 5, QByteArray() } } << ExchangeEnd::PortLost << 0 << 0 << true;
    // clang-format on
}

void TestRequestExchange::ends()
{
    QFETCH(Script, script);
    QFETCH(ExchangeEnd, end);
    QFETCH(int, distance);
    QFETCH(int, skipped);
    QFETCH(bool, beforeTimeout);

    FakeSerialControl port;
    port.setPortOpen(true);
    QObject context; // gone before the port: no chunk outlives it
    play(port, &context, script);
    RequestExchange exchange(port, LineSettings {}, kTimeoutMs);
    std::optional<ExchangeResult> result;
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = cpuMs();
    exchange.exchange(distancePoll(3), 9, [&](const ExchangeResult& r) { result = r; });
    QVERIFY(QTest::qWaitFor([&] { return result.has_value(); }, kBoundMs));
    const qint64 elapsed = clock.elapsed();
    // Waiting is sleeping: a timer that keeps firing while bytes are held would spin through the whole wait.
    QVERIFY2(cpuMs() - cpuBefore < 100, qPrintable(QString::number(cpuMs() - cpuBefore)));

    QCOMPARE(port.written(), QList<QByteArray> { kPoll3 });
    QCOMPARE(result->end, end);
    QCOMPARE(result->skippedFrames, skipped);
    if (end == ExchangeEnd::Answered) QCOMPARE(result->meaning.distance, distance);
    // The timeout counts from the request's last byte and adds the answer's wire time: 300 + 8 + 9 characters.
    if (beforeTimeout)
        QVERIFY2(elapsed < kTimeoutMs, qPrintable(QString::number(elapsed)));
    else
        QVERIFY2(elapsed >= kTimeoutMs + 17, qPrintable(QString::number(elapsed)));
}

// At 9600 baud 3.5 characters are 3.65 ms: the next request waits that long after the answer's last byte.
void TestRequestExchange::gapBeforeNextRequest()
{
    FakeSerialControl port;
    port.setPortOpen(true);
    QObject context;
    QElapsedTimer clock;
    QList<qint64> writtenNs;
    port.onWrite = [&](const QByteArray& frame) {
        writtenNs << clock.nsecsElapsed();
        if (frame == kPoll3) QTimer::singleShot(1, &context, [&] { port.deliver(kAnswer3); });
    };
    RequestExchange exchange(port, LineSettings {}, kTimeoutMs);
    int done = 0;
    qint64 answeredNs = 0;
    clock.start();
    exchange.exchange(distancePoll(3), 9, [&](const ExchangeResult&) {
        answeredNs = clock.nsecsElapsed();
        ++done;
        exchange.exchange(distancePoll(4), 9, [&](const ExchangeResult&) { ++done; });
    });
    QVERIFY(QTest::qWaitFor([&] { return writtenNs.size() == 2; }, kBoundMs));
    QVERIFY2(writtenNs[1] - answeredNs >= 3'640'000, qPrintable(QString::number(writtenNs[1] - answeredNs)));
    QCOMPARE(exchange.timing().silenceNs(), 3'645'834);
}

QTEST_GUILESS_MAIN(TestRequestExchange)
#include "tst_request_exchange.moc"
