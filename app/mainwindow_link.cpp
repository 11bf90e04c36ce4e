#include "app/mainwindow.h"

#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>

#include "ui_mainwindow.h"
#include "views/telemetry_plot_widget.h"

// A lost link: one notice, then tries again by itself until the server answers; what is drawn stays.

void MainWindow::ConnectionAborted(QString) {
    // Closed by the user, or lost and being tried again already: nothing new to tell.
    if (ui->action_connect->isEnabled() || linkDown)
        return;
    linkDown = true;
    telemetryPlot->LinkLost(QDateTime::currentMSecsSinceEpoch() / 1000.0);
    ui->action_connect->setEnabled(true);
    ui->action_disconnect->setEnabled(false);
    db.CloseSession();
    if (editMode)
        on_action_edit_mode_triggered();
    setWindowTitle(QStringLiteral("ЗЕНТА.ОПРЧ / Автономный режим"));
    linkRetry.Start();
    ShowLinkState();
    // The program's own text first; why the link closed, when known, on a line of its own. Told once
    // per loss; the tries that follow are shown in the status bar only.
    QString text = QStringLiteral("Потеряно соединение с сервером!");
    if (db.ClosedByRefusedWrite())
        text += QStringLiteral("\nСервер отказал в записи объекта, соединение с сервером закрыто.");
    QMessageBox::warning(nullptr, QStringLiteral("ОШИБКА"), text, QMessageBox::Ok);
}

void MainWindow::ShowLinkState() {
    if (!linkLabel)
        return;
    const bool up = db.Connected() && !linkDown;
    linkLabel->setText(up ? QStringLiteral("● связь есть") : QStringLiteral("● нет связи"));
    linkLabel->setStyleSheet(up ? QStringLiteral("color: #008000;") : QStringLiteral("color: #c00000;"));
    linkLabel->setToolTip(up ? QStringLiteral("Соединение с сервером установлено")
                             : QStringLiteral("Нет соединения с сервером"));
    if (linkDown && linkRetry.Active() && linkRetry.SecondsLeft() > 0)
        statusBar()->showMessage(QStringLiteral("нет связи, повтор через %1 с").arg(linkRetry.SecondsLeft()));
}

void MainWindow::RetryLink() {
    if (!linkDown)
        return;
    statusBar()->showMessage(QStringLiteral("нет связи, соединение..."));
    if (!db.OpenSession(lastLogin.server, lastLogin.user, lastLogin.password)) {
        linkRetry.Failed();
        return;
    }
    LinkBack();
}

void MainWindow::LinkBack() {
    linkDown = false;
    linkRetry.Stop();
    telemetryPlot->LinkRestored(QDateTime::currentMSecsSinceEpoch() / 1000.0);
    ui->action_connect->setEnabled(false);
    ui->action_disconnect->setEnabled(true);
    setWindowTitle(QStringLiteral("ЗЕНТА.ОПРЧ / ") + ServerLabel(lastLogin.server) + QStringLiteral(" / ") +
                   lastLogin.user);
    ShowLinkState();
    // The archive went on recording while the link was down: read what was missed, so that the
    // curve has no hole the archive can fill. A realtime tick reads on from the last sample drawn.
    if (realtimeMode) {
        statusBar()->showMessage(QStringLiteral("Режим слежения"));
        RealtimeTimerSlot();
    } else {
        LoadPlotForPeriodMaually();
    }
}
