#include "window_fixture.h"

#include <QDir>
#include <QSettings>

#include "support/settings.h"

WindowFixture::~WindowFixture() {
    Close();
    if (folder)
        QDir::setCurrent(previousFolder);
}

bool WindowFixture::EnterNewFolder() {
    if (!folder)
        previousFolder = QDir::currentPath();
    folder = std::make_unique<QTemporaryDir>();
    return folder->isValid() && QDir::setCurrent(folder->path());
}

QString WindowFixture::Folder() const {
    return folder ? folder->path() : QDir::currentPath();
}

void WindowFixture::WriteSettings(const QVariantMap &values) {
    QSettings settings(Settings::FilePath(), QSettings::IniFormat);
    for (auto it = values.begin(); it != values.end(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
}

QString WindowFixture::ReadSetting(const QString &key) {
    QSettings settings(Settings::FilePath(), QSettings::IniFormat);
    return settings.value(key).toString();
}

void WindowFixture::WriteAutoLogin(const QString &server, const QString &user, const QString &password) {
    WriteSettings({{QStringLiteral("SERVER_NAME"), server},
                   {QStringLiteral("USER_NAME"), user},
                   {QStringLiteral("USER_PASSWORD"), password},
                   {QStringLiteral("AUTOLOGIN"), true}});
}

MainWindow *WindowFixture::Start() {
    window = std::make_unique<MainWindow>(nullptr);
    window->show();
    window->StartSession();
    return window.get();
}

void WindowFixture::Close() {
    window.reset();
}
