// The client's command line and the user's folder that the menu entry starts it in.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/commandline.h"
#include "app/translations.h"
#include "app/userfolder.h"

class PackagingTest : public QObject {
    Q_OBJECT
private slots:
    void commandLine_data();
    void commandLine();
    void russianDialogs_data();
    void russianDialogs();
    void userFolder_data();
    void userFolder();
};

void PackagingTest::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("version");
    QTest::addColumn<bool>("userFolder");
    QTest::addColumn<QString>("error");
    QTest::newRow("none") << QStringList() << false << false << false << QString();
    QTest::newRow("help") << QStringList{"--help"} << true << false << false << QString();
    QTest::newRow("short help") << QStringList{"-h"} << true << false << false << QString();
    QTest::newRow("version") << QStringList{"--version"} << false << true << false << QString();
    QTest::newRow("menu") << QStringList{"--user-folder"} << false << false << true << QString();
    // Qt's own options are Qt's business.
    QTest::newRow("qt options") << QStringList{"-platform", "offscreen", "-style", "Fusion"} << false << false << false
                                << QString();
    QTest::newRow("qt options with two dashes")
        << QStringList{"--platform", "offscreen", "--style=Fusion", "--reverse", "--version"} << false << true << false
        << QString();
    QTest::newRow("qt option's value is no option")
        << QStringList{"--qwindowtitle", "--help"} << false << false << false << QString();
    QTest::newRow("unknown") << QStringList{"--user-folder", "--frobnicate"} << false << false << true
                             << QStringLiteral("неизвестный параметр --frobnicate");
    QTest::newRow("first unknown named") << QStringList{"--one", "--two"} << false << false << false
                                         << QStringLiteral("неизвестный параметр --one");
}

void PackagingTest::commandLine() {
    QFETCH(QStringList, args);
    std::vector<QByteArray> storage{QByteArray("zenta-oprch")};
    for (const QString &a : args)
        storage.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : storage)
        argv.push_back(b.data());
    const CommandLine line = CommandLine::Parse(int(argv.size()), argv.data());
    QTEST(line.help, "help");
    QTEST(line.version, "version");
    QTEST(line.userFolder, "userFolder");
    QTEST(line.error, "error");
}

void PackagingTest::userFolder_data() {
    QTest::addColumn<bool>("installedAlarm");
    QTest::addColumn<bool>("ownAlarm");
    QTest::addColumn<bool>("configIsFile");
    QTest::addColumn<QByteArray>("alarmAfter"); // empty: no Alarm.wav in the folder
    QTest::newRow("first start") << true << false << false << QByteArray("installed");
    QTest::newRow("own sound kept") << true << true << false << QByteArray("own");
    QTest::newRow("nothing installed") << false << false << false << QByteArray();
    QTest::newRow("folder cannot be made") << true << false << true << QByteArray();
}

void PackagingTest::userFolder() {
    QFETCH(bool, installedAlarm);
    QFETCH(bool, ownAlarm);
    QFETCH(bool, configIsFile);
    QFETCH(QByteArray, alarmAfter);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString before = QDir::currentPath();
    const QString config = scratch.filePath("config");
    const QString data = scratch.filePath("data");
    auto write = [](const QString &path, const QByteArray &bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    if (configIsFile)
        QVERIFY(write(config, "not a folder"));
    if (installedAlarm)
        QVERIFY(write(data + "/zenta-oprch/Alarm.wav", "installed"));
    if (ownAlarm)
        QVERIFY(write(config + "/zenta-oprch/Alarm.wav", "own"));
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("XDG_DATA_DIRS", data.toLocal8Bit());
    qputenv("XDG_DATA_HOME", scratch.filePath("nowhere").toLocal8Bit());

    QCOMPARE(UserFolder::Path(), config + "/zenta-oprch");
    QString error;
    const bool entered = UserFolder::Enter(&error);
    const QString now = QDir::currentPath();
    QDir::setCurrent(before);
    QCOMPARE(entered, !configIsFile);
    if (configIsFile) {
        QVERIFY2(error.contains(config + "/zenta-oprch"), qPrintable(error));
        QCOMPARE(now, before);
        return;
    }
    QCOMPARE(QFileInfo(now).canonicalFilePath(), QFileInfo(config + "/zenta-oprch").canonicalFilePath());
    QFile alarm(config + "/zenta-oprch/Alarm.wav");
    if (alarmAfter.isEmpty()) {
        QVERIFY(!alarm.exists());
    } else {
        QVERIFY(alarm.open(QIODevice::ReadOnly));
        QCOMPARE(alarm.readAll(), alarmAfter);
    }
}

void PackagingTest::russianDialogs_data() {
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("russian");
    QTest::newRow("cancel-button") << QByteArray("QPlatformTheme") << QByteArray("Cancel") << "Отмена";
    QTest::newRow("close-button") << QByteArray("QPlatformTheme") << QByteArray("Close") << "Закрыть";
    QTest::newRow("file-dialog-open") << QByteArray("QFileDialog") << QByteArray("&Open") << "&Открыть";
}

// The standard dialogs and buttons speak Russian: Qt's own translations are installed with the
// program's dependencies and loaded at start.
void PackagingTest::russianDialogs() {
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, text);
    QFETCH(QString, russian);
    static const bool installed = Translations::Install(QCoreApplication::instance());
    QVERIFY2(installed, "qtbase_ru is not installed (package qttranslations5-l10n)");
    QCOMPARE(QCoreApplication::translate(context.constData(), text.constData()), russian);
}

QTEST_GUILESS_MAIN(PackagingTest)
#include "packaging_test.moc"
