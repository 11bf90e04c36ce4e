#include "app/mainwindow.h"

#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSettings>
#include <QSignalBlocker>
#include <QTreeWidgetItemIterator>
#include <iterator>

#include "analysis/episode_monitor.h"
#include "analysis/episode_report.h"
#include "support/settings.h"
#include "ui_mainwindow.h"
#include "views/episodes_table_widget.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

// The "Эпизоды ОПРЧ" tab, the report of its episodes, and pictures and prints of the chart.

namespace {

bool SameStations(const QVector<StationChannels> &a, const QVector<StationChannels> &b) {
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].objectId != b[i].objectId || a[i].frequencyId != b[i].frequencyId ||
            a[i].units.size() != b[i].units.size())
            return false;
        for (int u = 0; u < a[i].units.size(); ++u)
            if (a[i].units[u].name != b[i].units[u].name || a[i].units[u].powerId != b[i].units[u].powerId ||
                a[i].units[u].calcId != b[i].units[u].calcId)
                return false;
    }
    return true;
}

} // namespace

bool MainWindow::EpisodesShown() const {
    return ui->tabWidget->isVisible() && ui->tabWidget->currentWidget() == ui->tab_episodes;
}

void MainWindow::UpdateEpisodes(bool reload) {
    // Read only while someone looks at the tab; showing it (or saving the report) reads the span anew.
    if (!episodeMonitor || !episodesTable || (!reload && !EpisodesShown()))
        return;
    const QVector<StationChannels> stations = objectsTree->Catalog().Stations();
    const bool changed = !SameStations(stations, episodeMonitor->Channels());
    Archive_Measures *archive = db.Connected() ? db.archiveMeasures : nullptr;
    if (reload || changed) {
        episodeMonitor->SetSettings(EpisodeSettings::Load(Settings::FilePath()));
        episodeMonitor->SetStations(stations);
        episodesTable->Clear();
    }
    if (realtimeMode) {
        episodeMonitor->Tick(archive, double(QDateTime::currentSecsSinceEpoch()), double(ShownPeriod().lengthSeconds));
    } else {
        const QPair<double, double> shown{ui->plot->xAxis->range().lower, ui->plot->xAxis->range().upper};
        if (reload || changed || shown != episodesPeriod || episodeMonitor->Live()) {
            episodesPeriod = shown;
            episodeMonitor->LoadPeriod(archive, std::floor(shown.first), std::floor(shown.second));
        }
    }
    episodesTable->ShowEpisodes(episodeMonitor->Episodes(), episodeMonitor->Channels());
    KeepEpisodes(episodeMonitor->Episodes());
    // Said once when it comes up, not on every tick.
    const QString problem = episodeMonitor->Problem();
    if (problem != episodesProblem && !problem.isEmpty())
        statusBar()->showMessage(problem);
    episodesProblem = problem;
}

void MainWindow::on_action_show_episodes_triggered(bool checked) {
    if (checked) {
        ui->tabWidget->show();
        ui->action_show_table->setChecked(false);
        ui->action_show_events->setChecked(false);
        telemetryTable->SetVisible(false);
        telemetryTable->ClearTableWidget();
        if (ui->tabWidget->currentWidget() == ui->tab_episodes)
            UpdateEpisodes(true);
        else
            ui->tabWidget->setCurrentWidget(ui->tab_episodes); // the tab change reads the episodes
    } else {
        ui->tabWidget->hide();
        telemetryTable->SetVisible(false);
        telemetryTable->ClearTableWidget();
    }
}

void MainWindow::on_episodes_treeWidget_customContextMenuRequested(const QPoint &pos) {
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(ui->action_save_report);
    menu->popup(ui->episodes_treeWidget->viewport()->mapToGlobal(pos));
}

void MainWindow::on_episodes_treeWidget_itemDoubleClicked(QTreeWidgetItem *item, int) {
    QTreeWidgetItem *row = EpisodesTableWidget::EpisodeRow(item);
    if (!row)
        return;
    const double start = row->data(0, EpisodesTableWidget::StartRole).toDouble();
    const double end = std::max(start, row->data(0, EpisodesTableWidget::EndRole).toDouble());
    ShowArchiveSpan(start - 60, end + 120, row->data(0, EpisodesTableWidget::StationIdRole).toInt());
}

void MainWindow::on_action_save_report_triggered() {
    UpdateEpisodes(!EpisodesShown());
    const QVector<Episode> episodes = episodeMonitor->Episodes();
    QString filter;
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Сохранить отчёт"),
        QStringLiteral("ОПРЧ_%1.pdf").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_hh-mm"))),
        QStringLiteral("Отчёт PDF (*.pdf);;Таблица CSV (*.csv)"), &filter);
    if (path.isEmpty())
        return;
    const std::unique_ptr<QSettings> settings = Settings::Open();
    ReportInfo info;
    info.server = Settings::FirstEntry(settings->value("SERVER_NAME", "").toString());
    info.user = Settings::FirstEntry(settings->value("USER_NAME", "").toString());
    const QVector<StationSeries> &series = episodeMonitor->Series();
    info.from = series.isEmpty() ? NAN : series.first().spanFrom;
    info.to = series.isEmpty() ? NAN : series.first().spanTo;
    info.made = QDateTime::currentDateTime();
    const EpisodeReport report(episodes, series, info, episodeMonitor->Settings());
    const bool csv =
        path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ||
        (filter.contains(QLatin1String("CSV")) && !path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive));
    QString error;
    if (!(csv ? report.WriteCsv(path, &error) : report.WritePdf(path, &error)))
        QMessageBox::warning(this, QStringLiteral("Ошибка"), error, QMessageBox::Ok);
    else
        statusBar()->showMessage(QStringLiteral("Отчёт сохранён: ") + path);
}

void MainWindow::on_action_save_plot_image_triggered() {
    QString filter;
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Сохранить изображение"),
        QStringLiteral("график_%1.png").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_hh-mm"))),
        QStringLiteral("Рисунок PNG (*.png);;Документ PDF (*.pdf)"), &filter);
    if (path.isEmpty())
        return;
    const bool pdf =
        path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive) ||
        (filter.contains(QLatin1String("PDF")) && !path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive));
    const bool saved = pdf ? ui->plot->savePdf(path) : ui->plot->savePng(path);
    if (!saved)
        QMessageBox::warning(this, QStringLiteral("Ошибка"),
                             QStringLiteral("Не удалось записать файл «%1».").arg(QDir::toNativeSeparators(path)),
                             QMessageBox::Ok);
}

void MainWindow::on_action_print_plot_triggered() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Печать графика"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    QPainter painter;
    if (!painter.begin(&printer)) {
        QMessageBox::warning(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось начать печать."),
                             QMessageBox::Ok);
        return;
    }
    // The chart laid out again in the page's proportions, at a size where its labels read well on paper.
    const QRect page(0, 0, printer.width(), printer.height());
    const int width = 1600;
    const int height = int(width * double(page.height()) / std::max(1, page.width()));
    const QPixmap picture = ui->plot->toPixmap(width, height, 2.0);
    painter.drawPixmap(page, picture);
    painter.end();
}
