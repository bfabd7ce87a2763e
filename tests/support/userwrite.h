// A directory that ordinary users were given write on, for the tests of the
// archive root's check.
#pragma once

#include <string>
#ifdef _WIN32
#include <windows.h>
// windows.h first: the security headers need its types.
#include <aclapi.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#endif

// Gives ordinary users write on a directory as a shop's data drive does.
// Windows: Everyone gets Modify (Wine keeps no access list, only the Unix
// mode it maps one to, and maps only Everyone to the mode's "others").
// POSIX: mode o+w.
inline bool LetUsersWrite(const std::string &path) {
#ifdef _WIN32
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;WD)",
                                                            SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  const DWORD result = SetNamedSecurityInfoA(const_cast<char *>(path.c_str()), SE_FILE_OBJECT,
                                             DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
  LocalFree(descriptor);
  return result == ERROR_SUCCESS;
#else
  return chmod(path.c_str(), 0777) == 0;
#endif
}
