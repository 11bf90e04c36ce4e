#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>
#include <cmath>
#include <ctime>

#include "qcustomplot.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"
#include "views/wrapping_header_view.h"

namespace {

const double Base = 1700000000; // 2023-11-14 22:13:20 UTC

// "0:50.01,2:50.02!" -> samples at Base + offset; "!" marks a violation, "nan" a missing value.
QMap<double, MeasurePoint> Samples(const QString &spec) {
    QMap<double, MeasurePoint> samples;
    for (QString part : spec.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const bool violation = part.endsWith(QLatin1Char('!'));
        if (violation)
            part.chop(1);
        const QStringList kv = part.split(QLatin1Char(':'));
        MeasurePoint p;
        p.time = Base + kv[0].toDouble();
        p.value = kv[1] == QLatin1String("nan") ? std::nan("") : kv[1].toDouble();
        p.flags = violation ? 0x10000000 : 0;
        samples.insert(p.time, p);
    }
    return samples;
}

// A cell as "text" + mark: "=" real sample, "!" real violation, "~" carried, "^" carried violation.
QString Describe(const QTableWidgetItem *cell) {
    if (!cell)
        return QString();
    const QColor bg = cell->background().color();
    const bool real = cell->data(Qt::UserRole + 1).isValid();
    QString mark;
    if (real)
        mark = bg == QColor(255, 0, 0) ? QStringLiteral("!") : QStringLiteral("=");
    else if (bg == QColor(150, 150, 150))
        mark = QStringLiteral("~");
    else if (bg == QColor(255, 150, 150))
        mark = QStringLiteral("^");
    else
        mark = QStringLiteral("?");
    return cell->text() + mark;
}

} // namespace

class TelemetryTableTest : public QObject {
    Q_OBJECT

private slots:
    void fill_data();
    void fill();
    void timeText_data();
    void timeText();
    void removeColumn_data();
    void removeColumn();
    void columnOrder_data();
    void columnOrder();
    void headerFits_data();
    void headerFits();
};

void TelemetryTableTest::fill_data() {
    // fills: "column|carry|samples", applied in order, carry "s" for a span the plot draws and hands on;
    // rows: expected grid, top row first.
    QTest::addColumn<QStringList>("fills");
    QTest::addColumn<QStringList>("rows");

    const QStringList carriedBothWays{"50.02=;120~", "50.01~;120=", "50.01=;"};
    QTest::newRow("two-channels-freq-first") << QStringList{"0|1|0:50.01,2:50.02", "1|1|1:120"} << carriedBothWays;
    QTest::newRow("two-channels-power-first") << QStringList{"1|1|1:120", "0|1|0:50.01,2:50.02"} << carriedBothWays;
    QTest::newRow("violation-carried-light-red")
        << QStringList{"0|1|0:10!,2:20", "1|1|1:5"} << QStringList{"20=;5~", "10^;5=", "10!;"};
    QTest::newRow("violation-copied-from-below")
        << QStringList{"1|1|1:5", "0|1|0:10!,2:20"} << QStringList{"20=;5~", "10^;5=", "10!;"};
    QTest::newRow("carried-cell-copied-keeps-colour")
        << QStringList{"0|1|0:7!,4:8", "1|1|2:3", "1|1|3:4"} << QStringList{"8=;4~", "7^;4=", "7^;3=", "7!;"};
    QTest::newRow("same-sample-twice-one-row") << QStringList{"0|1|0:1,1:2", "0|1|1:2"} << QStringList{"2=;", "1=;"};
    QTest::newRow("changed-value-same-time-two-rows") << QStringList{"0|1|0:1", "0|1|0:2"} << QStringList{"2=;", "1=;"};
    QTest::newRow("nan-carried-empty") << QStringList{"0|1|0:nan,2:5", "1|1|1:7"} << QStringList{"5=;7~", "~;7=", "=;"};
    QTest::newRow("nan-read-twice-one-row") << QStringList{"0|1|0:nan", "0|1|0:nan"} << QStringList{"=;"};
    QTest::newRow("csv-fills-own-cells-only")
        << QStringList{"0|0|0:1,2:3", "1|0|1:7"} << QStringList{"3=;", ";7=", "1=;"};
    QTest::newRow("rows-found-between-many")
        << QStringList{"0|0|0:1,2:2,4:3,6:4,8:5,10:6,12:7", "1|0|1:8,3:9,11:10,13:11"}
        << QStringList{";11=", "7=;", ";10=", "6=;", "5=;", "4=;", "3=;", ";9=", "2=;", ";8=", "1=;"};
    QTest::newRow("span-hole-carries-held-value") << QStringList{"0|s|0:1,1:2,2:3,3:4,30:5", "1|1|10:7"}
                                                  << QStringList{"5=;7~", "4~;7=", "4=;", "3=;", "2=;", "1=;"};
    QTest::newRow("span-nan-carried-empty") << QStringList{"0|s|0:1,1:2,2:3,3:nan,30:5", "1|1|10:7"}
                                            << QStringList{"5=;7~", "~;7=", "=;", "3=;", "2=;", "1=;"};
    QTest::newRow("time-zero-skipped") << QStringList{"0|1|-1700000000:4,1:5"} << QStringList{"5=;"};
}

void TelemetryTableTest::fill() {
    QFETCH(QStringList, fills);
    QFETCH(QStringList, rows);

    QTableWidget widget;
    TelemetryTableWidget table(&widget);
    table.SetVisible(true);
    widget.setColumnCount(2);
    QCustomPlot plot;
    TelemetryPlotWidget view(&plot, nullptr, &table, false);
    for (const QString &fill : fills) {
        const QStringList parts = fill.split(QLatin1Char('|'));
        const QMap<double, MeasurePoint> samples = Samples(parts[2]);
        if (parts[1] == QLatin1String("s"))
            view.DrawSpan(plot.addGraph(), nullptr, samples.firstKey(), samples.lastKey(), parts[0].toInt(), nullptr,
                          Archive_Measures::SamplesOf(samples));
        else
            table.FillTableData(samples, parts[0].toInt(), parts[1] == QLatin1String("1"));
    }

    QStringList grid;
    for (int r = 0; r < widget.rowCount(); ++r)
        grid << Describe(widget.item(r, 0)) + QLatin1Char(';') + Describe(widget.item(r, 1));
    QCOMPARE(grid, rows);

    // Rows run from the newest time down.
    for (int r = 1; r < widget.rowCount(); ++r)
        QVERIFY(widget.verticalHeaderItem(r - 1)->data(Qt::UserRole).toDouble() >=
                widget.verticalHeaderItem(r)->data(Qt::UserRole).toDouble());
}

void TelemetryTableTest::timeText_data() {
    QTest::addColumn<double>("time");
    QTest::addColumn<QString>("text");
    QTest::newRow("half-second") << 1700000000.5 << QStringLiteral("2023-11-14 22:13:20.500");
    QTest::newRow("whole-second") << 1700000000.0 << QStringLiteral("2023-11-14 22:13:20.000");
    QTest::newRow("just-below-next") << 1700000000.999 << QStringLiteral("2023-11-14 22:13:20.999");
    QTest::newRow("new-year") << 1735689599.25 << QStringLiteral("2024-12-31 23:59:59.250");
}

void TelemetryTableTest::timeText() {
    QFETCH(double, time);
    QFETCH(QString, text);
    QTableWidget widget;
    TelemetryTableWidget table(&widget);
    widget.setColumnCount(1);
    MeasurePoint p;
    p.time = time;
    p.value = 1;
    table.FillTableData({{time, p}}, 0, true);
    QCOMPARE(widget.rowCount(), 1);
    QCOMPARE(widget.verticalHeaderItem(0)->text(), text);
    QCOMPARE(widget.verticalHeaderItem(0)->data(Qt::UserRole).toDouble(), time);
}

void TelemetryTableTest::removeColumn_data() {
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("rowsLeft");
    QTest::newRow("last-column-clears-rows") << 1 << 1 << 0;
    QTest::newRow("one-of-two-keeps-rows") << 2 << 1 << 3;
    QTest::newRow("both-clears-rows") << 2 << 2 << 0;
}

void TelemetryTableTest::removeColumn() {
    QFETCH(int, channels);
    QFETCH(int, removed);
    QFETCH(int, rowsLeft);

    QTreeWidget tree;
    QTableWidget widget;
    TelemetryTableWidget table(&widget);
    QList<QTreeWidgetItem *> items;
    for (int i = 0; i < channels; ++i) {
        auto *item = new QTreeWidgetItem(&tree, FreqItem);
        item->setText(0, QStringLiteral("ch%1").arg(i));
        items << item;
        const int column = table.AddTableColumn(item);
        QVERIFY(column >= 0);
        table.FillTableData(Samples(QStringLiteral("0:1,1:2,2:3")), column, true);
    }
    QCOMPARE(widget.rowCount(), 3);
    for (int i = 0; i < removed; ++i) {
        table.RemoveTableColumn(items[i]);
        QCOMPARE(table.GetTableColumIndexByTreeItem(items[i]), -1);
    }
    QCOMPARE(widget.columnCount(), channels - removed);
    QCOMPARE(widget.rowCount(), rowsLeft);
    // A new fill after the rows were cleared starts afresh.
    if (rowsLeft == 0) {
        const int column = table.AddTableColumn(items[0]);
        table.FillTableData(Samples(QStringLiteral("5:9")), column, true);
        QCOMPARE(widget.rowCount(), 1);
    }
}

void TelemetryTableTest::columnOrder_data() {
    // shown: which of the four channels (tree order) already have a visible graph; added: the one to add.
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("column");
    QTest::newRow("first-of-none") << QStringLiteral("----") << 2 << 0;
    QTest::newRow("after-two-shown") << QStringLiteral("xx--") << 2 << 2;
    QTest::newRow("before-shown-ones") << QStringLiteral("--xx") << 0 << 0;
    QTest::newRow("hidden-graph-not-counted") << QStringLiteral("xh--") << 3 << 1;
}

void TelemetryTableTest::columnOrder() {
    QFETCH(QString, shown);
    QFETCH(int, added);
    QFETCH(int, column);

    QCustomPlot plot;
    QTreeWidget tree;
    auto *station = new QTreeWidgetItem(&tree, ObjectItem);
    station->setText(0, QStringLiteral("Станция"));
    auto *unit = new QTreeWidgetItem(station, ObjectItem);
    unit->setText(0, QStringLiteral("Блок 1"));
    QTableWidget widget;
    TelemetryTableWidget table(&widget);

    QList<QTreeWidgetItem *> channels;
    for (int i = 0; i < shown.size(); ++i) {
        auto *channel = new QTreeWidgetItem(unit, FreqItem);
        channel->setText(0, QStringLiteral("Частота, Гц"));
        channels << channel;
    }
    for (int i = 0; i < shown.size(); ++i) {
        if (shown[i] == QLatin1Char('-'))
            continue;
        QCPGraph *graph = plot.addGraph();
        graph->setVisible(shown[i] == QLatin1Char('x'));
        SetItemPointer(channels[i], GraphRole, graph);
        if (shown[i] == QLatin1Char('x'))
            table.AddTableColumn(channels[i]);
    }

    QCOMPARE(table.AddTableColumn(channels[added]), column);
    QCOMPARE(table.GetTableColumIndexByTreeItem(channels[added]), column);
    QCOMPARE(widget.horizontalHeaderItem(column)->text(), QStringLiteral("Станция\nБлок 1\nЧастота, Гц"));
    // The whole text in the tool tip, wherever the header has to cut it; the header wraps it.
    QCOMPARE(widget.horizontalHeaderItem(column)->toolTip(), widget.horizontalHeaderItem(column)->text());
    QVERIFY(qobject_cast<WrappingHeaderView *>(widget.horizontalHeader()));
    // Asking again gives the same column.
    QCOMPARE(table.AddTableColumn(channels[added]), column);
    QCOMPARE(table.AddTableColumn(unit), -1);
}

void TelemetryTableTest::headerFits_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("elided");

    const QString channel = QStringLiteral("ГРЭС-1 «Заречная»\nЭнергоблок №1\nМощность, МВт");
    QTest::newRow("wrapped-whole") << channel << QSize(130, 140) << false;
    QTest::newRow("wide-column-three-lines") << channel << QSize(400, 75) << false;
    QTest::newRow("too-low-elided") << channel << QSize(100, 40) << true;
    QTest::newRow("long-word-split") << QStringLiteral("Расчетнаямощностьэнергоблока") << QSize(60, 200) << false;
    QTest::newRow("widened-column-keeps-words")
        << channel << QSize(WrappingHeaderView::FitWidth(channel, QFont(), 100, 100), 75) << false;
}

// Every line drawn fits the section's width and height; without elision together they hold the
// whole text; an elided text ends in an ellipsis.
void TelemetryTableTest::headerFits() {
    QFETCH(QString, text);
    QFETCH(QSize, size);
    QFETCH(bool, elided);

    const QFont font;
    const QFontMetrics metrics(font);
    const QStringList lines = WrappingHeaderView::FitLines(text, font, size);
    QVERIFY(!lines.isEmpty());
    QVERIFY(lines.size() * metrics.lineSpacing() <= size.height());
    for (const QString &line : lines)
        QVERIFY2(metrics.horizontalAdvance(line) <= size.width(), qPrintable(line));
    QCOMPARE(lines.last().endsWith(QChar(0x2026)), elided);
    // A column widened for its text breaks no word.
    if (QTest::currentDataTag() == QByteArray("widened-column-keeps-words")) {
        for (const QString &line : lines)
            QVERIFY2(text.contains(line), qPrintable(line));
    }
    if (!elided) {
        QString flat = text;
        flat.remove(QLatin1Char('\n')).remove(QLatin1Char(' '));
        QCOMPARE(lines.join(QString()).remove(QLatin1Char(' ')), flat);
    }
}

int main(int argc, char **argv) {
    // Row texts are local time; the expected texts are written for UTC.
    qputenv("TZ", "UTC");
    tzset();
    QApplication app(argc, argv);
    TelemetryTableTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "telemetry_table_test.moc"
