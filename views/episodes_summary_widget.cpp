#include "views/episodes_summary_widget.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeWidget>

#include "analysis/episode_format.h"

EpisodesSummaryWidget::EpisodesSummaryWidget(QTreeWidget *below) : tree(new QTreeWidget) {
    tree->setObjectName(QStringLiteral("episodes_summary_treeWidget"));
    tree->setColumnCount(ColumnCount);
    tree->setHeaderLabels({QStringLiteral("Станция / блок"), QStringLiteral("Профиль"), QStringLiteral("Оценено"),
                           QStringLiteral("Выполнено"), QStringLiteral("Не выполнено"), QStringLiteral("Ограничено"),
                           QStringLiteral("Не оценивается"), QStringLiteral("Недостаточно данных"),
                           QStringLiteral("Медиана 15 с / 30 с"), QStringLiteral("Статизм факт. (зад.), %"),
                           QStringLiteral("Худший эпизод")});
    tree->setRootIsDecorated(false);
    tree->setUniformRowHeights(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->header()->setStretchLastSection(true);
    tree->setColumnWidth(UnitColumn, 260);
    // Above the episodes, in the place they had, each part as tall as the user drags it.
    QWidget *parent = below->parentWidget();
    auto *grid = parent ? qobject_cast<QGridLayout *>(parent->layout()) : nullptr;
    const int index = grid ? grid->indexOf(below) : -1;
    if (index < 0) {
        // A list on its own (tests, benchmarks): the summary stays apart, and is ours to delete.
        owned = true;
        return;
    }
    auto *splitter = new QSplitter(Qt::Vertical);
    splitter->setObjectName(QStringLiteral("episodes_splitter"));
    int row = 0, column = 0, rows = 1, columns = 1;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    grid->removeWidget(below);
    grid->addWidget(splitter, row, column, rows, columns);
    splitter->addWidget(tree);
    splitter->addWidget(below);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
}

EpisodesSummaryWidget::~EpisodesSummaryWidget() {
    if (owned)
        delete tree;
}

void EpisodesSummaryWidget::Show(const QVector<UnitSummary> &rows) {
    using namespace EpisodeFormat;
    auto same = [](const UnitSummary &a, const UnitSummary &b) {
        auto eq = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
        return a.station == b.station && a.unit == b.unit && a.profile == b.profile && a.episodes == b.episodes &&
               a.judged == b.judged && a.met == b.met && a.notMet == b.notMet && a.limited == b.limited &&
               a.notJudged == b.notJudged && a.noData == b.noData && eq(a.median15, b.median15) &&
               eq(a.median30, b.median30) && eq(a.medianDroop, b.medianDroop) && eq(a.worstStart, b.worstStart) &&
               eq(a.worstRatio, b.worstRatio);
    };
    while (tree->topLevelItemCount() > rows.size())
        delete tree->takeTopLevelItem(tree->topLevelItemCount() - 1);
    for (int i = 0; i < rows.size(); ++i) {
        const UnitSummary &r = rows[i];
        if (i < shown.size() && i < tree->topLevelItemCount() && same(shown[i], r))
            continue;
        QTreeWidgetItem *item = i < tree->topLevelItemCount() ? tree->topLevelItem(i) : new QTreeWidgetItem(tree);
        item->setText(UnitColumn, r.station + QStringLiteral(" / ") + r.unit);
        item->setText(ProfileColumn, r.profile);
        item->setText(JudgedColumn, QStringLiteral("%1 из %2").arg(r.judged).arg(r.episodes));
        item->setText(MetColumn, QString::number(r.met));
        item->setText(NotMetColumn, QString::number(r.notMet));
        item->setText(LimitedColumn, QString::number(r.limited));
        item->setText(NotJudgedColumn, QString::number(r.notJudged));
        item->setText(NoDataColumn, QString::number(r.noData));
        item->setText(SharesColumn, Percent(r.median15) + QStringLiteral(" / ") + Percent(r.median30));
        item->setText(DroopColumn,
                      Number(r.medianDroop, 1) + QStringLiteral(" (") + Number(r.setDroop, 1) + QLatin1Char(')'));
        item->setText(WorstColumn,
                      std::isfinite(r.worstStart)
                          ? Time(r.worstStart) + QStringLiteral(", ") + Percent(r.worstRatio) +
                                (r.worstReason.isEmpty() ? QString() : QStringLiteral(": ") + r.worstReason)
                          : QStringLiteral("—"));
        item->setToolTip(UnitColumn, EpisodeSummary::Line(r));
        const EpisodeVerdict colour = r.notMet > 0    ? EpisodeVerdict::NotMet
                                      : r.judged == 0 ? EpisodeVerdict::NoData
                                      : r.limited > 0 ? EpisodeVerdict::Limited
                                                      : EpisodeVerdict::Met;
        item->setBackground(NotMetColumn, VerdictColor(colour));
        for (int c = JudgedColumn; c <= DroopColumn; ++c)
            item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    shown = rows;
}
