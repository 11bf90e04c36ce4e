#pragma once

#include <QString>
#include <QStringList>

// dedur.ini in the current working directory: every reader opens it afresh.
namespace Settings {

struct Default {
    const char *key;
    const char *value;
};

// Keys in the order they are checked and written on first start.
extern const Default Defaults[7];

QString FilePath();

// Remembered lists are joined by "|"; empty parts are kept as they are stored.
QStringList SplitList(const QString &joined);

// The list after a successful use of `used`: the others deduplicated and sorted, `used` once in front.
QString RememberFirst(const QString &joined, const QString &used);

// First entry of a remembered list (text up to the first "|").
QString FirstEntry(const QString &joined);

} // namespace Settings
