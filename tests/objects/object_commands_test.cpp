// The object commands of the main window against a real stand server: creating, changing, viewing
// and deleting objects through the passport dialog, read back from the server's database.
#include "app/mainwindow.h"
#include "dialogs/dialog_properties_editor.h"
#include "server/db.h"
#include "server/table_dedur_data_14.h"
#include "server/table_dedur_objects_14.h"
#include "stand_process.h"
#include "stand_sql.h"
#include "views/objects_tree_widget.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <functional>
#include <memory>
#include <sqlite3.h>

namespace {

// Demo content: station 1 (type 1) with units 2-4 (type 7), station 5 with units 6-8. Type 1 allows
// types 3 and 7 below it. Unit settings: 10 equipment number (INT), 11 Freq (ARCH), 14 nominal
// power (DOUBLE).
constexpr int kStation = 1;
constexpr int kOtherStation = 5;
constexpr int kSettingNumber = 10;
constexpr int kSettingUnitFreq = 11;
constexpr int kSettingNominal = 14;
constexpr int kSettingStationFreq = 2;

// Added to the demo: a group with a setting of a data type the editor has no cell editor for, whose first child the
// server refuses to delete, writes of the setting value 666 refused, and a log of deleted object ids in deletion order.
const char *const kFixture = R"(
INSERT INTO T_DEDUR_OBJ VALUES ('{d0000000-0000-0000-0000-000000000040}', 40, 'Группа с упрямым блоком', 3, 1, 0, 50);
INSERT INTO T_DEDUR_OBJ VALUES ('{d0000000-0000-0000-0000-000000000041}', 41, 'Неудаляемый блок', 7, 40, 1, 1);
INSERT INTO T_DEDUR_OBJ VALUES ('{d0000000-0000-0000-0000-000000000042}', 42, 'Удаляемый блок', 7, 40, 1, 2);
INSERT INTO T_DEDUR_SETTINGS VALUES ('{d0000000-0000-0000-0000-000000000090}', 90, 3, 'Mode', 'Режим', 'LIST', 5);
INSERT INTO T_DEDUR_DATA VALUES ('{d0000000-0000-0000-0000-000000000900}', 900, 40, 90, 'ручной', 0);
CREATE TABLE deleted_objects(seq INTEGER PRIMARY KEY AUTOINCREMENT, id INT);
CREATE TRIGGER log_deleted AFTER DELETE ON T_DEDUR_OBJ BEGIN
    INSERT INTO deleted_objects(id) VALUES (OLD.DEDUR_OBJ_ID);
END;
CREATE TRIGGER keep_stubborn BEFORE DELETE ON T_DEDUR_OBJ WHEN OLD.DEDUR_OBJ_ID = 41 BEGIN
    SELECT RAISE(ABORT, 'kept');
END;
CREATE TRIGGER refuse_insert_666 BEFORE INSERT ON T_DEDUR_DATA WHEN NEW.DEDUR_DATA_VALUE = '666' BEGIN
    SELECT RAISE(ABORT, 'refused');
END;
CREATE TRIGGER refuse_update_666 BEFORE UPDATE ON T_DEDUR_DATA WHEN NEW.DEDUR_DATA_VALUE = '666' BEGIN
    SELECT RAISE(ABORT, 'refused');
END;
)";

// Rows of a select on the stand's database, opened read-only beside the running server.
QList<QStringList> Query(const QString &path, const QString &sql) {
    QList<QStringList> rows;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) == SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            QStringList row;
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                row << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, c)));
            rows << row;
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

void TypeText(QWidget *widget, const QString &text) {
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Press, double click, release: a plain click first would arm the view's delayed "selected click"
// editing, which could reopen an editor after the test has closed it.
void DoubleClick(QWidget *viewport, const QPoint &pos) {
    QTest::mousePress(viewport, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
}

QTableWidget *EditorTable(PropertiesEditor *editor) {
    return editor->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
}

int RowOf(PropertiesEditor *editor, const QString &key) {
    QTableWidget *table = EditorTable(editor);
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 1)->data(Qt::UserRole + 1).toString() == key)
            return row;
    }
    return -1;
}

QStringList Keys(PropertiesEditor *editor) {
    QStringList keys;
    QTableWidget *table = EditorTable(editor);
    for (int row = 0; row < table->rowCount(); ++row)
        keys << table->item(row, 1)->data(Qt::UserRole + 1).toString();
    return keys;
}

// Opens the cell editor of a row as a double click would; null when the row cannot be edited.
QWidget *OpenCellEditor(PropertiesEditor *editor, const QString &key) {
    QTableWidget *table = EditorTable(editor);
    const int row = RowOf(editor, key);
    if (row < 0)
        return nullptr;
    table->scrollToItem(table->item(row, 1));
    const QPoint centre = table->visualItemRect(table->item(row, 1)).center();
    DoubleClick(table->viewport(), centre);
    const QList<QWidget *> editors = table->viewport()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *widget : editors) {
        if (widget->isVisible())
            return widget;
    }
    return nullptr;
}

// Commits with Enter and waits until the view has closed the cell editor.
bool CommitCellEditor(QWidget *cellEditor) {
    QPointer<QWidget> guard(cellEditor);
    QTest::keyClick(cellEditor, Qt::Key_Return);
    QDeadlineTimer deadline(5000);
    while (guard && !deadline.hasExpired())
        QTest::qWait(10);
    return guard.isNull();
}

// Types into a row's editor as a person does: select what is there, type, press Enter.
bool TypeIntoRow(PropertiesEditor *editor, const QString &key, const QString &text) {
    QWidget *cellEditor = OpenCellEditor(editor, key);
    if (!cellEditor)
        return false;
    QLineEdit *line = qobject_cast<QLineEdit *>(cellEditor);
    if (!line)
        line = cellEditor->findChild<QLineEdit *>();
    if (!line)
        return false;
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Delete);
    TypeText(line, text);
    return CommitCellEditor(cellEditor);
}

bool ChooseType(PropertiesEditor *editor, int type) {
    auto *combo = qobject_cast<QComboBox *>(OpenCellEditor(editor, QStringLiteral("object_type")));
    if (!combo || combo->findData(type) < 0)
        return false;
    combo->setCurrentIndex(combo->findData(type));
    return CommitCellEditor(combo);
}

void Click(PropertiesEditor *editor, const char *button) {
    editor->findChild<QPushButton *>(QLatin1String(button))->click();
}

} // namespace

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

class ObjectCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void create_data();
    void create();
    void cancelCreatesNothing_data();
    void cancelCreatesNothing();
    void edit_data();
    void edit();
    void passportIsReadOnly();
    void settingsFailureIsReported_data();
    void settingsFailureIsReported();
    void commandRefusals_data();
    void commandRefusals();
    void userWithoutEditRight_data();
    void userWithoutEditRight();
    void otherDataTypeWrittenBackUnchanged();
    void staleCacheWriteRefused_data();
    void staleCacheWriteRefused();
    void deleteBottomUp_data();
    void deleteBottomUp();
    void connectionLostWhileDialogOpen_data();
    void connectionLostWhileDialogOpen();

private:
    // A logged-in window, in edit mode when asked.
    bool OpenWindow(const QString &user, bool editMode);
    QTreeWidget *Tree() const { return window->findChild<QTreeWidget *>(QStringLiteral("tree")); }
    QAction *Action(const char *name) const { return window->findChild<QAction *>(QLatin1String(name)); }
    QTreeWidgetItem *Node(int id) const;
    int CountNodes() const;
    QString One(const QString &sql) const;

    QTemporaryDir workDir;
    StandProcess stand;
    // Runs the script on the next passport dialog, then closes the dialog if the script left it open.
    using Script = std::function<void(PropertiesEditor *)>;
    void QueueScript(Script script);

    std::unique_ptr<WindowFixture> fixture;
    MainWindow *window = nullptr;
    // Titles of the passport dialogs that opened, in order.
    QStringList editorTitles;
};

void ObjectCommandsTest::initTestCase() {
    QVERIFY(workDir.isValid());
    QVERIFY(QDir::setCurrent(workDir.path()));
    const QStringList args{QStringLiteral("--backfill-hours"), QStringLiteral("1"), QStringLiteral("--no-sim")};
    QVERIFY2(stand.Start(args), qPrintable(stand.Error()));
    stand.Stop();
    QString error;
    QVERIFY2(RunSql(stand.DatabasePath(), QString::fromUtf8(kFixture), &error), qPrintable(error));
    QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
}

void ObjectCommandsTest::cleanup() {
    fixture.reset();
    window = nullptr;
    editorTitles.clear();
}

void ObjectCommandsTest::QueueScript(Script script) {
    fixture->driver.Queue("PropertiesEditor", [this, script](QDialog *dialog) {
        auto *editor = qobject_cast<PropertiesEditor *>(dialog);
        editorTitles << editor->windowTitle();
        script(editor);
        // A script that stopped on a failed check must not leave the dialog waiting forever.
        if (editor->isVisible()) {
            editor->changed = false;
            editor->reject();
        }
        return true;
    });
}

bool ObjectCommandsTest::OpenWindow(const QString &user, bool editMode) {
    WindowFixture::WriteAutoLogin(stand.Address(), user, user);
    fixture = std::make_unique<WindowFixture>();
    ModalDriver &driver = fixture->driver;
    // Message boxes get the queued answer, else Yes or OK; the edit-mode password is the right one.
    driver.boxAnswer = QMessageBox::Yes;
    driver.Always("DialogPassword", ModalDriver::Password(QLatin1String(MainWindow::EditPassword)));
    // A passport dialog that no script expects is noted and closed, so the test fails instead of hanging.
    driver.Always("PropertiesEditor", [this](QDialog *dialog) {
        auto *editor = qobject_cast<PropertiesEditor *>(dialog);
        editorTitles << editor->windowTitle();
        editor->changed = false;
        editor->reject();
        return true;
    });
    window = fixture->Start();
    if (Tree()->topLevelItemCount() == 0)
        return false;
    if (editMode) {
        Action("action_edit_mode")->trigger();
        if (!Action("action_edit_mode")->isChecked() || !Action("action_add")->isEnabled())
            return false;
    }
    return true;
}

QTreeWidgetItem *ObjectCommandsTest::Node(int id) const {
    for (QTreeWidgetItemIterator it(Tree()); *it; ++it) {
        if ((*it)->type() == ObjectItem && (*it)->data(TreeDataColumn, ObjectIdRole).toInt() == id)
            return *it;
    }
    return nullptr;
}

int ObjectCommandsTest::CountNodes() const {
    int count = 0;
    for (QTreeWidgetItemIterator it(Tree()); *it; ++it)
        ++count;
    return count;
}

QString ObjectCommandsTest::One(const QString &sql) const {
    const QList<QStringList> rows = Query(stand.DatabasePath(), sql);
    return rows.isEmpty() || rows.first().isEmpty() ? QString() : rows.first().first();
}

void ObjectCommandsTest::create_data() {
    QTest::addColumn<int>("parent");    // 0: top-level through its own command
    QTest::addColumn<int>("pickType");  // 0: keep the preselected type
    QTest::addColumn<QString>("freq");  // typed into the Freq row
    QTest::addColumn<int>("shownType"); // preselected
    QTest::addColumn<int>("storedType");
    QTest::addColumn<int>("settingCount");
    QTest::addColumn<int>("freqSetting");
    QTest::addColumn<QString>("freqValue");
    QTest::addColumn<int>("freqArchive");

    QTest::newRow("unit-analog-freq") << kStation << 0 << "А:17" << 7 << 7 << 16 << kSettingUnitFreq << "17" << 201;
    QTest::newRow("unit-discrete-code") << kStation << 0 << "ТС:5" << 7 << 7 << 16 << kSettingUnitFreq << "5" << 202;
    QTest::newRow("unit-no-measurement") << kStation << 0 << "" << 7 << 7 << 16 << kSettingUnitFreq << "0" << 0;
    QTest::newRow("type-3-picked-keeps-type-7-settings")
        << kStation << 3 << "А:17" << 7 << 3 << 16 << kSettingUnitFreq << "17" << 201;
    QTest::newRow("top-level-station") << 0 << 0 << "А:23" << 1 << 1 << 3 << kSettingStationFreq << "23" << 201;
}

void ObjectCommandsTest::create() {
    QFETCH(int, parent);
    QFETCH(int, pickType);
    QFETCH(QString, freq);
    QFETCH(int, shownType);
    QFETCH(int, storedType);
    QFETCH(int, settingCount);
    QFETCH(int, freqSetting);
    QFETCH(QString, freqValue);
    QFETCH(int, freqArchive);

    QVERIFY(OpenWindow(QStringLiteral("engineer"), true));
    const QString name = QStringLiteral("Создан: ") + QString::fromLatin1(QTest::currentDataTag());
    QVariant typeShown;
    QStringList keys;
    bool edited = false;
    QueueScript([&](PropertiesEditor *editor) {
        typeShown = EditorTable(editor)->item(RowOf(editor, QStringLiteral("object_type")), 1)->data(Qt::UserRole);
        keys = Keys(editor);
        edited = TypeIntoRow(editor, QStringLiteral("object_name"), name) &&
                 TypeIntoRow(editor, QStringLiteral("Freq"), freq) &&
                 (RowOf(editor, QStringLiteral("NominalPower")) < 0 ||
                  TypeIntoRow(editor, QStringLiteral("NominalPower"), QStringLiteral("250.5"))) &&
                 (RowOf(editor, QStringLiteral("GeneratingEquipmentNumber")) < 0 ||
                  TypeIntoRow(editor, QStringLiteral("GeneratingEquipmentNumber"), QStringLiteral("12"))) &&
                 (pickType == 0 || ChooseType(editor, pickType));
        Click(editor, "button_save");
    });

    if (parent) {
        Tree()->setCurrentItem(Node(parent));
        Action("action_add")->trigger();
    } else {
        Action("action_add_top_level")->trigger();
    }
    QVERIFY(edited);
    QCOMPARE(editorTitles, QStringList{QStringLiteral("Редактор свойств: Новый объект (создание)")});
    QCOMPARE(typeShown, QVariant(shownType));
    QCOMPARE(keys.size(), 5 + settingCount);
    QVERIFY(fixture->driver.boxes.isEmpty());

    const QList<QStringList> objects =
        Query(stand.DatabasePath(), QStringLiteral("SELECT DEDUR_OBJ_ID, DEDUR_OBJ_TYPE, DEDUR_OBJ_PARENT, "
                                                   "DEDUR_OBJ_IN_REGULATION, DEDUR_OBJ_ORDER FROM T_DEDUR_OBJ "
                                                   "WHERE DEDUR_OBJ_NAME = '%1'")
                                        .arg(name));
    QCOMPARE(objects.size(), 1);
    const int id = objects.first().at(0).toInt();
    QCOMPARE(objects.first().mid(1), (QStringList{QString::number(storedType), QString::number(parent), "1", "1"}));

    // One data row per setting of the preselected type, whatever type was picked.
    const QString settingsOfType =
        QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_SETTINGS WHERE DEDUR_SETTINGS_TYPE = %1").arg(shownType);
    QCOMPARE(One(settingsOfType).toInt(), settingCount);
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_DATA d JOIN T_DEDUR_SETTINGS s ON "
                                "s.DEDUR_SETTINGS_ID = d.DEDUR_DATA_SETTINGS WHERE d.DEDUR_DATA_OBJ = %1 AND "
                                "s.DEDUR_SETTINGS_TYPE = %2")
                     .arg(id)
                     .arg(shownType))
                 .toInt(),
             settingCount);
    const QList<QStringList> freqRow =
        Query(stand.DatabasePath(), QStringLiteral("SELECT DEDUR_DATA_VALUE, DEDUR_DATA_ARCH FROM T_DEDUR_DATA WHERE "
                                                   "DEDUR_DATA_OBJ = %1 AND DEDUR_DATA_SETTINGS = %2")
                                        .arg(id)
                                        .arg(freqSetting));
    QCOMPARE(freqRow, (QList<QStringList>{{freqValue, QString::number(freqArchive)}}));
    if (shownType == 7) {
        QCOMPARE(One(QStringLiteral("SELECT DEDUR_DATA_VALUE FROM T_DEDUR_DATA WHERE DEDUR_DATA_OBJ = %1 AND "
                                    "DEDUR_DATA_SETTINGS = %2")
                         .arg(id)
                         .arg(kSettingNominal))
                     .toDouble(),
                 250.5);
        QCOMPARE(One(QStringLiteral("SELECT DEDUR_DATA_VALUE FROM T_DEDUR_DATA WHERE DEDUR_DATA_OBJ = %1 AND "
                                    "DEDUR_DATA_SETTINGS = %2")
                         .arg(id)
                         .arg(kSettingNumber)),
                 QStringLiteral("12"));
    }

    // The new node stands selected and expanded under its expanded parent.
    QTreeWidgetItem *node = Node(id);
    QVERIFY(node);
    QCOMPARE(node->text(0), name);
    QCOMPARE(node->parent(), parent ? Node(parent) : nullptr);
    QVERIFY(node->isSelected());
    QCOMPARE(Tree()->selectedItems().size(), 1);
    QVERIFY(node->isExpanded());
    if (parent)
        QVERIFY(node->parent()->isExpanded());

    // Another client sees the object after its login.
    DB second;
    QVERIFY(second.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")));
    const int row = second.tableDedurObjects->FindRecordIndexByIntValue("DEDUR_OBJ_ID", id);
    QVERIFY(row >= 0);
    QCOMPARE(second.tableDedurObjects->GetFieldValueString(row, QStringLiteral("DEDUR_OBJ_NAME")), name);
    second.CloseSession();
}

void ObjectCommandsTest::cancelCreatesNothing_data() {
    QTest::addColumn<bool>("edit");
    QTest::addColumn<bool>("escape");

    QTest::newRow("cancel-untouched") << false << false;
    QTest::newRow("cancel-after-edit-discarded") << true << false;
    QTest::newRow("escape-after-edit-discarded") << true << true;
}

void ObjectCommandsTest::cancelCreatesNothing() {
    QFETCH(bool, edit);
    QFETCH(bool, escape);

    QVERIFY(OpenWindow(QStringLiteral("engineer"), true));
    const QString objects = One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ"));
    const QString data = One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_DATA"));
    const int nodes = CountNodes();
    bool ran = false;
    fixture->driver.boxAnswers << QMessageBox::No;
    QueueScript([&](PropertiesEditor *editor) {
        if (edit)
            QVERIFY(TypeIntoRow(editor, QStringLiteral("object_name"), QStringLiteral("Не создавать")));
        ran = true;
        if (escape)
            QTest::keyClick(editor, Qt::Key_Escape);
        else
            Click(editor, "button_cancel");
    });
    Tree()->setCurrentItem(Node(kStation));
    Action("action_add")->trigger();

    QVERIFY(ran);
    QCOMPARE(fixture->driver.boxes.size(), edit ? 1 : 0);
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ")), objects);
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_DATA")), data);
    QCOMPARE(CountNodes(), nodes);
}

void ObjectCommandsTest::edit_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("freq");
    QTest::addColumn<QString>("freqValue");
    QTest::addColumn<QString>("freqArchive");

    QTest::newRow("rename-and-reorder") << 3 << "Блок переименованный"
                                        << "9" << QString() << QString() << QString();
    QTest::newRow("new-frequency-reference") << 4 << QString() << QString() << "А:33"
                                             << "33"
                                             << "201";
    QTest::newRow("frequency-removed") << 2 << QString() << QString() << ""
                                       << "0"
                                       << "0";
}

void ObjectCommandsTest::edit() {
    QFETCH(int, id);
    QFETCH(QString, name);
    QFETCH(QString, order);
    QFETCH(QString, freq);
    QFETCH(QString, freqValue);
    QFETCH(QString, freqArchive);

    QVERIFY(OpenWindow(QStringLiteral("engineer"), true));
    QTreeWidgetItem *node = Node(id);
    QVERIFY(node);
    const QString oldName = node->text(0);
    const int position = node->parent()->indexOfChild(node);
    bool edited = false;
    QueueScript([&](PropertiesEditor *editor) {
        edited = (name.isNull() || TypeIntoRow(editor, QStringLiteral("object_name"), name)) &&
                 (order.isNull() || TypeIntoRow(editor, QStringLiteral("object_order"), order)) &&
                 (freq.isNull() || TypeIntoRow(editor, QStringLiteral("Freq"), freq));
        Click(editor, "button_save");
    });
    Tree()->setCurrentItem(node);
    const QPoint centre = Tree()->visualItemRect(node).center();
    DoubleClick(Tree()->viewport(), centre);

    QCOMPARE(editorTitles,
             QStringList{QStringLiteral("Редактор свойств: ") + oldName + QStringLiteral(" (редактирование)")});
    QVERIFY(edited);
    const QString expectedName = name.isNull() ? oldName : name;
    QCOMPARE(One(QStringLiteral("SELECT DEDUR_OBJ_NAME FROM T_DEDUR_OBJ WHERE DEDUR_OBJ_ID = %1").arg(id)),
             expectedName);
    QCOMPARE(node->text(0), expectedName);
    if (!order.isNull()) {
        QCOMPARE(One(QStringLiteral("SELECT DEDUR_OBJ_ORDER FROM T_DEDUR_OBJ WHERE DEDUR_OBJ_ID = %1").arg(id)), order);
        QCOMPARE(node->data(TreeDataColumn, OrderRole).toString(), order);
    }
    // The node keeps its place until the next rebuild.
    QCOMPARE(node->parent()->indexOfChild(node), position);
    if (!freq.isNull()) {
        const QList<QStringList> row = Query(
            stand.DatabasePath(), QStringLiteral("SELECT DEDUR_DATA_VALUE, DEDUR_DATA_ARCH FROM T_DEDUR_DATA WHERE "
                                                 "DEDUR_DATA_OBJ = %1 AND DEDUR_DATA_SETTINGS = %2")
                                      .arg(id)
                                      .arg(kSettingUnitFreq));
        QCOMPARE(row, (QList<QStringList>{{freqValue, freqArchive}}));
    }
    // Existing setting rows are updated in place; a setting without a row gets one, never a second.
    QCOMPARE(
        One(QStringLiteral("SELECT COUNT(*) || '/' || COUNT(DISTINCT DEDUR_DATA_SETTINGS) FROM T_DEDUR_DATA "
                           "WHERE DEDUR_DATA_OBJ = %1")
                .arg(id)),
        One(QStringLiteral("SELECT COUNT(*) || '/' || COUNT(*) FROM T_DEDUR_SETTINGS WHERE DEDUR_SETTINGS_TYPE = 7")));
    QVERIFY(fixture->driver.boxes.isEmpty());
}

void ObjectCommandsTest::passportIsReadOnly() {
    QVERIFY(OpenWindow(QStringLiteral("engineer"), true));
    QTreeWidgetItem *node = Node(kOtherStation);
    QVERIFY(node);
    const QString name = node->text(0);
    bool saveVisible = true;
    QString closeText;
    bool cellEditorOpened = true;
    QVariant freq;
    QueueScript([&](PropertiesEditor *editor) {
        saveVisible = editor->findChild<QPushButton *>(QStringLiteral("button_save"))->isVisible();
        closeText = editor->findChild<QPushButton *>(QStringLiteral("button_cancel"))->text();
        cellEditorOpened = OpenCellEditor(editor, QStringLiteral("object_name")) != nullptr;
        freq = EditorTable(editor)->item(RowOf(editor, QStringLiteral("Freq")), 1)->data(Qt::UserRole);
        const QString shots = qEnvironmentVariable("ZENTA_SCREENSHOTS");
        if (!shots.isEmpty() && QDir().mkpath(shots))
            editor->grab().save(QDir(shots).filePath(QStringLiteral("passport.png")));
        Click(editor, "button_cancel");
    });
    Tree()->setCurrentItem(node);
    Action("action_passport")->trigger();

    QCOMPARE(editorTitles, QStringList{QStringLiteral("Редактор свойств: ") + name + QStringLiteral(" (просмотр)")});
    QVERIFY(!saveVisible);
    QCOMPARE(closeText, QStringLiteral("Закрыть"));
    QVERIFY(!cellEditorOpened);
    QVERIFY(fixture->driver.boxes.isEmpty());
    // The stored measurement and its archive table come back as one reference.
    const QList<QStringList> stored =
        Query(stand.DatabasePath(), QStringLiteral("SELECT DEDUR_DATA_VALUE, DEDUR_DATA_ARCH FROM T_DEDUR_DATA WHERE "
                                                   "DEDUR_DATA_OBJ = %1 AND DEDUR_DATA_SETTINGS = %2")
                                        .arg(kOtherStation)
                                        .arg(kSettingStationFreq));
    QCOMPARE(stored.size(), 1);
    QCOMPARE(freq.toLongLong(), stored.first().at(1).toLongLong() * 1000000 + stored.first().at(0).toLongLong());
}

void ObjectCommandsTest::settingsFailureIsReported_data() {
    QTest::addColumn<int>("id"); // 0: create under station 1

    QTest::newRow("create") << 0;
    QTest::newRow("edit") << 4;
}

void ObjectCommandsTest::settingsFailureIsReported() {
    QFETCH(int, id);

    QVERIFY(OpenWindow(QStringLiteral("engineer"), true));
    const QString name = QStringLiteral("Параметры не приняты ") + QString::fromLatin1(QTest::currentDataTag());
    QueueScript([&](PropertiesEditor *editor) {
        QVERIFY(TypeIntoRow(editor, QStringLiteral("object_name"), name));
        // The stand refuses this value for any setting.
        QVERIFY(TypeIntoRow(editor, QStringLiteral("GeneratingEquipmentNumber"), QStringLiteral("666")));
        Click(editor, "button_save");
    });
    if (id) {
        Tree()->setCurrentItem(Node(id));
        Action("action_change")->trigger();
    } else {
        Tree()->setCurrentItem(Node(kStation));
        Action("action_add")->trigger();
    }

    QCOMPARE(editorTitles.size(), 1);
    QCOMPARE(fixture->driver.boxes.size(), 1);
    const QString box = fixture->driver.boxes.first();
    QVERIFY2(box.startsWith(QStringLiteral("Ошибка|")), qPrintable(box));
    QVERIFY2(box.contains(name), qPrintable(box));
    QVERIFY2(box.contains(QStringLiteral("Станционный номер оборудования")), qPrintable(box));
    // The object row itself went through.
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ WHERE DEDUR_OBJ_NAME = '%1'").arg(name)),
             QStringLiteral("1"));
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_DATA WHERE DEDUR_DATA_VALUE = '666'")),
             QStringLiteral("0"));
}

void ObjectCommandsTest::commandRefusals_data() {
    QTest::addColumn<bool>("editMode");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("current"); // object id, -1 a channel, 0 none
    QTest::addColumn<QString>("box");

    QTest::newRow("passport-of-channel") << false << "action_passport" << -1
                                         << "Показать паспорт объекта|Смотреть паспорт можно только у объектов!";
    QTest::newRow("add-under-unit-without-child-types")
        << true << "action_add" << 3 << "Ошибка|Для объекта [%1] нельзя создавать дочерние элементы!";
}

void ObjectCommandsTest::commandRefusals() {
    QFETCH(bool, editMode);
    QFETCH(QString, action);
    QFETCH(int, current);
    QFETCH(QString, box);

    QVERIFY(OpenWindow(QStringLiteral("engineer"), editMode));
    QTreeWidgetItem *node = nullptr;
    if (current > 0)
        node = Node(current);
    else if (current < 0)
        node = Node(kStation)->child(0);
    QVERIFY(current == 0 || node);
    Tree()->setCurrentItem(node);
    const int nodes = CountNodes();
    const QString objects = One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ"));

    // The actions are disabled outside edit mode; their slots still check.
    QMetaObject::invokeMethod(window, qPrintable(QStringLiteral("on_") + action + QStringLiteral("_triggered")));

    QCOMPARE(fixture->driver.boxes, QStringList{box.contains(QLatin1String("%1")) ? box.arg(node->text(0)) : box});
    QVERIFY(editorTitles.isEmpty());
    QCOMPARE(CountNodes(), nodes);
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ")), objects);
}

void ObjectCommandsTest::userWithoutEditRight_data() {
    QTest::addColumn<bool>("create");

    QTest::newRow("create-refused") << true;
    QTest::newRow("rename-refused") << false;
}

void ObjectCommandsTest::userWithoutEditRight() {
    QFETCH(bool, create);

    QVERIFY(OpenWindow(QStringLiteral("operator"), true));
    QTreeWidgetItem *unit = Node(2);
    QVERIFY(unit);
    const QString unitName = unit->text(0);
    const int nodes = CountNodes();
    const QString objects = One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ"));
    const QString data = One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_DATA"));
    QueueScript([&](PropertiesEditor *editor) {
        QVERIFY(TypeIntoRow(editor, QStringLiteral("object_name"), QStringLiteral("Без права")));
        Click(editor, "button_save");
    });
    if (create) {
        Tree()->setCurrentItem(Node(kStation));
        Action("action_add")->trigger();
    } else {
        Tree()->setCurrentItem(unit);
        Action("action_change")->trigger();
    }

    QCOMPARE(editorTitles.size(), 1);
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ")), objects);
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_DATA")), data);
    QCOMPARE(One(QStringLiteral("SELECT DEDUR_OBJ_NAME FROM T_DEDUR_OBJ WHERE DEDUR_OBJ_ID = 2")), unitName);
    QCOMPARE(CountNodes(), nodes);
    QCOMPARE(unit->text(0), unitName);
    // The refusal closed the session: the box keeps the program's text and gives the reason below it,
    // once, and the window stays disconnected.
    const QString box = QStringLiteral("ОШИБКА|Потеряно соединение с сервером!\n"
                                       "Сервер отказал в записи объекта, соединение с сервером закрыто.");
    QTRY_VERIFY(fixture->driver.boxes.contains(box));
    QCOMPARE(fixture->driver.boxes.count(box), 1);
    QVERIFY(!fixture->driver.boxes.contains(QStringLiteral("ОШИБКА|Потеряно соединение с сервером!")));
    QVERIFY(Action("action_connect")->isEnabled());
    QVERIFY(!Action("action_disconnect")->isEnabled());
}

void ObjectCommandsTest::otherDataTypeWrittenBackUnchanged() {
    QVERIFY(OpenWindow(QStringLiteral("engineer"), true));
    QString shown = QStringLiteral("not read");
    QVariant value;
    bool typed = false;
    QueueScript([&](PropertiesEditor *editor) {
        QTableWidgetItem *cell = EditorTable(editor)->item(RowOf(editor, QStringLiteral("Mode")), 1);
        shown = cell->text();
        typed = TypeIntoRow(editor, QStringLiteral("Mode"), QStringLiteral("автомат"));
        value = cell->data(Qt::UserRole);
        Click(editor, "button_save");
    });
    Tree()->setCurrentItem(Node(40));
    Action("action_change")->trigger();

    QCOMPARE(shown, QString());
    QVERIFY(typed);
    QCOMPARE(value, QVariant(QStringLiteral("ручной")));
    QCOMPARE(One(QStringLiteral("SELECT DEDUR_DATA_VALUE FROM T_DEDUR_DATA WHERE DEDUR_DATA_ID = 900")),
             QStringLiteral("ручной"));
}

void ObjectCommandsTest::staleCacheWriteRefused_data() {
    QTest::addColumn<bool>("objectRow");

    QTest::newRow("object-id-taken-meanwhile") << true;
    QTest::newRow("data-id-taken-meanwhile") << false;
}

// Two clients choose new ids from their own caches; the one that writes second must be refused
// rather than leave two rows with one id.
void ObjectCommandsTest::staleCacheWriteRefused() {
    QFETCH(bool, objectRow);

    QVERIFY(OpenWindow(QStringLiteral("engineer"), true));
    DB other;
    QVERIFY(other.OpenSession(stand.Address(), QStringLiteral("engineer"), QStringLiteral("engineer")));
    const QString name = QStringLiteral("Первым ") + QString::fromLatin1(QTest::currentDataTag());
    QueueScript([&](PropertiesEditor *editor) {
        QVERIFY(TypeIntoRow(editor, QStringLiteral("object_name"), name));
        Click(editor, "button_save");
    });
    Tree()->setCurrentItem(Node(kStation));
    Action("action_add")->trigger();
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ WHERE DEDUR_OBJ_NAME = '%1'").arg(name)),
             QStringLiteral("1"));

    if (objectRow) {
        QCOMPARE(other.tableDedurObjects->CreateObject(QStringLiteral("Вторым"), 7, kStation, true, 1), 0);
        QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ WHERE DEDUR_OBJ_NAME = 'Вторым'")),
                 QStringLiteral("0"));
    } else {
        Table_Dedur_Data::DataRecord record;
        record.objectId = 2;
        record.settingId = 18;
        record.value = QStringLiteral("вторая запись");
        QVERIFY(!other.tableDedurData->UpdateObjectSettingsData({record}));
        QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_DATA WHERE DEDUR_DATA_VALUE = 'вторая запись'")),
                 QStringLiteral("0"));
    }
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) = COUNT(DISTINCT DEDUR_OBJ_ID) FROM T_DEDUR_OBJ")),
             QStringLiteral("1"));
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) = COUNT(DISTINCT DEDUR_DATA_ID) FROM T_DEDUR_DATA")),
             QStringLiteral("1"));
    other.CloseSession();
}

void ObjectCommandsTest::deleteBottomUp_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<QList<int>>("deleted"); // in server order; children may come in any order among themselves
    QTest::addColumn<QList<int>>("kept");

    QTest::newRow("answer-no-deletes-nothing")
        << kOtherStation << QMessageBox::No << QList<int>{} << QList<int>{kOtherStation, 6, 7, 8};
    QTest::newRow("station-with-units") << kOtherStation << QMessageBox::Yes << QList<int>{6, 7, 8, kOtherStation}
                                        << QList<int>{};
    QTest::newRow("refused-child-keeps-its-parent") << 40 << QMessageBox::Yes << QList<int>{42} << QList<int>{40, 41};
}

void ObjectCommandsTest::deleteBottomUp() {
    QFETCH(int, id);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(QList<int>, deleted);
    QFETCH(QList<int>, kept);

    QVERIFY(OpenWindow(QStringLiteral("engineer"), true));
    const QString before = One(QStringLiteral("SELECT COALESCE(MAX(seq), 0) FROM deleted_objects"));
    QVERIFY(Node(id));
    fixture->driver.boxAnswers << answer;
    Tree()->setCurrentItem(Node(id));
    Action("action_delete")->trigger();

    QCOMPARE(fixture->driver.boxes.size(), 1);
    QCOMPARE(fixture->driver.boxes.first(),
             QStringLiteral("Удаление|Удалить элемент безвозвратно со всеми дочерними объектами?"));
    QList<int> order;
    for (const QStringList &row :
         Query(stand.DatabasePath(),
               QStringLiteral("SELECT id FROM deleted_objects WHERE seq > %1 ORDER BY seq").arg(before)))
        order << row.first().toInt();
    QCOMPARE(order.size(), deleted.size());
    if (!deleted.isEmpty())
        QCOMPARE(order.last(), deleted.last()); // the parent goes last
    for (int removed : deleted) {
        QVERIFY(order.contains(removed));
        QVERIFY(!Node(removed));
        QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_DATA WHERE DEDUR_DATA_OBJ = %1").arg(removed)),
                 QStringLiteral("0"));
    }
    for (int stays : kept) {
        QVERIFY(Node(stays));
        QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ WHERE DEDUR_OBJ_ID = %1").arg(stays)),
                 QStringLiteral("1"));
    }
}

void ObjectCommandsTest::connectionLostWhileDialogOpen_data() {
    QTest::addColumn<bool>("create");

    QTest::newRow("editing") << false;
    QTest::newRow("creating") << true;
}

// The server goes away while the passport is open; the window drops the link and rebuilds the tree
// under the dialog. Saving afterwards must neither touch the discarded nodes nor write anything.
void ObjectCommandsTest::connectionLostWhileDialogOpen() {
    QFETCH(bool, create);

    QVERIFY(OpenWindow(QStringLiteral("engineer"), true));
    const QString objects = One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ"));
    bool lossSeen = false;
    QueueScript([&](PropertiesEditor *editor) {
        QVERIFY(TypeIntoRow(editor, QStringLiteral("object_name"), QStringLiteral("После обрыва")));
        stand.Kill();
        QDeadlineTimer deadline(10000);
        while (!lossSeen && !deadline.hasExpired()) {
            QTest::qWait(20);
            lossSeen = Action("action_connect")->isEnabled();
        }
        Click(editor, "button_save");
    });
    Tree()->setCurrentItem(Node(create ? kStation : 3));
    Action(create ? "action_add" : "action_change")->trigger();

    QVERIFY(lossSeen);
    QTRY_VERIFY(fixture->driver.boxes.contains(QStringLiteral("ОШИБКА|Потеряно соединение с сервером!")));
    QVERIFY(Tree()->findItems(QStringLiteral("После обрыва"), Qt::MatchRecursive).isEmpty());
    QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ")), objects);
    QCOMPARE(One(QStringLiteral("SELECT COUNT(*) FROM T_DEDUR_OBJ WHERE DEDUR_OBJ_NAME = 'После обрыва'")),
             QStringLiteral("0"));
}

QTEST_MAIN(ObjectCommandsTest)
#include "object_commands_test.moc"
