// Test access to the window's link state, controls and handlers, with the fake serial control plugged in.
#pragma once

#include "error_report.h"
#include "fake_serial_control.h"
#include "handler_guard.h"
#include "tform1.h"
#include "wire_kit.h"

#include <QStringList>
#include <memory>

class TForm1Probe {
public:
    // Builds a window on a fake serial control; message boxes are recorded instead of shown.
    explicit TForm1Probe(QStringList ports = { QStringLiteral("COM3") })
        : m_ports(std::move(ports))
    {
        recordBoxes();
        form = std::make_unique<TForm1>(
            [this] {
                auto fake = std::make_unique<orvik::FakeSerialControl>();
                comm = fake.get();
                return fake;
            },
            [this]() -> std::optional<QStringList> {
                if (m_enumerationFails) return std::nullopt;
                return m_ports;
            });
    }
    // Builds a window on the real serial control and the real port map.
    struct RealLine { };
    explicit TForm1Probe(RealLine)
    {
        recordBoxes();
        form = std::make_unique<TForm1>();
    }

    ~TForm1Probe()
    {
        form.reset();
        orvik::setMessageSink({});
        orvik::setFailureSink({});
    }

    orvik::Ui_TForm1& ui() { return *form; }
    TForm1& window() { return *form; }

    bool& DeviceFound() { return form->DeviceFound; }
    quint8& CurrentSlave() { return form->CurrentSlave; }
    quint8& LastRegister() { return form->LastRegister; }
    bool& ReplySeen() { return form->ReplySeen; }
    QString& RxText() { return form->RxText; }
    qint32& RxCount() { return form->RxCount; }
    std::optional<orvik::RequestFrame>& LastRequest() { return form->m_lastRequest; }
    QStringList& PortList() { return form->PortList; }
    std::array<QCheckBox*, 16>& LinkBoxes() { return form->LinkBoxes; }
    std::array<QLineEdit*, 17>& DistanceEdits() { return form->DistanceEdits; }

    void setPorts(QStringList ports) { m_ports = std::move(ports); }
    void mqttLine(bool up) { form->mqttLine(up); }
    void setEnumerationFails(bool fails) { m_enumerationFails = fails; }

    // Handlers run as the event wiring runs them: inside the guard that turns failures into the report.
    template <class F> void handle(F&& f) { orvik::guarded(std::forward<F>(f)); }
    void Button1Click()
    {
        handle([&] { form->Button1Click(form->Button1); });
    }
    void ComboBox1DropDown()
    {
        handle([&] { form->ComboBox1DropDown(form->ComboBox1); });
    }
    void Timer1Timer()
    {
        handle([&] { form->Timer1Timer(form->Timer1); });
    }
    void Timer2Timer()
    {
        handle([&] { form->Timer2Timer(form->Timer2); });
    }
    void PageControl1Change()
    {
        handle([&] { form->PageControl1Change(form->PageControl1); });
    }
    void BitBtn6Click()
    {
        handle([&] { form->BitBtn6Click(form->BitBtn6); });
    }
    void Button3Click()
    {
        handle([&] { form->Button3Click(form->Button3); });
    }
    void Button2Click()
    {
        handle([&] { form->Button2Click(form->Button2); });
    }
    void BitBtn5Click()
    {
        handle([&] { form->BitBtn5Click(form->BitBtn5); });
    }
    void BitBtn1Click()
    {
        handle([&] { form->BitBtn1Click(form->BitBtn1); });
    }
    void BitBtn2Click()
    {
        handle([&] { form->BitBtn2Click(form->BitBtn2); });
    }
    void BitBtn4Click()
    {
        handle([&] { form->BitBtn4Click(form->BitBtn4); });
    }
    void WaitMs(qint64 ms)
    {
        handle([&] { form->WaitMs(ms); });
    }
    void sendDeviceInfoRead()
    {
        handle([&] { form->RequestDeviceInfo(); });
    }

    // Puts the window straight into the connected state on an open port, as a successful search leaves it.
    void connectDirectly(int baud = 9600, int port = 3)
    {
        form->MSComm1->setCommPort(port);
        form->MSComm1->setSettings(QString::number(baud) + QStringLiteral(",N,8,1"));
        form->MSComm1->setPortOpen(true);
        form->MSComm1->setOnComm(
            [this](orvik::SerialControl* sender) { orvik::guarded([&] { form->MSComm1Comm(sender); }); });
        form->DeviceFound = true;
        form->CurrentSlave = 255;
        form->Button1->setText(QStringLiteral("断开"));
        form->ComboBox2->setEnabled(true);
        form->BitBtn5->setEnabled(true);
    }

    // Leaves the link state as the send step leaves it for this request (wire hex), without writing it.
    void asked(const QString& request)
    {
        const orvik::RequestFrame frame = orvik::test::hexArray<8>(request);
        form->CurrentSlave = frame[0];
        form->LastRegister = frame[3];
        form->m_lastRequest = frame;
    }

    // Delivers bytes as one receive event and closes the frame at once, as 25 ms of silence would.
    void receiveFrame(const QByteArray& bytes)
    {
        comm->deliver(bytes);
        Timer2Timer();
    }

    std::unique_ptr<TForm1> form;
    orvik::FakeSerialControl* comm = nullptr;
    QStringList messages;
    QStringList failures;

private:
    void recordBoxes()
    {
        orvik::setMessageSink([this](const QString& text) { messages << text; });
        orvik::setFailureSink([this](const QString& text) { failures << text; });
    }

    QStringList m_ports;
    bool m_enumerationFails = false;
};

using orvik::test::hexBytes;
using orvik::test::wireHex;
