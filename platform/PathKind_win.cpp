// SPDX-License-Identifier: MIT
#include "platform/PathKind.h"

#include <QRegularExpression>

#include <windows.h>

namespace
{

// A device: a path in the device namespace (\\.\COM10, \\.\pipe\NAME), or a name Windows keeps
// for a device in every folder (NUL, CON, COM1, LPT1, ...; also with an extension: NUL.txt).
bool isDevicePath(const QString &path)
{
    if (path.startsWith(QLatin1String("\\\\.\\")) || path.startsWith(QLatin1String("//./")))
        return true;
    static const QRegularExpression reserved(
        QStringLiteral("^(CON|PRN|AUX|NUL|CONIN\\$|CONOUT\\$|COM[1-9]|LPT[1-9])(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString name = path.section(QRegularExpression(QStringLiteral("[\\\\/:]")), -1).trimmed();
    return reserved.match(name).hasMatch();
}

} // namespace

std::optional<PathKind> pathKind(const QString &path, QString *reason)
{
    if (isDevicePath(path))
        return PathKind::Other;
    const std::wstring name = path.toStdWString();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return PathKind::Missing; // or its folder: the write then says which
        if (reason)
            *reason = qt_error_string(int(error));
        return std::nullopt;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return PathKind::Directory;
    return PathKind::RegularFile;
}

// Opened for no access at all, which any file allows beside its writers, to read its identity.
std::optional<FileIdentity> fileIdentity(const QString &path)
{
    if (isDevicePath(path))
        return FileIdentity{};
    const std::wstring name = path.toStdWString();
    const HANDLE file =
        ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information;
    const bool known = ::GetFileInformationByHandle(file, &information);
    const bool disk = ::GetFileType(file) == FILE_TYPE_DISK;
    ::CloseHandle(file);
    if (!known)
        return FileIdentity{};
    return FileIdentity{
        information.dwVolumeSerialNumber,
        (quint64(information.nFileIndexHigh) << 32) | information.nFileIndexLow,
        qint64((quint64(information.nFileSizeHigh) << 32) | information.nFileSizeLow),
        disk && !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)};
}
