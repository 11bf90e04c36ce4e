#include "dialogs/dialog_export_csv.h"

#include "ui_dialog_export_csv.h"

#include "csv/csvfile.h"
#include "server/db.h"
#include "server/object_catalog.h"
#include "server/table_dedur_data_14.h"
#include "server/table_dedur_settings_14.h"
#include "views/objects_tree_widget.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <cmath>
#include <limits>

namespace {

constexpr int ZipTimeoutMs = 30000;
const char DefaultStationName[] = "ИмяЭлектростанции";

void SetDescendantsState(QTreeWidgetItem *item, Qt::CheckState state) {
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem *child = item->child(i);
        child->setCheckState(0, state);
        SetDescendantsState(child, state);
    }
}

// "hh:mm:ss" of a UTC second; days are cut by floor so times before the epoch stay right.
void AppendUtcStamp(QString *text, qint64 secs, qint64 *cachedDay, QString *cachedDate) {
    qint64 day = secs / 86400;
    qint64 rest = secs % 86400;
    if (rest < 0) {
        rest += 86400;
        --day;
    }
    if (day != *cachedDay) {
        *cachedDay = day;
        *cachedDate = QDateTime::fromSecsSinceEpoch(day * 86400, Qt::UTC).toString("dd.MM.yyyy ");
    }
    text->append(*cachedDate);
    const int h = int(rest / 3600);
    const int m = int(rest / 60 % 60);
    const int s = int(rest % 60);
    const QChar digits[8] = {QChar('0' + h / 10), QChar('0' + h % 10), QChar(':'),          QChar('0' + m / 10),
                             QChar('0' + m % 10), QChar(':'),          QChar('0' + s / 10), QChar('0' + s % 10)};
    text->append(digits, 8);
}

// Consecutive seconds usually repeat a value, so the last number's text is kept.
struct NumberText {
    double value = 0;
    bool valid = false;
    QString text;

    const QString &For(double v) {
        if (!valid || !(v == value) || std::signbit(v) != std::signbit(value)) {
            value = v;
            valid = true;
            text = QString::number(v, 'g', 6);
        }
        return text;
    }
};

} // namespace

DialogExportCSV::DialogExportCSV(QWidget *parent) : QDialog(parent), ui(new Ui::DialogExportCSV) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    // Column 1 carries the objects' data and sort keys; only the names are shown.
    ui->treeWidget->setColumnCount(2);
    ui->treeWidget->setHeaderLabels({"Объект", QString()});
    ui->treeWidget->setColumnHidden(TreeDataColumn, true);
}

DialogExportCSV::~DialogExportCSV() {
    delete ui;
}

void DialogExportCSV::SetPeriod(QDateTime begin, QDateTime end) {
    ui->begin_date->setDate(begin.date());
    ui->begin_time->setTime(begin.time());
    ui->end_date->setDate(end.date());
    ui->end_time->setTime(end.time());
}

void DialogExportCSV::SetDatabase(DB *database) {
    db = database;
}

QTreeWidget *DialogExportCSV::GetTreeWidget() const {
    return ui->treeWidget;
}

QString DialogExportCSV::GetPath() const {
    return ui->path->text();
}

QDateTime DialogExportCSV::GetBeginDate() const {
    return QDateTime(ui->begin_date->date(), ui->begin_time->time(), Qt::LocalTime);
}

QDateTime DialogExportCSV::GetEndDate() const {
    return QDateTime(ui->end_date->date(), ui->end_time->time(), Qt::LocalTime);
}

QString DialogExportCSV::BuildCsvText(const QDateTime &begin, const QDateTime &end, double startFreq, double startPower,
                                      const QMap<double, MeasurePoint> &freq, const QMap<double, MeasurePoint> &power) {
    QString text;
    if (freq.isEmpty() || power.isEmpty())
        return text;
    const qint64 first = begin.toSecsSinceEpoch();
    const qint64 last = end.toSecsSinceEpoch();
    if (last >= first)
        text.reserve(int(qMin<qint64>(last - first + 1, 10 * 86400)) * 32);

    double f = startFreq;
    double p = startPower;
    auto fi = freq.constBegin();
    auto pi = power.constBegin();
    qint64 cachedDay = std::numeric_limits<qint64>::min();
    QString cachedDate;
    NumberText freqText;
    NumberText powerText;
    for (qint64 i = first; i <= last; ++i) {
        if (fi == freq.constEnd() || pi == power.constEnd())
            break;
        const double second = double(i);
        for (; fi != freq.constEnd() && fi.key() < second; ++fi)
            f = fi.value().value;
        for (; pi != power.constEnd() && pi.key() < second; ++pi)
            p = pi.value().value;
        AppendUtcStamp(&text, i, &cachedDay, &cachedDate);
        text.append(QLatin1Char(';'));
        text.append(freqText.For(f));
        text.append(QLatin1Char(';'));
        text.append(powerText.For(p));
        text.append(QLatin1Char('\n'));
    }
    return text;
}

QString DialogExportCSV::CsvFileName(const QString &station, int equipmentNumber, const QDateTime &begin) {
    return station + "." + QString("%1").arg(equipmentNumber, 2, 10, QChar('0')) + "." +
           begin.toString("yyyyMMdd.hhmmss") + ".csv";
}

QString DialogExportCSV::ArchiveName(const QString &station, const QDateTime &begin) {
    return station + "." + begin.toString("yyyyMMdd.hhmmss") + ".zip";
}

QString DialogExportCSV::StationName(QTreeWidgetItem *item) const {
    // The object itself, then its parent, then its grandparent: the first type defining the setting wins.
    QTreeWidgetItem *node = item;
    for (int level = 0; level < 3 && node; ++level, node = node->parent()) {
        const int objectId = node->data(TreeDataColumn, ObjectIdRole).toInt();
        const int typeId = node->data(TreeDataColumn, ObjectTypeRole).toInt();
        const int settingId = db->tableDedurSettings->GetSettingIdByName(typeId, "StationShortName");
        if (settingId != -1)
            return db->tableDedurData->GetObjectSettingsDataValueString(objectId, settingId);
    }
    return DefaultStationName;
}

QStringList DialogExportCSV::ZipArguments(const QString &archive, const QStringList &files) {
    const auto plain = [](const QString &name) {
        return name.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + name : name;
    };
    QStringList arguments{QStringLiteral("-r"), plain(archive)};
    for (const QString &name : files)
        arguments << plain(name);
    return arguments;
}

bool DialogExportCSV::PackStation(const QString &folder, const QString &station, const QStringList &files,
                                  const QDateTime &begin) {
    const QString archive = ArchiveName(station, begin);
    QProcess zip;
    zip.setWorkingDirectory(folder);
    zip.start("zip", ZipArguments(archive, files), QIODevice::ReadWrite);
    if (!zip.waitForStarted(ZipTimeoutMs)) {
        QMessageBox::information(this, "Ошибка", "Не удается создать архив " + archive + "!");
        return false;
    }
    if (!zip.waitForFinished(ZipTimeoutMs)) {
        QMessageBox::information(this, "Ошибка ZIP", "Не удается создать архив " + archive + "!");
        return false;
    }
    // A failed "zip" (full disk, unwritable folder) must not cost the exported data.
    const QFileInfo archiveInfo(folder + archive);
    if (zip.exitStatus() != QProcess::NormalExit || zip.exitCode() != 0 || !archiveInfo.isFile()) {
        QMessageBox::warning(this, "Ошибка ZIP",
                             "Не удается создать архив " + archive + "!\nФайлы CSV оставлены в папке " + folder + ".");
        return false;
    }
    for (const QString &name : files)
        QFile::remove(folder + name);
    return true;
}

bool DialogExportCSV::ExportToCSV() {
    if (!db) {
        QMessageBox::warning(this, "Ошибка", "Не указано подключение к БД!");
        return false;
    }
    if (!db->Connected() || !db->tableDedurSettings || !db->tableDedurData || !db->archiveMeasures) {
        QMessageBox::warning(this, "Ошибка", "Нет подключения к БД!");
        return false;
    }

    const QDateTime begin = GetBeginDate();
    const QDateTime end = GetEndDate();
    QString folder = GetPath();
    if (!folder.endsWith('/'))
        folder += '/';

    int leaves = 0;
    for (QTreeWidgetItemIterator it(ui->treeWidget, QTreeWidgetItemIterator::Checked); *it; ++it) {
        if ((*it)->childCount() == 0)
            ++leaves;
    }
    ui->progressBar->setMaximum(leaves);
    ui->progressBar->setValue(0);

    const ObjectCatalog catalog = ObjectCatalog::Build(db);
    QMap<QString, QStringList> stationFiles;
    for (QTreeWidgetItemIterator it(ui->treeWidget); *it; ++it) {
        QTreeWidgetItem *item = *it;
        if (item->checkState(0) != Qt::Checked)
            continue;
        const int objectId = item->data(TreeDataColumn, ObjectIdRole).toInt();
        const int typeId = item->data(TreeDataColumn, ObjectTypeRole).toInt();
        if (objectId == 0 || typeId == 0)
            continue;

        const CatalogObject *object = catalog.Find(objectId);
        if (!object || !object->frequency.Present() || !object->power.Present())
            continue;
        const int freqId = object->frequency.measureId;
        const int powerId = object->power.measureId;
        const QString number = object->passport.value(QStringLiteral("GeneratingEquipmentNumber"));
        const int equipment = number.isEmpty() ? -1 : number.toInt(nullptr, 10);

        const QString station = StationName(item);

        MeasurePoint point;
        const double startFreq = db->archiveMeasures->ReadLastMeasure(freqId, begin, &point, false) ? point.value : 0.0;
        const double startPower =
            db->archiveMeasures->ReadLastMeasure(powerId, begin, &point, false) ? point.value : 0.0;
        const QMap<double, MeasurePoint> freq =
            db->archiveMeasures->ReadMeasuresVectorForPeriod(freqId, begin, end, false, -1);
        const QMap<double, MeasurePoint> power =
            db->archiveMeasures->ReadMeasuresVectorForPeriod(powerId, begin, end, false, -1);

        const QString name = CsvFileName(station, equipment, begin);
        if (CsvFile::WriteTextToFile(folder + name, BuildCsvText(begin, end, startFreq, startPower, freq, power)))
            stationFiles[station].append(name);
        else
            QMessageBox::warning(nullptr, "ОШИБКА", "Не удалось записать файл [" + folder + name + "]!");

        ui->progressBar->setValue(ui->progressBar->value() + 1);
    }

    for (auto it = stationFiles.constBegin(); it != stationFiles.constEnd(); ++it) {
        if (!PackStation(folder, it.key(), it.value(), begin))
            return false;
    }

    QMessageBox::information(this, "Выгрузка завершена", "Выгрузка завершена.");
    ui->progressBar->setValue(0);
    return true;
}

void DialogExportCSV::on_pushButton_open_clicked() {
    const QString dir = QFileDialog::getExistingDirectory(this, "Открыть папку", QDir::currentPath(),
                                                          QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!dir.isEmpty())
        ui->path->setText(dir);
}

void DialogExportCSV::on_pushButton_ok_clicked() {
    if (ui->path->text().isEmpty()) {
        QMessageBox::warning(this, "Путь для экспорта", "Не указан путь для экспорта!");
        return;
    }
    ExportToCSV();
}

void DialogExportCSV::on_pushButton_cancel_clicked() {
    reject();
}

void DialogExportCSV::on_treeWidget_itemChanged(QTreeWidgetItem *item, int column) {
    if (!item || column != 0)
        return;
    const QSignalBlocker blocker(ui->treeWidget);
    const Qt::CheckState state = item->checkState(0);
    if (state != Qt::PartiallyChecked)
        SetDescendantsState(item, state);
    for (QTreeWidgetItem *parent = item->parent(); parent; parent = parent->parent()) {
        bool all = true;
        for (int i = 0; i < parent->childCount() && all; ++i)
            all = parent->child(i)->checkState(0) == state;
        parent->setCheckState(0, all ? state : Qt::PartiallyChecked);
    }
}
