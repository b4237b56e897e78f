// The main window: its link state, the serial control and every handler of the monitor.
//
// How a request travels: a handler (connect, a command button, the polling tick) sets CurrentSlave and calls the send
// step, which clears ReplySeen, notes LastRegister and writes the 8-byte frame to MSComm1. Each receive event of
// MSComm1 runs MSComm1Comm, which appends the waiting bytes to RxText as hex and restarts the 25 ms end-of-frame
// timer Timer2. When the line has been quiet for 25 ms, Timer2Timer logs the frame in Memo1 and hands it, with the
// request it answers, to the link core (interpretFrame), which says what it is: an echo of the request, someone
// else's frame, a damaged answer, or device fields, a distance, a baud confirmation. The window applies that to
// its controls (device fields, a slave's distance with the synchronous slave-answered event, or the port reopened
// at a new rate). Handlers that wait use WaitMs, which pumps events in 100 ms slices so that replies are decoded
// while they wait.
#pragma once

#include "distance_log.h"
#include "form1_ui.h"
#include "frame_meaning.h"
#include "request_frame.h"
#include "rx_assembly.h"
#include "sample_time.h"
#include "serial_control.h"
#include "slave_statistics.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class MqttSite;
class QInputMethodEvent;
class QKeyEvent;
namespace orvik {
struct MqttSettings;
}

class TForm1 : public QWidget, private orvik::Ui_TForm1 {
    Q_OBJECT

public:
    using SerialFactory = std::function<std::unique_ptr<orvik::SerialControl>()>;
    using PortEnumerator = std::function<std::optional<QStringList>()>;

    // The slave-answered message, sent synchronously to the window by the distance dispatch.
    static constexpr int WM_SLAVE_ANSWERED = 1125;

    explicit TForm1(SerialFactory serialFactory = {}, PortEnumerator portEnumerator = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Fills ComboBox1 with the current port names, leaving no entry selected.
    void JudgeComm();

    // Centres the window on its screen and shows it (Qt on X11 does not centre a new window by itself).
    void showCentred();

    // Publishes to this MQTT broker for this run, without saving the settings (the command line).
    void useMqttSettings(const orvik::MqttSettings& settings);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    friend class TForm1Probe; // test access to the link state and handlers
    friend class InspectionHook;

    // Start-up.
    void FormCreate();
    void CreateSlaveControls();
    void wireEvents();
    void WaitMs(qint64 ms);

    // Port discovery and connecting.
    void EnumSerialPorts(QStringList& list);
    void ComboBox1DropDown(QObject* Sender);
    void Button1Click(QObject* Sender);
    void connectAttempt();
    void disconnectLink();
    bool openAtRate(int index);
    void RequestDeviceInfo();

    // Request and reply.
    void sendFrame(const orvik::RequestFrame& frame);
    void MSComm1Comm(orvik::SerialControl* Sender);
    void takeWaitingBytes();
    void logFrame(const QString& text);
    void Timer2Timer(QObject* Sender);
    void applyFrame(const orvik::FrameMeaning& meaning);
    void showDeviceInfo(const orvik::DeviceInfo& info);
    void confirmBaudChange();
    void showLinkLost(const QString& why);

    // Polling.
    void PageControl1Change(QObject* Sender);
    void Timer1Timer(QObject* Sender);
    void WMSlaveAnswered();
    void countRequest(const orvik::RequestFrame& frame);
    void countAnswer(const orvik::FrameMeaning& meaning);
    void showSlaveStatistics(quint8 slave);
    void showAllSlaveStatistics();
    qint64 lastByteOutUs(int bytes) const;

    // Export of the shown distances.
    void watchSensorPanelMenu();
    void showSensorPanelMenu(const QPoint& globalPos);
    void exportDistances();
    void showDistanceChart();

    // Publishing to an MQTT broker (app/tform1_mqtt.cpp).
    void createMqttSite();
    void openMqttDialog();
    void mqttDistance(quint8 slave, qint32 value, const orvik::SampleTime& at);
    void mqttSlaveStatus(quint8 slave, bool online);
    void mqttLine(bool up);

    // Device commands.
    void WriteRegister(quint8 reg, quint8 high, quint8 low);
    void BitBtn6Click(QObject* Sender);
    void Button3Click(QObject* Sender);
    void Button2Click(QObject* Sender);
    void BitBtn5Click(QObject* Sender);
    void BitBtn1Click(QObject* Sender);
    void BitBtn2Click(QObject* Sender);
    void BitBtn4Click(QObject* Sender);

    // Numeric entry filters: Key is the typed character as one byte; 0 swallows it.
    void Edit17KeyPress(QObject* Sender, unsigned char& Key);
    void Edit1KeyPress(QObject* Sender, unsigned char& Key);
    void Edit2KeyPress(QObject* Sender, unsigned char& Key);
    void filterDigitKey(unsigned char& Key);
    bool filterKeyPress(QObject* field, QKeyEvent* event);
    void filterInputMethod(QObject* field, QInputMethodEvent* event);
    void runKeyFilter(QObject* field, unsigned char& Key);

    // Link state.
    bool DeviceFound = false;
    quint8 CurrentSlave = 0;
    quint8 LastRegister = 0;
    bool ReplySeen = false;
    QString RxText;
    qint32 RxCount = 0;

    std::unique_ptr<orvik::SerialControl> MSComm1;
    QStringList PortList;
    std::array<QCheckBox*, 16> LinkBoxes {};
    std::array<QLineEdit*, 17> DistanceEdits {};

    SerialFactory m_serialFactory;
    PortEnumerator m_portEnumerator;
    bool m_closing = false;
    std::optional<orvik::RequestFrame> m_lastRequest; // the bytes of the last request sent, to know its echo
    orvik::FrameCloser m_frameCloser;
    orvik::SlaveStatistics m_stats; // per-slave counts since the last connect, shown as each row's tooltip
    QElapsedTimer m_clock; // monotonic time of the line's events
    qint64 m_lastByteInUs = 0; // when the frame being received last grew
    std::array<QLabel*, 16> m_rowLabels {};
    orvik::DistanceLog m_distances; // every distance shown since the last connect, for export
    std::unique_ptr<MqttSite> m_mqtt; // publishing what the window shows, off until turned on
};
