#pragma once

#include <QObject>
#include <QTimer>

// Tries a lost link again with a growing pause (1, 2, 5, 10, then every 30 s) and counts the pause
// down each second, for the status bar.
class LinkRetry : public QObject {
    Q_OBJECT
public:
    explicit LinkRetry(QObject *parent = nullptr);

    // The pause before the try after `failed` failed ones, in seconds.
    static int PauseSeconds(int failed);

    // Starts the first pause; the link was just lost.
    void Start();
    // The try failed: the next, longer pause.
    void Failed();
    // The link is back, or the user closed it.
    void Stop();
    bool Active() const { return active; }
    int SecondsLeft() const { return secondsLeft; }
    int FailedTries() const { return failed; }

signals:
    // Once a second of a pause, with the seconds still to wait.
    void Waiting(int secondsLeft);
    // Time to try again.
    void Attempt();

private:
    void StartPause();
    void Tick();

    QTimer timer;
    bool active = false;
    int failed = 0;
    int secondsLeft = 0;
};
