// The data page's own menu: the distances shown since the last connect, handed on as CSV.
#include "chart_part.h"
#include "handler_guard.h"
#include "optional_part.h"
#include "save_file.h"
#include "tform1.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QIODevice>
#include <QMenu>
#include <stdexcept>

using namespace orvik;

namespace {

const QString kExportDistances = QStringLiteral("导出距离数据...");
const QString kDistanceChart = QStringLiteral("距离曲线...");
const QString kMqttPublishing = QStringLiteral("MQTT 发布...");

// Hears context-menu requests before any widget's own filters do.
class ContextMenuHook final : public QObject {
public:
    using Handler = std::function<bool(QObject*, QContextMenuEvent*)>;
    ContextMenuHook(QObject* owner, Handler handler)
        : QObject(owner)
        , m_handler(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        return e->type() == QEvent::ContextMenu && m_handler(watched, static_cast<QContextMenuEvent*>(e));
    }

private:
    Handler m_handler;
};

} // namespace

// The sensor panel and everything on it are display-only, and their own filter swallows the context menu: the
// request is heard at the application, before that filter, and the window offers its own menu instead.
void TForm1::watchSensorPanelMenu()
{
    qApp->installEventFilter(new ContextMenuHook(this, [this](QObject* watched, QContextMenuEvent* e) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || (widget != Panel2 && !Panel2->isAncestorOf(widget))) return false;
        showSensorPanelMenu(e->globalPos());
        return true;
    }));
}

void TForm1::showSensorPanelMenu(const QPoint& globalPos)
{
    // A popup, as Qt opens its own context menus: no nested event loop inside the event that asked for it.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("sensorPanelMenu"));
    QAction* mqttAction = menu->addAction(kMqttPublishing);
    connect(mqttAction, &QAction::triggered, this, [this] { guarded([&] { openMqttDialog(); }); });
    connect(
        menu->addAction(kDistanceChart), &QAction::triggered, this, [this] { guarded([&] { showDistanceChart(); }); });
    QAction* exportAction = menu->addAction(kExportDistances);
    connect(exportAction, &QAction::triggered, this, [this] { guarded([&] { exportDistances(); }); });
    menu->popup(globalPos);
}

// The chart is a part of its own, loaded here the first time: a run that never opens it never loads the plotting
// library.
void TForm1::showDistanceChart()
{
    QString error;
    auto* part = optionalPart<ChartPart>(QStringLiteral("orvik-chart"), &error);
    if (!part) throw std::runtime_error(QStringLiteral("距离曲线无法打开：%1").arg(error).toStdString());
    part->showDistanceChart(this, m_distances);
}

void TForm1::exportDistances()
{
    const QString name
        = QDateTime::currentDateTime().toString(QStringLiteral("'orvik-distances-'yyyyMMdd-HHmmss'.csv'"));
    const QString path = chooseSaveFile(this, QStringLiteral("导出距离数据"), name, QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) return;
    const QByteArray csv = m_distances.toCsv();
    saveAtomically(path, [&csv](QIODevice& file) { return file.write(csv) == csv.size(); });
}
