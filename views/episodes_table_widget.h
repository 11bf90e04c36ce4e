// Rows of the "Эпизоды ОПРЧ" tab: a row per episode with a child row per unit, verdicts coloured.
// Rows are updated in place, so an ongoing episode's row changes while finished ones stay put.
#pragma once

#include <QHash>
#include <QString>
#include <QVector>
#include <Qt>

#include "analysis/episode.h"

class EpisodesSummaryWidget;
class QTreeWidget;
class QTreeWidgetItem;

class EpisodesTableWidget {
public:
    // Data of an episode row (column 0).
    enum Roles { StartRole = Qt::UserRole, EndRole, StationIdRole, StationRole };
    enum Columns {
        NameColumn,
        StartColumn,
        EndColumn,
        DeviationColumn,
        ResponseColumn,
        PowerBeforeColumn,
        RequiredColumn,
        At15Column,
        At30Column,
        AtBColumn,
        ViolationColumn,
        VerdictColumn,
        ColumnCount
    };

    explicit EpisodesTableWidget(QTreeWidget *tree);
    ~EpisodesTableWidget();
    EpisodesTableWidget(const EpisodesTableWidget &) = delete;
    EpisodesTableWidget &operator=(const EpisodesTableWidget &) = delete;

    void ShowEpisodes(const QVector<Episode> &episodes, const QVector<StationChannels> &stations);
    void Clear();
    QTreeWidget *Tree() const { return tree; }
    // The summary per unit shown above the list.
    QTreeWidget *SummaryTree() const;

    // The episode row of an item (itself or its parent), null for none.
    static QTreeWidgetItem *EpisodeRow(QTreeWidgetItem *item);

private:
    void Fill(QTreeWidgetItem *row, const Episode &episode, int stationId);

    QTreeWidget *tree;
    QHash<QString, QTreeWidgetItem *> rows; // by station and start
    QHash<QString, Episode> shown;          // what each row shows, so unchanged rows are left alone
    EpisodesSummaryWidget *summary;
};
