// A real PostgreSQL server for tests: a fresh cluster in a temporary folder, listening on a free
// loopback port, trusted for local connections, stopped and removed at the end.
#pragma once

#include <QString>
#include <QTemporaryDir>

class PostgresProcess {
public:
    PostgresProcess() = default;
    ~PostgresProcess();
    PostgresProcess(const PostgresProcess &) = delete;
    PostgresProcess &operator=(const PostgresProcess &) = delete;

    // The server's programs (initdb, pg_ctl) are found; without them the tests that need a server skip.
    static bool Available();
    // initdb and pg_ctl start; as root the server runs as the "postgres" user, which it insists on.
    // False with the reason in Error().
    bool Start();
    void Stop();

    quint16 Port() const { return port; }
    QString User() const { return QStringLiteral("zenta"); }
    QString Error() const { return error; }

private:
    // Runs one of the server's programs (as the server's user when we are root); false on failure.
    bool Run(const QString &program, const QStringList &args, int timeoutMs);

    QTemporaryDir dir;
    QString data;
    quint16 port = 0;
    bool running = false;
    QString error;
};
