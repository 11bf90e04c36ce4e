// The summary per unit above the episodes of the "Эпизоды ОПРЧ" tab: a row per unit with its counts,
// median shares, achieved droop and worst episode, the units that failed coloured.
#pragma once

#include <QVector>

#include "analysis/episode_summary.h"

class QTreeWidget;

class EpisodesSummaryWidget {
public:
    enum Columns {
        UnitColumn,
        ProfileColumn,
        JudgedColumn,
        MetColumn,
        NotMetColumn,
        LimitedColumn,
        NotJudgedColumn,
        NoDataColumn,
        SharesColumn,
        DroopColumn,
        WorstColumn,
        ColumnCount
    };

    // Made in place of `below`'s spot: a vertical splitter with the summary above it.
    explicit EpisodesSummaryWidget(QTreeWidget *below);
    ~EpisodesSummaryWidget();
    EpisodesSummaryWidget(const EpisodesSummaryWidget &) = delete;
    EpisodesSummaryWidget &operator=(const EpisodesSummaryWidget &) = delete;

    void Show(const QVector<UnitSummary> &rows);
    QTreeWidget *Tree() const { return tree; }

private:
    QTreeWidget *tree;
    bool owned = false;
    QVector<UnitSummary> shown;
};
