// zenta-oprch --report: the episodes report of a period, made without a window (for example by cron).
#pragma once

#include <QString>
#include <QStringList>

class ReportCommand {
public:
    enum ExitCode {
        Written = 0,
        BadArguments = 2,
        LoginFailed = 3,
        ReadFailed = 4,
        WriteFailed = 5,
        RegisterFailed = 6
    };

    // Whether the command line asks for the report rather than the window.
    static bool Requested(int argc, char *argv[]);
    // Makes its own application object and runs the command; returns the exit code.
    static int Main(int argc, char *argv[]);
    static QString UsageText();

    // Runs with the arguments after the program name; messages go to `out` and `err`.
    static int Run(const QStringList &arguments, QString *out, QString *err);

    // The summary of a month from the episode register alone, without the server.
    static int RunMonth(const QString &month, const QString &csv, const QString &pdf, const QString &summary,
                        QString *out, QString *err);

    // The longest period one report reads, a month.
    static constexpr int MaxDays = 31;
    static constexpr double DaySeconds = 86400;
    static constexpr double ReadBeforeSeconds = 660; // what point A of a day's first episodes may need
    static constexpr double ReadAfterSeconds = 3600; // an episode lasting past the day's end, kept whole
};
