#include "distance_chart.h"

#include "chart_lines.h"
#include "distance_text.h"
#include "handler_guard.h"
#include "save_file.h"
#include "time_ticks.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
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

constexpr qint64 kShortestSpanMs = 1'000;
constexpr double kHoverRadiusPx = 30;
constexpr int kTickSpacingPx = 110;
constexpr int kMarkerSpacingPx = 120;
std::size_t entriesOf(const DistanceSeries* series)
{
    return series ? static_cast<std::size_t>(series->size()) + series->gaps().size() : 0;
}

const QString kKeys = QStringLiteral("+ 和 − 以中心缩放时间轴，← 和 → 平移，Home 显示整个过程并跟随最新数据");

// The rolling windows offered while following live; 0 is the whole run.
struct LiveSpan {
    const char* text;
    qint64 ms;
};
constexpr std::array<LiveSpan, 4> kLiveSpans { {
    { "整个过程", 0 },
    { "最近 10 分钟", 10 * 60'000LL },
    { "最近 1 小时", 3600'000LL },
    { "最近 1 天", 24 * 3600'000LL },
} };

} // namespace

// The time axis in the record's monotonic seconds, labelled with the wall clock time each instant showed.
class WallTimeTicker final : public QCPAxisTicker {
public:
    WallTimeTicker(const DistanceLog& log, const QCPAxis* axis)
        : m_log(log)
        , m_axis(axis)
    {
    }
    void generate(const QCPRange& range, const QLocale&, QChar, int, QVector<double>& ticks, QVector<double>* subTicks,
        QVector<QString>* tickLabels) override
    {
        const auto from = qint64(std::floor(range.lower * 1000));
        const auto to = qint64(std::ceil(range.upper * 1000));
        const qint64 offset = m_log.wallMs((from + to) / 2) - (from + to) / 2;
        const TimeTicks wall
            = timeTicks(from + offset, to + offset, std::max(2, m_axis->axisRect()->width() / kTickSpacingPx));
        ticks.clear();
        for (const qint64 ms : wall.wallMs)
            ticks << double(ms - offset) / 1000;
        if (subTicks) subTicks->clear();
        if (tickLabels) *tickLabels = QVector<QString>(wall.labels.begin(), wall.labels.end());
    }

private:
    const DistanceLog& m_log;
    const QCPAxis* m_axis;
};

// Every shown slave's reduced line, painted in device pixels over the plot's axis rectangle.
class SlaveLines final : public QCPLayerable {
public:
    explicit SlaveLines(DistanceChart& chart)
        : QCPLayerable(chart.m_plot, QStringLiteral("main"))
        , m_chart(chart)
    {
    }

protected:
    QRect clipRect() const override { return m_chart.m_plot->axisRect()->rect(); }
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override { painter->setAntialiasing(true); }
    void draw(QCPPainter* painter) override
    {
        const double ratio = m_chart.m_plot->bufferDevicePixelRatio();
        painter->save();
        painter->setTransform(QTransform::fromScale(1 / ratio, 1 / ratio).translate(0.5, 0.5), true);
        const ChartGeometry geometry = m_chart.geometry();
        for (int i = 0; i < 16; ++i) {
            const auto index = static_cast<std::size_t>(i);
            if (!m_chart.m_shown[index]) continue;
            QPen pen(slaveColour(i), 2);
            pen.setCapStyle(Qt::SquareCap);
            painter->setPen(pen);
            paintReducedLine(*painter, m_chart.m_reduced[index], geometry);
            paintMarkers(*painter, m_chart.m_reduced[index], geometry, slaveMarker(i), int(kMarkerSpacingPx * ratio),
                int(i * 7 * ratio));
        }
        painter->restore();
    }

private:
    DistanceChart& m_chart;
};

DistanceChart::DistanceChart(QWidget* owner, DistanceLog& log)
    : QWidget(owner, Qt::Window)
    , m_log(log)
{
    setObjectName(QStringLiteral("distanceChart"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("距离曲线"));
    m_shown.fill(true);
    buildControls();
    resize(1100, 560);
    m_log.setListener([this] { guarded([&] { logChanged(); }); });
    showLive();
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
    m_plot->setAccessibleDescription(kKeys);
    m_plot->setToolTipDuration(0);
    m_plot->setFocusPolicy(Qt::StrongFocus);
    m_plot->installEventFilter(this);
    m_plot->xAxis->setTicker(QSharedPointer<WallTimeTicker>::create(m_log, m_plot->xAxis));
    m_plot->xAxis->setLabel(QStringLiteral("时间"));
    m_plot->yAxis->setLabel(QStringLiteral("距离（米）"));
    m_lines = new SlaveLines(*this);
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_plot->axisRect()->setRangeDrag(Qt::Horizontal);
    m_plot->axisRect()->setRangeZoom(Qt::Horizontal);
    m_plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] { timeAxisMoved(); });
    // Laid out, not yet drawn: the columns follow the plot's width in device pixels, and a moved time axis its span.
    connect(m_plot, &QCustomPlot::afterLayout, this, [this] {
        guarded([&] {
            if (!m_spanStale && geometry().plot.width() == m_span.columns()) return;
            const QCPRange range = m_plot->xAxis->range();
            reduce(qint64(std::floor(range.lower * 1000)), qint64(std::ceil(range.upper * 1000)));
        });
    });
    connect(m_plot, &QCustomPlot::mouseDoubleClick, this, [this] { guarded([&] { showLive(); }); });
    connect(m_plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { guarded([&] { hover(e); }); });
    connect(m_plot, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& pos) { guarded([&] { contextMenu(pos); }); });

    m_legend = new QListWidget(this);
    m_legend->setObjectName(QStringLiteral("chartLegend"));
    m_legend->setAccessibleName(QStringLiteral("图例"));
    m_legend->setAccessibleDescription(QStringLiteral("空格键显示或隐藏该从站的曲线；曲线图上 ") + kKeys);
    m_legend->setToolTip(QStringLiteral("勾选或取消勾选（空格键）显示或隐藏该从站的曲线"));
    m_legend->setFixedWidth(120);
    connect(m_legend, &QListWidget::itemChanged, this,
        [this](QListWidgetItem* item) { guarded([&] { legendChanged(item); }); });

    m_liveSpan = new QComboBox(this);
    m_liveSpan->setObjectName(QStringLiteral("chartLiveSpan"));
    m_liveSpan->setAccessibleName(QStringLiteral("跟随最新数据时显示"));
    for (const LiveSpan& span : kLiveSpans)
        m_liveSpan->addItem(QString::fromUtf8(span.text));
    connect(m_liveSpan, &QComboBox::currentIndexChanged, this, [this] { guarded([&] { showLive(); }); });
    auto* save = new QPushButton(QStringLiteral("保存图片..."), this);
    save->setObjectName(QStringLiteral("saveChartPicture"));
    save->setToolTip(QStringLiteral("把曲线保存为 PNG 图片"));
    connect(save, &QPushButton::clicked, this, [this] { guarded([&] { savePicture(); }); });
    auto* hint = new QLabel(QStringLiteral("滚轮或 + −缩放，拖动或 ← →平移，双击或 Home 跟随最新数据"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(hint, 1);
    top->addWidget(new QLabel(QStringLiteral("跟随:"), this));
    top->addWidget(m_liveSpan);
    top->addWidget(save);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_plot, 1);
    middle->addWidget(m_legend);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
}

ChartGeometry DistanceChart::geometry() const
{
    const double ratio = m_plot->bufferDevicePixelRatio();
    const QRect rect = m_plot->axisRect()->rect();
    const QRect device(qRound(rect.left() * ratio), qRound(rect.top() * ratio), qRound(rect.width() * ratio),
        qRound(rect.height() * ratio));
    return { device, m_span, m_low, m_high };
}

void DistanceChart::showLive()
{
    m_following = true;
    const qint64 last = m_log.lastMs();
    const qint64 window = kLiveSpans[static_cast<std::size_t>(std::max(0, m_liveSpan->currentIndex()))].ms;
    const qint64 from = window > 0 ? last - window : m_log.firstMs();
    const qint64 span = std::max(last - from, kShortestSpanMs);
    // Room on the right for what comes next (the columns stay put while new distances fill it), and a little on the
    // left so that the first mark is not cut by the axis.
    reduce(from - span / 64, from + span + span / 8);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void DistanceChart::showSpan(qint64 fromMs, qint64 toMs)
{
    m_following = false;
    reduce(fromMs, toMs);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void DistanceChart::reduce(qint64 fromMs, qint64 toMs)
{
    m_spanStale = false;
    m_span = ColumnSpan(fromMs, toMs, std::max(geometry().plot.width(), 1));
    for (int i = 0; i < 16; ++i) {
        const DistanceSeries* series = m_log.series(static_cast<quint8>(i + 1));
        m_reduced[static_cast<std::size_t>(i)] = series ? reduceToColumns(*series, m_span) : ReducedLine {};
        m_entries[static_cast<std::size_t>(i)] = entriesOf(series);
    }
    m_fed = m_log.size();
    m_settingRange = true;
    m_plot->xAxis->setRange(double(m_span.fromMs()) / 1000, double(m_span.toMs()) / 1000);
    m_settingRange = false;
    updateLegend();
    fitValueAxis();
}

void DistanceChart::logChanged()
{
    if (m_log.size() < m_fed || (m_following && m_log.lastMs() >= m_span.toMs())) {
        if (m_following)
            showLive(); // a new connect, or the live end reached the right edge
        else
            showSpan(m_span.fromMs(), m_span.toMs());
        return;
    }
    m_fed = m_log.size();
    // Only the slaves whose line changed in the span are reduced again, and the picture is drawn again only when a
    // line, the value axis or the legend changed: most new distances fall inside their column's extremes.
    bool redraw = updateLegend();
    for (int i = 0; i < 16; ++i) {
        const DistanceSeries* series = m_log.series(static_cast<quint8>(i + 1));
        if (!series || entriesOf(series) == m_entries[static_cast<std::size_t>(i)]) continue;
        m_entries[static_cast<std::size_t>(i)] = entriesOf(series);
        ReducedLine& held = m_reduced[static_cast<std::size_t>(i)];
        const ReducedLine before = held;
        reduceNewSamples(*series, m_span, held);
        redraw = redraw || !samePicture(before, held, geometry());
    }
    redraw = fitValueAxis() || redraw;
    if (redraw) m_plot->replot(QCustomPlot::rpQueuedReplot);
}

// From the lowest to the highest value drawn, with a little room above and below.
bool DistanceChart::fitValueAxis()
{
    qint32 low = std::numeric_limits<qint32>::max();
    qint32 high = std::numeric_limits<qint32>::min();
    for (std::size_t i = 0; i < 16; ++i) {
        if (!m_shown[i]) continue;
        for (const ColumnPoint& point : m_reduced[i].points) {
            low = std::min(low, point.min);
            high = std::max(high, point.max);
        }
    }
    if (low > high) low = 0, high = 10000;
    const qint32 margin = std::max<qint32>((high - low) / 20, 10);
    const qint32 newLow = low - margin;
    const qint32 newHigh = high + margin;
    if (newLow == m_low && newHigh == m_high) return false;
    m_low = newLow;
    m_high = newHigh;
    m_plot->yAxis->setRange(m_low / 10000.0, m_high / 10000.0);
    return true;
}

void DistanceChart::zoom(double factor)
{
    const qint64 centre = (m_span.fromMs() + m_span.toMs()) / 2;
    const auto half = std::max<qint64>(qint64(double(m_span.toMs() - m_span.fromMs()) * factor / 2), 5);
    showSpan(centre - half, centre + half);
}

void DistanceChart::pan(double fraction)
{
    const auto by = qint64(double(m_span.toMs() - m_span.fromMs()) * fraction);
    showSpan(m_span.fromMs() + by, m_span.toMs() + by);
}

bool DistanceChart::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_plot || event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    bool used = true;
    guarded([&] {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            zoom(0.5);
            break;
        case Qt::Key_Minus:
            zoom(2);
            break;
        case Qt::Key_Left:
            pan(-0.25);
            break;
        case Qt::Key_Right:
            pan(0.25);
            break;
        case Qt::Key_Home:
            showLive();
            break;
        default:
            used = false;
        }
    });
    return used;
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
            QPixmap swatch(24, 12);
            swatch.fill(Qt::white);
            {
                QPainter painter(&swatch);
                painter.setPen(QPen(slaveColour(i), 2));
                painter.drawLine(0, 6, 24, 6);
                const SlaveMarker marker = slaveMarker(i);
                if (marker == SlaveMarker::Square) painter.drawRect(8, 2, 8, 8);
                if (marker == SlaveMarker::Cross) painter.drawLine(8, 2, 16, 10), painter.drawLine(8, 10, 16, 2);
            }
            item = new QListWidgetItem(QIcon(swatch), QStringLiteral("从站 %1").arg(i + 1));
            item->setData(Qt::UserRole, i);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(m_shown[static_cast<std::size_t>(i)] ? Qt::Checked : Qt::Unchecked);
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
    bool& shown = m_shown[static_cast<std::size_t>(item->data(Qt::UserRole).toInt())];
    const bool checked = item->checkState() == Qt::Checked;
    if (shown == checked) return;
    shown = checked;
    fitValueAxis();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
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
    const auto at = qint64(m_plot->xAxis->pixelToCoord(px) * 1000);
    int bestSlave = 0;
    qsizetype bestIndex = 0;
    double best = kHoverRadiusPx;
    for (int i = 0; i < 16; ++i) {
        const DistanceSeries* series = m_log.series(static_cast<quint8>(i + 1));
        if (!series || !m_shown[static_cast<std::size_t>(i)]) continue;
        // Outwards in time from the pointer until the horizontal distance alone exceeds the best so far.
        auto consider = [&](qsizetype k) {
            const double dx = std::abs(m_plot->xAxis->coordToPixel(double(series->timeAt(k)) / 1000) - px);
            if (dx > best) return false;
            const double d = std::hypot(dx, m_plot->yAxis->coordToPixel(series->valueAt(k) / 10000.0) - py);
            if (d < best) best = d, bestSlave = i + 1, bestIndex = k;
            return true;
        };
        const qsizetype start = series->lowerBound(at);
        for (qsizetype k = start; k < series->size() && consider(k); ++k) { }
        for (qsizetype k = start; k > 0 && consider(k - 1); --k) { }
    }
    if (bestSlave == 0) {
        QToolTip::hideText();
        return;
    }
    const DistanceSeries& series = *m_log.series(static_cast<quint8>(bestSlave));
    const QString when = QDateTime::fromMSecsSinceEpoch(m_log.wallMs(series.timeAt(bestIndex)))
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    QToolTip::showText(event->globalPosition().toPoint(),
        QStringLiteral("从站 %1\n%2\n%3 米").arg(bestSlave).arg(when, distanceText(series.valueAt(bestIndex))), m_plot);
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
    const int keyWidth = fontMetrics().horizontalAdvance(QStringLiteral("从站 16")) + 48;
    QImage image(plot.width() + keyWidth, plot.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawPixmap(0, 0, plot);
    painter.setFont(font());
    int y = 12;
    for (int row = 0; row < m_legend->count(); ++row) {
        const QListWidgetItem* item = m_legend->item(row);
        if (item->checkState() != Qt::Checked) continue;
        painter.drawPixmap(plot.width() + 8, y + (rowHeight - 12) / 2, item->icon().pixmap(24, 12));
        painter.setPen(Qt::black);
        painter.drawText(QRect(plot.width() + 40, y, keyWidth - 40, rowHeight), Qt::AlignVCenter, item->text());
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
    for (const ReducedLine& line : m_reduced)
        bytes += line.points.capacity() * sizeof(ColumnPoint);
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
