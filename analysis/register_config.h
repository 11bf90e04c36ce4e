// Where the episode register lives: the [Register] section of dedur.ini.
#pragma once

#include <QString>

struct RegisterConfig {
    // SQLite in `path` unless `host` names a PostgreSQL server.
    QString path; // the SQLite file
    QString host;
    int port = 5432;
    QString database = QStringLiteral("zenta");
    QString user = QStringLiteral("zenta");
    QString password; // never from the INI file: ZENTA_REGISTER_PASSWORD or the file PASSWORD_FILE names
    QString options;  // further connection options for the driver, e.g. "connect_timeout=5"

    bool IsPostgres() const { return !host.isEmpty(); }
    // "PostgreSQL zenta@host:5432/zenta" or the SQLite file, for messages.
    QString Describe() const;

    // Reads the section of `iniPath`; without a server the SQLite file is episodes.sqlite beside it. False
    // with a message in Russian when the section is unusable (a password file that cannot be read, a bad port).
    static bool Load(const QString &iniPath, RegisterConfig *config, QString *error);
};
