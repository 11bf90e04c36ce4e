#pragma once

#include <QByteArray>
#include <QString>

struct zip;

// Read-only access to a ZIP archive through libzip: member names and their unpacked contents.
class ZipArchive {
public:
    explicit ZipArchive(const QString &path);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // Members larger than this are refused instead of unpacked; an export of a day is a few megabytes.
    static constexpr qint64 MaxMemberSize = qint64(256) << 20;

    bool IsOpen() const { return archive != nullptr; }
    // Why the archive could not be opened, in Russian; empty when it is open.
    QString Error() const { return error; }
    int Count() const;
    QString Name(int index) const;
    // The unpacked member; false with a reason in Russian when it cannot be read whole.
    bool Read(int index, QByteArray *data, QString *reason) const;

    // An archive by its name (".zip") or by the signature at its start.
    static bool LooksLikeZip(const QString &path);

private:
    zip *archive = nullptr;
    QString error;
};
