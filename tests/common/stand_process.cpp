#include "stand_process.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <csignal>

StandProcess::~StandProcess() {
    Stop();
}

QString StandProcess::DatabasePath() const {
    return dir.filePath(QStringLiteral("stand.db"));
}

QString StandProcess::Output() const {
    return QString::fromUtf8(output);
}

qint64 StandProcess::Pid() const {
    return process.processId();
}

bool StandProcess::Start(const QStringList &extraArgs) {
    args = extraArgs;
    return Launch(0);
}

bool StandProcess::Restart() {
    Kill();
    return Launch(port);
}

bool StandProcess::Launch(quint16 wantedPort) {
    output.clear();
    error.clear();
    QStringList all{QStringLiteral("--db"),     DatabasePath(),
                    QStringLiteral("--port"),   QString::number(wantedPort),
                    QStringLiteral("--listen"), QStringLiteral("127.0.0.1")};
    all += args;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(ZENTA_STAND_PATH), all);
    if (!process.waitForStarted(10000)) {
        error = QStringLiteral("zenta-stand did not start: ") + process.errorString();
        return false;
    }
    // The server prints "listening on ADDR:PORT" once it accepts connections. The first start may
    // create the database and backfill history, so allow it time.
    const QRegularExpression ready(QStringLiteral("listening on [^:\\s]+:(\\d+)"));
    QDeadlineTimer deadline(120000);
    while (!deadline.hasExpired()) {
        if (process.waitForReadyRead(200))
            output += process.readAll();
        const auto match = ready.match(QString::fromUtf8(output));
        if (match.hasMatch()) {
            port = quint16(match.captured(1).toUInt());
            return true;
        }
        if (process.state() == QProcess::NotRunning)
            break;
    }
    output += process.readAll();
    error = QStringLiteral("zenta-stand is not listening: ") + QString::fromUtf8(output);
    Kill();
    return false;
}

void StandProcess::Kill() {
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void StandProcess::Freeze() {
    if (process.state() != QProcess::NotRunning)
        ::kill(pid_t(process.processId()), SIGSTOP);
}

void StandProcess::Thaw() {
    if (process.state() != QProcess::NotRunning)
        ::kill(pid_t(process.processId()), SIGCONT);
}

void StandProcess::Stop() {
    if (process.state() != QProcess::NotRunning) {
        Thaw();
        process.terminate();
        if (!process.waitForFinished(5000))
            Kill();
    }
}
