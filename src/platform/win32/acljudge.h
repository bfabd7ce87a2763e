// The judgement behind plat::WritableByUsers on an access list itself, so
// that lists a file system cannot store (Wine keeps none) can be judged too.
#pragma once

#include <string>

namespace plat {

// The access list of every directory the program creates as a protected one.
inline constexpr const char *kProtectedDirectorySddl = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Whether the access list of a security descriptor in the text form
// ("D:(A;OICI;0x1301bf;;;AU)") lets ordinary users write, as WritableByUsers
// judges a directory's; false when the text is no descriptor.
bool SddlLetsUsersWrite(const std::string &sddl);

// The access list of a file or directory in the text form ("D:..."); empty
// when it cannot be read.
std::string AccessListText(const std::string &path);

} // namespace plat
