#include "error_report.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace orvik {
namespace {

MessageSink g_failureSink;
MessageSink g_messageSink;
bool g_suppressed = false;
bool g_failureOnScreen = false;

void showFailureBox(const QString& text)
{
    if (g_failureOnScreen) {
        // A failure that repeats on every timer tick (a send on a lost port) must not pile up boxes.
        std::fprintf(stderr, "OrvikMonitor: %s\n", qPrintable(text));
        return;
    }
    g_failureOnScreen = true;
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok);
    box.exec();
    g_failureOnScreen = false;
}

void showMessageBox(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok);
    box.exec();
}

} // namespace

QString withFullStop(const QString& text)
{
    return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
}

void reportFailure(const QString& text)
{
    if (g_suppressed) return;
    const QString shown = withFullStop(text);
    if (g_failureSink)
        g_failureSink(shown);
    else
        showFailureBox(shown);
}

void showMessage(const QString& text)
{
    if (g_suppressed) return;
    if (g_messageSink)
        g_messageSink(text);
    else
        showMessageBox(text);
}

void setFailureSink(MessageSink sink)
{
    g_failureSink = std::move(sink);
}
void setMessageSink(MessageSink sink)
{
    g_messageSink = std::move(sink);
}
void setBoxesSuppressed(bool suppressed)
{
    g_suppressed = suppressed;
}

} // namespace orvik
