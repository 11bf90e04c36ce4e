#include "postgres_process.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The newest installed server's program, or one on the PATH.
QString ServerProgram(const QString &name) {
    QDir lib(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
    for (const QString &version : versions) {
        const QString path = lib.filePath(version + QStringLiteral("/bin/") + name);
        if (QFileInfo(path).isExecutable())
            return path;
    }
    return QStandardPaths::findExecutable(name);
}

quint16 FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        close(fd);
    return port;
}

} // namespace

PostgresProcess::~PostgresProcess() {
    Stop();
}

bool PostgresProcess::Available() {
    return !ServerProgram(QStringLiteral("initdb")).isEmpty() && !ServerProgram(QStringLiteral("pg_ctl")).isEmpty();
}

bool PostgresProcess::Run(const QString &program, const QStringList &args, int timeoutMs) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (geteuid() == 0)
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program} +
                          args);
    else
        process.start(program, args);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit || process.exitCode()) {
        error = QStringLiteral("%1 failed: %2")
                    .arg(QFileInfo(program).fileName(), QString::fromLocal8Bit(process.readAll()).trimmed());
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    return true;
}

bool PostgresProcess::Start() {
    if (!Available()) {
        error = QStringLiteral("PostgreSQL's initdb and pg_ctl are not installed");
        return false;
    }
    if (!dir.isValid()) {
        error = QStringLiteral("no temporary folder");
        return false;
    }
    data = dir.filePath(QStringLiteral("data"));
    if (geteuid() == 0) {
        const passwd *user = getpwnam("postgres");
        if (!user || chown(QFile::encodeName(dir.path()).constData(), user->pw_uid, user->pw_gid) != 0) {
            error = QStringLiteral("no user postgres to run the server as");
            return false;
        }
    }
    if (!Run(ServerProgram(QStringLiteral("initdb")),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), User(), QStringLiteral("-A"), QStringLiteral("trust"),
              QStringLiteral("--no-sync"), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C")},
             120000))
        return false;
    for (int attempt = 0; attempt < 5 && !running; ++attempt) {
        port = FreePort();
        const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off "
                                               "-c synchronous_commit=off -c full_page_writes=off")
                                    .arg(port)
                                    .arg(dir.path());
        running = Run(ServerProgram(QStringLiteral("pg_ctl")),
                      {QStringLiteral("-D"), data, QStringLiteral("-o"), options, QStringLiteral("-w"),
                       QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("-l"),
                       dir.filePath(QStringLiteral("server.log")), QStringLiteral("start")},
                      90000);
    }
    return running;
}

void PostgresProcess::Stop() {
    if (!running)
        return;
    running = false;
    Run(ServerProgram(QStringLiteral("pg_ctl")),
        {QStringLiteral("-D"), data, QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w"),
         QStringLiteral("stop")},
        30000);
}
