// SPDX-License-Identifier: MIT
#include "platform/FileOwner.h"

#include <aclapi.h>
#include <io.h>
#include <windows.h>

// On Windows a file's owner and its access list stand for owner, group and mode. The new file
// gets the old one's access list (explicit entries, and whether it inherits from the folder) and,
// when it differs, its owner, which only a user with the right to restore files may give away.
bool keepOwnerAndMode(const QString &oldPath, int fd, QString *reason)
{
    const std::wstring name = oldPath.toStdWString();
    PSID owner = nullptr;
    PACL access = nullptr;
    PSECURITY_DESCRIPTOR old = nullptr;
    DWORD error = ::GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT,
                                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                          &owner, nullptr, &access, nullptr, &old);
    const auto made = HANDLE(::_get_osfhandle(fd));
    if (error == ERROR_SUCCESS && made == INVALID_HANDLE_VALUE)
        error = ERROR_INVALID_HANDLE;
    if (error == ERROR_SUCCESS) {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ::GetSecurityDescriptorControl(old, &control, &revision);
        SECURITY_INFORMATION what =
            DACL_SECURITY_INFORMATION |
            ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                           : UNPROTECTED_DACL_SECURITY_INFORMATION);
        PSID madeOwner = nullptr;
        PSECURITY_DESCRIPTOR current = nullptr;
        if (::GetSecurityInfo(made, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &madeOwner, nullptr,
                              nullptr, nullptr, &current) == ERROR_SUCCESS) {
            if (owner && madeOwner && !::EqualSid(owner, madeOwner))
                what |= OWNER_SECURITY_INFORMATION;
            ::LocalFree(current);
        }
        error = ::SetSecurityInfo(made, SE_FILE_OBJECT, what, owner, nullptr, access, nullptr);
    }
    if (old)
        ::LocalFree(old);
    if (error != ERROR_SUCCESS && reason)
        *reason = qt_error_string(int(error));
    return error == ERROR_SUCCESS;
}
