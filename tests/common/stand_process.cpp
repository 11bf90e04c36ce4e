#include "stand_process.h"

#include <QElapsedTimer>

#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>
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

QString StandProcess::ReadOutput() {
    output += process.readAll();
    return QString::fromUtf8(output);
}

qint64 StandProcess::Pid() const {
    return process.processId();
}

// Ports are picked below the kernel's ephemeral range (32768 and up), so that while a server is
// down for a restart no outgoing connection of a test running beside it can take its port.
bool StandProcess::Start(const QStringList &extraArgs) {
    args = extraArgs;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const auto wanted = quint16(20000 + QRandomGenerator::global()->bounded(12000));
        if (Launch(wanted) || !PortTaken())
            return error.isEmpty();
    }
    return false;
}

bool StandProcess::Restart() {
    Kill();
    // Another test's server may have picked the same port in the meantime; it is rare, so wait a
    // little rather than move the clients that expect this port.
    QDeadlineTimer deadline(10000);
    while (!Launch(port) && PortTaken() && !deadline.hasExpired())
        QThread::msleep(100);
    return error.isEmpty();
}

bool StandProcess::PortTaken() const {
    return !error.isEmpty() && output.contains("cannot listen");
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
    if (process.state() == QProcess::NotRunning)
        return;
    const pid_t pid = pid_t(process.processId());
    ::kill(pid, SIGSTOP);
    // The signal takes effect a moment later on a busy machine; a request sent in between would still
    // be answered. Wait until the kernel reports the process stopped.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    for (int i = 0; i < 1000; ++i) {
        if (!stat.open(QIODevice::ReadOnly))
            return;
        const QByteArray line = stat.readAll();
        stat.close();
        const int end = line.lastIndexOf(')');
        if (end < 0 || end + 2 >= line.size() || line[end + 2] == 'T' || line[end + 2] == 't')
            return;
        QThread::msleep(1);
    }
}

void StandProcess::Thaw() {
    if (process.state() != QProcess::NotRunning)
        ::kill(pid_t(process.processId()), SIGCONT);
}

bool StandProcess::Terminate(int waitMs, qint64 *tookMs) {
    QElapsedTimer timer;
    timer.start();
    process.terminate();
    const bool finished = process.waitForFinished(waitMs);
    *tookMs = timer.elapsed();
    return finished;
}

void StandProcess::Stop() {
    if (process.state() != QProcess::NotRunning) {
        Thaw();
        process.terminate();
        if (!process.waitForFinished(5000))
            Kill();
    }
}
