#include <QTreeWidget>
#include <QtTest>

#include "analysis/episode_detector.h"
#include "synthetic_station.h"
#include "views/episodes_summary_widget.h"
#include "views/episodes_table_widget.h"

// The tab's rows: kept in start order, updated in place while an episode lasts, left alone once finished.
class EpisodesTableTest : public QObject {
    Q_OBJECT

private slots:
    void rowsFollowTheEpisodes();
};

void EpisodesTableTest::rowsFollowTheEpisodes() {
    SyntheticStation s;
    s.seconds = 1200;
    s.steps = {{100, 60, -0.2}, {500, 60, 0.15}, {1000, 300, -0.2}};
    s.units = {SyntheticUnit(), SyntheticUnit{330, 6, 2.5, 20, 250, true}};
    const StationSeries station = s.Make();
    const EpisodeDetector detector{EpisodeSettings()};
    QVector<Episode> episodes = detector.Detect(station, true);
    QCOMPARE(episodes.size(), 3);
    QTreeWidget tree;
    EpisodesTableWidget table(&tree);
    StationChannels channels;
    channels.name = station.name;
    channels.objectId = 7;
    // Newest first as they might come: the rows still go oldest first.
    table.ShowEpisodes({episodes[2], episodes[0]}, {channels});
    table.ShowEpisodes(episodes, {channels});
    QCOMPARE(tree.topLevelItemCount(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(tree.topLevelItem(i)->data(0, EpisodesTableWidget::StartRole).toDouble(), episodes[i].start);
    QTreeWidgetItem *finished = tree.topLevelItem(0);
    QTreeWidgetItem *lasting = tree.topLevelItem(2);
    QCOMPARE(lasting->text(EpisodesTableWidget::EndColumn), QStringLiteral("идёт"));
    QCOMPARE(lasting->data(0, EpisodesTableWidget::StationIdRole).toInt(), 7);
    QCOMPARE(finished->text(EpisodesTableWidget::DeviationColumn), QStringLiteral("-200"));
    QCOMPARE(tree.topLevelItem(1)->text(EpisodesTableWidget::DeviationColumn), QStringLiteral("+150"));
    QCOMPARE(finished->child(0)->text(EpisodesTableWidget::VerdictColumn), QStringLiteral("выполнено"));
    QCOMPARE(finished->child(1)->text(EpisodesTableWidget::VerdictColumn), QStringLiteral("не выполнено"));
    QCOMPARE(finished->text(EpisodesTableWidget::VerdictColumn),
             QStringLiteral("выполнено 1 из 2; не выполнено: Блок 2"));
    QCOMPARE(EpisodesTableWidget::EpisodeRow(finished->child(1)), finished);
    // The summary per unit: the slow unit failed in both finished episodes and is named with its counts.
    QTreeWidget *summary = table.SummaryTree();
    QCOMPARE(summary->topLevelItemCount(), 2);
    QTreeWidgetItem *slow = summary->topLevelItem(1);
    QCOMPARE(slow->text(EpisodesSummaryWidget::UnitColumn), station.name + QStringLiteral(" / Блок 2"));
    QCOMPARE(slow->text(EpisodesSummaryWidget::NotMetColumn), QStringLiteral("3"));
    QCOMPARE(slow->text(EpisodesSummaryWidget::JudgedColumn), QStringLiteral("3 из 3"));
    QCOMPARE(summary->topLevelItem(0)->text(EpisodesSummaryWidget::MetColumn), QStringLiteral("3"));
    QCOMPARE(slow->background(EpisodesSummaryWidget::NotMetColumn).color(), QColor(0xf6, 0xc0, 0xc0));

    // The lasting one ends: its row changes in place; the finished one is not touched.
    finished->setText(EpisodesTableWidget::StartColumn, QStringLiteral("left alone"));
    episodes[2].ongoing = false;
    episodes[2].end = episodes[2].start + 300;
    table.ShowEpisodes(episodes, {channels});
    QCOMPARE(tree.topLevelItem(2), lasting);
    QVERIFY(lasting->text(EpisodesTableWidget::EndColumn) != QStringLiteral("идёт"));
    QCOMPARE(finished->text(EpisodesTableWidget::StartColumn), QStringLiteral("left alone"));

    // An episode gone from the span loses its row.
    table.ShowEpisodes(episodes.mid(1), {channels});
    QCOMPARE(tree.topLevelItemCount(), 2);
    QCOMPARE(tree.topLevelItem(1), lasting);
    table.Clear();
    QCOMPARE(table.SummaryTree()->topLevelItemCount(), 0);
}

QTEST_MAIN(EpisodesTableTest)
#include "episodes_table_test.moc"
