#include "analysis/episode_report.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextStream>

#include "analysis/episode_chart.h"
#include "analysis/episode_format.h"
#include "analysis/episode_profile.h"

namespace {

using namespace EpisodeFormat;

QString CsvNumber(double value, int decimals) {
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QString();
}

QString CsvField(QString text) {
    if (text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n'))) {
        text.replace(QLatin1String("\""), QLatin1String("\"\""));
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

QString WriteFailure(const QString &path, const QFileDevice &file) {
    QString reason;
    if (QFileInfo(path).isDir())
        return QStringLiteral("Не удалось записать файл «%1»: это папка.").arg(QDir::toNativeSeparators(path));
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        reason = QStringLiteral("нет прав на запись");
        break;
    case QFileDevice::OpenError:
        reason = QFileInfo(QFileInfo(path).absolutePath()).isDir()
                     ? QStringLiteral("файл не удаётся открыть для записи")
                     : QStringLiteral("нет такой папки");
        break;
    case QFileDevice::ResourceError:
    case QFileDevice::WriteError:
        reason = QStringLiteral("ошибка записи (возможно, нет места на диске)");
        break;
    default:
        reason = file.errorString();
    }
    return QStringLiteral("Не удалось записать файл «%1»: %2.").arg(QDir::toNativeSeparators(path), reason);
}

// The file a report goes to. A regular file, or a new one, is replaced whole when the report is done,
// so that nobody reads half a report; renaming over anything else would put a plain file where a
// device or a pipe was (a report to /dev/null or to another program), so that is written in place.
// A symbolic link to a file stays: the file it points to is replaced.
class ReportFile {
public:
    explicit ReportFile(const QString &path) : path(path), whole(path), inPlace(path) {}

    bool Open(QString *error) {
        const QFileInfo target(path);
        QString reason;
        if (target.isDir())
            reason = QStringLiteral("это папка");
        else if (!QFileInfo(target.absolutePath()).isDir())
            reason = QStringLiteral("нет такой папки");
        if (!reason.isEmpty()) {
            if (error)
                *error =
                    QStringLiteral("Не удалось записать файл «%1»: %2.").arg(QDir::toNativeSeparators(path), reason);
            return false;
        }
        direct = target.exists() && !target.isFile();
        if (!Device()->open(QIODevice::WriteOnly | (direct ? QIODevice::Truncate : QIODevice::NotOpen))) {
            if (error)
                *error = WriteFailure(path, *Device());
            return false;
        }
        return true;
    }

    QFileDevice *Device() { return direct ? static_cast<QFileDevice *>(&inPlace) : &whole; }

    bool Commit(QString *error) {
        const bool done = direct ? inPlace.flush() && inPlace.error() == QFileDevice::NoError : whole.commit();
        if (!done && error)
            *error = WriteFailure(path, *Device());
        if (direct)
            inPlace.close();
        return done;
    }

    void Cancel() {
        if (direct)
            inPlace.close();
        else
            whole.cancelWriting();
    }

private:
    QString path;
    QSaveFile whole;
    QFile inPlace;
    bool direct = false;
};

struct Cell {
    QString text;
    QColor background = Qt::transparent;
};

// A table with a shaded header; widths are shares of the whole. Returns the height it took.
double DrawTable(QPainter *painter, const QRectF &area, const QVector<double> &widths, const QStringList &header,
                 const QVector<QVector<Cell>> &rows, double rowHeight) {
    QVector<double> xs{area.left()};
    for (double w : widths)
        xs.append(xs.last() + w * area.width());
    const QPen grid(QColor(0x90, 0x90, 0x90), std::max(1.0, rowHeight / 30));
    const double pad = rowHeight * 0.18;
    double y = area.top();
    auto line = [&](const QVector<Cell> &cells, bool head) {
        // A row is as tall as its longest text needs when wrapped in its column.
        double height = head ? rowHeight * 1.6 : rowHeight;
        for (int c = 0; c < cells.size() && c + 1 < xs.size(); ++c) {
            const QRectF room(0, 0, xs[c + 1] - xs[c] - 2 * pad, 1e6);
            height = std::max(height, painter->boundingRect(room, Qt::TextWordWrap, cells[c].text).height() + pad);
        }
        for (int c = 0; c < cells.size() && c + 1 < xs.size(); ++c) {
            const QRectF box(xs[c], y, xs[c + 1] - xs[c], height);
            if (head)
                painter->fillRect(box, QColor(0xe4, 0xe8, 0xee));
            else if (cells[c].background.alpha() > 0)
                painter->fillRect(box, cells[c].background);
            painter->setPen(grid);
            painter->drawRect(box);
            painter->setPen(Qt::black);
            // Figures to the right, words to the left.
            const QString &t = cells[c].text;
            const bool figure =
                !head && !t.isEmpty() &&
                (t[0].isDigit() || t[0] == QLatin1Char('+') || t[0] == QLatin1Char('-') || t[0] == QChar(0x2014));
            painter->drawText(box.adjusted(pad, 0, -pad, 0),
                              (figure ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter | Qt::TextWordWrap, t);
        }
        y += height;
    };
    QVector<Cell> head;
    for (const QString &h : header)
        head.append({h, Qt::transparent});
    QFont font = painter->font();
    QFont bold = font;
    bold.setBold(true);
    painter->setFont(bold);
    line(head, true);
    painter->setFont(font);
    for (const QVector<Cell> &row : rows) {
        if (y + rowHeight > area.bottom())
            break;
        line(row, false);
    }
    return y - area.top();
}

// The unit's reason, its profile and the droop its answer showed, for the note column.
QString Note(const UnitEpisode &u, const EpisodeSettings &settings) {
    QStringList parts;
    if (!u.reason.isEmpty())
        parts << u.reason;
    parts << u.profile + QStringLiteral(": ") + EpisodeProfile::Find(u.profile, settings).RuleText();
    if (std::isfinite(u.achievedDroop))
        parts << QStringLiteral("статизм %1 % (задан %2 %)").arg(Number(u.achievedDroop, 1), Number(u.setDroop, 1));
    if (std::isfinite(u.ratioFull))
        parts << QStringLiteral("%1 с: %2").arg(u.fullSeconds).arg(Percent(u.ratioFull));
    return parts.join(QStringLiteral("; "));
}

void SetPixelFont(QPainter *painter, double pixels, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(6, int(pixels)));
    font.setBold(bold);
    painter->setFont(font);
}

} // namespace

EpisodeReport::EpisodeReport(const QVector<Episode> &episodes, const QVector<StationSeries> &stations,
                             const ReportInfo &info, const EpisodeSettings &settings)
    : episodes(episodes), stations(stations), summary(EpisodeSummary::Of(episodes)), info(info), settings(settings) {}

QStringList EpisodeReport::CsvHeader() {
    return {QStringLiteral("Станция"),
            QStringLiteral("Начало"),
            QStringLiteral("Конец"),
            QStringLiteral("Отклонение, мГц"),
            QStringLiteral("Время отклонения"),
            QStringLiteral("Частота A, Гц"),
            QStringLiteral("Частота B, Гц"),
            QStringLiteral("Отклик станции, МВт/0,1 Гц"),
            QStringLiteral("Блок"),
            QStringLiteral("Мощность до (A), МВт"),
            QStringLiteral("Требуемое изменение (C), МВт"),
            QStringLiteral("Требуемое 15 с, МВт"),
            QStringLiteral("Изменение 15 с, МВт"),
            QStringLiteral("Доля 15 с, %"),
            QStringLiteral("Требуемое 30 с, МВт"),
            QStringLiteral("Изменение 30 с, МВт"),
            QStringLiteral("Доля 30 с, %"),
            QStringLiteral("Требуемое B, МВт"),
            QStringLiteral("Изменение B, МВт"),
            QStringLiteral("Доля B, %"),
            QStringLiteral("Нарушение, с"),
            QStringLiteral("Итог"),
            QStringLiteral("Причина"),
            QStringLiteral("Вид"),
            QStringLiteral("Пересечение полосы"),
            QStringLiteral("Точка A"),
            QStringLiteral("Профиль"),
            QStringLiteral("Правило"),
            QStringLiteral("Полный объём, с"),
            QStringLiteral("Требуемое полное, МВт"),
            QStringLiteral("Изменение полное, МВт"),
            QStringLiteral("Доля полного, %"),
            QStringLiteral("Удержано, %"),
            QStringLiteral("Резерв, МВт"),
            QStringLiteral("Скорость по графику, МВт/с"),
            QStringLiteral("Статизм заданный, %"),
            QStringLiteral("Статизм фактический, %")};
}

QString EpisodeReport::CsvText() const {
    QString text = CsvHeader().join(QLatin1Char(';')) + QLatin1Char('\n');
    for (const Episode &e : episodes) {
        const QStringList head{CsvField(e.station),
                               Time(e.start),
                               e.ongoing && !e.cut             ? QStringLiteral("идёт")
                               : CsvNumber(e.end, 0).isEmpty() ? QString()
                                                               : Time(e.end),
                               CsvNumber(e.deviationMHz, 0),
                               std::isfinite(e.deviationTime) ? Time(e.deviationTime) : QString(),
                               CsvNumber(e.frequencyA, 4),
                               CsvNumber(e.frequencyB, 4),
                               CsvNumber(e.responseMwPer01Hz, 2)};
        for (const UnitEpisode &u : e.units) {
            QStringList line = head;
            line << CsvField(u.name) << CsvNumber(u.powerBefore, 3)
                 << (std::isfinite(u.required) ? CsvNumber(u.required, 3) : QStringLiteral("нет данных"))
                 << CsvNumber(u.required15, 3) << CsvNumber(u.actual15, 3) << CsvNumber(u.ratio15 * 100, 1)
                 << CsvNumber(u.required30, 3) << CsvNumber(u.actual30, 3) << CsvNumber(u.ratio30 * 100, 1)
                 << CsvNumber(u.requiredB, 3) << CsvNumber(u.actualB, 3) << CsvNumber(u.ratioB * 100, 1)
                 << QString::number(u.violationSeconds) << VerdictText(u.verdict) << CsvField(u.reason)
                 << KindText(e.kind) << (std::isfinite(e.crossing) ? Time(e.crossing) : QString())
                 << CsvField(e.baseline) << CsvField(u.profile)
                 << CsvField(EpisodeProfile::Find(u.profile, settings).RuleText()) << CsvNumber(u.fullSeconds, 0)
                 << CsvNumber(u.requiredFull, 3) << CsvNumber(u.actualFull, 3) << CsvNumber(u.ratioFull * 100, 1)
                 << CsvNumber(u.heldRatio * 100, 1) << CsvNumber(u.reserve, 3) << CsvNumber(u.ramp, 4)
                 << CsvNumber(u.setDroop, 2) << CsvNumber(u.achievedDroop, 2);
            text += line.join(QLatin1Char(';')) + QLatin1Char('\n');
        }
    }
    return text;
}

bool EpisodeReport::WriteCsv(const QString &path, QString *error) const {
    return WriteText(path, CsvText(), error);
}

bool EpisodeReport::WriteSummaryCsv(const QString &path, QString *error) const {
    return WriteText(path, EpisodeSummary::CsvText(summary), error);
}

bool EpisodeReport::WriteText(const QString &path, const QString &text, QString *error) const {
    ReportFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.Open(error))
        return false;
    if (file.Device()->write(bytes) != bytes.size()) {
        if (error)
            *error = WriteFailure(path, *file.Device());
        file.Cancel();
        return false;
    }
    return file.Commit(error);
}

bool EpisodeReport::WritePdf(const QString &path, QString *error) const {
    ReportFile file(path);
    if (!file.Open(error))
        return false;
    {
        QPdfWriter writer(file.Device());
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setPageMargins(QMarginsF(12, 10, 12, 10), QPageLayout::Millimeter);
        writer.setResolution(150);
        writer.setTitle(QStringLiteral("Эпизоды ОПРЧ"));
        writer.setCreator(QStringLiteral("ЗЕНТА.ОПРЧ"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            if (error)
                *error = QStringLiteral("Не удалось записать файл «%1».").arg(QDir::toNativeSeparators(path));
            file.Cancel();
            return false;
        }
        const QRectF page(0, 0, writer.width(), writer.height());
        for (int i = 0; i < PageCount(); ++i) {
            if (i > 0)
                writer.newPage();
            PaintPage(&painter, page, i);
        }
        painter.end();
    }
    return file.Commit(error);
}

const StationSeries *EpisodeReport::SeriesOf(const QString &station) const {
    for (const StationSeries &s : stations)
        if (s.name == station)
            return &s;
    return nullptr;
}

QString EpisodeReport::Stations() const {
    QStringList names;
    for (const StationSeries &s : stations)
        names << s.name;
    // Without series (a summary from the register) the stations are those of the episodes.
    for (const Episode &e : episodes)
        if (stations.isEmpty() && !names.contains(e.station))
            names << e.station;
    return names.isEmpty() ? QStringLiteral("—") : names.join(QStringLiteral(", "));
}

void EpisodeReport::PaintPage(QPainter *painter, const QRectF &page, int index) const {
    painter->save();
    painter->fillRect(page, Qt::white);
    if (index == 0)
        PaintTitle(painter, page);
    else if (index <= episodes.size())
        PaintEpisode(painter, page, index - 1);
    const double text = page.height() / 60;
    SetPixelFont(painter, text * 0.9);
    painter->setPen(QColor(0x50, 0x50, 0x50));
    painter->drawText(QRectF(page.left(), page.bottom() - text * 1.6, page.width(), text * 1.6),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      QStringLiteral("ЗЕНТА.ОПРЧ · %1").arg(info.made.toString(QStringLiteral("dd.MM.yyyy hh:mm"))));
    painter->drawText(QRectF(page.left(), page.bottom() - text * 1.6, page.width(), text * 1.6),
                      Qt::AlignRight | Qt::AlignVCenter,
                      QStringLiteral("Страница %1 из %2").arg(index + 1).arg(PageCount()));
    painter->restore();
}

void EpisodeReport::PaintTitle(QPainter *painter, const QRectF &page) const {
    const double text = page.height() / 55;
    double y = page.top();
    painter->setPen(Qt::black);
    SetPixelFont(painter, text * 2.0, true);
    painter->drawText(QRectF(page.left(), y, page.width(), text * 3), Qt::AlignLeft | Qt::AlignVCenter,
                      info.summaryOnly
                          ? QStringLiteral("Сводка по блокам: участие в ОПРЧ")
                          : QStringLiteral("Участие энергоблоков в общем первичном регулировании частоты"));
    y += text * 3.4;
    SetPixelFont(painter, text * 1.15);
    int met = 0, notMet = 0, noData = 0, limited = 0, notJudged = 0;
    for (const Episode &e : episodes)
        for (const UnitEpisode &u : e.units)
            (u.verdict == EpisodeVerdict::Met         ? met
             : u.verdict == EpisodeVerdict::NotMet    ? notMet
             : u.verdict == EpisodeVerdict::Limited   ? limited
             : u.verdict == EpisodeVerdict::NotJudged ? notJudged
                                                      : noData)++;
    QStringList lines{
        QStringLiteral("Станции: %1").arg(Stations()),
        QStringLiteral("Период: с %1 по %2").arg(Time(info.from), Time(info.to)),
        info.summaryOnly
            ? QStringLiteral("Отчёт составлен: %1").arg(info.made.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")))
            : QStringLiteral("Сервер: %1    Пользователь: %2    Отчёт составлен: %3")
                  .arg(info.server.isEmpty() ? QStringLiteral("—") : info.server,
                       info.user.isEmpty() ? QStringLiteral("—") : info.user,
                       info.made.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))),
        QStringLiteral("Эпизодов: %1; ответы блоков: выполнено %2, не выполнено %3, ограничено %4, недостаточно "
                       "данных %5; не оценивается %6")
            .arg(episodes.size())
            .arg(met)
            .arg(notMet)
            .arg(limited)
            .arg(noData)
            .arg(notJudged),
    };
    if (!info.source.isEmpty())
        lines << info.source;
    for (const QString &line : lines) {
        painter->drawText(QRectF(page.left(), y, page.width(), text * 1.7), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += text * 1.7;
    }
    y += text * 0.3;
    SetPixelFont(painter, text * 0.85);
    painter->setPen(QColor(0x40, 0x40, 0x40));
    QStringList profiles;
    for (const UnitSummary &r : summary) {
        const QString rule = r.profile + QStringLiteral(" — ") + EpisodeProfile::Find(r.profile, settings).RuleText();
        if (!profiles.contains(rule))
            profiles << rule;
    }
    const QString rules =
        QStringLiteral(
            "Эпизод — отклонение частоты от 50 Гц больше мёртвой полосы ±%1 мГц длительностью не менее %2 с "
            "(отклонения с промежутком меньше %3 с объединяются). Начало эпизода t0 — начало движения частоты "
            "(изменение не меньше %4 мГц за 4 с); отклонение без такого скачка — «медленное отклонение», оно "
            "оценивается только по удержанному объёму за последние 30 с. A — средние частота и мощность за 16 с "
            "до t0, если частота в них была в полосе и мощность блоков спокойна; иначе «нечистое начало» и A берётся "
            "из последнего спокойного окна (до 10 мин раньше) или эпизод остаётся без оценки. Блок, менявший "
            "мощность по графику, оценивается от продолженного графика. B — средние за 20–52 с после t0, C — "
            "наибольшее отклонение. Требуемое изменение — расчётная мощность минус мощность в точке A, не больше "
            "резерва до максимальной (минимальной) мощности блока. «Выполнено» — доли требуемого на сроках профиля "
            "достигнуты и отклик удержан; «не выполнено» — доля на сроке меньше нормы или отклик не удержан (упал "
            "ниже половины нормы во время отклонения); «ограничено» — резерв блока меньше требуемого и он выдан; "
            "«не оценивается» — требуемое меньше %5 % номинальной мощности (не менее %6 МВт), в итоги не входит; "
            "«недостаточно данных» — решающий срок вне данных или пропуски. Профили: %7.")
            .arg(settings.deadBandHz * 1000, 0, 'f', 0)
            .arg(settings.minLengthSeconds, 0, 'f', 0)
            .arg(settings.mergeSeconds, 0, 'f', 0)
            .arg(settings.onsetStepHz * 1000, 0, 'f', 0)
            .arg(settings.minRequiredShare * 100, 0, 'g', 3)
            .arg(settings.minRequiredMw, 0, 'g', 3)
            .arg(profiles.isEmpty() ? EpisodeProfile::Default(settings).name + QStringLiteral(" — ") +
                                          EpisodeProfile::Default(settings).RuleText()
                                    : profiles.join(QStringLiteral("; ")));
    const QRectF rulesBox = painter->boundingRect(QRectF(page.left(), y, page.width(), page.height()),
                                                  Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, rules);
    painter->drawText(rulesBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, rules);
    y += rulesBox.height() + text * 0.4;
    painter->setPen(Qt::black);

    if (episodes.isEmpty()) {
        SetPixelFont(painter, text * 1.3, true);
        painter->drawText(QRectF(page.left(), y, page.width(), text * 3), Qt::AlignLeft | Qt::AlignVCenter,
                          QStringLiteral("За период эпизодов не было."));
        return;
    }
    // The summary per unit first: who fails, how often, and the worst case.
    QVector<QVector<Cell>> unitRows;
    for (const UnitSummary &r : summary) {
        const EpisodeVerdict colour = r.notMet > 0    ? EpisodeVerdict::NotMet
                                      : r.judged == 0 ? EpisodeVerdict::NoData
                                      : r.limited > 0 ? EpisodeVerdict::Limited
                                                      : EpisodeVerdict::Met;
        unitRows.append(
            {{r.station + QStringLiteral(" / ") + r.unit},
             {r.profile},
             {QStringLiteral("%1 из %2").arg(r.judged).arg(r.episodes)},
             {QString::number(r.met)},
             {QString::number(r.notMet), VerdictColor(colour)},
             {QString::number(r.limited)},
             {QString::number(r.notJudged)},
             {Percent(r.median15) + QStringLiteral(" / ") + Percent(r.median30)},
             {Number(r.medianDroop, 1) + QStringLiteral(" (") + Number(r.setDroop, 1) + QLatin1Char(')')},
             {std::isfinite(r.worstStart) ? Time(r.worstStart) + QStringLiteral(", ") + Percent(r.worstRatio)
                                          : QStringLiteral("—")},
             {r.commonReason}});
    }
    SetPixelFont(painter, text * 0.85);
    const double rowHeight = text * 1.4;
    const double used =
        DrawTable(painter, QRectF(page.left(), y, page.width(), page.bottom() - text * 2.5 - y),
                  {0.18, 0.1, 0.07, 0.05, 0.06, 0.05, 0.07, 0.1, 0.08, 0.12, 0.12},
                  {QStringLiteral("Блок"), QStringLiteral("Профиль"), QStringLiteral("Оценено"), QStringLiteral("Вып."),
                   QStringLiteral("Не вып."), QStringLiteral("Огр."), QStringLiteral("Не оцен."),
                   QStringLiteral("Медиана 15 с / 30 с"), QStringLiteral("Статизм факт. (зад.), %"),
                   QStringLiteral("Худший эпизод"), QStringLiteral("Частая причина")},
                  unitRows, rowHeight);
    y += used + text * 0.8;
    // A summary of a month from the register lists no episodes: they are in the register.
    if (info.summaryOnly)
        return;

    QVector<QVector<Cell>> rows;
    for (int i = 0; i < episodes.size(); ++i) {
        const Episode &e = episodes[i];
        rows.append({{QString::number(i + 1)},
                     {e.station},
                     {Time(e.start)},
                     {End(e)},
                     {Number(e.deviationMHz, 0)},
                     {Number(e.responseMwPer01Hz, 1)},
                     {e.cut ? QStringLiteral("обрезан краем периода") : Summary(e), VerdictColor(Overall(e))}});
    }
    SetPixelFont(painter, text * 0.85);
    const QRectF area(page.left(), y, page.width(), page.bottom() - text * 2.5 - y);
    const int fits = std::max(0, int((area.height() - rowHeight * 1.6) / rowHeight));
    if (rows.size() > fits && fits > 0) {
        const int rest = rows.size() - (fits - 1);
        rows.resize(fits - 1);
        rows.append({{QStringLiteral("…")}, {QStringLiteral("и ещё %1 — на своих страницах").arg(rest)}});
    }
    if (fits > 0)
        DrawTable(painter, area, {0.04, 0.2, 0.14, 0.14, 0.08, 0.1, 0.3},
                  {QStringLiteral("№"), QStringLiteral("Станция"), QStringLiteral("Начало"), QStringLiteral("Конец"),
                   QStringLiteral("Откл., мГц"), QStringLiteral("Отклик, МВт/0,1 Гц"), QStringLiteral("Итог")},
                  rows, rowHeight);
}

void EpisodeReport::PaintEpisode(QPainter *painter, const QRectF &page, int index) const {
    const Episode &e = episodes[index];
    const double text = page.height() / 60;
    double y = page.top();
    painter->setPen(Qt::black);
    SetPixelFont(painter, text * 1.5, true);
    painter->drawText(QRectF(page.left(), y, page.width(), text * 2.2), Qt::AlignLeft | Qt::AlignVCenter,
                      QStringLiteral("Эпизод %1 из %2 · %3").arg(index + 1).arg(episodes.size()).arg(e.station));
    y += text * 2.3;
    SetPixelFont(painter, text * 1.0);
    const double length = std::isfinite(e.end) ? e.end - e.start : NAN;
    QString line = QStringLiteral("Начало %1, конец %2").arg(Time(e.start), End(e));
    if (std::isfinite(length))
        line += QStringLiteral(" (%1 с)").arg(length, 0, 'f', 0);
    line +=
        QStringLiteral("; наибольшее отклонение %1 мГц в %2; частота A %3 Гц, B %4 Гц; отклик станции %5 МВт/0,1 Гц")
            .arg(Number(e.deviationMHz, 0), Clock(e.deviationTime), Number(e.frequencyA, 3), Number(e.frequencyB, 3),
                 Number(e.responseMwPer01Hz, 1));
    if (e.cut)
        line += QStringLiteral("; эпизод обрезан краем периода");
    if (e.kind == EpisodeKind::Drift)
        line += QStringLiteral("; медленное отклонение: оценивается удержанный объём");
    else if (std::isfinite(e.crossing) && std::fabs(e.crossing - e.start) >= 1)
        line += QStringLiteral("; полоса пересечена в %1").arg(Clock(e.crossing));
    if (!e.baseline.isEmpty())
        line += QStringLiteral("; ") + e.baseline;
    painter->drawText(QRectF(page.left(), y, page.width(), text * 3), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                      line);
    y += text * 3;

    const double tableRows = e.units.size() + 1.6;
    const double rowHeight = text * 1.9;
    const double tableHeight = tableRows * rowHeight;
    const double chartHeight = std::max(page.height() * 0.35, page.bottom() - text * 2.5 - tableHeight - text - y);
    const QRectF chart(page.left(), y, page.width(), chartHeight);
    const StationSeries *series = seriesSource ? seriesSource(index) : SeriesOf(e.station);
    if (series) {
        SetPixelFont(painter, text * 0.9);
        EpisodeChart::Paint(painter, chart, *series, e, settings.deadBandHz);
    }
    y += chartHeight + text * 0.6;

    QVector<QVector<Cell>> rows;
    for (int i = 0; i < e.units.size(); ++i) {
        const UnitEpisode &u = e.units[i];
        auto check = [](double need, double actual, double ratio) {
            if (!std::isfinite(actual))
                return QStringLiteral("—");
            return Number(need, 1) + QStringLiteral(" / ") + Change(actual, ratio);
        };
        rows.append({{u.name},
                     {Number(u.powerBefore, 1)},
                     {std::isfinite(u.required) ? Number(u.required, 2) : QStringLiteral("нет данных")},
                     {check(u.required15, u.actual15, u.ratio15)},
                     {check(u.required30, u.actual30, u.ratio30)},
                     {check(u.requiredB, u.actualB, u.ratioB)},
                     {QString::number(u.violationSeconds)},
                     {VerdictText(u.verdict), VerdictColor(u.verdict)},
                     {Note(u, settings)}});
    }
    SetPixelFont(painter, text * 0.85);
    DrawTable(painter, QRectF(page.left(), y, page.width(), page.bottom() - text * 2 - y),
              {0.13, 0.06, 0.07, 0.12, 0.12, 0.12, 0.05, 0.1, 0.23},
              {QStringLiteral("Блок"), QStringLiteral("P (A), МВт"), QStringLiteral("Треб. (C), МВт"),
               QStringLiteral("15 с: треб. / факт, МВт"), QStringLiteral("30 с: треб. / факт, МВт"),
               QStringLiteral("B: треб. / факт, МВт"), QStringLiteral("Наруш., с"), QStringLiteral("Итог"),
               QStringLiteral("Примечание")},
              rows, rowHeight);
}
