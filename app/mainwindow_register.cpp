#include "app/mainwindow.h"

#include "ui_mainwindow.h"

#include "analysis/episode_monitor.h"
#include "analysis/episode_register.h"
#include "dialogs/dialog_register.h"
#include "support/settings.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"

#include <QDir>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTreeWidgetItemIterator>
#include <cmath>

// The register of judged episodes: where it lives, its window, and its episodes shown on the chart.

void MainWindow::KeepEpisodes(const QVector<Episode> &episodes) {
    if (registerFailed)
        return;
    // Kept once its verdicts can no longer change: ended, and with the data two minutes past its end,
    // so that every check after the start (point B at 52 s among them) has been read.
    double dataEnd = -INFINITY;
    for (const StationSeries &s : episodeMonitor->Series())
        if (std::isfinite(s.spanTo))
            dataEnd = std::max(dataEnd, s.spanTo);
    QVector<Episode> ended;
    for (const Episode &e : episodes) {
        // An episode cut by the span's edge is judged whole by a later read or the batch command.
        if (e.ongoing || e.cut || !std::isfinite(e.end) || e.end + 120 > dataEnd || e.start + 120 > dataEnd)
            continue;
        const QString key = e.station + QLatin1Char('|') + QString::number(e.start, 'f', 3);
        if (!keptEpisodes.contains(key))
            ended.append(e);
    }
    if (ended.isEmpty())
        return;
    if (!episodeRegister || !episodeRegister->IsOpen()) {
        RegisterConfig config;
        QString error;
        if (RegisterConfig::Load(Settings::FilePath(), QDir::current().filePath(QStringLiteral("episodes.sqlite")),
                                 &config, &error)) {
            episodeRegister = std::make_unique<EpisodeRegister>(config);
            if (!episodeRegister->Open())
                error = episodeRegister->Error();
        }
        if (!error.isEmpty()) {
            registerFailed = true;
            statusBar()->showMessage(QStringLiteral("Журнал эпизодов не ведётся: ") + error);
            return;
        }
    }
    const QString user = Settings::FirstEntry(Settings::Open()->value("USER_NAME", "").toString());
    if (episodeRegister->Write(ended, episodeMonitor->Settings(), user) < 0) {
        registerFailed = true;
        statusBar()->showMessage(QStringLiteral("Журнал эпизодов не ведётся: ") + episodeRegister->Error());
        return;
    }
    for (const Episode &e : ended)
        keptEpisodes.insert(e.station + QLatin1Char('|') + QString::number(e.start, 'f', 3));
}

EpisodeRegister *MainWindow::Register() {
    if (episodeRegister && episodeRegister->IsOpen())
        return episodeRegister.get();
    RegisterConfig config;
    QString error;
    if (!RegisterConfig::Load(Settings::FilePath(), QDir::current().filePath(QStringLiteral("episodes.sqlite")),
                              &config, &error)) {
        QMessageBox::warning(this, QStringLiteral("Ошибка"), error);
        return nullptr;
    }
    episodeRegister = std::make_unique<EpisodeRegister>(config);
    if (!episodeRegister->Open()) {
        QMessageBox::warning(this, QStringLiteral("Ошибка"), episodeRegister->Error());
        return nullptr;
    }
    registerFailed = false;
    return episodeRegister.get();
}

void MainWindow::on_action_register_triggered() {
    EpisodeRegister *reg = Register();
    if (!reg)
        return;
    DialogRegister dialog(this);
    // Marks are the engineer's: set only in edit mode, under the name of the session's user.
    const QString user =
        editMode ? Settings::FirstEntry(Settings::Open()->value("USER_NAME", "").toString()) : QString();
    dialog.SetRegister(reg, user);
    connect(&dialog, &DialogRegister::OpenPeriod, this, [this, &dialog](double from, double to) {
        int stationId = 0;
        if (QTreeWidgetItem *row = dialog.findChild<QTreeWidget *>(QStringLiteral("tree_records"))->currentItem()) {
            const QString station = (row->parent() ? row->parent() : row)->text(1);
            for (const StationChannels &s : objectsTree->Catalog().Stations())
                if (s.name == station)
                    stationId = s.objectId;
        }
        ShowArchiveSpan(from, to, stationId);
    });
    dialog.Reload();
    dialog.exec();
}

void MainWindow::ShowArchiveSpan(double fromSeconds, double toSeconds, int stationId) {
    const QDateTime from = QDateTime::fromSecsSinceEpoch(qint64(std::floor(fromSeconds)));
    const QDateTime to = QDateTime::fromSecsSinceEpoch(qint64(std::ceil(toSeconds)));
    StopRealtime();
    // The fields show the end and the shortest length that holds the span; the chart shows it exactly.
    const int longest = int(std::size(PeriodLengths)) - 1;
    int index = 0;
    while (index < longest && PeriodLengths[index] < from.secsTo(to))
        ++index;
    {
        const QSignalBlocker blocker(ui->interval);
        ui->interval->setCurrentIndex(index);
    }
    SetPeriodFields(to, from);

    // Only the station's channels: its own, its units' and the way down to it.
    QTreeWidgetItem *station = nullptr;
    for (QTreeWidgetItemIterator it(ui->tree); *it && stationId > 0; ++it)
        if ((*it)->type() == ObjectItem && (*it)->data(TreeDataColumn, ObjectIdRole).toInt() == stationId) {
            station = *it;
            break;
        }
    if (station) {
        objectsTree->CheckNone();
        {
            const QSignalBlocker blocker(ui->tree);
            for (QTreeWidgetItem *up = station->parent(); up; up = up->parent())
                up->setCheckState(0, Qt::Checked);
            station->setCheckState(0, Qt::Checked);
            for (QTreeWidgetItem *below : objectsTree->CollectChildrenItems(station))
                below->setCheckState(0, Qt::Checked);
        }
        on_tree_itemChanged(station, 0);
        ui->tree->setCurrentItem(station);
    }
    telemetryPlot->LoadPlotForPeriodMaually(from, to);
    UpdateEpisodes(false);
}
