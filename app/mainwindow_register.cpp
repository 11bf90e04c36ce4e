#include "app/mainwindow.h"

#include "ui_mainwindow.h"

#include "analysis/episode_monitor.h"
#include "analysis/episode_register.h"
#include "dialogs/dialog_register.h"
#include "support/settings.h"
#include "views/objects_tree_widget.h"

#include <QMessageBox>
#include <QStatusBar>
#include <cmath>

// The register of judged episodes: where it lives, what the episodes tab keeps in it, and its window.

void MainWindow::KeepEpisodes(const QVector<Episode> &episodes) {
    if (registerFailed)
        return;
    // Kept once its verdicts can no longer change: ended, and with the data two minutes past its end,
    // so that every check after the start (point B at 52 s among them) has been read.
    double dataEnd = -INFINITY;
    for (const StationSeries &s : episodeMonitor->Series())
        if (std::isfinite(s.spanTo))
            dataEnd = std::max(dataEnd, s.spanTo);
    const auto keyOf = [](const Episode &e) { return e.station + QLatin1Char('|') + QString::number(e.start, 'f', 3); };
    QVector<Episode> ended;
    for (const Episode &e : episodes) {
        // An episode cut by the span's edge is judged whole by a later read or the batch command.
        if (e.ongoing || e.cut || !std::isfinite(e.end) || e.end + 120 > dataEnd || e.start + 120 > dataEnd)
            continue;
        if (!keptEpisodes.contains(keyOf(e)))
            ended.append(e);
    }
    if (ended.isEmpty())
        return;
    QString error;
    if (!OpenRegister(&error)) {
        registerFailed = true;
        statusBar()->showMessage(QStringLiteral("Журнал эпизодов не ведётся: ") + error);
        return;
    }
    const QString user = Settings::FirstEntry(Settings::Open()->value("USER_NAME", "").toString());
    if (episodeRegister->Write(ended, episodeMonitor->Settings(), user) < 0) {
        registerFailed = true;
        statusBar()->showMessage(QStringLiteral("Журнал эпизодов не ведётся: ") + episodeRegister->Error());
        return;
    }
    for (const Episode &e : ended)
        keptEpisodes.insert(keyOf(e));
}

bool MainWindow::OpenRegister(QString *error) {
    if (episodeRegister && episodeRegister->IsOpen())
        return true;
    RegisterConfig config;
    if (!RegisterConfig::Load(Settings::FilePath(), &config, error))
        return false;
    episodeRegister = std::make_unique<EpisodeRegister>(config);
    if (!episodeRegister->Open()) {
        *error = episodeRegister->Error();
        return false;
    }
    return true;
}

EpisodeRegister *MainWindow::Register() {
    QString error;
    if (!OpenRegister(&error)) {
        QMessageBox::warning(this, QStringLiteral("Ошибка"), error);
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
    connect(&dialog, &DialogRegister::OpenPeriod, this, [this](double from, double to, QString station) {
        int stationId = 0;
        for (const StationChannels &s : objectsTree->Catalog().Stations())
            if (s.name == station)
                stationId = s.objectId;
        ShowArchiveSpan(from, to, stationId);
    });
    dialog.Reload();
    dialog.exec();
}
