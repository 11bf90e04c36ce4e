#include "views/episodes_table_widget.h"

#include <QHeaderView>
#include <QSet>
#include <QStyle>
#include <QTreeWidget>

#include "analysis/episode_format.h"
#include "views/episodes_summary_widget.h"
#include "views/objects_tree_widget.h"

namespace {

QString RowKey(const QString &station, double start) {
    return station + QLatin1Char('|') + QString::number(start, 'f', 3);
}

bool Same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

// Whether a row would show the same: finished episodes stay as they are from tick to tick.
bool SameFigures(const Episode &a, const Episode &b) {
    if (!Same(a.end, b.end) || a.ongoing != b.ongoing || a.cut != b.cut || !Same(a.deviationMHz, b.deviationMHz) ||
        !Same(a.deviationTime, b.deviationTime) || !Same(a.frequencyA, b.frequencyA) ||
        !Same(a.frequencyB, b.frequencyB) || !Same(a.responseMwPer01Hz, b.responseMwPer01Hz) ||
        a.units.size() != b.units.size())
        return false;
    for (int i = 0; i < a.units.size(); ++i) {
        const UnitEpisode &x = a.units[i], &y = b.units[i];
        if (x.name != y.name || x.verdict != y.verdict || x.reason != y.reason ||
            x.violationSeconds != y.violationSeconds)
            return false;
        const double xs[] = {x.powerBefore, x.required, x.required15, x.actual15, x.ratio15, x.required30,
                             x.actual30,    x.ratio30,  x.requiredB,  x.actualB,  x.ratioB};
        const double ys[] = {y.powerBefore, y.required, y.required15, y.actual15, y.ratio15, y.required30,
                             y.actual30,    y.ratio30,  y.requiredB,  y.actualB,  y.ratioB};
        for (int k = 0; k < 11; ++k)
            if (!Same(xs[k], ys[k]))
                return false;
    }
    return true;
}

} // namespace

EpisodesTableWidget::~EpisodesTableWidget() {
    delete summary;
}

QTreeWidget *EpisodesTableWidget::SummaryTree() const {
    return summary->Tree();
}

EpisodesTableWidget::EpisodesTableWidget(QTreeWidget *tree) : tree(tree), summary(new EpisodesSummaryWidget(tree)) {
    tree->setColumnCount(ColumnCount);
    tree->setHeaderLabels({QStringLiteral("Эпизод / блок"), QStringLiteral("Начало"), QStringLiteral("Конец"),
                           QStringLiteral("Откл., мГц"), QStringLiteral("Отклик, МВт/0,1 Гц"),
                           QStringLiteral("P до (A), МВт"), QStringLiteral("Треб. ΔP, МВт"),
                           QStringLiteral("ΔP 15 с, МВт"), QStringLiteral("ΔP 30 с, МВт"),
                           QStringLiteral("ΔP (B), МВт"), QStringLiteral("Нарушение, с"), QStringLiteral("Итог")});
    tree->setAlternatingRowColors(true);
    tree->setRootIsDecorated(true);
    tree->setUniformRowHeights(true);
    tree->setExpandsOnDoubleClick(false);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->header()->setDefaultSectionSize(110);
    tree->header()->setStretchLastSection(true);
    tree->setColumnWidth(NameColumn, 200);
    tree->setColumnWidth(StartColumn, 140);
    tree->setColumnWidth(EndColumn, 140);
}

void EpisodesTableWidget::Clear() {
    tree->clear();
    summary->Show({});
    rows.clear();
    shown.clear();
}

QTreeWidgetItem *EpisodesTableWidget::EpisodeRow(QTreeWidgetItem *item) {
    if (!item)
        return nullptr;
    return item->parent() ? item->parent() : item;
}

void EpisodesTableWidget::ShowEpisodes(const QVector<Episode> &episodes, const QVector<StationChannels> &stations) {
    QHash<QString, int> stationIds;
    for (const StationChannels &s : stations)
        stationIds.insert(s.name, s.objectId);
    summary->Show(EpisodeSummary::Of(episodes));
    QSet<QString> present;
    const bool wasEmpty = rows.isEmpty();
    QVector<QTreeWidgetItem *> added;
    for (const Episode &episode : episodes) {
        const QString key = RowKey(episode.station, episode.start);
        present.insert(key);
        QTreeWidgetItem *row = rows.value(key);
        if (!row) {
            row = new QTreeWidgetItem;
            // Oldest first, as the episodes come; a new one goes where its start puts it.
            int at = tree->topLevelItemCount();
            while (at > 0 && tree->topLevelItem(at - 1)->data(NameColumn, StartRole).toDouble() > episode.start)
                --at;
            tree->insertTopLevelItem(at, row);
            rows.insert(key, row);
            row->setExpanded(true);
            added.append(row);
        }
        auto last = shown.find(key);
        if (last != shown.end() && SameFigures(last.value(), episode))
            continue;
        Fill(row, episode, stationIds.value(episode.station));
        shown.insert(key, episode);
    }
    for (auto it = rows.begin(); it != rows.end();) {
        if (present.contains(it.key())) {
            ++it;
            continue;
        }
        delete it.value();
        shown.remove(it.key());
        it = rows.erase(it);
    }
    // Widths follow the texts when rows come, not on every tick, so a user's widths stay until then; a new
    // row only widens what it needs, without measuring every row again.
    if (wasEmpty && !added.isEmpty()) {
        for (int c = 0; c < ColumnCount - 1; ++c)
            tree->resizeColumnToContents(c);
        return;
    }
    const QFontMetrics metrics(tree->font());
    QFont bold = tree->font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    for (QTreeWidgetItem *row : added) {
        for (int c = 0; c < ColumnCount - 1; ++c) {
            int width = (c == NameColumn ? boldMetrics : metrics).horizontalAdvance(row->text(c));
            for (int i = 0; i < row->childCount(); ++i)
                width = std::max(width, metrics.horizontalAdvance(row->child(i)->text(c)) +
                                            (c == NameColumn ? tree->indentation() : 0));
            width += 2 * tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12;
            if (c == NameColumn)
                width += tree->indentation();
            if (width > tree->columnWidth(c))
                tree->setColumnWidth(c, width);
        }
    }
}

void EpisodesTableWidget::Fill(QTreeWidgetItem *row, const Episode &episode, int stationId) {
    using namespace EpisodeFormat;
    row->setData(NameColumn, StartRole, episode.start);
    row->setData(NameColumn, EndRole, std::isfinite(episode.end) ? episode.end : episode.start);
    row->setData(NameColumn, StationIdRole, stationId);
    row->setData(NameColumn, StationRole, episode.station);
    row->setText(NameColumn, episode.station);
    row->setText(StartColumn, Time(episode.start));
    // The end on the start's day shows its time only, so the list stays narrow.
    const QString end = End(episode);
    row->setText(EndColumn, end.left(10) == Time(episode.start).left(10) ? end.mid(11) : end);
    row->setText(DeviationColumn,
                 (episode.deviationMHz > 0 ? QStringLiteral("+") : QString()) + Number(episode.deviationMHz, 0));
    row->setToolTip(DeviationColumn, QStringLiteral("Наибольшее отклонение в %1; частота A %2 Гц, B %3 Гц")
                                         .arg(Clock(episode.deviationTime), Number(episode.frequencyA, 3),
                                              Number(episode.frequencyB, 3)));
    row->setText(ResponseColumn, Number(episode.responseMwPer01Hz, 1));
    row->setToolTip(ResponseColumn, QStringLiteral("Отклик станции по точкам A и B"));
    const EpisodeVerdict overall = Overall(episode);
    row->setText(VerdictColumn, episode.cut ? QStringLiteral("эпизод обрезан краем периода") : Summary(episode));
    QStringList notes;
    if (episode.kind == EpisodeKind::Drift)
        notes << KindText(episode.kind);
    if (!episode.baseline.isEmpty())
        notes << episode.baseline;
    row->setToolTip(VerdictColumn, notes.join(QStringLiteral("; ")));
    row->setBackground(VerdictColumn, VerdictColor(overall));
    QFont bold = row->font(NameColumn);
    bold.setBold(true);
    row->setFont(NameColumn, bold);

    while (row->childCount() > episode.units.size())
        delete row->takeChild(row->childCount() - 1);
    for (int i = 0; i < episode.units.size(); ++i) {
        const UnitEpisode &u = episode.units[i];
        QTreeWidgetItem *child = i < row->childCount() ? row->child(i) : new QTreeWidgetItem(row);
        child->setText(NameColumn, u.name);
        child->setText(PowerBeforeColumn, Number(u.powerBefore, 2));
        child->setText(RequiredColumn, u.verdict == EpisodeVerdict::NoData && std::isnan(u.required)
                                           ? QStringLiteral("нет данных")
                                           : Number(u.required, 2));
        child->setText(At15Column, Change(u.actual15, u.ratio15));
        child->setToolTip(At15Column, QStringLiteral("Требуется %1 МВт").arg(Number(u.required15, 2)));
        child->setText(At30Column, Change(u.actual30, u.ratio30));
        child->setToolTip(At30Column, QStringLiteral("Требуется %1 МВт").arg(Number(u.required30, 2)));
        child->setText(AtBColumn, Change(u.actualB, u.ratioB));
        child->setToolTip(AtBColumn, QStringLiteral("Требуется %1 МВт").arg(Number(u.requiredB, 2)));
        child->setText(ViolationColumn, QString::number(u.violationSeconds));
        child->setText(VerdictColumn, VerdictText(u.verdict));
        child->setToolTip(VerdictColumn, (u.reason.isEmpty() ? QString() : u.reason + QStringLiteral("; ")) +
                                             QStringLiteral("профиль ") + u.profile);
        child->setBackground(VerdictColumn, VerdictColor(u.verdict));
        for (int c = DeviationColumn; c <= ViolationColumn; ++c)
            child->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int c = DeviationColumn; c <= ViolationColumn; ++c)
        row->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
}
