#pragma once

#include <QDateTime>
#include <QIcon>
#include <QMainWindow>
#include <QPoint>
#include <QSet>
#include <QString>
#include <QTimer>
#include <memory>

#include "app/link_retry.h"
#include "dialogs/dialog_about.h"
#include "dialogs/dialog_export_csv.h"
#include "dialogs/dialog_login.h"
#include "dialogs/dialog_password.h"
#include "dialogs/dialog_view_csv.h"
#include "server/db.h"

class ObjectsTreeWidget;
class TelemetryPlotWidget;
class TelemetryTableWidget;
class EventsTableWidget;
class EpisodesTableWidget;
class EpisodeMonitor;
class EpisodeRegister;
struct Episode;
class Ui_MainWindow;
class QLabel;
class QMediaPlayer;
class QMouseEvent;
class QWheelEvent;
class QTreeWidgetItem;

// The one window of the client. Its slots are split by concern over several files:
// mainwindow.cpp (lifecycle, edit mode, tabs), mainwindow_period.cpp (realtime and period, tree and
// plot handlers), mainwindow_events.cpp (events and alarms), mainwindow_objects.cpp (object commands),
// mainwindow_files.cpp (CSV files and export), mainwindow_link.cpp (a lost link and its retries).
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Builds the window in realtime mode, not yet logged in; StartSession() logs in.
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Logs in automatically (AUTOLOGIN) or runs the login dialog. Kept out of the constructor because the
    // dialog is modal: main calls it once the window is shown, tests once their dialog answers are set up.
    void StartSession();

    MainWindow(const MainWindow &) = delete;
    MainWindow &operator=(const MainWindow &) = delete;

    // Writes every missing dedur.ini key with its default; present keys are left alone.
    void InitSettings();

    // Path of dedur.ini in the current working directory.
    static QString SettingsPath();

    // The edit-mode password, compared case-sensitively and in full.
    static const char *const EditPassword;

    void AddEvent(QString key, QDateTime time, QString text, bool ackRequired, QString comment, double value,
                  QString toolTip, bool hasCsv, QString csvData, int code);

    // Alarm state of the events tab: whether the icons blink, and the player of the alarm sound.
    bool EventsBlinking() const { return blinkTimer.isActive(); }
    QMediaPlayer *AlarmPlayer() const { return alarmPlayer.get(); }

    // The session and the edit-mode flag, for tests and tools that look at the window from outside.
    DB *Session() { return &db; }
    bool EditMode() const { return editMode; }

    // The primary-response episodes of the span shown, as the "Эпизоды ОПРЧ" tab lists them.
    EpisodeMonitor *Episodes() const { return episodeMonitor.get(); }

    // Lengths of the period box's entries, in its order.
    static constexpr int PeriodLengths[] = {600, 1800, 3600, 21600, 86400};

    // The span the period fields describe. Its end is their date and time as they stand, unless the
    // caller asks for it cut to the whole second or to the minute the time field shows.
    enum class PeriodEnd { AsShown, WholeSecond, ShownMinute };
    struct Period {
        QDateTime end;
        qint64 lengthSeconds = 0;
        QDateTime begin;
    };
    Period ShownPeriod(PeriodEnd cut = PeriodEnd::AsShown);

    void SetPeriodFields(QDateTime end, QDateTime);
    void LoadPlotForPeriodMaually();
    QDateTime GetPlotTimeEndSetting();
    float GetPlotTimeLengthSecondsSetting();

public slots:
    bool Login(QString server, QString user, QString password);
    void ConnectionAborted(QString text);
    void EventTimerSlot();

    // Period and realtime control.
    void StartRealtime();
    void StopRealtime();
    void RealtimeTimerSlot();
    void PlotMousePress(QMouseEvent *event);
    void PlotMouseWheel(QWheelEvent *event);

    // Events and alarms.
    void AcknowledgmentRequiredTimerSlot();
    void EventAcknowledgmentRequired(QDateTime date, QString text, bool ackRequired, QString eventId);
    void EventAcknowledgmentRequired2(int code, QDateTime date, QString text, bool ackRequired, QString eventId,
                                      QString comment, QString csvData);
    void EventAcknowledged(QString key);
    void EventsBlinkingStart();
    void EventsBlinkingStop();

private slots:
    // Connection lifecycle and window (mainwindow.cpp).
    void on_action_connect_triggered();
    void on_action_disconnect_triggered();
    void on_action_quit_triggered();
    void on_action_about_triggered();
    void on_actionTest_triggered();
    void on_action_check_all_triggered();
    void on_action_check_none_triggered();
    void on_action_show_events_triggered(bool checked);
    void on_action_edit_mode_triggered();
    void on_tabWidget_currentChanged(int index);
    void on_tabWidget_tabCloseRequested(int index);

    // Period, realtime, plot and tree handlers (mainwindow_period.cpp).
    void on_action_realtime_triggered();
    void on_action_pause_triggered();
    void on_action_follow_triggered();
    void on_action_shrink_width_triggered();
    void on_action_shrink_height_triggered();
    void on_action_shrink_all_triggered();
    void on_action_zoom_back_triggered();
    void on_action_show_legend_triggered(bool checked);
    void on_action_period_left_triggered();
    void on_action_period_right_triggered();
    void on_action_graph_style_step_triggered();
    void on_action_graph_style_line_triggered();
    void on_action_show_table_triggered(bool checked);
    void on_begin_time_dateTimeChanged(const QDateTime &dateTime);
    void on_begin_date_dateChanged(const QDate &date);
    void on_interval_currentIndexChanged(int index);
    void on_button_left_clicked();
    void on_button_right_clicked();
    void on_plot_customContextMenuRequested(const QPoint &pos);
    void on_tree_itemChanged(QTreeWidgetItem *item, int column);
    void on_tree_currentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void on_tree_customContextMenuRequested(const QPoint &pos);

    // Events commands (mainwindow_events.cpp).
    void on_action_acknowledgment_triggered();
    void on_action_acknowledgment_all_triggered();
    void on_action_mute_sound_triggered(bool checked);
    void on_action_clear_events_triggered();
    void on_action_save_csv_triggered();
    void on_events_tableWidget_customContextMenuRequested(const QPoint &pos);
    void on_events_tableWidget_cellDoubleClicked(int row, int column);

    // Object commands (mainwindow_objects.cpp).
    void on_action_add_triggered();
    void on_action_add_top_level_triggered();
    void on_action_change_triggered();
    void on_action_passport_triggered();
    void on_action_delete_triggered();
    void on_tree_itemDoubleClicked(QTreeWidgetItem *item, int column);

    // Primary-response episodes, the report and pictures of the chart (mainwindow_episodes.cpp).
    void on_action_show_episodes_triggered(bool checked);
    void on_action_save_report_triggered();
    void on_action_save_plot_image_triggered();
    void on_action_print_plot_triggered();
    void on_episodes_treeWidget_itemDoubleClicked(QTreeWidgetItem *item, int column);
    void on_episodes_treeWidget_customContextMenuRequested(const QPoint &pos);

    // The register of judged episodes (mainwindow_register.cpp).
    void on_action_register_triggered();

    // Files and export (mainwindow_files.cpp).
    void on_action_open_triggered();
    void on_action_close_triggered();
    void on_action_view_csv_triggered();
    void on_action_export_csv_triggered();

private:
    // Shows the edit-mode state on the actions, the status bar and the tree.
    void ApplyEditMode();
    void SetDisconnectedView();
    // Hands the plot the mode and the span of the period fields.
    void PassPeriodToPlot(bool realtime);
    // The last steps of the start, after the login or in place of it.
    void FinishStart();
    // Message boxes the session asks for.
    void ShowNotImplemented(QString operation);
    // An event that awaits acknowledgement: alarm icons on, the sound unless muted.
    void RaiseAlarm();
    QString ServerLabel(const QString &server) const;
    // Brings the episodes up to date with the span shown; `reload` reads the whole span again.
    void UpdateEpisodes(bool reload);
    bool EpisodesShown() const;
    // The register, opened on first use from the [Register] section; false with the reason.
    bool OpenRegister(QString *error);
    // The same, with the reason said in a message box; null then.
    EpisodeRegister *Register();
    // Keeps the episodes that have ended, whole, in the register; a register that cannot be opened is
    // said once in the status bar, not on every tick.
    void KeepEpisodes(const QVector<Episode> &episodes);
    // A span of the archive on the chart, with only the channels of the station below `stationId`
    // (0: the checks stay as they are).
    void ShowArchiveSpan(double from, double to, int stationId);
    // Zoom and pan by mouse are off while realtime follows the clock.
    void UpdatePlotNavigation();

    // The link (mainwindow_link.cpp): lost, tried again, back.
    void ShowLinkState();
    void RetryLink();
    void LinkBack();

    DB db;

    std::unique_ptr<ObjectsTreeWidget> objectsTree;
    std::unique_ptr<TelemetryPlotWidget> telemetryPlot;
    std::unique_ptr<TelemetryTableWidget> telemetryTable;
    std::unique_ptr<EventsTableWidget> eventsTable;
    std::unique_ptr<EpisodesTableWidget> episodesTable;
    std::unique_ptr<EpisodeMonitor> episodeMonitor;
    std::unique_ptr<EpisodeRegister> episodeRegister;
    QSet<QString> keptEpisodes; // station and start of the episodes the register has been given
    bool registerFailed = false;
    QString episodesProblem;
    QPair<double, double> episodesPeriod{0, 0};

    bool realtimeMode = true;
    bool followMode = true;
    bool editMode = false;
    bool plotNavigation = false;
    bool alarmActive = false;
    bool soundMuted = false;
    // Events are read once the start is over, not from the loop of the login dialog.
    bool sessionStarted = false;

    QTimer realtimeTimer;
    QTimer eventTimer;
    QTimer blinkTimer;

    bool blinkPhase = false;

    QIcon alarmIcon;
    QIcon quietIcon;

    std::unique_ptr<Ui_MainWindow> ui;

    DialogAbout dialogAbout;
    DialogLogin dialogLogin;
    DialogPassword dialogPassword;
    DialogExportCSV dialogExportCSV;
    DialogViewCSV dialogViewCSV;

    std::unique_ptr<QMediaPlayer> alarmPlayer;
    // Beside the status bar's messages, so that a mode change does not wipe it.
    QLabel *duplicateIdsLabel = nullptr;
    QLabel *linkLabel = nullptr;

    // The login the link was opened with, to open it again after a loss.
    struct LoginData {
        QString server;
        QString user;
        QString password;
    } lastLogin;
    // The link was lost and is being tried again; the user's disconnect is no loss.
    bool linkDown = false;
    LinkRetry linkRetry;

    std::unique_ptr<QIcon> editOffIcon;
    std::unique_ptr<QIcon> editOnIcon;
};
