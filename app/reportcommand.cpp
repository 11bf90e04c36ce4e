#include "app/reportcommand.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QProcessEnvironment>
#include <cmath>
#include <cstdio>

#include "analysis/episode_monitor.h"
#include "analysis/episode_register.h"
#include "analysis/episode_report.h"
#include "server/db.h"
#include "server/object_catalog.h"
#include "support/settings.h"

namespace {

bool ParseTime(const QString &text, QDateTime *time) {
    QString iso = text.trimmed();
    if (iso.size() > 10 && iso[10] == QLatin1Char(' '))
        iso[10] = QLatin1Char('T');
    *time = QDateTime::fromString(iso, Qt::ISODate);
    return time->isValid() && iso.size() >= 16;
}

} // namespace

bool ReportCommand::Requested(int argc, char *argv[]) {
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--report") == 0)
            return true;
    return false;
}

QString ReportCommand::UsageText() {
    return QStringLiteral(
               "zenta-oprch --report --server АДРЕС[:ПОРТ] --user ИМЯ --from ВРЕМЯ --to ВРЕМЯ\n"
               "            [--csv ФАЙЛ] [--pdf ФАЙЛ] [--summary ФАЙЛ] [--register] [--password-file ФАЙЛ]\n"
               "zenta-oprch --report --summary-month ГГГГ-ММ [--summary ФАЙЛ] [--pdf ФАЙЛ] [--csv ФАЙЛ]\n"
               "\n"
               "Отчёт об эпизодах ОПРЧ за период без окна программы (например, ночной отчёт из cron):\n"
               "ответ каждого блока на каждое отклонение частоты — «выполнено», «не выполнено»\n"
               "или «недостаточно данных».\n"
               "\n"
               "  --server АДРЕС[:ПОРТ]  сервер (порт по умолчанию 1312)\n"
               "  --user ИМЯ             пользователь сервера\n"
               "  --from ВРЕМЯ           начало периода, местное время ISO 8601, например 2026-12-09T06:00:00\n"
               "  --to ВРЕМЯ             конец периода (не более %1 суток после начала)\n"
               "  --csv ФАЙЛ             таблица CSV в UTF-8: строка на каждый блок в каждом эпизоде\n"
               "  --pdf ФАЙЛ             отчёт PDF: титульный лист со сводкой по блокам и страница на каждый\n"
               "                         эпизод\n"
               "  --summary ФАЙЛ         сводка CSV в UTF-8: строка на каждый блок (оценено, выполнено,\n"
               "                         не выполнено, ограничено, не оценивается, медианы долей и статизма,\n"
               "                         худший эпизод)\n"
               "  --register             записать оценённые эпизоды в журнал эпизодов (раздел [Register]\n"
               "                         файла dedur.ini; по умолчанию файл episodes.sqlite в текущей папке);\n"
               "                         эпизод, уже записанный по тем же правилам, не повторяется\n"
               "  --summary-month ГГГГ-ММ  сводка по блокам за месяц из журнала эпизодов, без сервера:\n"
               "                         --summary (CSV), --pdf (страница сводки), --csv (эпизоды месяца);\n"
               "                         эпизоды с отметкой «исключено» не учитываются\n"
               "  --password-file ФАЙЛ   пароль — первая строка файла; без этого параметра пароль берётся\n"
               "                         из переменной окружения ZENTA_PASSWORD. В командной строке пароль\n"
               "                         не принимается.\n"
               "\n"
               "Нужен хотя бы один из --csv, --pdf и --summary. Период читается и оценивается по суткам.\n"
               "Пороги берутся из раздела [Episodes] файла dedur.ini\n"
               "в текущей папке.\n"
               "\n"
               "Коды завершения: 0 — отчёт записан; 2 — неверные параметры; 3 — не удалось войти на сервер;\n"
               "4 — не удалось прочитать архив; 5 — не удалось записать файл; 6 — не удалось записать\n"
               "в журнал эпизодов или прочитать его.\n")
        .arg(MaxDays);
}

int ReportCommand::Main(int argc, char *argv[]) {
    // No window is shown: without a display the program still runs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    QString out, err;
    const int code = Run(arguments, &out, &err);
    std::fputs(out.toUtf8().constData(), stdout);
    std::fputs(err.toUtf8().constData(), stderr);
    return code;
}

int ReportCommand::Run(const QStringList &arguments, QString *out, QString *err) {
    auto usage = [err](const QString &problem) {
        *err += problem + QStringLiteral("\n\n") + UsageText();
        return BadArguments;
    };
    QString server, user, from, to, csv, pdf, summary, passwordFile, month;
    bool toRegister = false;
    const std::pair<const char *, QString *> valued[] = {{"--server", &server},
                                                         {"--user", &user},
                                                         {"--from", &from},
                                                         {"--to", &to},
                                                         {"--csv", &csv},
                                                         {"--pdf", &pdf},
                                                         {"--summary", &summary},
                                                         {"--password-file", &passwordFile},
                                                         {"--summary-month", &month}};
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("--report"))
            continue;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            *out += UsageText();
            return Written;
        }
        if (arg == QLatin1String("--register")) {
            toRegister = true;
            continue;
        }
        if (arg == QLatin1String("--password") || arg.startsWith(QLatin1String("--password=")))
            return usage(QStringLiteral("Пароль в командной строке не принимается: его видят другие пользователи "
                                        "системы. Задайте ZENTA_PASSWORD или --password-file."));
        bool known = false;
        for (const auto &option : valued) {
            if (arg != QLatin1String(option.first))
                continue;
            known = true;
            if (i + 1 >= arguments.size() || arguments[i + 1].startsWith(QLatin1String("--")))
                return usage(QStringLiteral("После %1 нужно значение.").arg(arg));
            *option.second = arguments[++i];
        }
        if (!known)
            return usage(QStringLiteral("Неизвестный параметр: %1").arg(arg));
    }
    if (!month.isEmpty()) {
        if (!server.isEmpty() || !from.isEmpty() || !to.isEmpty() || toRegister)
            return usage(QStringLiteral("--summary-month берёт эпизоды из журнала: --server, --from, --to и "
                                        "--register с ним не задаются."));
        if (csv.isEmpty() && pdf.isEmpty() && summary.isEmpty())
            return usage(QStringLiteral("Нужен хотя бы один из --summary, --pdf и --csv."));
        return RunMonth(month, csv, pdf, summary, out, err);
    }
    if (server.isEmpty() || user.isEmpty() || from.isEmpty() || to.isEmpty())
        return usage(QStringLiteral("Нужны --server, --user, --from и --to."));
    if (csv.isEmpty() && pdf.isEmpty() && summary.isEmpty() && !toRegister)
        return usage(QStringLiteral("Нужен хотя бы один из --csv и --pdf (или --summary, --register)."));
    QDateTime begin, end;
    if (!ParseTime(from, &begin))
        return usage(QStringLiteral("Не понято время начала: «%1» (пример: 2026-12-09T06:00:00).").arg(from));
    if (!ParseTime(to, &end))
        return usage(QStringLiteral("Не понято время конца: «%1» (пример: 2026-12-09T06:00:00).").arg(to));
    if (begin >= end)
        return usage(QStringLiteral("Конец периода должен быть позже начала."));
    if (begin.secsTo(end) > qint64(MaxDays) * 86400)
        return usage(QStringLiteral("Период длиннее %1 суток: разбейте его на части.").arg(MaxDays));

    QString password;
    if (!passwordFile.isEmpty()) {
        QFile file(passwordFile);
        if (!file.open(QIODevice::ReadOnly))
            return usage(QStringLiteral("Не удалось прочитать файл пароля «%1».").arg(passwordFile));
        password = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    } else if (qEnvironmentVariableIsSet("ZENTA_PASSWORD")) {
        password = qEnvironmentVariable("ZENTA_PASSWORD");
    } else {
        return usage(QStringLiteral("Пароль не задан: задайте ZENTA_PASSWORD или --password-file."));
    }

    DB db;
    if (!db.OpenSession(server, user, password)) {
        *err += QStringLiteral("Не удалось войти на сервер %1 как %2: %3\n").arg(server, user, db.LastError());
        return LoginFailed;
    }

    EpisodeMonitor monitor(EpisodeSettings::Load(Settings::FilePath()));
    monitor.SetStations(ObjectCatalog::Build(&db).Stations());
    const double spanFrom = double(begin.toSecsSinceEpoch()), spanTo = double(end.toSecsSinceEpoch());
    // A day at a time, so that a month costs the memory of a day: each day read with what its episodes
    // need around it (a clean window before, the end of one that lasts past midnight after) and keeping
    // the episodes that start in it.
    auto chunk = [&](int day) {
        const double dayFrom = spanFrom + day * DaySeconds;
        monitor.LoadPeriod(db.archiveMeasures, std::max(spanFrom, dayFrom - ReadBeforeSeconds),
                           std::min(spanTo, dayFrom + DaySeconds + ReadAfterSeconds));
        return db.Connected() && db.client.GetLastResult() == 0;
    };
    QVector<Episode> episodes;
    QVector<int> dayOf;
    QString problem;
    const int days = int(std::ceil((spanTo - spanFrom) / DaySeconds));
    for (int day = 0; day < days; ++day) {
        if (!chunk(day)) {
            *err += QStringLiteral("Не удалось прочитать архив сервера %1: соединение прервано.\n").arg(server);
            return ReadFailed;
        }
        if (problem.isEmpty())
            problem = monitor.Problem();
        const double dayFrom = spanFrom + day * DaySeconds;
        for (const Episode &e : monitor.Episodes())
            if (e.start >= dayFrom && e.start < std::min(spanTo, dayFrom + DaySeconds)) {
                episodes.append(e);
                dayOf.append(day);
            }
    }
    if (!problem.isEmpty())
        *err += QStringLiteral("Предупреждение: %1\n").arg(problem);

    ReportInfo info;
    info.server = server;
    info.user = user;
    info.from = spanFrom;
    info.to = spanTo;
    info.made = QDateTime::currentDateTime();
    EpisodeReport report(episodes, days == 1 ? monitor.Series() : QVector<StationSeries>(), info, monitor.Settings());
    // The pages of a longer period read their day again when they come to it.
    int loaded = days - 1;
    bool readFailed = false;
    if (days > 1)
        report.SetSeriesSource([&](int index) -> const StationSeries * {
            if (dayOf[index] != loaded) {
                loaded = dayOf[index];
                readFailed = !chunk(loaded) || readFailed;
            }
            for (const StationSeries &s : monitor.Series())
                if (s.name == episodes[index].station)
                    return &s;
            return nullptr;
        });
    QString error;
    if (!csv.isEmpty() && !report.WriteCsv(csv, &error)) {
        *err += error + QLatin1Char('\n');
        return WriteFailed;
    }
    if (!summary.isEmpty() && !report.WriteSummaryCsv(summary, &error)) {
        *err += error + QLatin1Char('\n');
        return WriteFailed;
    }
    if (!pdf.isEmpty() && !report.WritePdf(pdf, &error)) {
        *err += error + QLatin1Char('\n');
        return WriteFailed;
    }
    if (readFailed) {
        *err += QStringLiteral("Не удалось прочитать архив сервера %1: соединение прервано.\n").arg(server);
        return ReadFailed;
    }
    if (toRegister) {
        RegisterConfig config;
        if (!RegisterConfig::Load(Settings::FilePath(), &config, &error)) {
            *err += error + QLatin1Char('\n');
            return RegisterFailed;
        }
        EpisodeRegister reg(config);
        const int written = reg.Write(episodes, monitor.Settings(), user);
        if (written < 0) {
            *err += reg.Error() + QLatin1Char('\n');
            return RegisterFailed;
        }
        *out += QStringLiteral("Журнал эпизодов (%1): записано %2\n").arg(config.Describe()).arg(written);
    }
    *out += QStringLiteral("Эпизодов ОПРЧ за период: %1\n").arg(episodes.size());
    if (!csv.isEmpty())
        *out += QStringLiteral("CSV: %1\n").arg(csv);
    if (!summary.isEmpty())
        *out += QStringLiteral("Сводка: %1\n").arg(summary);
    if (!pdf.isEmpty())
        *out += QStringLiteral("PDF: %1 (страниц: %2)\n").arg(pdf).arg(report.PageCount());
    // The summary per unit on the terminal too: who fails and how often.
    for (const UnitSummary &row : report.UnitSummaries())
        *out += QStringLiteral("%1 / %2: %3\n").arg(row.station, row.unit, EpisodeSummary::Line(row));
    return Written;
}

int ReportCommand::RunMonth(const QString &month, const QString &csv, const QString &pdf, const QString &summary,
                            QString *out, QString *err) {
    const QDate first = QDate::fromString(month.trimmed() + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
    if (!first.isValid()) {
        *err += QStringLiteral("Не понят месяц: «%1» (пример: 2026-12).\n\n").arg(month) + UsageText();
        return BadArguments;
    }
    RegisterConfig config;
    QString error;
    if (!RegisterConfig::Load(Settings::FilePath(), &config, &error)) {
        *err += error + QLatin1Char('\n');
        return RegisterFailed;
    }
    EpisodeRegister reg(config);
    if (!reg.Open()) {
        *err += reg.Error() + QLatin1Char('\n');
        return RegisterFailed;
    }
    int records = 0, excluded = 0;
    const std::optional<EpisodeReport> report =
        reg.MonthReport(first, EpisodeSettings::Load(Settings::FilePath()), &records, &excluded);
    if (!report) {
        *err += reg.Error() + QLatin1Char('\n');
        return RegisterFailed;
    }
    if ((!summary.isEmpty() && !report->WriteSummaryCsv(summary, &error)) ||
        (!csv.isEmpty() && !report->WriteCsv(csv, &error)) || (!pdf.isEmpty() && !report->WritePdf(pdf, &error))) {
        *err += error + QLatin1Char('\n');
        return WriteFailed;
    }
    *out += QStringLiteral("Эпизодов в журнале за %1: %2 (исключено: %3)\n")
                .arg(first.toString(QStringLiteral("MM.yyyy")))
                .arg(records)
                .arg(excluded);
    for (const UnitSummary &row : report->UnitSummaries())
        *out += QStringLiteral("%1 / %2: %3\n").arg(row.station, row.unit, EpisodeSummary::Line(row));
    return Written;
}
