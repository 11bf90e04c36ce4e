// The real main window started as main starts it: in a working folder of its own (for dedur.ini),
// constructed, shown and logged in through StartSession() while the modal driver answers its dialogs.
#pragma once

#include <QAction>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>
#include <memory>

#include "app/mainwindow.h"
#include "modal_driver.h"

class WindowFixture {
public:
    WindowFixture() = default;
    // Closes the window, then goes back to the folder that was current before.
    ~WindowFixture();
    WindowFixture(const WindowFixture &) = delete;
    WindowFixture &operator=(const WindowFixture &) = delete;

    // Makes a new temporary folder the current one.
    bool EnterNewFolder();
    QString Folder() const;

    // Keys of dedur.ini in the current folder; other keys are kept.
    static void WriteSettings(const QVariantMap &values);
    static QString ReadSetting(const QString &key);
    // dedur.ini for a start that logs in by itself.
    static void WriteAutoLogin(const QString &server, const QString &user, const QString &password);

    // Builds the window and starts its session; the answers the start needs are queued on `driver` first.
    MainWindow *Start();
    // Destroys the window.
    void Close();
    MainWindow *Window() const { return window.get(); }

    // A child of the window by object name; a missing one ends the test program, naming it.
    template <typename T> T *Child(const char *name) const {
        T *child = window ? window->findChild<T *>(QString::fromLatin1(name)) : nullptr;
        if (!child)
            qFatal("no child %s", name);
        return child;
    }
    QAction *Action(const char *name) const { return Child<QAction>(name); }

    ModalDriver driver;

private:
    std::unique_ptr<QTemporaryDir> folder;
    QString previousFolder;
    std::unique_ptr<MainWindow> window;
};
