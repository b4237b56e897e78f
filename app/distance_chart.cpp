#include "distance_chart.h"

#include "distance_text.h"
#include "handler_guard.h"
#include "save_file.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>
#include <qcustomplot.h>

namespace orvik {

namespace {

// Sixteen colours that stay apart from each other on white (Kelly's contrast set, without white and black).
// clang-format off
constexpr std::array<QRgb, 16> kSlaveColours {
    0x0067A5, 0xBE0032, 0x008856, 0xF38400, 0x875692, 0x882D17, 0xE68FAC, 0x2B3D26,
    0xDCB000, 0x848482, 0x6CA6D9, 0x8DB600, 0x604E97, 0xF99379, 0x654522, 0xE25822,
};
// clang-format on
constexpr qint64 kShortestSpanMs = 60'000;
constexpr double kHoverRadiusPx = 30;

QColor slaveColour(int index)
{
    return QColor::fromRgb(kSlaveColours[static_cast<std::size_t>(index)]);
}

} // namespace

DistanceChart::DistanceChart(QWidget* owner, DistanceLog& log)
    : QWidget(owner, Qt::Window)
    , m_log(log)
{
    setObjectName(QStringLiteral("distanceChart"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("距离曲线"));
    buildControls();
    resize(1100, 560);
    m_log.setListener([this] { guarded([&] { logChanged(); }); });
    showWholeRun();
}

DistanceChart::~DistanceChart()
{
    m_log.setListener({});
}

void DistanceChart::buildControls()
{
    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("distancePlot"));
    m_plot->setAccessibleName(QStringLiteral("距离曲线图"));
    m_plot->setToolTipDuration(0);
    m_plot->setFocusPolicy(Qt::StrongFocus);
    m_plot->setNotAntialiasedElements(QCP::aeAll);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeSpec(Qt::LocalTime);
    ticker->setDateTimeFormat(QStringLiteral("MM-dd\nHH:mm:ss"));
    m_plot->xAxis->setTicker(ticker);
    m_plot->xAxis->setLabel(QStringLiteral("时间"));
    m_plot->yAxis->setLabel(QStringLiteral("距离（米）"));
    for (int i = 0; i < 16; ++i) {
        QCPGraph* graph = m_plot->addGraph();
        graph->setName(QStringLiteral("从站 %1").arg(i + 1));
        graph->setPen(QPen(slaveColour(i), 1));
        graph->setAdaptiveSampling(false); // the core has already reduced the line to the plot's columns
    }
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_plot->axisRect()->setRangeDrag(Qt::Horizontal);
    m_plot->axisRect()->setRangeZoom(Qt::Horizontal);
    m_plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] { timeAxisMoved(); });
    // Laid out, not yet drawn: the columns follow the plot's width, and a moved time axis its new span.
    connect(m_plot, &QCustomPlot::afterLayout, this, [this] {
        guarded([&] {
            if (!m_spanStale && m_plot->axisRect()->width() == m_columns) return;
            const QCPRange range = m_plot->xAxis->range();
            rebuild(qint64(std::floor(range.lower * 1000)), qint64(std::ceil(range.upper * 1000)));
        });
    });
    connect(m_plot, &QCustomPlot::mouseDoubleClick, this, [this] { guarded([&] { showWholeRun(); }); });
    connect(m_plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { guarded([&] { hover(e); }); });
    connect(m_plot, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& pos) { guarded([&] { contextMenu(pos); }); });

    m_legend = new QListWidget(this);
    m_legend->setObjectName(QStringLiteral("chartLegend"));
    m_legend->setAccessibleName(QStringLiteral("图例"));
    m_legend->setToolTip(QStringLiteral("勾选或取消勾选（空格键）显示或隐藏该从站的曲线"));
    m_legend->setFixedWidth(110);
    connect(m_legend, &QListWidget::itemChanged, this,
        [this](QListWidgetItem* item) { guarded([&] { legendChanged(item); }); });

    auto* save = new QPushButton(QStringLiteral("保存图片..."), this);
    save->setObjectName(QStringLiteral("saveChartPicture"));
    save->setToolTip(QStringLiteral("把曲线保存为 PNG 图片"));
    connect(save, &QPushButton::clicked, this, [this] { guarded([&] { savePicture(); }); });
    auto* hint = new QLabel(
        QStringLiteral("滚轮缩放时间轴，拖动平移，双击回到整个过程并跟随最新数据；悬停显示最近的测量值"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(hint, 1);
    top->addWidget(save);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_plot, 1);
    middle->addWidget(m_legend);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
}

void DistanceChart::showWholeRun()
{
    m_following = true;
    const auto& samples = m_log.samples();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 from = samples.empty() ? now : samples.front().msecsSinceEpoch;
    const qint64 last = samples.empty() ? now : std::max(now, samples.back().msecsSinceEpoch);
    const qint64 span = std::max(last - from, kShortestSpanMs);
    // Room on the right for what comes next (the columns stay put while new distances fill it), and a little on the
    // left so that the first mark is not cut by the axis.
    rebuild(from - span / 64, from + span + span / 8);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

// One pass over the record; the reducers are kept and fed each new distance as it comes.
void DistanceChart::rebuild(qint64 fromMs, qint64 toMs)
{
    m_spanStale = false;
    m_fromMs = fromMs;
    m_toMs = std::max(toMs, fromMs + 1);
    m_columns = m_plot->axisRect()->width();
    m_reducers = reduceToColumns(m_log, m_fromMs, m_toMs, std::max(m_columns, 1));
    m_fed = m_log.samples().size();
    findEdgeNeighbours();
    for (int i = 0; i < 16; ++i)
        showSlave(i);
    m_settingRange = true;
    m_plot->xAxis->setRange(double(m_fromMs) / 1000, double(m_toMs) / 1000);
    m_settingRange = false;
    updateLegend();
    fitValueAxis();
}

void DistanceChart::logChanged()
{
    const auto& samples = m_log.samples();
    if (samples.size() < m_fed || (m_following && !samples.empty() && samples.back().msecsSinceEpoch >= m_toMs)) {
        if (m_following)
            showWholeRun(); // a new connect, or the live end reached the right edge
        else
            rebuild(m_fromMs, m_toMs);
        m_plot->replot(QCustomPlot::rpQueuedReplot);
        return;
    }
    // Most new distances fall inside the extremes their column already has: the picture stays as it is, and a
    // redraw of every line would cost far more than the poll itself.
    bool redraw = false;
    for (; m_fed < samples.size(); ++m_fed) {
        const DistanceSample& sample = samples[m_fed];
        if (sample.slave < 1 || sample.slave > 16) continue;
        const int index = sample.slave - 1;
        auto& after = m_after[static_cast<std::size_t>(index)];
        if (sample.msecsSinceEpoch >= m_toMs && !after) {
            after = sample;
            showSlave(index);
            redraw = true;
        }
        const LiveEnd before = liveEnd(index);
        m_reducers[static_cast<std::size_t>(index)].add(sample);
        if (liveEnd(index) == before) continue;
        showSlave(index);
        redraw = true;
    }
    const QCPRange values = m_plot->yAxis->range();
    redraw = updateLegend() || redraw;
    fitValueAxis();
    if (m_plot->yAxis->range() != values) {
        for (int i = 0; i < 16; ++i)
            showSlave(i);
        redraw = true;
    }
    if (redraw) m_plot->replot(QCustomPlot::rpQueuedReplot);
}

DistanceChart::LiveEnd DistanceChart::liveEnd(int index) const
{
    const std::vector<ColumnPoint>& points = m_reducers[static_cast<std::size_t>(index)].points();
    if (points.empty()) return {};
    auto row = [this](qint32 v) { return qRound(m_plot->yAxis->coordToPixel(v / 10000.0)); };
    return { points.size(), row(points.back().min), row(points.back().max) };
}

void DistanceChart::findEdgeNeighbours()
{
    constexpr std::ptrdiff_t kLookFurthest = 4096; // a slave silent for longer has no neighbour: its line ends
    m_before.fill(std::nullopt);
    m_after.fill(std::nullopt);
    const auto& samples = m_log.samples();
    auto before = [](qint64 ms) { return [ms](const DistanceSample& s) { return s.msecsSinceEpoch < ms; }; };
    const auto start = std::partition_point(samples.begin(), samples.end(), before(m_fromMs));
    for (auto it = start; it != samples.begin() && start - it < kLookFurthest; --it) {
        const DistanceSample& s = *(it - 1);
        if (s.slave >= 1 && s.slave <= 16 && !m_before[s.slave - 1u]) m_before[s.slave - 1u] = s;
    }
    const auto end = std::partition_point(start, samples.end(), before(m_toMs));
    for (auto it = end; it != samples.end() && it - end < kLookFurthest; ++it) {
        if (it->slave >= 1 && it->slave <= 16 && !m_after[it->slave - 1u]) m_after[it->slave - 1u] = *it;
    }
}

// Each column as a vertical stroke between its extremes, the one nearer its first value first, so that the line
// from the column before joins where it came in; a NaN breaks the line.
void DistanceChart::showSlave(int index)
{
    const ColumnReducer& reducer = m_reducers[static_cast<std::size_t>(index)];
    QVector<QCPGraphData> line;
    line.reserve(static_cast<qsizetype>(reducer.points().size()) * 2 + 2);
    const auto& before = m_before[static_cast<std::size_t>(index)];
    const auto& after = m_after[static_cast<std::size_t>(index)];
    auto outside = [&line](const DistanceSample& s) {
        line.append({ double(s.msecsSinceEpoch) / 1000, s.value / 10000.0 });
    };
    const bool nextJoins = reducer.points().empty() ? after && !after->afterGap : !reducer.points().front().afterGap;
    if (before && nextJoins) outside(*before);
    for (const ColumnPoint& point : reducer.points()) {
        const double x = double(reducer.columnStartMs(point.column) + reducer.columnStartMs(point.column + 1)) / 2000;
        if (point.afterGap) line.append({ x, std::numeric_limits<double>::quiet_NaN() });
        const bool lowFirst = qint64(point.first) - point.min <= qint64(point.max) - point.first;
        line.append({ x, (lowFirst ? point.min : point.max) / 10000.0 });
        if (point.max != point.min) line.append({ x, (lowFirst ? point.max : point.min) / 10000.0 });
    }
    if (after && !after->afterGap) outside(*after);
    QCPGraph* graph = m_plot->graph(index);
    graph->data()->set(line, true);
    // While a line's samples lie far apart (16 px or more on average) each is marked, so a slave with a single
    // answer shows too; closer, the marks would only cover the line, and 3,600 of them (an hour shown) cost 14 ms a
    // redraw.
    const bool sparse = line.size() * 16 < m_columns;
    graph->setScatterStyle(sparse ? QCPScatterStyle(QCPScatterStyle::ssDisc, 4) : QCPScatterStyle());
}

// One entry per slave that has answered since connecting, in address order, ticked until the user hides it.
bool DistanceChart::updateLegend()
{
    const int shown = m_legend->count();
    int row = 0;
    for (int i = 0; i < 16; ++i) {
        if (!m_log.hasAnswered(static_cast<quint8>(i + 1))) continue;
        QListWidgetItem* item = m_legend->item(row);
        if (!item || item->data(Qt::UserRole).toInt() != i) {
            QPixmap swatch(12, 12);
            swatch.fill(slaveColour(i));
            item = new QListWidgetItem(QIcon(swatch), m_plot->graph(i)->name());
            item->setData(Qt::UserRole, i);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(m_plot->graph(i)->visible() ? Qt::Checked : Qt::Unchecked);
            m_legend->insertItem(row, item);
            if (!m_legend->currentItem()) m_legend->setCurrentItem(item);
        }
        ++row;
    }
    while (m_legend->count() > row)
        delete m_legend->takeItem(row);
    return m_legend->count() != shown;
}

void DistanceChart::legendChanged(QListWidgetItem* item)
{
    QCPGraph* graph = m_plot->graph(item->data(Qt::UserRole).toInt());
    const bool shown = item->checkState() == Qt::Checked;
    if (graph->visible() == shown) return;
    graph->setVisible(shown);
    fitValueAxis();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

// Metres from the lowest to the highest value of the lines shown, with a little room above and below.
void DistanceChart::fitValueAxis()
{
    qint32 low = std::numeric_limits<qint32>::max();
    qint32 high = std::numeric_limits<qint32>::min();
    for (int i = 0; i < 16; ++i) {
        if (!m_plot->graph(i)->visible()) continue;
        for (const ColumnPoint& point : m_reducers[static_cast<std::size_t>(i)].points()) {
            low = std::min(low, point.min);
            high = std::max(high, point.max);
        }
    }
    if (low > high) {
        m_plot->yAxis->setRange(0, 1);
        return;
    }
    const double margin = std::max((high - low) / 10000.0 * 0.05, 0.001);
    m_plot->yAxis->setRange(low / 10000.0 - margin, high / 10000.0 + margin);
}

// The wheel or a drag moved the time axis: stop following, and reduce again for the new span before it is drawn.
void DistanceChart::timeAxisMoved()
{
    if (m_settingRange) return;
    m_following = false;
    m_spanStale = true;
}

void DistanceChart::hover(QMouseEvent* event)
{
    const double px = event->position().x();
    const double py = event->position().y();
    const auto& samples = m_log.samples();
    const auto at = qint64(m_plot->xAxis->pixelToCoord(px) * 1000);
    const auto start = std::partition_point(
        samples.begin(), samples.end(), [at](const DistanceSample& s) { return s.msecsSinceEpoch < at; });
    const DistanceSample* nearest = nullptr;
    double best = kHoverRadiusPx;
    // Walk outwards in time from the pointer until the horizontal distance alone exceeds the best so far.
    auto consider = [&](const DistanceSample& s) {
        const double dx = std::abs(m_plot->xAxis->coordToPixel(double(s.msecsSinceEpoch) / 1000) - px);
        if (dx > best) return false;
        if (s.slave >= 1 && s.slave <= 16 && m_plot->graph(s.slave - 1)->visible()) {
            const double d = std::hypot(dx, m_plot->yAxis->coordToPixel(s.value / 10000.0) - py);
            if (d < best) best = d, nearest = &s;
        }
        return true;
    };
    for (auto it = start; it != samples.end() && consider(*it); ++it) { }
    for (auto it = start; it != samples.begin() && consider(*(it - 1)); --it) { }
    if (!nearest) {
        QToolTip::hideText();
        return;
    }
    const QString when
        = QDateTime::fromMSecsSinceEpoch(nearest->msecsSinceEpoch).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    QToolTip::showText(event->globalPosition().toPoint(),
        QStringLiteral("从站 %1\n%2\n%3 米").arg(nearest->slave).arg(when, distanceText(nearest->value)), m_plot);
}

void DistanceChart::contextMenu(const QPoint& pos)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("chartMenu"));
    QAction* save = menu->addAction(QStringLiteral("保存图片..."));
    connect(save, &QAction::triggered, this, [this] { guarded([&] { savePicture(); }); });
    menu->popup(m_plot->mapToGlobal(pos));
}

// The plot as shown, with a key of the lines it draws on its right (the legend's check boxes mean nothing on paper).
QImage DistanceChart::picture() const
{
    const QPixmap plot = m_plot->toPixmap();
    const int rowHeight = fontMetrics().height() + 4;
    const int keyWidth = fontMetrics().horizontalAdvance(QStringLiteral("从站 16")) + 40;
    QImage image(plot.width() + keyWidth, plot.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawPixmap(0, 0, plot);
    painter.setFont(font());
    int y = 12;
    for (int i = 0; i < 16; ++i) {
        if (!m_log.hasAnswered(static_cast<quint8>(i + 1)) || !m_plot->graph(i)->visible()) continue;
        painter.fillRect(plot.width() + 8, y + (rowHeight - 12) / 2, 18, 12, slaveColour(i));
        painter.setPen(Qt::black);
        painter.drawText(
            QRect(plot.width() + 32, y, keyWidth - 32, rowHeight), Qt::AlignVCenter, m_plot->graph(i)->name());
        y += rowHeight;
    }
    return image;
}

void DistanceChart::savePicture()
{
    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("'orvik-chart-'yyyyMMdd-HHmmss'.png'"));
    const QString path = chooseSaveFile(this, QStringLiteral("保存图片"), name, QStringLiteral("PNG (*.png)"));
    if (path.isEmpty()) return;
    const QImage image = picture();
    saveAtomically(path, [&image](QIODevice& file) { return image.save(&file, "PNG"); });
}

std::size_t DistanceChart::heldBytes() const
{
    std::size_t bytes = 0;
    for (int i = 0; i < 16; ++i) {
        bytes += m_reducers[static_cast<std::size_t>(i)].points().capacity() * sizeof(ColumnPoint);
        bytes += static_cast<std::size_t>(m_plot->graph(i)->dataCount()) * sizeof(QCPGraphData);
    }
    return bytes;
}

DistanceChart* showDistanceChart(QWidget* owner, DistanceLog& log)
{
    auto* chart = owner->findChild<DistanceChart*>(QString(), Qt::FindDirectChildrenOnly);
    if (!chart) {
        chart = new DistanceChart(owner, log);
        // Qt on X11 without a window manager puts a new window at 0,0: open it over the middle of the monitor.
        const QSize size = chart->sizeHint().expandedTo(chart->size());
        const QPoint centre = owner->window()->frameGeometry().center();
        chart->move(centre.x() - size.width() / 2, centre.y() - size.height() / 2);
    }
    chart->show();
    chart->raise();
    chart->activateWindow();
    return chart;
}

} // namespace orvik
