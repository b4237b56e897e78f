// The debug memo's cost of one more line when it already holds 10, 10,000 or 100,000: the window's own Memo1 (word
// wrap at the widget's width, no scroll bars), on the page where it is visible. Each timed append is taken back
// untimed, so the memo keeps its size.
#include "form_probe.h"

#include <QApplication>
#include <QFile>
#include <QTextBlock>
#include <QTextCursor>
#include <benchmark/benchmark.h>

namespace {

const QString kReplyLine = QStringLiteral("03 03 04 00 00 30 39 0D E1 ");

TForm1Probe* g_probe = nullptr; // lives in main, inside the application's lifetime

TForm1Probe& window()
{
    return *g_probe;
}

void fill(QPlainTextEdit* memo, int lines)
{
    QStringList text;
    for (int i = 0; i < lines; ++i)
        text << kReplyLine;
    memo->setPlainText(text.join(QLatin1Char('\n')));
    memo->moveCursor(QTextCursor::End); // appends follow the end, as they do after a run of replies
    QCoreApplication::processEvents();
}

void dropLastLine(QPlainTextEdit* memo)
{
    QTextCursor cursor(memo->document()->lastBlock());
    cursor.select(QTextCursor::BlockUnderCursor); // with the line break before it
    cursor.removeSelectedText();
}

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    return 0;
}

// One line appended: the document grows by a block and lays it out at the memo's width.
void memoAppend(benchmark::State& state)
{
    QPlainTextEdit* memo = window().ui().Memo1;
    const int lines = static_cast<int>(state.range(0));
    const double before = residentMiB();
    fill(memo, lines);
    state.counters["rss_MiB"] = residentMiB();
    state.counters["fill_MiB"] = residentMiB() - before;
    for (auto _ : state) {
        memo->appendPlainText(kReplyLine);
        state.PauseTiming();
        dropLastLine(memo);
        state.ResumeTiming();
    }
    if (memo->blockCount() != lines) state.SkipWithError("the memo did not keep its size");
    memo->clear();
}
BENCHMARK(memoAppend)->Arg(10)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The same with the repaint the event loop does next, as after each reply on the hardware page.
void memoAppendAndPaint(benchmark::State& state)
{
    QPlainTextEdit* memo = window().ui().Memo1;
    const int lines = static_cast<int>(state.range(0));
    fill(memo, lines);
    for (auto _ : state) {
        memo->appendPlainText(kReplyLine);
        memo->viewport()->repaint();
        state.PauseTiming();
        dropLastLine(memo);
        state.ResumeTiming();
    }
    memo->clear();
}
BENCHMARK(memoAppendAndPaint)->Arg(10)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TForm1Probe probe;
    probe.ui().PageControl1->setActivePageIndex(0); // the hardware page, where the memo is visible
    probe.window().show();
    QCoreApplication::processEvents();
    g_probe = &probe;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
