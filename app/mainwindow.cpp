#include "app/mainwindow.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QToolButton>
#include <QUrl>
#include <QVector>

#include "analysis/episode_monitor.h"
#include "analysis/episode_register.h"
#include "support/settings.h"
#include "ui_mainwindow.h"
#include "views/episodes_table_widget.h"
#include "views/events_table_widget.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

const char *const MainWindow::EditPassword = "VERNA";

// The icons live in the client's static library, whose resource object the linker would drop
// unless something refers to it; register them before any window or dialog loads one.
static int RegisterResources() {
    Q_INIT_RESOURCE(resources);
    return 0;
}
static const int resourcesRegistered = RegisterResources();

namespace {

const QString TitlePrefix = QStringLiteral("ЗЕНТА.ОПРЧ / ");
const QString OfflineText = QStringLiteral("Автономный режим");
const QString RealtimeText = QStringLiteral("Режим слежения");
const QString PeriodText = QStringLiteral("Период");
const QString EditModeText = QStringLiteral("Режим редактирования");

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<Ui_MainWindow>()) {
    qRegisterMetaType<QVector<int>>("QVector<int>");
    qRegisterMetaType<Qt::Orientation>("Qt::Orientation");
    editOnIcon = std::make_unique<QIcon>(QStringLiteral(":/img/change-mode-selected-01.png"));
    editOffIcon = std::make_unique<QIcon>(QStringLiteral(":/img/change-mode-02.png"));

    ui->setupUi(this);
    // Column 1 of the tree carries each node's sort key and data; only column 0 is shown.
    ui->tree->setColumnHidden(1, true);
    alarmIcon = QIcon(QStringLiteral(":/img/events-04.png"));
    quietIcon = QIcon(QStringLiteral(":/img/events-02.png"));
    ui->toolBar->hide();
    ui->tabWidget->hide();
    const std::pair<QToolButton *, QAction *> buttonActions[] = {
        {ui->toolButton_connect, ui->action_connect},
        {ui->toolButton_disconnect, ui->action_disconnect},
        {ui->toolButton_open, ui->action_open},
        {ui->toolButton_check_all, ui->action_check_all},
        {ui->toolButton_check_none, ui->action_check_none},
        {ui->toolButton_realtime, ui->action_realtime},
        {ui->toolButton_edite_mode, ui->action_edit_mode},
        {ui->toolButton_mute_sound, ui->action_mute_sound},
        {ui->toolButton_show_table, ui->action_show_table},
        {ui->toolButton_show_events, ui->action_show_events},
        {ui->toolButton_show_passport, ui->action_passport},
        {ui->toolButton_show_episodes, ui->action_show_episodes},
    };
    for (const auto &pair : buttonActions)
        pair.first->setDefaultAction(pair.second);
    // Without a window manager (a bare X server, a kiosk) maximising does nothing: start screen-sized.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        resize(screen->availableGeometry().size());
    showMaximized();

    InitSettings();

    realtimeMode = true;
    followMode = true;
    editMode = false;
    plotNavigation = true;
    alarmActive = false;
    soundMuted = false;

    telemetryTable = std::make_unique<TelemetryTableWidget>(ui->tableWidget);
    telemetryPlot = std::make_unique<TelemetryPlotWidget>(ui->plot, &db, telemetryTable.get(), plotNavigation);
    objectsTree = std::make_unique<ObjectsTreeWidget>(ui->tree, &db, telemetryPlot.get(), telemetryTable.get());
    duplicateIdsLabel = new QLabel(this);
    duplicateIdsLabel->setObjectName(QStringLiteral("duplicate_ids_label"));
    duplicateIdsLabel->setToolTip(
        QStringLiteral("В таблице объектов сервера есть объекты с одинаковыми идентификаторами; "
                       "в дереве показан первый из них."));
    duplicateIdsLabel->hide();
    statusBar()->addPermanentWidget(duplicateIdsLabel);
    linkLabel = new QLabel(this);
    linkLabel->setObjectName(QStringLiteral("link_indicator"));
    statusBar()->addPermanentWidget(linkLabel);
    connect(&linkRetry, &LinkRetry::Waiting, this, [this] { ShowLinkState(); });
    connect(&linkRetry, &LinkRetry::Attempt, this, &MainWindow::RetryLink);
    eventsTable = std::make_unique<EventsTableWidget>(ui->events_tableWidget, &db);
    episodesTable = std::make_unique<EpisodesTableWidget>(ui->episodes_treeWidget);
    episodeMonitor = std::make_unique<EpisodeMonitor>(EpisodeSettings::Load(Settings::FilePath()));

    ui->action_realtime->setChecked(realtimeMode);
    ui->action_follow->setChecked(followMode);
    ui->action_edit_mode->setChecked(editMode);
    for (QAction *action : {ui->action_add, ui->action_add_top_level, ui->action_change, ui->action_delete})
        action->setEnabled(editMode);
    for (QAction *action :
         {ui->action_follow, ui->action_shrink_all, ui->action_shrink_height, ui->action_shrink_width})
        action->setVisible(plotNavigation);
    objectsTree->SetEditMode(editMode);
    ui->action_show_legend->setChecked(telemetryPlot->LegendVisible());

    // Hidden actions may leave two separators next to each other on the tool bar.
    QAction *previousVisible = nullptr;
    for (QAction *action : ui->toolBar->actions()) {
        if (!action->isVisible())
            continue;
        if (action->isSeparator() && previousVisible && previousVisible->isSeparator()) {
            action->setVisible(false);
            continue;
        }
        previousVisible = action;
    }

    StopRealtime();
    connect(&dialogLogin, &DialogLogin::login, this, &MainWindow::Login);
    connect(&realtimeTimer, &QTimer::timeout, this, &MainWindow::RealtimeTimerSlot);
    connect(&blinkTimer, &QTimer::timeout, this, &MainWindow::AcknowledgmentRequiredTimerSlot);
    connect(ui->plot, &QCustomPlot::mousePress, this, &MainWindow::PlotMousePress);
    connect(ui->plot, &QCustomPlot::mouseWheel, this, &MainWindow::PlotMouseWheel);
    connect(signal_emitter, &DBSignal::ConnectionAborted, this, &MainWindow::ConnectionAborted);
    connect(signal_emitter, &DBSignal::EventAcknowledgmentRequired, this, &MainWindow::EventAcknowledgmentRequired);
    connect(&eventTimer, &QTimer::timeout, this, &MainWindow::EventTimerSlot);
    connect(signal_emitter, &DBSignal::EventAcknowledgmentRequired2, this, &MainWindow::EventAcknowledgmentRequired2);
    connect(signal_emitter, &DBSignal::EventAcknowledged, this, &MainWindow::EventAcknowledged);
    connect(signal_emitter, &DBSignal::EventAcknowledgedBy, this,
            [this](QString key, QString user, QDateTime time) { eventsTable->MarkAcknowledged(key, user, time); });
    // Direct: the box is up while the operation that asked for it waits, as if the session showed it.
    connect(signal_emitter, &DBSignal::NotImplemented, this, &MainWindow::ShowNotImplemented, Qt::DirectConnection);

    {
        const QSignalBlocker blocker(ui->interval);
        ui->interval->setCurrentIndex(0);
    }
    const QDateTime now = QDateTime::currentDateTime();
    SetPeriodFields(now.addSecs(-ShownPeriod().lengthSeconds), now);
    StartRealtime();

    alarmPlayer = std::make_unique<QMediaPlayer>();
    alarmPlayer->setMedia(QUrl::fromLocalFile(QDir::currentPath() + QStringLiteral("/Alarm.wav")));
    alarmPlayer->setVolume(50);

    FinishStart();
    ShowLinkState();
}

void MainWindow::StartSession() {
    const std::unique_ptr<QSettings> settings = Settings::Open();
    if (settings->value("AUTOLOGIN", false).toBool()) {
        const QString password = settings->value("USER_PASSWORD", "").toString();
        // The stored password goes with the user it belongs to, not with whoever logged in last.
        const QString owner = Settings::PasswordUser(settings.get());
        const QString user = !owner.isEmpty() && !password.isEmpty()
                                 ? owner
                                 : Settings::FirstEntry(settings->value("USER_NAME", "").toString());
        const QString server = Settings::FirstEntry(settings->value("SERVER_NAME", "").toString());
        if (!Login(server, user, password)) {
            dialogLogin.setModal(true);
            dialogLogin.exec();
        }
    } else {
        dialogLogin.setModal(true);
        dialogLogin.exec();
    }
    // Whatever the login gave, the start ends as it always has.
    FinishStart();
    sessionStarted = true;
}

void MainWindow::FinishStart() {
    on_action_graph_style_step_triggered();
    PassPeriodToPlot(realtimeMode);
    statusBar()->showMessage(RealtimeText);
}

MainWindow::~MainWindow() {
    // Closing the session below may report the closed link; nobody is left to show it.
    disconnect(signal_emitter, nullptr, this, nullptr);
    realtimeTimer.stop();
    eventTimer.stop();
    blinkTimer.stop();
    // The tree points to the plot and the table, the plot to the table: they go first, in this order.
    objectsTree.reset();
    telemetryPlot.reset();
    telemetryTable.reset();
    eventsTable.reset();
    episodesTable.reset();
    episodeMonitor.reset();
    ui.reset();
    alarmPlayer.reset();
    editOnIcon.reset();
    editOffIcon.reset();
}

QString MainWindow::SettingsPath() {
    return Settings::FilePath();
}

void MainWindow::InitSettings() {
    const std::unique_ptr<QSettings> settings = Settings::Open();
    for (const Settings::Default &entry : Settings::Defaults) {
        if (!settings->contains(QLatin1String(entry.key)))
            settings->setValue(QLatin1String(entry.key), QString::fromUtf8(entry.value));
    }
    settings->sync();
}

QString MainWindow::ServerLabel(const QString &server) const {
    if (server == QLatin1String("localhost") || server == QLatin1String("127.0.0.1"))
        return QStringLiteral("Локальный сервер");
    return QString();
}

bool MainWindow::Login(QString server, QString user, QString password) {
    const bool connected = db.OpenSession(server, user, password);
    if (connected) {
        lastLogin = {server, user, password};
        linkDown = false;
        linkRetry.Stop();
    }
    ShowLinkState();
    if (!connected && !db.LastError().isEmpty())
        QMessageBox::warning(nullptr, db.LastErrorTitle(), db.LastError(), QMessageBox::Ok);
    ui->action_connect->setEnabled(!connected);
    ui->action_disconnect->setEnabled(connected);
    if (!connected) {
        if (linkDown)
            return false;
        statusBar()->showMessage(OfflineText);
        setWindowTitle(TitlePrefix + OfflineText);
        return false;
    }

    telemetryPlot->LinkRestored(QDateTime::currentMSecsSinceEpoch() / 1000.0);
    eventsTable->ClearTableWidget();
    EventsBlinkingStop();
    objectsTree->ReadObjectsTree(true);
    ui->tree->expandToDepth(0);
    objectsTree->CheckAll();
    statusBar()->showMessage(RealtimeText);
    // Kept until the next login: the tree shows the first object of each repeated id.
    const int duplicates = objectsTree->DuplicateIds();
    duplicateIdsLabel->setText(QStringLiteral("Повторяющихся идентификаторов объектов: %1").arg(duplicates));
    duplicateIdsLabel->setVisible(duplicates > 0);
    setWindowTitle(TitlePrefix + ServerLabel(server) + QStringLiteral(" / ") + user);
    StartRealtime();

    const std::unique_ptr<QSettings> settings = Settings::Open();
    settings->setValue("SERVER_NAME", Settings::RememberFirst(settings->value("SERVER_NAME", "").toString(), server));
    settings->setValue("USER_NAME", Settings::RememberFirst(settings->value("USER_NAME", "").toString(), user));
    Settings::RememberPasswordUser(settings.get(), user, password);
    settings->sync();
    return true;
}

void MainWindow::on_action_connect_triggered() {
    dialogLogin.setupSettings();
    dialogLogin.setModal(true);
    dialogLogin.exec();
}

void MainWindow::SetDisconnectedView() {
    setWindowTitle(TitlePrefix + OfflineText);
    ui->action_connect->setEnabled(true);
    ui->action_disconnect->setEnabled(false);
    statusBar()->showMessage(OfflineText);
}

void MainWindow::on_action_disconnect_triggered() {
    linkRetry.Stop();
    linkDown = false;
    // From here until the next login the chart shades the time as without link.
    if (ui->action_disconnect->isEnabled())
        telemetryPlot->LinkLost(QDateTime::currentMSecsSinceEpoch() / 1000.0);
    StopRealtime();
    // The window counts as disconnected before the link closes, so a loss notice raised by the
    // close itself is not taken for a lost connection.
    ui->action_connect->setEnabled(true);
    db.CloseSession();
    if (editMode)
        on_action_edit_mode_triggered();
    SetDisconnectedView();
    ShowLinkState();
}

void MainWindow::ShowNotImplemented(QString operation) {
    QMessageBox::warning(nullptr, operation, QStringLiteral("Функция не реализована!"), QMessageBox::Ok);
}

void MainWindow::on_action_quit_triggered() {
    close();
}

void MainWindow::EventTimerSlot() {
    if (ui->tree->signalsBlocked())
        return;
    if (!sessionStarted)
        return;
    // The session can be closed under the window (a failed object write closes it); the window
    // then follows into the disconnected state and says so, as for a lost link.
    if (!linkDown && !ui->action_connect->isEnabled() && !db.Connected()) {
        ConnectionAborted(QString());
        return;
    }
    if (db.Connected())
        db.ReadEvents();
}

void MainWindow::on_action_about_triggered() {
    dialogAbout.setModal(true);
    dialogAbout.exec();
}

void MainWindow::on_actionTest_triggered() {
    on_action_shrink_all_triggered();
}

void MainWindow::on_action_check_all_triggered() {
    objectsTree->CheckAll();
    telemetryPlot->FitValueAxes();
    ui->plot->replot(QCustomPlot::rpQueuedReplot);
}

void MainWindow::on_action_check_none_triggered() {
    objectsTree->CheckNone();
    ui->plot->replot(QCustomPlot::rpQueuedReplot);
}

void MainWindow::on_action_show_events_triggered(bool checked) {
    if (checked) {
        ui->tabWidget->show();
        ui->tabWidget->setCurrentWidget(ui->tab_events);
        ui->action_show_table->setChecked(false);
        ui->action_show_episodes->setChecked(false);
        telemetryTable->SetVisible(false);
        telemetryTable->ClearTableWidget();
        ui->tab_events->show();
    } else {
        ui->tabWidget->hide();
        telemetryTable->SetVisible(false);
        telemetryTable->ClearTableWidget();
    }
}

void MainWindow::on_tabWidget_currentChanged(int) {
    if (ui->tabWidget->currentWidget() == ui->tab_table) {
        ui->action_show_table->setChecked(true);
        ui->action_show_events->setChecked(false);
        ui->action_show_episodes->setChecked(false);
        telemetryTable->SetVisible(true);
        if (realtimeMode) {
            StartRealtime();
        } else {
            const Period period = ShownPeriod();
            telemetryPlot->DrawAllPlots(period.begin, period.end);
        }
    }
    if (ui->tabWidget->currentWidget() == ui->tab_events) {
        ui->action_show_table->setChecked(false);
        ui->action_show_events->setChecked(true);
        ui->action_show_episodes->setChecked(false);
        telemetryTable->SetVisible(false);
        telemetryTable->ClearTableWidget();
    }
    if (ui->tabWidget->currentWidget() == ui->tab_episodes) {
        ui->action_show_table->setChecked(false);
        ui->action_show_events->setChecked(false);
        ui->action_show_episodes->setChecked(true);
        telemetryTable->SetVisible(false);
        telemetryTable->ClearTableWidget();
        UpdateEpisodes(true);
    }
}

void MainWindow::on_tabWidget_tabCloseRequested(int) {
    ui->tabWidget->hide();
    telemetryTable->SetVisible(false);
    telemetryTable->ClearTableWidget();
    ui->action_show_table->setChecked(false);
    ui->action_show_events->setChecked(false);
    ui->action_show_episodes->setChecked(false);
}

void MainWindow::on_action_edit_mode_triggered() {
    if (!editMode) {
        if (!db.Connected()) {
            editMode = false;
            ui->action_edit_mode->setChecked(false);
            QMessageBox::information(this, EditModeText, QStringLiteral("Сначала необходимо подключиться к серверу!"));
            return;
        }
        dialogPassword.setWindowTitle(QStringLiteral("Введите пароль для редактирования"));
        dialogPassword.SetPassword(QString());
        dialogPassword.setModal(true);
        if (dialogPassword.exec() == QDialog::Accepted) {
            if (dialogPassword.GetPassword() == QLatin1String(EditPassword)) {
                // The link may have been lost while the dialog was open; edit mode needs it.
                if (db.Connected()) {
                    StopRealtime();
                    editMode = true;
                }
            } else {
                QMessageBox::warning(this, QStringLiteral("Ошибка"), QStringLiteral("Неверный пароль!"));
            }
        }
    } else {
        editMode = false;
    }
    ApplyEditMode();
}

void MainWindow::ApplyEditMode() {
    for (QAction *action : {ui->action_add, ui->action_add_top_level, ui->action_change, ui->action_delete})
        action->setEnabled(editMode);
    ui->action_edit_mode->setChecked(editMode);
    ui->action_edit_mode->setIcon(editMode ? *editOnIcon : *editOffIcon);
    statusBar()->showMessage(editMode ? EditModeText : (db.Connected() ? PeriodText : OfflineText));
    objectsTree->SetEditMode(editMode);
    objectsTree->ReadObjectsTree(true);
    ui->tree->expandToDepth(0);
}
