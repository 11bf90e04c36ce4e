// Starts a real zenta-stand on a free loopback port with a temporary database, for tests.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class StandProcess {
public:
    StandProcess() = default;
    ~StandProcess();
    StandProcess(const StandProcess &) = delete;
    StandProcess &operator=(const StandProcess &) = delete;

    // Starts the server with the given extra options (the database lives in a temporary folder that
    // survives Restart). Waits until it listens; false with the server's output in Error().
    bool Start(const QStringList &extraArgs = {});
    // Kills the server at once (SIGKILL), as a crash would.
    void Kill();
    // Freezes (SIGSTOP) and thaws (SIGCONT) the server process.
    void Freeze();
    void Thaw();
    // Starts it again on the same port and database.
    bool Restart();
    void Stop();
    // Sends SIGTERM and waits up to `waitMs` for the server to exit; the time it took in `tookMs`.
    bool Terminate(int waitMs, qint64 *tookMs);

    quint16 Port() const { return port; }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    QString DatabasePath() const;
    QString Error() const { return error; }
    QString Output() const;
    // What the server has printed so far, also after it started (events must be processed).
    QString ReadOutput();
    qint64 Pid() const;

private:
    bool Launch(quint16 wantedPort);
    bool PortTaken() const;

    QProcess process;
    QTemporaryDir dir;
    QStringList args;
    quint16 port = 0;
    QString error;
    QByteArray output;
};
