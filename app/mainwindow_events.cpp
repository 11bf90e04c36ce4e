// Events tab of the main window: incoming events, the alarm (sound and blinking) and acknowledgement.
#include "app/mainwindow.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QMenu>
#include <QMessageBox>

#include "server/table_dedur_events_14.h"
#include "ui_mainwindow.h"
#include "views/events_table_widget.h"

namespace {
const int kEventsTab = 1;
const int kCsvColumn = 5;
// Why a file could not be written, in the operator's language; Qt's own text is English.
QString SaveFailureReason(const QString &path, QFileDevice::FileError error) {
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (error == QFileDevice::OpenError) {
        if (!folder.isDir())
            return QStringLiteral("папка не найдена");
        if (info.isDir())
            return QStringLiteral("с таким именем уже есть папка");
        if (info.exists() ? !info.isWritable() : !folder.isWritable())
            return QStringLiteral("нет прав на запись");
        return QStringLiteral("файл не открывается для записи");
    }
    if (error == QFileDevice::WriteError || error == QFileDevice::ResourceError)
        return QStringLiteral("ошибка записи на диск (возможно, диск заполнен)");
    return QStringLiteral("ошибка записи");
}

} // namespace

void MainWindow::RaiseAlarm() {
    ui->action_show_events->setIcon(alarmIcon);
    ui->tabWidget->setTabIcon(kEventsTab, alarmIcon);
    alarmActive = true;
    if (!soundMuted && alarmPlayer)
        alarmPlayer->play();
}

void MainWindow::EventAcknowledgmentRequired2(int code, QDateTime date, QString text, bool ackRequired, QString eventId,
                                              QString comment, QString csvData) {
    if (ackRequired)
        RaiseAlarm();
    const bool hasCsv = !csvData.isEmpty() && csvData != QLatin1String("0");
    AddEvent(eventId, date, text, ackRequired, comment, 0.0, QString(), hasCsv, csvData, code);
}

void MainWindow::EventAcknowledgmentRequired(QDateTime date, QString text, bool ackRequired, QString eventId) {
    if (ackRequired)
        RaiseAlarm();
    if (db.tableDedurEvents && db.tableDedurEvents->LoadTable(QStringLiteral(" where KeyLink='") + eventId + "'"))
        AddEvent(eventId, date, text, ackRequired, QString(), 0.0, QString(), false, QString(), 0);
}

void MainWindow::AddEvent(QString key, QDateTime time, QString text, bool ackRequired, QString comment, double value,
                          QString toolTip, bool hasCsv, QString csvData, int code) {
    eventsTable->AddEvent(key, time, text, ackRequired, comment, value, toolTip, hasCsv, csvData, code);
    if (ackRequired)
        EventsBlinkingStart();
    else if (!eventsTable->IsAcknowledgmentRequired())
        EventsBlinkingStop();
}

void MainWindow::EventAcknowledged(QString key) {
    eventsTable->EventAcknowledged(key);
    if (!eventsTable->IsAcknowledgmentRequired())
        EventsBlinkingStop();
}

void MainWindow::EventsBlinkingStart() {
    if (blinkTimer.isActive())
        return;
    blinkPhase = true;
    blinkTimer.start(400);
}

void MainWindow::EventsBlinkingStop() {
    blinkTimer.stop();
    ui->action_show_events->setIcon(quietIcon);
    ui->tabWidget->setTabIcon(kEventsTab, quietIcon);
}

void MainWindow::AcknowledgmentRequiredTimerSlot() {
    if (!alarmActive)
        return;
    const QIcon &icon = blinkPhase ? alarmIcon : quietIcon;
    ui->action_show_events->setIcon(icon);
    ui->tabWidget->setTabIcon(kEventsTab, icon);
    blinkPhase = !blinkPhase;
}

void MainWindow::on_action_acknowledgment_triggered() {
    eventsTable->AcknowledeOneSelectedEvent();
    if (!eventsTable->IsAcknowledgmentRequired())
        EventsBlinkingStop();
}

void MainWindow::on_action_acknowledgment_all_triggered() {
    eventsTable->AcknowledeAllEvents();
    // After a failed walk some rows are still pending: the alarm must keep blinking for them.
    if (!eventsTable->IsAcknowledgmentRequired())
        EventsBlinkingStop();
}

void MainWindow::on_action_mute_sound_triggered(bool checked) {
    soundMuted = checked;
}

void MainWindow::on_action_clear_events_triggered() {
    const auto answer = QMessageBox::question(this, QStringLiteral("Подверждение"),
                                              QStringLiteral("Вы хотите полностью очистить таблицу событий?"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    eventsTable->ClearTableWidget();
    EventsBlinkingStop();
}

void MainWindow::on_action_save_csv_triggered() {
    const int row = ui->events_tableWidget->currentRow();
    if (row < 0) {
        QMessageBox::information(this, QStringLiteral("Информация"),
                                 QStringLiteral("Необходимо выбрать строку в таблице событий!"));
        return;
    }
    const QString text = eventsTable->GetCSVTextFromRow(row);
    if (text.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Информация"), QStringLiteral("Нет данных для сохранения!"));
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить CSV-файл"), QString(),
                                                      QStringLiteral("csv (*.csv)"));
    if (path.isEmpty())
        return;

    // The operator must know when nothing (or only part) reached the disk.
    QFile file(path);
    const QByteArray bytes = text.toUtf8();
    bool saved = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (saved)
        saved = file.write(bytes) == bytes.size() && file.flush();
    // Read before close(): a close that flushes nothing more clears the error of a failed write.
    QFileDevice::FileError error = file.error();
    file.close();
    if (saved && file.error() != QFileDevice::NoError) {
        saved = false;
        error = file.error();
    }
    if (!saved) {
        QMessageBox::warning(this, QStringLiteral("Ошибка"),
                             QStringLiteral("Не удалось сохранить CSV-файл \"%1\": %2")
                                 .arg(QDir::toNativeSeparators(path), SaveFailureReason(path, error)));
    }
}

void MainWindow::on_events_tableWidget_customContextMenuRequested(const QPoint &pos) {
    QMenu menu(this);
    menu.addAction(ui->action_view_csv);
    menu.addAction(ui->action_save_csv);
    menu.addSeparator();
    menu.addAction(ui->action_acknowledgment);
    menu.addAction(ui->action_acknowledgment_all);
    menu.addSeparator();
    menu.addAction(ui->action_clear_events);
    menu.exec(ui->events_tableWidget->viewport()->mapToGlobal(pos));
}

void MainWindow::on_events_tableWidget_cellDoubleClicked(int row, int column) {
    Q_UNUSED(row);
    if (column == kCsvColumn)
        on_action_view_csv_triggered();
}
