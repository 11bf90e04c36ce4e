#include "app/mainwindow.h"
#include "dialogs/dialog_login.h"
#include "dialogs/dialog_view_csv.h"
#include "views/objects_tree_widget.h"
#include "window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <ctime>
#include <qcustomplot.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <zip.h>

// Files are opened and closed without a server: the window stays in offline mode throughout.
class OfflineFilesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void openStopsRealtimeAndShowsFileAlone_data();
    void openStopsRealtimeAndShowsFileAlone();
    void secondFileUnchecksFirst();
    void closeCommand_data();
    void closeCommand();
    void unreadableFileChangesNothing_data();
    void unreadableFileChangesNothing();
    void openZipArchive_data();
    void openZipArchive();
    void viewEventCsv_data();
    void viewEventCsv();

private:
    QString WriteFile(const QString &name, const QByteArray &content);
    void Open(const QString &path);
    void Trigger(const char *action);
    QList<QCPGraph *> VisibleGraphs() const;
    QList<QTreeWidgetItem *> FileNodes() const;

    QTemporaryDir work;
    std::unique_ptr<WindowFixture> fixture;
    ModalDriver *closer = nullptr;
    MainWindow *window = nullptr;
    QString pathToOpen;
    QString viewerText;
};

void OfflineFilesTest::initTestCase() {
    QVERIFY(work.isValid());
    QDir::setCurrent(work.path());
    CsvFile::RegisterMetaType();
}

void OfflineFilesTest::init() {
    fixture = std::make_unique<WindowFixture>();
    closer = &fixture->driver;
    // The login dialog of the start is turned down; file dialogs get the path to open.
    closer->Always("QFileDialog", [this](QDialog *dialog) { return ModalDriver::File(pathToOpen)(dialog); });
    closer->Always("DialogViewCSV", [this](QDialog *viewer) {
        auto *edit = viewer->findChild<QPlainTextEdit *>("plainTextEdit");
        viewerText = edit->toPlainText();
        edit->appendPlainText("edited by the user");
        viewer->reject();
        return true;
    });
    window = fixture->Start();
    window->show();
    closer->ClearSeen();
}

void OfflineFilesTest::cleanup() {
    fixture.reset();
    closer = nullptr;
    window = nullptr;
}

QString OfflineFilesTest::WriteFile(const QString &name, const QByteArray &content) {
    QFile file(work.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(content);
    return file.fileName();
}

void OfflineFilesTest::Open(const QString &path) {
    pathToOpen = path;
    Trigger("action_open");
}

void OfflineFilesTest::Trigger(const char *action) {
    QAction *a = window->findChild<QAction *>(action);
    QVERIFY2(a, action);
    a->trigger();
}

QList<QCPGraph *> OfflineFilesTest::VisibleGraphs() const {
    QList<QCPGraph *> graphs;
    auto *plot = window->findChild<QCustomPlot *>("plot");
    for (int i = 0; i < plot->graphCount(); ++i) {
        if (plot->graph(i)->visible() && !plot->graph(i)->data()->isEmpty())
            graphs << plot->graph(i);
    }
    return graphs;
}

QList<QTreeWidgetItem *> OfflineFilesTest::FileNodes() const {
    QList<QTreeWidgetItem *> nodes;
    auto *tree = window->findChild<QTreeWidget *>("tree");
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (tree->topLevelItem(i)->type() == CsvFileItem)
            nodes << tree->topLevelItem(i);
    }
    return nodes;
}

static qint64 Secs(const char *stamp) {
    return QDateTime::fromString(stamp, "dd.MM.yyyy hh:mm:ss").toSecsSinceEpoch();
}

void OfflineFilesTest::openStopsRealtimeAndShowsFileAlone_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("graphs");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("last");
    QTest::addColumn<QString>("skipped"); // the notice about skipped lines; empty: no notice at all
    QTest::newRow("export-format") << QByteArray("05.03.2024 10:00:00;50.01;101\n05.03.2024 10:00:01;50.02;102\n"
                                                 "05.03.2024 10:05:00;49.98;99\n")
                                   << 2 << Secs("05.03.2024 10:00:00") << Secs("05.03.2024 10:05:00") << QString();
    QTest::newRow("comma-decimals") << QByteArray("01.02.2023 08:00:00;50,01;12,5\n01.02.2023 09:00:00;49,99;13\n") << 2
                                    << Secs("01.02.2023 08:00:00") << Secs("01.02.2023 09:00:00") << QString();
    // A first line without digits names columns and is no fault; a later one is.
    QTest::newRow("no-valid-rows-empty-node")
        << QByteArray("no separators here\n\n") << 0 << qint64(0) << qint64(0) << QString();
    QTest::newRow("only-bad-rows-empty-node")
        << QByteArray("no separators here\n\n1 2 3\n") << 0 << qint64(0) << qint64(0) << QString("Пропущено строк: 1 ");
    // Bad dates never stretch the time axis to 1970 or to year 99999: the axis spans the real rows.
    QTest::newRow("bad-dates-skipped") << QByteArray("05.03.2024 10:00:00;50.01;101\n31.02.2024 10:00:00;50;1\n"
                                                     "05.03.99999 10:00:00;50;1\n00.00.0000 00:00:00;0;0\n"
                                                     "05.03.2024 10:05:00;49.98;99\n")
                                       << 2 << Secs("05.03.2024 10:00:00") << Secs("05.03.2024 10:05:00")
                                       << QString("Пропущено строк: 3 ");
}

void OfflineFilesTest::openStopsRealtimeAndShowsFileAlone() {
    QFETCH(QByteArray, content);
    QFETCH(int, graphs);
    QFETCH(qint64, first);
    QFETCH(qint64, last);
    QFETCH(QString, skipped);
    auto *realtime = window->findChild<QAction *>("action_realtime");
    QVERIFY(realtime->isChecked());

    const QString path = WriteFile("telemetry.csv", content);
    Open(path);
    QCOMPARE(closer->boxes.size(), skipped.isEmpty() ? 0 : 1);
    if (!skipped.isEmpty()) {
        QCOMPARE(closer->Titles()[0], QString("Информация"));
        QVERIFY2(closer->Texts()[0].contains(path) && closer->Texts()[0].contains(skipped),
                 qPrintable(closer->Texts()[0]));
    }
    QVERIFY(!realtime->isChecked());

    const QList<QTreeWidgetItem *> nodes = FileNodes();
    QCOMPARE(nodes.size(), 1);
    QTreeWidgetItem *node = nodes.first();
    QCOMPARE(node->text(0), QString("telemetry.csv"));
    QCOMPARE(node->data(TreeDataColumn, FilePathRole).toString(), path);
    QCOMPARE(node->checkState(0), Qt::Checked);
    QCOMPARE(node->childCount(), 2);
    QCOMPARE(node->child(0)->type(), int(CsvFreqItem));
    QCOMPARE(node->child(1)->type(), int(CsvPowerItem));

    const QList<QCPGraph *> visible = VisibleGraphs();
    QCOMPARE(visible.size(), graphs);
    if (graphs > 0) {
        const QCPRange range = window->findChild<QCustomPlot *>("plot")->xAxis->range();
        QCOMPARE(qint64(range.lower), first);
        QCOMPARE(qint64(range.upper), last);
    }
}

void OfflineFilesTest::secondFileUnchecksFirst() {
    Open(WriteFile("a.csv", "05.03.2024 10:00:00;50.01;101\n05.03.2024 10:00:01;50.02;102\n"));
    Open(WriteFile("b.csv", "06.03.2024 10:00:00;49.9;90\n06.03.2024 10:10:00;49.8;91\n"));
    QList<QTreeWidgetItem *> nodes = FileNodes();
    QCOMPARE(nodes.size(), 2);
    QCOMPARE(nodes[0]->checkState(0), Qt::Unchecked);
    QCOMPARE(nodes[1]->checkState(0), Qt::Checked);
    QCOMPARE(VisibleGraphs().size(), 2);
    const QCPRange range = window->findChild<QCustomPlot *>("plot")->xAxis->range();
    QCOMPARE(qint64(range.lower), Secs("06.03.2024 10:00:00"));

    // Its channels kept their own check marks, so checking the file again shows both files.
    nodes[0]->setCheckState(0, Qt::Checked);
    QCOMPARE(VisibleGraphs().size(), 4);

    // The same file opened again is a further node.
    Open(nodes[1]->data(TreeDataColumn, FilePathRole).toString());
    QCOMPARE(FileNodes().size(), 3);
}

void OfflineFilesTest::closeCommand_data() {
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("filesLeft");
    QTest::newRow("nothing-selected") << "none"
                                      << "Необходимо выбрать файл для закрытия!" << 2;
    QTest::newRow("file-channel-selected") << "channel"
                                           << "Закрывать можно только файлы!" << 2;
    QTest::newRow("file-selected") << "file" << QString() << 1;
}

void OfflineFilesTest::closeCommand() {
    QFETCH(QString, selection);
    QFETCH(QString, message);
    QFETCH(int, filesLeft);
    const QString kept = WriteFile("kept.csv", "05.03.2024 10:00:00;50.01;101\n05.03.2024 10:00:01;50.02;102\n");
    const QString closed = WriteFile("closed.csv", "06.03.2024 10:00:00;49.9;90\n06.03.2024 10:10:00;49.8;91\n");
    Open(kept);
    Open(closed);
    auto *tree = window->findChild<QTreeWidget *>("tree");
    QTreeWidgetItem *last = FileNodes().last();
    if (selection == "none")
        tree->setCurrentItem(nullptr);
    else if (selection == "channel")
        tree->setCurrentItem(last->child(1));
    else
        tree->setCurrentItem(last);
    const int visibleBefore = VisibleGraphs().size();

    Trigger("action_close");
    QCOMPARE(closer->boxes.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(closer->Titles()[0], QString("Информация"));
        QCOMPARE(closer->Texts()[0], message);
    }
    QCOMPARE(FileNodes().size(), filesLeft);
    if (filesLeft == 2) {
        QCOMPARE(VisibleGraphs().size(), visibleBefore);
    } else {
        // The other file is unchecked, so nothing is left drawn; the file on disk stays.
        QCOMPARE(FileNodes().first()->data(TreeDataColumn, FilePathRole).toString(), kept);
        QCOMPARE(VisibleGraphs().size(), 0);
        QVERIFY(QFile::exists(closed));
    }
}

// A socket exists like a file but cannot be opened for reading, not even by root.
void OfflineFilesTest::unreadableFileChangesNothing_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("socket") << "socket" << QString("Не удалось открыть файл");
    QTest::newRow("past-size-limit") << "large" << QString("слишком большой: 2 МБ. Открываются файлы до 1 МБ");
}

void OfflineFilesTest::unreadableFileChangesNothing() {
    QFETCH(QString, kind);
    QFETCH(QString, message);
    QString path;
    int fd = -1;
    if (kind == "socket") {
        path = work.filePath("socket.csv");
        fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    } else {
        QByteArray rows;
        while (rows.size() < (3 << 19))
            rows += "05.03.2024 10:00:00;50.01;101\n";
        path = WriteFile("large.csv", rows);
        QSettings ini(work.filePath("dedur.ini"), QSettings::IniFormat);
        ini.setValue("Files/MAX_CSV_MB", 1);
    }

    Open(path);
    if (fd >= 0)
        ::close(fd);
    QFile::remove(path);
    QSettings(work.filePath("dedur.ini"), QSettings::IniFormat).remove("Files/MAX_CSV_MB");

    QCOMPARE(closer->boxes.size(), 1);
    QCOMPARE(closer->Titles()[0], QString("Ошибка"));
    QVERIFY(closer->Texts()[0].contains(path));
    QVERIFY2(closer->Texts()[0].contains(message), qPrintable(closer->Texts()[0]));
    QCOMPARE(FileNodes().size(), 0);
    QVERIFY(window->findChild<QAction *>("action_realtime")->isChecked());
}

namespace {

// A ZIP archive of the given members, stored uncompressed so that a test can damage a member's bytes.
bool WriteZip(const QString &path, const QList<QPair<QString, QByteArray>> &members) {
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive)
        return false;
    QList<QByteArray> kept; // libzip reads the buffers when the archive is closed
    for (const auto &member : members) {
        kept << member.second;
        zip_source_t *source = zip_source_buffer(archive, kept.last().constData(), zip_uint64_t(kept.last().size()), 0);
        const zip_int64_t index = zip_file_add(archive, member.first.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0 || zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0) != 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

} // namespace

void OfflineFilesTest::openZipArchive_data() {
    QTest::addColumn<QStringList>("members"); // name=content; "!" after the name damages its bytes
    QTest::addColumn<QStringList>("nodes");
    QTest::addColumn<QString>("message"); // start of the one message shown; empty: none
    QTest::addColumn<qint64>("first");    // first key of the first file's frequency graph
    QTest::addColumn<int>("limitMb");     // [Files] MAX_CSV_MB; 0: the default

    const QString a = "a.csv=05.03.2024 10:00:00;50.01;101\n05.03.2024 10:00:01;50.02;102\n";
    const QString b = "ГРЭС-1.02.20240305.100000.csv=05.03.2024 10:00:00;49.9;7\n";
    const qint64 utc = QDateTime(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC).toSecsSinceEpoch();
    QTest::newRow("our-export-two-files")
        << QStringList{a, b} << QStringList{"a.csv", "ГРЭС-1.02.20240305.100000.csv"} << QString() << utc << 0;
    QTest::newRow("foreign-member-reported-others-open")
        << QStringList{"readme.txt=hello", a} << QStringList{"a.csv"}
        << "Не все файлы архива [x.zip] открыты:\nreadme.txt: не файл CSV" << utc << 0;
    QTest::newRow("csv-not-ours") << QStringList{"table.csv=Время;Частота\nвчера;50\n", a} << QStringList{"a.csv"}
                                  << "Не все файлы архива [x.zip] открыты:\ntable.csv: строки не в формате" << utc << 0;
    QTest::newRow("damaged-member") << QStringList{"a.csv!=05.03.2024 10:00:00;50.01;101\n", b}
                                    << QStringList{"ГРЭС-1.02.20240305.100000.csv"}
                                    << "Не все файлы архива [x.zip] открыты:\na.csv: архив повреждён" << utc << 0;
    QTest::newRow("empty-csv-opens-empty")
        << QStringList{"empty.csv="} << QStringList{"empty.csv"} << QString() << qint64(0) << 0;
    QTest::newRow("not-a-zip") << QStringList() << QStringList() << "Не удалось открыть архив" << qint64(0) << 0;
    // The file limit holds for what the members unpack to, alone or together.
    const QString rows = QString("05.03.2024 10:00:00;50.01;101\n").repeated(20000); // 600,000 bytes
    QTest::newRow("member-within-limit") << QStringList{"a.csv=" + rows} << QStringList{"a.csv"} << QString() << utc
                                         << 1;
    QTest::newRow("member-over-limit-refused")
        << QStringList{"a.csv=" + rows + rows} << QStringList() << "Архив [%P] слишком большой" << qint64(0) << 1;
    QTest::newRow("members-together-over-limit") << QStringList{"a.csv=" + rows, "b.csv=" + rows} << QStringList()
                                                 << "Архив [%P] слишком большой" << qint64(0) << 1;
}

void OfflineFilesTest::openZipArchive() {
    QFETCH(QStringList, members);
    QFETCH(QStringList, nodes);
    QFETCH(QString, message);
    QFETCH(qint64, first);
    QFETCH(int, limitMb);

    const QString path = work.filePath("x.zip");
    message.replace(QLatin1String("%P"), path);
    QSettings ini(work.filePath("dedur.ini"), QSettings::IniFormat);
    if (limitMb)
        ini.setValue("Files/MAX_CSV_MB", limitMb);
    else
        ini.remove("Files/MAX_CSV_MB");
    ini.sync();
    QFile::remove(path);
    if (members.isEmpty()) {
        QVERIFY(!WriteFile("x.zip", "PK\x03\x04 this is not really an archive").isEmpty());
    } else {
        QList<QPair<QString, QByteArray>> files;
        QByteArray damaged;
        for (const QString &member : members) {
            QString name = member.section('=', 0, 0);
            const QByteArray content = member.section('=', 1).toUtf8();
            if (name.endsWith('!')) {
                name.chop(1);
                damaged = content;
            }
            files << qMakePair(name, content);
        }
        QVERIFY(WriteZip(path, files));
        if (!damaged.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QByteArray bytes = file.readAll();
            const int at = bytes.indexOf(damaged);
            QVERIFY(at > 0);
            bytes[at + 3] = 'X';
            file.seek(0);
            file.write(bytes);
        }
    }

    // Times in the archive are UTC whatever the local zone.
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", "Asia/Yekaterinburg");
    tzset();
    Open(path);
    qputenv("TZ", oldZone);
    tzset();

    QStringList shown;
    for (QTreeWidgetItem *node : FileNodes())
        shown << node->text(0);
    QCOMPARE(shown, nodes);
    if (message.isEmpty()) {
        QCOMPARE(closer->boxes.size(), 0);
    } else {
        QCOMPARE(closer->boxes.size(), 1);
        QVERIFY2(closer->Texts()[0].startsWith(message), qPrintable(closer->Texts()[0]));
    }
    // A refused archive leaves the window as it was; an opened one leaves realtime mode.
    QCOMPARE(window->findChild<QAction *>("action_realtime")->isChecked(), nodes.isEmpty());
    if (first) {
        QTreeWidgetItem *channel = FileNodes().first()->child(0);
        auto *graph = ItemPointer<QCPGraph>(channel, GraphRole);
        QVERIFY(graph && !graph->data()->isEmpty());
        QCOMPARE(qint64(graph->data()->constBegin()->key), first);
    }
}

void OfflineFilesTest::viewEventCsv_data() {
    QTest::addColumn<QString>("csv");
    QTest::addColumn<bool>("selectRow");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");
    const QString text = "05.03.2024 10:00:00;50,01;101\n\t05.03.2024 10:00:01;  50.02;ГЭС\n\n";
    QTest::newRow("text-exactly-with-line-breaks") << text << true << text << QString();
    QTest::newRow("text-ends-at-nul") << QString("a;1;2\nb") + QChar(0) + "hidden" << true << "a;1;2\nb" << QString();
    QTest::newRow("event-without-csv") << QString() << true << QString() << "Нет данных для отображения!";
    QTest::newRow("no-row-selected") << text << false << QString() << "Необходимо выбрать строку с данными!";
}

void OfflineFilesTest::viewEventCsv() {
    QFETCH(QString, csv);
    QFETCH(bool, selectRow);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    window->AddEvent("{event-1}", QDateTime::currentDateTime(), "Нарушение ОПРЧ", false, QString(), 0, QString(),
                     !csv.isEmpty(), csv, 8301);
    auto *events = window->findChild<QTableWidget *>("events_tableWidget");
    QCOMPARE(events->rowCount(), 1);
    events->setCurrentCell(selectRow ? 0 : -1, selectRow ? 0 : -1);

    for (int round = 0; round < 2; ++round) {
        viewerText.clear();
        closer->ClearSeen();
        Trigger("action_view_csv");
        if (message.isEmpty()) {
            QCOMPARE(closer->boxes.size(), 0);
            // The second round shows that editing in the viewer changed nothing.
            QCOMPARE(viewerText, shown);
        } else {
            QCOMPARE(closer->boxes.size(), 1);
            QCOMPARE(closer->Titles()[0], QString("Информация"));
            QCOMPARE(closer->Texts()[0], message);
        }
    }
}

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    OfflineFilesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "offline_files_test.moc"
