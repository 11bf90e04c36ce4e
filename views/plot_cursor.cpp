#include "views/plot_cursor.h"

#include <QLabel>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>

#include "views/plotted_channels.h"

namespace {

constexpr int ClickSlop = 4; // pixels a click may move and still be a click
constexpr int BoxGap = 14;   // between the cursor line and its box

// The last point at or before key, or end.
QCPGraphDataContainer::const_iterator AtOrBefore(const QCPGraph *graph, double key) {
    const auto data = graph->data();
    if (data->isEmpty() || data->constBegin()->key > key)
        return data->constEnd();
    auto it = data->findEnd(key, false); // first point after key
    return it - 1;
}

QString Number(const QLocale &locale, double value, int decimals) {
    return locale.toString(value, 'f', decimals);
}

} // namespace

PlotCursor::PlotCursor(QCustomPlot *plot, const PlottedChannels *channels)
    : QObject(plot), plot(plot), channels(channels), hoverKey(qQNaN()), fixedKey(qQNaN()) {
    // A layer of its own, redrawn alone while the mouse moves over a day of samples.
    if (!plot->layer(QStringLiteral("cursor")))
        plot->addLayer(QStringLiteral("cursor"), plot->layer(QStringLiteral("overlay")), QCustomPlot::limBelow);
    layer = plot->layer(QStringLiteral("cursor"));
    layer->setMode(QCPLayer::lmBuffered);

    box = new QLabel(plot);
    box->setObjectName(QStringLiteral("plot_readout"));
    box->setTextFormat(Qt::RichText);
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setStyleSheet(QStringLiteral("QLabel { background: rgba(255, 255, 255, 235); border: 1px solid #808080; "
                                      "padding: 3px; }"));
    box->hide();
    plot->setMouseTracking(true);
    plot->installEventFilter(this);
}

PlotCursor::~PlotCursor() {
    if (hoverLine)
        plot->removeItem(hoverLine);
    if (fixedLine)
        plot->removeItem(fixedLine);
}

double PlotCursor::ValueAt(const QCPGraph *main, const QCPGraph *violation, double key) {
    double value = qQNaN();
    double at = -std::numeric_limits<double>::infinity();
    bool beyond = true;
    for (const QCPGraph *graph : {main, violation}) {
        if (!graph || graph->data()->isEmpty())
            continue;
        // Past the last point (the span's end) nothing is known yet.
        if (key <= (graph->data()->constEnd() - 1)->key)
            beyond = false;
        const auto it = AtOrBefore(graph, key);
        if (it == graph->data()->constEnd() || std::isnan(it->value))
            continue;
        // Where a run hands over, both graphs hold the sample; the later one is in force.
        if (it->key >= at) {
            at = it->key;
            value = it->value;
        }
    }
    return beyond ? qQNaN() : value;
}

QCPItemStraightLine *PlotCursor::Line(QPointer<QCPItemStraightLine> *line, const QPen &pen) {
    // A reset of the chart deletes every item; the lines come back on the next move.
    if (!*line) {
        *line = new QCPItemStraightLine(plot);
        (*line)->setLayer(layer);
        (*line)->setPen(pen);
        (*line)->setSelectable(false);
    }
    return *line;
}

void PlotCursor::PlaceLine(QCPItemStraightLine *line, double key) {
    line->setVisible(!std::isnan(key));
    line->point1->setCoords(key, 0);
    line->point2->setCoords(key, 1);
}

void PlotCursor::MoveTo(double key) {
    hoverKey = key;
    Update();
}

void PlotCursor::Fix(double key) {
    fixedKey = key;
    Update();
}

QVector<PlotCursor::Reading> PlotCursor::Readings() const {
    QVector<Reading> readings;
    if (std::isnan(hoverKey))
        return readings;
    const QLocale locale = plot->locale();
    for (const PlottedChannels::Channel &channel : channels->All()) {
        if (!channel.main || !channel.main->visible())
            continue;
        Reading reading;
        reading.name = channel.style.FullName();
        reading.place = channel.style.Place();
        reading.kind = channel.style.kind;
        reading.color = channel.style.pen.color();
        const double value = ValueAt(channel.main, channel.violation, hoverKey);
        reading.value = channel.style.Value(value, locale);
        reading.number = std::isnan(value) ? QStringLiteral("—") : Number(locale, value, channel.style.decimals);
        if (!std::isnan(fixedKey)) {
            const double then = ValueAt(channel.main, channel.violation, fixedKey);
            const double delta = value - then;
            reading.delta = std::isnan(delta) ? QStringLiteral("—")
                                              : (delta > 0 ? QStringLiteral("+") : QString()) +
                                                    Number(locale, delta, channel.style.decimals);
        }
        readings << reading;
    }
    return readings;
}

void PlotCursor::Update() {
    PlaceLine(Line(&hoverLine, QPen(QColor(0x60, 0x60, 0x60), 1, Qt::DashLine)), hoverKey);
    PlaceLine(Line(&fixedLine, QPen(QColor(0xd0, 0x60, 0x00), 1)), fixedKey);
    if (std::isnan(hoverKey)) {
        box->hide();
    } else {
        const QVector<Reading> readings = Readings();
        const QString timeFormat = QStringLiteral("dd.MM.yyyy HH:mm:ss");
        QString head =
            QStringLiteral("<b>%1</b>")
                .arg(QDateTime::fromMSecsSinceEpoch(qint64(std::floor(hoverKey)) * 1000).toString(timeFormat));
        if (!std::isnan(fixedKey)) {
            const qint64 seconds = qint64(std::floor(hoverKey)) - qint64(std::floor(fixedKey));
            head += QStringLiteral("&nbsp;&nbsp;Δt = %1 с").arg(seconds);
        }
        // Lines that do not fit the plot's height go on in further columns.
        for (int columns = 1;; ++columns) {
            box->setText(ReadoutHtml(head, readings, columns));
            box->adjustSize();
            if (box->height() <= plot->height() - 8 || columns >= std::max(1, int(readings.size())))
                break;
        }
        PlaceBox();
        box->show();
        box->raise();
    }
    layer->replot();
}

QString PlotCursor::ReadoutHtml(const QString &head, const QVector<Reading> &readings, int columns) {
    // One row per station or unit, one column per kind of channel: a unit's three values side by side.
    QStringList places;
    QVector<QVector<const Reading *>> cells;
    bool kinds[3] = {false, false, false};
    for (const Reading &r : readings) {
        int row = places.indexOf(r.place);
        if (row < 0) {
            places << r.place;
            cells.append(QVector<const Reading *>(3, nullptr));
            row = places.size() - 1;
        }
        const int kind = std::max(0, std::min(2, r.kind));
        kinds[kind] = true;
        if (!cells[row][kind])
            cells[row][kind] = &r;
    }
    static const char *const titles[] = {"f, Гц", "P, МВт", "Pрасч, МВт"};
    const int perColumn = std::max(1, int(std::ceil(double(places.size()) / columns)));
    QString header;
    for (int k = 0; k < 3; ++k) {
        if (kinds[k])
            header += QStringLiteral("<td align=right style='padding-left:6px'><b>%1</b></td>")
                          .arg(QString::fromUtf8(titles[k]));
    }
    QString html = QStringLiteral("<div>%1</div><table cellspacing=0 cellpadding=0><tr>").arg(head);
    for (int c = 0; c < columns; ++c)
        html += QStringLiteral("<td style='padding-right:8px'></td>") + header;
    html += QStringLiteral("</tr>");
    for (int line = 0; line < perColumn; ++line) {
        html += QStringLiteral("<tr>");
        for (int c = 0; c < columns; ++c) {
            const int row = c * perColumn + line;
            if (row >= places.size()) {
                html += QStringLiteral("<td></td>");
                for (int k = 0; k < 3; ++k)
                    html += kinds[k] ? QStringLiteral("<td></td>") : QString();
                continue;
            }
            html += QStringLiteral("<td style='padding-right:8px'>%1</td>").arg(places[row].toHtmlEscaped());
            for (int k = 0; k < 3; ++k) {
                if (!kinds[k])
                    continue;
                const Reading *r = cells[row][k];
                QString text;
                if (r) {
                    text = r->number;
                    if (!r->delta.isEmpty() && r->number != QStringLiteral("—"))
                        text += QStringLiteral(" (Δ ") + r->delta + QLatin1Char(')');
                    text = QStringLiteral("<span style='color:%1'>%2</span>").arg(r->color.name(), text);
                }
                html += QStringLiteral("<td align=right style='padding-left:6px'>%1</td>").arg(text);
            }
        }
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

void PlotCursor::PlaceBox() {
    const QRect rect = plot->axisRect()->rect();
    const int x = int(plot->xAxis->coordToPixel(hoverKey));
    int left = x + BoxGap;
    // On the left of the line when the right side has no room, never past the widget's edges.
    if (left + box->width() > plot->width())
        left = x - BoxGap - box->width();
    left = std::max(0, std::min(left, plot->width() - box->width()));
    const int top = std::max(0, std::min(rect.top() + 4, plot->height() - box->height()));
    box->move(left, top);
}

bool PlotCursor::eventFilter(QObject *watched, QEvent *event) {
    if (watched != plot)
        return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (plot->axisRect()->rect().contains(mouse->pos()))
            MoveTo(plot->xAxis->pixelToCoord(mouse->pos().x()));
        else if (!std::isnan(hoverKey))
            MoveTo(qQNaN());
        break;
    }
    case QEvent::Leave:
        MoveTo(qQNaN());
        break;
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        pressed = mouse->button() == Qt::LeftButton && !(mouse->modifiers() & Qt::ShiftModifier);
        pressAt = mouse->pos();
        break;
    }
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        // A click (not a drag) on the chart fixes the second cursor there; a click beside the axes frees it.
        if (pressed && mouse->button() == Qt::LeftButton && (mouse->pos() - pressAt).manhattanLength() <= ClickSlop) {
            if (plot->axisRect()->rect().contains(mouse->pos()))
                Fix(plot->xAxis->pixelToCoord(mouse->pos().x()));
            else
                Fix(qQNaN());
        }
        pressed = false;
        break;
    }
    case QEvent::Resize:
        if (box->isVisible())
            PlaceBox();
        break;
    default:
        break;
    }
    return false;
}
