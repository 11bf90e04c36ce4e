#pragma once

#include <QString>

struct zip;

// Read-only access to a ZIP archive through libzip: member names and sizes; ZipMember reads a member.
class ZipArchive {
public:
    explicit ZipArchive(const QString &path);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    bool IsOpen() const { return archive != nullptr; }
    // Why the archive could not be opened, in Russian; empty when it is open.
    QString Error() const { return error; }
    int Count() const;
    QString Name(int index) const;

    // An archive by its name (".zip") or by the signature at its start.
    static bool LooksLikeZip(const QString &path);

    // The unpacked size the archive states for a member; -1 when it states none.
    qint64 Size(int index) const;

private:
    friend class ZipMember;
    // A libzip error code in Russian.
    static QString Reason(int code);

    zip *archive = nullptr;
    QString error;
};
