#include "platform/access.h"

#include <windows.h>
// windows.h first: the security headers need its types.
#include <aclapi.h>
#include <sddl.h>

#include "platform/files.h"
#include "platform/win32/acljudge.h"

namespace plat {

namespace {

// A security descriptor the system allocated, freed with it.
class LocalDescriptor {
public:
  LocalDescriptor() = default;
  ~LocalDescriptor() {
    if (descriptor != nullptr)
      LocalFree(descriptor);
  }
  LocalDescriptor(const LocalDescriptor &) = delete;
  LocalDescriptor &operator=(const LocalDescriptor &) = delete;

  PSECURITY_DESCRIPTOR descriptor = nullptr;
};

// The rights that change a directory or what it holds: write data or add a
// file, append or add a folder, delete a child, delete, change the access
// list or the owner, and the generic rights that include them.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                     WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The groups every signed-in user belongs to.
constexpr WELL_KNOWN_SID_TYPE kUserGroups[] = {WinBuiltinUsersSid, WinAuthenticatedUserSid, WinWorldSid,
                                               WinInteractiveSid};

bool IsUserGroup(PSID sid) {
  for (WELL_KNOWN_SID_TYPE group : kUserGroups)
    if (IsWellKnownSid(sid, group))
      return true;
  return false;
}

// The entries are taken in their order, as the system checks them: a right
// denied to the groups before it is allowed stays denied. Entries that only
// pass on to what the folder holds count too: a file users may change in the
// archive is as bad as the folder itself.
bool AclLetsUsersWrite(BOOL present, PACL dacl) {
  if (!present || dacl == nullptr)
    return true;
  ACCESS_MASK denied = 0;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void *entry = nullptr;
    if (!GetAce(dacl, index, &entry))
      return false;
    const auto *header = static_cast<const ACE_HEADER *>(entry);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
      const auto *deny = static_cast<const ACCESS_DENIED_ACE *>(entry);
      if (IsUserGroup(const_cast<DWORD *>(&deny->SidStart)))
        denied |= deny->Mask;
    } else if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      const auto *allow = static_cast<const ACCESS_ALLOWED_ACE *>(entry);
      if (IsUserGroup(const_cast<DWORD *>(&allow->SidStart)) && (allow->Mask & kWriteRights & ~denied) != 0)
        return true;
    }
  }
  return false;
}

} // namespace

bool CreateProtectedDirectory(const std::string &path) {
  LocalDescriptor protection;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtectedDirectorySddl, SDDL_REVISION_1,
                                                            &protection.descriptor, nullptr))
    return false;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, protection.descriptor, FALSE};
  return CreateDirectoryA(path.c_str(), &attributes) != 0 ||
         (GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(path));
}

bool WritableByUsers(const std::string &path) {
  LocalDescriptor read;
  PACL dacl = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &read.descriptor) != ERROR_SUCCESS)
    return false;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  return GetSecurityDescriptorDacl(read.descriptor, &present, &dacl, &defaulted) && AclLetsUsersWrite(present, dacl);
}

bool SddlLetsUsersWrite(const std::string &sddl) {
  LocalDescriptor made;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &made.descriptor, nullptr))
    return false;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  return GetSecurityDescriptorDacl(made.descriptor, &present, &dacl, &defaulted) && AclLetsUsersWrite(present, dacl);
}

std::string AccessListText(const std::string &path) {
  LocalDescriptor read;
  PACL dacl = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &read.descriptor) != ERROR_SUCCESS)
    return std::string();
  char *text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(read.descriptor, SDDL_REVISION_1,
                                                            DACL_SECURITY_INFORMATION, &text, nullptr))
    return std::string();
  std::string result(text);
  LocalFree(text);
  return result;
}

} // namespace plat
