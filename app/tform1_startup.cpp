// Start-up, wiring, the message-pumping wait and the window's own events.
#include "handler_guard.h"
#include "line_format.h"
#include "mqtt_site.h"
#include "port_listing.h"
#include "qt_serial_control.h"
#include "save_file.h"
#include "tform1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QThread>

using namespace orvik;

namespace {

std::unique_ptr<SerialControl> makeRealSerialControl()
{
    return std::make_unique<QtSerialControl>();
}

std::optional<QStringList> listMappedPorts()
{
    QStringList names;
    // Until the next listing, the serial control opens each name's device as listed here.
    for (const PortEntry& port : takePortListing())
        names << port.name;
    return names;
}

} // namespace

TForm1::TForm1(SerialFactory serialFactory, PortEnumerator portEnumerator, QWidget* parent)
    : QWidget(parent)
    , m_serialFactory(serialFactory ? std::move(serialFactory) : SerialFactory(makeRealSerialControl))
    , m_portEnumerator(portEnumerator ? std::move(portEnumerator) : PortEnumerator(listMappedPorts))
{
    setBoxesSuppressed(false);
    setupUi(this);
    wireEvents();
    FormCreate();
    createMqttSite();
}

TForm1::~TForm1()
{
    // The control goes with its owner; a port still open is closed without a word.
    if (MSComm1) {
        MSComm1->setOnComm({});
        try {
            MSComm1->setPortOpen(false);
        } catch (...) {
        }
    }
}

void TForm1::FormCreate()
{
    MSComm1 = m_serialFactory();
    ComboBox2->setItemIndex(0);
    Button1->setText(QStringLiteral("联机"));
    MSComm1->setCommPort(1);
    MSComm1->setSettings(lineSettings(QString::number(kLineRates[kFirstTryRateIndex])));
    MSComm1->setInputLen(0);
    MSComm1->setInBufferSize(1024);
    MSComm1->setOutBufferSize(1024);
    MSComm1->setRThreshold(1);
    MSComm1->setInputMode(InputMode::Binary);
    PortList.clear();
    PageControl1->setActivePageIndex(0);
    DeviceFound = false;
    CurrentSlave = 0;
    Timer2->stop();
    // The end-of-frame silence is 25 ms at every rate: a coarse timer may fire over a millisecond early.
    Timer2->setTimerType(Qt::PreciseTimer);
    // Each start yields at most one firing: a step that fails before it stops the timer cannot leave it ticking.
    Timer2->setSingleShot(true);
    Timer1->stop();
    RxText.clear();
    CreateSlaveControls();
    m_rowLabels = slaveAddressLabels(Panel2);
    watchSensorPanelMenu();
    m_clock.start();
    showAllSlaveStatistics();
    Memo1->clear();
    BitBtn1->hide();
    BitBtn2->hide();
    BitBtn4->hide();
}

void TForm1::CreateSlaveControls()
{
    createSlaveControls(Panel2, LinkBoxes, DistanceEdits);
}

// All event wiring in one place. Every handler runs inside the guard, so a failure becomes the default report.
void TForm1::wireEvents()
{
    auto on = [this](auto* sender, auto signal, void (TForm1::*handler)(QObject*)) {
        connect(sender, signal, this, [this, sender, handler] { guarded([&] { (this->*handler)(sender); }); });
    };
    on(PageControl1, &PageControl::changed, &TForm1::PageControl1Change);
    on(ComboBox1, &ComboBox::dropDown, &TForm1::ComboBox1DropDown);
    on(Button1, &QPushButton::clicked, &TForm1::Button1Click);
    on(BitBtn5, &QPushButton::clicked, &TForm1::BitBtn5Click);
    on(BitBtn6, &QPushButton::clicked, &TForm1::BitBtn6Click);
    on(Button3, &QPushButton::clicked, &TForm1::Button3Click);
    on(Button2, &QPushButton::clicked, &TForm1::Button2Click);
    on(BitBtn1, &QPushButton::clicked, &TForm1::BitBtn1Click);
    on(BitBtn2, &QPushButton::clicked, &TForm1::BitBtn2Click);
    on(BitBtn4, &QPushButton::clicked, &TForm1::BitBtn4Click);
    on(Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
    on(Timer2, &QTimer::timeout, &TForm1::Timer2Timer);
    connect(Memo1, &LogMemo::saveRequested, this, [this] { guarded([&] { saveDebugLog(*Memo1, this); }); });
    for (QLineEdit* edit : { Edit17, Edit1, Edit2 })
        edit->installEventFilter(this);
}

// Waits about ms milliseconds in 100 ms slices, serving receive events, timer ticks and clicks between them.
void TForm1::WaitMs(qint64 ms)
{
    qint64 elapsed = 0;
    while (ms > elapsed) {
        QThread::msleep(100);
        elapsed += 100;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (m_closing) throw HandlerAbandoned {};
    }
}

bool TForm1::event(QEvent* e)
{
    if (e->type() == static_cast<QEvent::Type>(WM_SLAVE_ANSWERED)) {
        WMSlaveAnswered();
        return true;
    }
    return QWidget::event(e);
}

// Routes typed characters of the three numeric fields, and text that an input method commits into them, through
// their key-press filters.
bool TForm1::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::KeyPress) return filterKeyPress(watched, static_cast<QKeyEvent*>(e));
    if (e->type() == QEvent::InputMethod) filterInputMethod(watched, static_cast<QInputMethodEvent*>(e));
    return QWidget::eventFilter(watched, e);
}

namespace {

// The filters take one byte: a character outside ASCII stands for the bytes of a double-byte character, which are
// all above 127.
unsigned char keyByte(QChar c)
{
    return c.unicode() < 128 ? static_cast<unsigned char>(c.unicode()) : 0x80;
}

} // namespace

bool TForm1::filterKeyPress(QObject* field, QKeyEvent* event)
{
    const QString text = event->text();
    // Keys that type no character (arrows, Home, End, Delete) never reach the filters, and Tab belongs to the
    // window's focus movement before it is a character.
    if (text.isEmpty() || event->key() == Qt::Key_Delete || event->key() == Qt::Key_Tab
        || event->key() == Qt::Key_Backtab)
        return false;
    unsigned char key = text.size() == 1 ? keyByte(text.at(0)) : 0x80;
    runKeyFilter(field, key);
    return key == 0;
}

// Committed text goes through the filter character by character; only what the filter lets into the field as a
// digit stays in the commit.
void TForm1::filterInputMethod(QObject* field, QInputMethodEvent* event)
{
    const QString commit = event->commitString();
    if (commit.isEmpty()) return;
    QString kept;
    for (QChar c : commit) {
        unsigned char key = keyByte(c);
        runKeyFilter(field, key);
        if (key >= '0' && key <= '9') kept += c;
    }
    if (kept != commit) event->setCommitString(kept, event->replacementStart(), event->replacementLength());
}

void TForm1::runKeyFilter(QObject* field, unsigned char& Key)
{
    guarded([&] {
        if (field == Edit17)
            Edit17KeyPress(field, Key);
        else if (field == Edit1)
            Edit1KeyPress(field, Key);
        else if (field == Edit2)
            Edit2KeyPress(field, Key);
    });
}

void TForm1::closeEvent(QCloseEvent* e)
{
    // A handler waiting in WaitMs unwinds at its next slice; nothing of it may show a box or touch the line.
    m_closing = true;
    setBoxesSuppressed(true);
    Timer1->stop();
    Timer2->stop();
    if (MSComm1) {
        MSComm1->setOnComm({});
        try {
            MSComm1->setPortOpen(false);
        } catch (...) {
        }
    }
    e->accept();
}

void TForm1::showCentred()
{
    const QRect available = (screen() ? screen() : QGuiApplication::primaryScreen())->availableGeometry();
    const QSize frame = frameGeometry().size();
    move(available.x() + (available.width() - frame.width()) / 2,
        available.y() + (available.height() - frame.height()) / 2);
    show();
}
