// Answers `dump` on a local socket with what the window shows, so end-to-end tests can read it while a person's
// input (real X events) drives it. Read-only by design: a test that could click through the socket would miss
// faults of focus, geometry and input handling.
#include "dump_socket.h"

#include "tform1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QTabBar>
#include <cstdio>

using namespace orvik;

namespace {

QJsonArray globalRect(const QWidget* widget, const QRect& local)
{
    const QPoint topLeft = widget->mapToGlobal(local.topLeft());
    return { topLeft.x(), topLeft.y(), local.width(), local.height() };
}

// The value a control shows, by its kind.
void addValue(QJsonObject& o, const QWidget* w)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
        o["text"] = button->text();
        o["textColor"] = button->palette().color(QPalette::ButtonText).name();
        if (button->isCheckable()) o["checked"] = button->isChecked();
    } else if (const auto* combo = qobject_cast<const ComboBox*>(w)) {
        o["text"] = combo->currentText();
        o["itemIndex"] = combo->itemIndex();
        QJsonArray items;
        for (int i = 0; i < combo->count(); ++i)
            items.append(combo->itemText(i));
        o["items"] = items;
    } else if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
        o["text"] = edit->text();
    } else if (const auto* panel = qobject_cast<const BevelPanel*>(w)) {
        o["text"] = panel->caption();
    } else if (const auto* bar = qobject_cast<const StatusBar*>(w)) {
        o["text"] = bar->panelText(0);
    } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
        o["text"] = label->text();
    } else if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
        o["text"] = group->title();
    } else if (const auto* pages = qobject_cast<const PageControl*>(w)) {
        o["itemIndex"] = pages->activePageIndex();
        QJsonArray tabs;
        const QTabBar* tabBar = pages->tabBar();
        for (int i = 0; i < tabBar->count(); ++i)
            tabs.append(
                QJsonObject { { "text", tabBar->tabText(i) }, { "geometry", globalRect(tabBar, tabBar->tabRect(i)) } });
        o["tabs"] = tabs;
    }
}

QJsonObject describe(const QWidget* w)
{
    QJsonObject o { { "name", w->objectName() }, { "class", QString::fromLatin1(w->metaObject()->className()) },
        { "enabled", w->isEnabled() }, { "visible", w->isVisible() }, { "geometry", globalRect(w, w->rect()) } };
    addValue(o, w);
    return o;
}

// Windows other than the main one (message boxes), so a test can read a box's text before it dismisses it.
QJsonArray otherWindows(const QWidget* main)
{
    QJsonArray windows;
    for (const QWidget* top : QApplication::topLevelWidgets()) {
        if (top == main || !top->isVisible()) continue;
        QJsonObject o = describe(top);
        o["title"] = top->windowTitle();
        if (const auto* box = qobject_cast<const QMessageBox*>(top)) o["text"] = box->text();
        windows.append(o);
    }
    return windows;
}

} // namespace

class InspectionHook : public QObject {
public:
    InspectionHook(TForm1& form, const QString& path)
        : QObject(&form)
        , m_form(form)
    {
        QLocalServer::removeServer(path); // a socket file left by a killed run
        if (!m_server.listen(path))
            std::fprintf(stderr, "OrvikMonitor: inspection socket %s: %s\n", qPrintable(path),
                qPrintable(m_server.errorString()));
        connect(&m_server, &QLocalServer::newConnection, this, &InspectionHook::accept);
    }

private:
    void accept()
    {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    }

    void serve(QLocalSocket* socket)
    {
        while (socket->canReadLine()) {
            const QByteArray command = socket->readLine().trimmed();
            const QJsonObject answer
                = command == "dump" ? dump() : QJsonObject { { "error", QStringLiteral("unknown command") } };
            socket->write(QJsonDocument(answer).toJson(QJsonDocument::Compact) + '\n');
        }
    }

    QJsonObject dump() const
    {
        QJsonArray widgets { describe(&m_form) };
        for (const QWidget* w : m_form.findChildren<QWidget*>()) {
            if (!w->objectName().isEmpty()) widgets.append(describe(w));
        }
        const QString memo = m_form.Memo1->toPlainText();
        const QWidget* focus = QApplication::focusWidget();
        return {
            { "widgets", widgets },
            { "memo", QJsonArray::fromStringList(memo.isEmpty() ? QStringList() : memo.split(u'\n')) },
            { "link",
                QJsonObject { { "DeviceFound", m_form.DeviceFound }, { "CurrentSlave", m_form.CurrentSlave },
                    { "LastRegister", m_form.LastRegister }, { "ReplySeen", m_form.ReplySeen } } },
            { "timer1",
                QJsonObject { { "active", m_form.Timer1->isActive() }, { "interval", m_form.Timer1->interval() } } },
            { "focus", focus ? focus->objectName() : QString() },
            { "windows", otherWindows(&m_form) },
        };
    }

    TForm1& m_form;
    QLocalServer m_server;
};

void installInspectionHook(TForm1& form)
{
    const QString path = qEnvironmentVariable("ORVIK_INSPECT_SOCKET");
    if (!path.isEmpty()) new InspectionHook(form, path);
}
