#include "views/telemetry_table_widget.h"

#include <QDateTime>
#include <QHeaderView>
#include <QTableWidget>
#include <QTreeWidgetItemIterator>
#include <cmath>

#include "qcustomplot.h"
#include "server/archive_measures_14.h"
#include "views/objects_tree_widget.h"

namespace {

constexpr int TimeRole = Qt::UserRole;        // row header: sample time, seconds since the epoch
constexpr int ValueRole = Qt::UserRole + 1;   // cell of a real sample: its value
constexpr int ViolationRole = Qt::UserRole + 2; // cell of a real sample: the violation bit

const QColor ViolationColor(255, 0, 0);
const QColor CarriedColor(150, 150, 150);
const QColor CarriedViolationColor(255, 150, 150);

QString ValueText(double value)
{
    return std::isnan(value) ? QString() : QString::number(value, 'g', 6);
}

bool IsRealCell(const QTableWidgetItem *cell)
{
    return cell && cell->data(ValueRole).isValid();
}

bool SameValue(double a, double b)
{
    // Two missing values are the same sample too; otherwise every re-read of a NaN sample adds a row.
    return a == b || (std::isnan(a) && std::isnan(b));
}

// Local-time text with milliseconds; the zone offset is looked up once per quarter hour of time.
class TimeFormatter
{
public:
    QString Format(double seconds)
    {
        const qint64 whole = qint64(std::floor(seconds));
        const qint64 bucket = whole / 900 - (whole % 900 < 0 ? 1 : 0);
        if (bucket != cachedBucket) {
            cachedBucket = bucket;
            cachedOffset = QDateTime::fromSecsSinceEpoch(bucket * 900).offsetFromUtc();
        }
        const QDateTime local = QDateTime::fromSecsSinceEpoch(whole + cachedOffset, Qt::UTC);
        qint64 ms = qint64(std::floor(seconds * 1000.0)) % 1000;
        if (ms < 0)
            ms += 1000;
        const QDate d = local.date();
        const QTime t = local.time();
        QString text;
        text.reserve(23);
        text += QString::number(d.year()).rightJustified(4, QLatin1Char('0'));
        text += QLatin1Char('-');
        text += QString::number(d.month()).rightJustified(2, QLatin1Char('0'));
        text += QLatin1Char('-');
        text += QString::number(d.day()).rightJustified(2, QLatin1Char('0'));
        text += QLatin1Char(' ');
        text += QString::number(t.hour()).rightJustified(2, QLatin1Char('0'));
        text += QLatin1Char(':');
        text += QString::number(t.minute()).rightJustified(2, QLatin1Char('0'));
        text += QLatin1Char(':');
        text += QString::number(t.second()).rightJustified(2, QLatin1Char('0'));
        text += QLatin1Char('.');
        text += QString::number(ms).rightJustified(3, QLatin1Char('0'));
        return text;
    }

private:
    qint64 cachedBucket = std::numeric_limits<qint64>::min();
    int cachedOffset = 0;
};

QTableWidgetItem *HeaderItemOf(const QTreeWidgetItem *item)
{
    return ItemPointer<QTableWidgetItem>(item, TableColumnRole);
}

} // namespace

TelemetryTableWidget::TelemetryTableWidget(QTableWidget *table) : table(table)
{
    table->setColumnCount(0);
    table->setRowCount(0);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(18);
}

bool TelemetryTableWidget::IsVisible() const { return visible; }

void TelemetryTableWidget::SetVisible(bool on) { visible = on; }

QString TelemetryTableWidget::TimeText(double seconds)
{
    TimeFormatter formatter;
    return formatter.Format(seconds);
}

int TelemetryTableWidget::AddTableColumn(QTreeWidgetItem *item)
{
    if (!item || !IsChannel(item->type()))
        return -1;
    if (QTableWidgetItem *header = HeaderItemOf(item)) {
        const int existing = GetTableColumIndexByHeaderItem(header);
        if (existing >= 0)
            return existing;
    }

    // Columns follow the tree order of the channels that are shown.
    int index = 0;
    if (QTreeWidget *tree = item->treeWidget()) {
        for (QTreeWidgetItemIterator it(tree); *it && *it != item; ++it) {
            const QCPGraph *graph = ItemPointer<QCPGraph>(*it, GraphRole);
            if (graph && graph->visible())
                ++index;
        }
    }
    index = qBound(0, index, table->columnCount());

    QStringList lines;
    const QTreeWidgetItem *ancestor = item->parent();
    for (int level = 0; ancestor && level < 3; ++level, ancestor = ancestor->parent())
        lines.prepend(ancestor->text(0));
    lines.append(item->text(0));

    auto *header = new QTableWidgetItem(lines.join(QLatin1Char('\n')));
    header->setSizeHint(QSize(100, 75));
    table->insertColumn(index);
    table->setHorizontalHeaderItem(index, header);
    SetItemPointer(item, TableColumnRole, header);
    return index;
}

void TelemetryTableWidget::RemoveTableColumn(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const int column = GetTableColumIndexByTreeItem(item);
    item->setData(TreeDataColumn, TableColumnRole, QVariant::fromValue<quint64>(0));
    RemoveTableColumn(column);
}

void TelemetryTableWidget::RemoveTableColumn(int column)
{
    if (column < 0 || column >= table->columnCount())
        return;
    table->removeColumn(column);
    if (table->columnCount() == 0)
        ClearTableWidget();
}

int TelemetryTableWidget::GetTableColumIndexByTreeItem(const QTreeWidgetItem *item) const
{
    QTableWidgetItem *header = HeaderItemOf(item);
    return header ? GetTableColumIndexByHeaderItem(header) : -1;
}

int TelemetryTableWidget::GetTableColumIndexByHeaderItem(QTableWidgetItem *header) const
{
    for (int c = 0; c < table->columnCount(); ++c) {
        if (table->horizontalHeaderItem(c) == header)
            return c;
    }
    return -1;
}

void TelemetryTableWidget::ClearTableWidget()
{
    table->setRowCount(0);
    rowIndex.clear();
}

void TelemetryTableWidget::FillTableData(QMap<double, MeasurePoint> samples, int column, bool carry)
{
    if (column >= table->columnCount())
        return;
    TimeFormatter formatter;
    const bool updates = table->updatesEnabled();
    table->setUpdatesEnabled(false);

    for (auto it = samples.constEnd(); it != samples.constBegin();) {
        --it;
        const double t = it.key();
        if (!(t > 0))
            continue;
        const double v = it.value().value;
        const int flags = it.value().flags & Archive_Measures::ViolationFlag;
        const QString text = formatter.Format(t);

        // Rows run from the newest time at the top; the texts sort like the times they show.
        int lo = 0;
        int hi = table->rowCount();
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            const QTableWidgetItem *h = table->verticalHeaderItem(mid);
            if (h && h->text() > text)
                lo = mid + 1;
            else
                hi = mid;
        }
        int row = lo;
        bool insert = true;
        if (row < table->rowCount()) {
            const QTableWidgetItem *h = table->verticalHeaderItem(row);
            if (h && h->text() == text) {
                const QTableWidgetItem *cell = column >= 0 ? table->item(row, column) : nullptr;
                insert = IsRealCell(cell) && !SameValue(cell->data(ValueRole).toDouble(), v);
            }
        }

        if (insert) {
            table->insertRow(row);
            auto *header = new QTableWidgetItem(text);
            header->setData(TimeRole, t);
            table->setVerticalHeaderItem(row, header);
            rowIndex.insert(text, header);
        }

        if (column >= 0) {
            QTableWidgetItem *cell = table->item(row, column);
            if (!cell) {
                cell = new QTableWidgetItem;
                table->setItem(row, column, cell);
            }
            cell->setText(ValueText(v));
            cell->setData(ValueRole, v);
            if (flags) {
                cell->setData(ViolationRole, flags);
                cell->setBackground(ViolationColor);
            } else {
                cell->setData(ViolationRole, QVariant());
                cell->setBackground(QBrush());
            }
        }

        if (!carry || column < 0)
            continue;

        const QString carried = ValueText(v);
        const QColor carriedColor = flags ? CarriedViolationColor : CarriedColor;
        for (int r = row - 1; r >= 0; --r) {
            QTableWidgetItem *cell = table->item(r, column);
            if (IsRealCell(cell))
                break;
            if (!cell) {
                cell = new QTableWidgetItem;
                table->setItem(r, column, cell);
            }
            cell->setText(carried);
            cell->setBackground(carriedColor);
        }

        if (insert && row + 1 < table->rowCount()) {
            for (int c = 0; c < table->columnCount(); ++c) {
                if (c == column)
                    continue;
                const QTableWidgetItem *below = table->item(row + 1, c);
                if (!below)
                    continue;
                QColor color;
                if (!IsRealCell(below))
                    color = below->background().color();
                else
                    color = below->data(ViolationRole).toInt() ? CarriedViolationColor : CarriedColor;
                auto *cell = new QTableWidgetItem(below->text());
                cell->setBackground(color);
                table->setItem(row, c, cell);
            }
        }
    }
    table->setUpdatesEnabled(updates);
}
