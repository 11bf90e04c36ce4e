#include "dialogs/dialog_register.h"

#include "ui_dialog_register.h"

#include "support/settings.h"

#include <QDate>
#include <QFileDialog>
#include <QMessageBox>
#include <QTreeWidgetItem>
#include <cmath>

namespace {

enum Column {
    StartColumn,
    NameColumn,
    DeviationColumn,
    VerdictColumn,
    MarkColumn,
    CommentColumn,
    RevisionColumn,
    RuleColumn
};

constexpr int RecordRole = Qt::UserRole; // index of the record, on the episode rows

QString Number(double value, int decimals) {
    return std::isfinite(value) ? QLocale().toString(value, 'f', decimals) : QStringLiteral("—");
}

} // namespace

DialogRegister::DialogRegister(QWidget *parent) : QDialog(parent), ui(new Ui::DialogRegister) {
    ui->setupUi(this);
    ui->combo_verdict->addItem(QStringLiteral("все"), -1);
    for (EpisodeVerdict v : {EpisodeVerdict::Met, EpisodeVerdict::NotMet, EpisodeVerdict::Limited,
                             EpisodeVerdict::NotJudged, EpisodeVerdict::NoData})
        ui->combo_verdict->addItem(VerdictText(v), int(v));
    ui->combo_mark->addItem(QStringLiteral("все"), QString());
    ui->combo_mark->addItem(QStringLiteral("без отметки"), QStringLiteral("-"));
    ui->combo_set_mark->addItem(QStringLiteral("без отметки"), QString());
    for (const QString &mark : EpisodeRegister::Marks()) {
        ui->combo_mark->addItem(mark, mark);
        ui->combo_set_mark->addItem(mark, mark);
    }
    // This month by default: the span a monthly summary covers.
    const QDate today = QDate::currentDate();
    ui->date_from->setDate(QDate(today.year(), today.month(), 1));
    ui->date_to->setDate(today);
    ui->tree_records->header()->setStretchLastSection(true);
    ui->tree_records->setColumnWidth(CommentColumn, 220);
    ui->group_mark->setEnabled(false);
}

DialogRegister::~DialogRegister() {
    delete ui;
}

void DialogRegister::SetRegister(EpisodeRegister *r, const QString &markingUser) {
    reg = r;
    user = markingUser;
    ui->group_mark->setToolTip(user.isEmpty() ? QStringLiteral("Отметки ставятся в режиме редактирования") : QString());
}

void DialogRegister::on_button_find_clicked() {
    Reload();
}

void DialogRegister::Reload() {
    records.clear();
    ui->tree_records->clear();
    if (!reg) {
        ui->label_status->setText(QStringLiteral("Журнал эпизодов не открыт."));
        return;
    }
    EpisodeRegister::Filter filter;
    filter.station = ui->combo_station->currentIndex() > 0 ? ui->combo_station->currentText() : QString();
    filter.unit = ui->combo_unit->currentIndex() > 0 ? ui->combo_unit->currentText() : QString();
    filter.verdict = ui->combo_verdict->currentData().toInt();
    filter.mark = ui->combo_mark->currentData().toString();
    filter.from = double(QDateTime(ui->date_from->date(), QTime(0, 0)).toSecsSinceEpoch());
    filter.to = double(QDateTime(ui->date_to->date().addDays(1), QTime(0, 0)).toSecsSinceEpoch());
    records = reg->Find(filter);
    if (!reg->Error().isEmpty() && records.isEmpty() && !reg->IsOpen()) {
        ui->label_status->setText(reg->Error());
        return;
    }
    FillChoices();
    ShowRecords();
}

void DialogRegister::FillChoices() {
    // The choices grow with what the register holds; the current choice stays.
    for (QComboBox *combo : {ui->combo_station, ui->combo_unit}) {
        if (combo->count() == 0)
            combo->addItem(QStringLiteral("все"));
    }
    for (const EpisodeRegister::Record &r : qAsConst(records)) {
        if (ui->combo_station->findText(r.episode.station) < 0)
            ui->combo_station->addItem(r.episode.station);
        for (const UnitEpisode &u : r.episode.units)
            if (ui->combo_unit->findText(u.name) < 0)
                ui->combo_unit->addItem(u.name);
    }
}

void DialogRegister::ShowRecords() {
    QList<QTreeWidgetItem *> rows;
    for (int i = 0; i < records.size(); ++i) {
        const EpisodeRegister::Record &r = records[i];
        auto *row = new QTreeWidgetItem;
        row->setData(StartColumn, RecordRole, i);
        row->setText(
            StartColumn,
            QDateTime::fromSecsSinceEpoch(qint64(r.episode.start)).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
        row->setText(NameColumn, r.episode.station);
        row->setText(DeviationColumn, Number(r.episode.deviationMHz, 0));
        int met = 0;
        for (const UnitEpisode &u : r.episode.units)
            met += u.verdict == EpisodeVerdict::Met;
        row->setText(VerdictColumn, QStringLiteral("%1 из %2").arg(met).arg(r.episode.units.size()));
        row->setText(MarkColumn, r.mark);
        if (!r.mark.isEmpty())
            row->setToolTip(MarkColumn,
                            QStringLiteral("%1, %2%3")
                                .arg(r.markedBy, r.markedAt.toString(QStringLiteral("dd.MM.yyyy hh:mm")),
                                     r.markReason.isEmpty() ? QString() : QStringLiteral(": ") + r.markReason));
        row->setText(CommentColumn, r.comment);
        row->setText(RevisionColumn, QString::number(r.revision));
        row->setText(RuleColumn, r.rule);
        row->setToolTip(RuleColumn,
                        QStringLiteral("Версия анализа %1; оценено %2 (%3)")
                            .arg(r.version, r.judgedAt.toString(QStringLiteral("dd.MM.yyyy hh:mm")), r.judgedBy));
        for (const UnitEpisode &u : r.episode.units) {
            auto *child = new QTreeWidgetItem(row);
            child->setText(NameColumn, u.name);
            child->setText(DeviationColumn,
                           QStringLiteral("%1 / %2 %").arg(Number(u.ratio15 * 100, 0), Number(u.ratio30 * 100, 0)));
            child->setToolTip(DeviationColumn, QStringLiteral("Доля требуемого изменения через 15 и 30 с"));
            child->setText(VerdictColumn, VerdictText(u.verdict));
            child->setToolTip(VerdictColumn, u.reason);
        }
        rows.append(row);
    }
    ui->tree_records->addTopLevelItems(rows);
    // The figures fit their columns; the comment and the rule take the rest.
    for (int column = StartColumn; column <= RevisionColumn; ++column)
        if (column != CommentColumn)
            ui->tree_records->resizeColumnToContents(column);
    // The units' verdicts are folded away while the columns are measured.
    const int verdictWidth =
        ui->tree_records->fontMetrics().horizontalAdvance(QStringLiteral("недостаточно данных")) + 24;
    if (ui->tree_records->columnWidth(VerdictColumn) < verdictWidth)
        ui->tree_records->setColumnWidth(VerdictColumn, verdictWidth);
    ui->label_status->setText(QStringLiteral("Эпизодов: %1 (%2)").arg(records.size()).arg(reg->Config().Describe()));
}

int DialogRegister::RecordOf(const QTreeWidgetItem *item) const {
    if (item && item->parent())
        item = item->parent();
    if (!item)
        return -1;
    const int index = item->data(StartColumn, RecordRole).toInt();
    return index >= 0 && index < records.size() ? index : -1;
}

void DialogRegister::on_tree_records_currentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *) {
    const int index = RecordOf(current);
    ui->group_mark->setEnabled(index >= 0 && !user.isEmpty());
    if (index < 0)
        return;
    const EpisodeRegister::Record &r = records[index];
    ui->combo_set_mark->setCurrentIndex(qMax(0, ui->combo_set_mark->findData(r.mark)));
    ui->lineEdit_reason->setText(r.markReason);
    ui->lineEdit_comment->setText(r.comment);
}

void DialogRegister::on_button_save_mark_clicked() {
    const int index = RecordOf(ui->tree_records->currentItem());
    if (!reg || index < 0 || user.isEmpty())
        return;
    const QString mark = ui->combo_set_mark->currentData().toString();
    if (!reg->SetMark(records[index].id, mark, ui->lineEdit_reason->text(), ui->lineEdit_comment->text(), user)) {
        QMessageBox::warning(this, QStringLiteral("Ошибка"), reg->Error());
        return;
    }
    const qint64 id = records[index].id;
    Reload();
    for (int i = 0; i < ui->tree_records->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = ui->tree_records->topLevelItem(i);
        if (records[RecordOf(row)].id == id)
            ui->tree_records->setCurrentItem(row);
    }
}

void DialogRegister::on_tree_records_itemDoubleClicked(QTreeWidgetItem *item, int) {
    const int index = RecordOf(item);
    if (index < 0)
        return;
    const Episode &e = records[index].episode;
    // The episode with a little of what came before and after it.
    const double end = std::isfinite(e.end) ? e.end : e.start + 120;
    emit OpenPeriod(e.start - 60, end + 60, e.station);
}

bool DialogRegister::WriteMonthSummary(const QDate &month, const QString &path, QString *error) {
    if (!reg) {
        *error = QStringLiteral("Журнал эпизодов не открыт.");
        return false;
    }
    int records = 0, excluded = 0;
    const std::optional<EpisodeReport> report =
        reg->MonthReport(month, EpisodeSettings::Load(Settings::FilePath()), &records, &excluded);
    if (!report) {
        *error = reg->Error();
        return false;
    }
    return path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? report->WriteSummaryCsv(path, error)
                                                                     : report->WritePdf(path, error);
}

void DialogRegister::on_button_summary_clicked() {
    const QDate month = ui->date_from->date();
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Сводка за месяц"),
        QStringLiteral("Сводка_ОПРЧ_%1.pdf").arg(month.toString(QStringLiteral("yyyy-MM"))),
        QStringLiteral("Отчёт PDF (*.pdf);;Таблица CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!WriteMonthSummary(month, path, &error))
        QMessageBox::warning(this, QStringLiteral("Ошибка"), error);
    else
        ui->label_status->setText(QStringLiteral("Сводка сохранена: ") + path);
}
