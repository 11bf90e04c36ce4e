#pragma once

#include <QMap>
#include <QString>

#include "server/archive_measures_14.h"

class QTableWidget;
class QTableWidgetItem;
class QTreeWidgetItem;

// Drives the "Таблица" tab: one column per plotted channel, one row per sample time, newest on top.
class TelemetryTableWidget {
public:
    explicit TelemetryTableWidget(QTableWidget *table);
    TelemetryTableWidget(const TelemetryTableWidget &) = delete;
    TelemetryTableWidget &operator=(const TelemetryTableWidget &) = delete;

    bool IsVisible() const;
    void SetVisible(bool visible);

    // Column of a channel node, made when missing; -1 for nodes that are not channels.
    int AddTableColumn(QTreeWidgetItem *item);
    void RemoveTableColumn(QTreeWidgetItem *item);
    void RemoveTableColumn(int column);
    int GetTableColumIndexByTreeItem(const QTreeWidgetItem *item) const;
    int GetTableColumIndexByHeaderItem(QTableWidgetItem *header) const;

    // Removes all rows; columns stay.
    void ClearTableWidget();
    // carry: archive samples carry their value upwards into rows of other channels.
    void FillTableData(QMap<double, MeasurePoint> samples, int column, bool carry);
    // The same from samples ascending by time with one per distinct time (as the plot reads them),
    // without a tree node per sample.
    void FillTableSamples(const QVector<MeasurePoint> &samples, int column, bool carry);

    QTableWidget *Table() const { return table; }

    static QString TimeText(double seconds);

private:
    QTableWidget *table;
    QMap<QString, QTableWidgetItem *> rowIndex;
    bool visible = false;
};
