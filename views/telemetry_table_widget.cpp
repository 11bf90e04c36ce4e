#include "views/telemetry_table_widget.h"

#include <QDateTime>
#include <QHeaderView>
#include <QTableWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <cmath>
#include <limits>

#include "qcustomplot.h"
#include "server/archive_measures_14.h"
#include "views/objects_tree_widget.h"
#include "views/wrapping_header_view.h"

namespace {

constexpr int TimeRole = Qt::UserRole;          // row header: sample time, seconds since the epoch
constexpr int ValueRole = Qt::UserRole + 1;     // cell of a real sample: its value
constexpr int ViolationRole = Qt::UserRole + 2; // cell of a real sample: the violation bit

const QColor ViolationColor(255, 0, 0);
const QColor CarriedColor(150, 150, 150);
const QColor CarriedViolationColor(255, 150, 150);

QString ValueText(double value) {
    return std::isnan(value) ? QString() : QString::number(value, 'g', 6);
}

bool SameValue(double a, double b) {
    // Two missing values are the same sample too; otherwise every re-read of a NaN sample adds a row.
    return a == b || (std::isnan(a) && std::isnan(b));
}

// Local-time text with milliseconds; the zone offset is looked up once per quarter hour of time.
class TimeFormatter {
public:
    QString Format(double seconds) {
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

// A cell keeps its value only and tells its kind by its item type; text and colour are made when the
// view asks. A day of thirty channels is millions of cells: a plain item would hold a string and three
// variants each, and a kind member would push every cell into the next heap size.
class SampleCell : public QTableWidgetItem {
public:
    enum Kind { Real, RealViolation, Carried, CarriedViolation };
    static constexpr int FirstType = QTableWidgetItem::UserType + 1;
    static constexpr int LastType = FirstType + CarriedViolation;

    SampleCell(double value, Kind kind) : QTableWidgetItem(FirstType + kind), value(value) {}

    QTableWidgetItem *clone() const override { return new SampleCell(value, kind()); }

    QVariant data(int role) const override {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return ValueText(value);
        case Qt::BackgroundRole:
            switch (kind()) {
            case RealViolation:
                return QBrush(ViolationColor);
            case Carried:
                return QBrush(CarriedColor);
            case CarriedViolation:
                return QBrush(CarriedViolationColor);
            default:
                return QVariant();
            }
        case ValueRole:
            return IsReal() ? QVariant(value) : QVariant();
        case ViolationRole:
            return kind() == RealViolation ? QVariant(int(Archive_Measures::ViolationFlag)) : QVariant();
        default:
            return QTableWidgetItem::data(role);
        }
    }

    Kind kind() const { return Kind(type() - FirstType); }
    bool IsReal() const { return kind() == Real || kind() == RealViolation; }

    double value;
};

// Row header: the sample time; its text is the row index's key, shared rather than copied.
class RowHeader : public QTableWidgetItem {
public:
    static constexpr int Type = SampleCell::LastType + 1;
    RowHeader(double time, qint64 ms, const QString &text) : QTableWidgetItem(Type), time(time), ms(ms), text(text) {}
    QTableWidgetItem *clone() const override { return new RowHeader(time, ms, text); }
    QVariant data(int role) const override {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return text;
        case TimeRole:
            return time;
        default:
            return QTableWidgetItem::data(role);
        }
    }
    double time;
    qint64 ms; // the row's key: whole milliseconds since the epoch
    QString text;
};

// Key of a row; rows made elsewhere are read from their time datum.
qint64 RowMs(const QTableWidget *table, int row) {
    const QTableWidgetItem *header = table->verticalHeaderItem(row);
    if (!header)
        return std::numeric_limits<qint64>::min();
    if (header->type() == RowHeader::Type)
        return static_cast<const RowHeader *>(header)->ms;
    return qint64(std::floor(header->data(TimeRole).toDouble() * 1000.0));
}

SampleCell *Cell(QTableWidget *table, int row, int column) {
    QTableWidgetItem *item = table->item(row, column);
    return item && item->type() >= SampleCell::FirstType && item->type() <= SampleCell::LastType
               ? static_cast<SampleCell *>(item)
               : nullptr;
}

void PutCell(QTableWidget *table, int row, int column, double value, SampleCell::Kind kind) {
    SampleCell *cell = Cell(table, row, column);
    if (cell && cell->kind() == kind) {
        cell->value = value;
    } else {
        table->setItem(row, column, new SampleCell(value, kind));
    }
}

QTableWidgetItem *HeaderItemOf(const QTreeWidgetItem *item) {
    return ItemPointer<QTableWidgetItem>(item, TableColumnRole);
}

} // namespace

TelemetryTableWidget::TelemetryTableWidget(QTableWidget *table) : table(table) {
    // Channel headers are long ("station / unit / channel") and the columns narrow: wrap them.
    const QHeaderView *old = table->horizontalHeader();
    auto *header = new WrappingHeaderView(Qt::Horizontal, table);
    header->setMinimumSectionSize(old->minimumSectionSize());
    header->setDefaultSectionSize(old->defaultSectionSize());
    table->setHorizontalHeader(header);
    table->setColumnCount(0);
    table->setRowCount(0);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(18);
}

bool TelemetryTableWidget::IsVisible() const {
    return visible;
}

void TelemetryTableWidget::SetVisible(bool on) {
    visible = on;
}

QString TelemetryTableWidget::TimeText(double seconds) {
    TimeFormatter formatter;
    return formatter.Format(seconds);
}

int TelemetryTableWidget::AddTableColumn(QTreeWidgetItem *item) {
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
    header->setToolTip(header->text());
    table->insertColumn(index);
    table->setHorizontalHeaderItem(index, header);
    SetItemPointer(item, TableColumnRole, header);
    return index;
}

void TelemetryTableWidget::RemoveTableColumn(QTreeWidgetItem *item) {
    if (!item)
        return;
    const int column = GetTableColumIndexByTreeItem(item);
    item->setData(TreeDataColumn, TableColumnRole, QVariant::fromValue<quint64>(0));
    RemoveTableColumn(column);
}

void TelemetryTableWidget::RemoveTableColumn(int column) {
    if (column < 0 || column >= table->columnCount())
        return;
    table->removeColumn(column);
    if (table->columnCount() == 0)
        ClearTableWidget();
}

int TelemetryTableWidget::GetTableColumIndexByTreeItem(const QTreeWidgetItem *item) const {
    QTableWidgetItem *header = HeaderItemOf(item);
    return header ? GetTableColumIndexByHeaderItem(header) : -1;
}

int TelemetryTableWidget::GetTableColumIndexByHeaderItem(QTableWidgetItem *header) const {
    for (int c = 0; c < table->columnCount(); ++c) {
        if (table->horizontalHeaderItem(c) == header)
            return c;
    }
    return -1;
}

void TelemetryTableWidget::ClearTableWidget() {
    table->setRowCount(0);
    rowIndex.clear();
}

void TelemetryTableWidget::FillTableData(QMap<double, MeasurePoint> samples, int column, bool carry) {
    FillTableSamples(Archive_Measures::SamplesOf(samples), column, carry);
}

void TelemetryTableWidget::FillTableSamples(const QVector<MeasurePoint> &samples, int column, bool carry) {
    if (column >= table->columnCount() || samples.isEmpty())
        return;
    TimeFormatter formatter;
    // The view learns of the new rows and cells once, at the end, not per cell.
    QAbstractItemModel *model = table->model();
    const bool wasBlocked = model->blockSignals(true);
    const int rowsBefore = table->rowCount();

    // Rows run from the newest time at the top and the samples are walked from the newest: the row of
    // a sample is at or below the row of the one before, so the search gallops down from there.
    int above = 0; // every row above this one is newer than the sample at hand
    for (auto it = samples.crbegin(); it != samples.crend(); ++it) {
        const double t = it->time;
        if (!(t > 0))
            continue;
        const double v = it->value;
        const bool violation = it->flags & Archive_Measures::ViolationFlag;
        const qint64 ms = qint64(std::floor(t * 1000.0));

        int lo = above;
        int step = 1;
        const int rows = table->rowCount();
        while (lo + step <= rows && RowMs(table, lo + step - 1) > ms) {
            lo += step;
            step *= 2;
        }
        int hi = std::min(lo + step - 1, rows);
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (RowMs(table, mid) > ms)
                lo = mid + 1;
            else
                hi = mid;
        }
        const int row = lo;
        above = row;
        bool insert = true;
        if (row < table->rowCount() && RowMs(table, row) == ms) {
            const SampleCell *cell = column >= 0 ? Cell(table, row, column) : nullptr;
            insert = cell && cell->IsReal() && !SameValue(cell->value, v);
        }

        if (insert) {
            table->insertRow(row);
            const QString text = formatter.Format(t);
            auto *header = new RowHeader(t, ms, text);
            table->setVerticalHeaderItem(row, header);
            rowIndex.insert(text, header);
        }

        if (column >= 0)
            PutCell(table, row, column, v, violation ? SampleCell::RealViolation : SampleCell::Real);

        if (!carry || column < 0)
            continue;

        const SampleCell::Kind carried = violation ? SampleCell::CarriedViolation : SampleCell::Carried;
        for (int r = row - 1; r >= 0; --r) {
            const SampleCell *cell = Cell(table, r, column);
            if (cell && cell->IsReal())
                break;
            PutCell(table, r, column, v, carried);
        }

        if (insert && row + 1 < table->rowCount()) {
            for (int c = 0; c < table->columnCount(); ++c) {
                if (c == column)
                    continue;
                const SampleCell *below = Cell(table, row + 1, c);
                if (!below)
                    continue;
                SampleCell::Kind kind = below->kind();
                if (kind == SampleCell::Real)
                    kind = SampleCell::Carried;
                else if (kind == SampleCell::RealViolation)
                    kind = SampleCell::CarriedViolation;
                PutCell(table, row, c, below->value, kind);
            }
        }
    }

    model->blockSignals(wasBlocked);
    if (!wasBlocked) {
        if (table->rowCount() != rowsBefore) {
            table->verticalHeader()->reset();
            table->reset();
        }
        table->viewport()->update();
    }
}
