// The per-frame work of the link core: building a request, assembling a reply as text, decoding it, showing a value.
#include "crc16.h"
#include "distance_text.h"
#include "frame_meaning.h"
#include "port_names.h"
#include "reply_decoder.h"
#include "request_frame.h"
#include "rx_assembly.h"

#include <benchmark/benchmark.h>

using namespace orvik;

namespace {

QByteArray bytesOf(std::initializer_list<quint8> bytes)
{
    QByteArray out;
    for (quint8 b : bytes)
        out.append(static_cast<char>(b));
    return out;
}

void crcOfRequest(benchmark::State& state)
{
    ScratchBuffer scratch {};
    const RequestFrame frame = deviceInfoRead();
    std::copy(frame.begin(), frame.end(), scratch.begin());
    for (auto _ : state) {
        benchmark::DoNotOptimize(scratch);
        benchmark::DoNotOptimize(CalcCrc16(scratch, 0, 5));
    }
}
BENCHMARK(crcOfRequest);

void buildPoll(benchmark::State& state)
{
    quint8 slave = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(distancePoll(slave));
        slave = static_cast<quint8>(slave % 16 + 1);
    }
}
BENCHMARK(buildPoll);

// A 9-byte distance reply appended as hex text, then the text emptied as the end of frame does.
void appendDistanceReply(benchmark::State& state)
{
    const QByteArray reply = bytesOf({ 0x03, 0x03, 0x04, 0x00, 0x00, 0x30, 0x39, 0x0D, 0xE1 });
    QString rxText;
    qint32 rxCount = 0;
    for (auto _ : state) {
        appendReceived(rxText, rxCount, static_cast<int>(reply.size()), reply);
        benchmark::DoNotOptimize(rxText.constData());
        rxText.clear();
        rxCount = 0;
    }
}
BENCHMARK(appendDistanceReply);

// Decode, CRC check, answer rules and fields of a 17-byte device-information reply.
void decodeDeviceInfoReply(benchmark::State& state)
{
    const QByteArray reply = bytesOf(
        { 0x01, 0x03, 0x0C, 0x00, 0x02, 0x00, 0x07, 0x00, 0x05, 0x00, 0x01, 0x00, 0x01, 0xE2, 0x40, 0xCE, 0xA8 });
    QString rxText;
    qint32 rxCount = 0;
    appendReceived(rxText, rxCount, static_cast<int>(reply.size()), reply);
    const SentRequest asked { kConfigAddress, kRegisterDeviceInfo, deviceInfoRead() };
    for (auto _ : state) {
        const FrameMeaning meaning = interpretFrame(rxText, rxCount, asked);
        benchmark::DoNotOptimize(meaning);
    }
    if (interpretFrame(rxText, rxCount, asked).kind != FrameKind::DeviceInfo)
        state.SkipWithError("the reply did not decode as device information");
}
BENCHMARK(decodeDeviceInfoReply);

void distanceTextWithPoint(benchmark::State& state)
{
    qint32 value = 123456;
    for (auto _ : state) {
        benchmark::DoNotOptimize(distanceText(value, QLatin1Char('.')));
        value += 7;
    }
}
BENCHMARK(distanceTextWithPoint);

void distanceTextInLocale(benchmark::State& state)
{
    qint32 value = 123456;
    for (auto _ : state) {
        benchmark::DoNotOptimize(distanceText(value));
        value += 7;
    }
}
BENCHMARK(distanceTextInLocale);

void sortEightPortNames(benchmark::State& state)
{
    const QStringList names { "COM8", "COM3", "com1", "COM10", "COM2", "COM12", "COM4", "COM11" };
    for (auto _ : state)
        benchmark::DoNotOptimize(sortPortNames(names));
}
BENCHMARK(sortEightPortNames);

} // namespace

BENCHMARK_MAIN();
