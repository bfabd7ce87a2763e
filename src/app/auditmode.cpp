// AUDIT mode: the archive's account (archive/audit.cpp) written as the
// report for people and, beside it, the same for programs.
#include <string>

#include "app/modes.h"
#include "archive/archmessages.h"
#include "archive/audit.h"
#include "base/bytebuffer.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/syserror.h"
#include "platform/text.h"

namespace {

constexpr const char *kUsage = "U" ZV_z "ycie: zarvik AUDIT <katalog> <raport.html>\r\n";
constexpr const char *kNoTarget = "Nie mo" ZV_z "na odczyta" ZV_c " katalogu: ";
constexpr const char *kNotWritten = "Nie mo" ZV_z "na zapisa" ZV_c " raportu: ";
constexpr const char *kWritten = "Zapisano raport: ";

bool Write(const std::string &path, const std::string &text) {
  if (plat::PutInPlace(path, text.data(), text.size())) {
    plat::ConsoleWrite(kWritten + Printable(path) + "\r\n");
    return true;
  }
  plat::ConsoleWrite(kNotWritten + Printable(path) + plat::LastErrorSuffix() + "\r\n");
  return false;
}

} // namespace

std::string JsonReportPath(const std::string &htmlPath) {
  const size_t dot = htmlPath.rfind('.');
  const size_t separator = htmlPath.find_last_of("/\\");
  const bool extension = dot != std::string::npos && dot > 0 && (separator == std::string::npos || dot > separator + 1);
  // A report named *.json (in any letter case) keeps its name; the JSON
  // then goes beside it.
  if (!extension || plat::AnsiUpper(htmlPath.substr(dot)) == ".JSON")
    return htmlPath + ".json";
  return htmlPath.substr(0, dot) + ".json";
}

ExitCode RunAuditMode(const AuditOptions &options) {
  if (options.reportPath.empty()) {
    plat::ConsoleWrite(kUsage);
    return ExitCode::kUsage;
  }
  const ArchiveAccount account = TakeAccount(options.targetPath);
  if (!account.readable)
    plat::ConsoleWrite(kNoTarget + Printable(account.target) + "\r\n");
  if (!Write(options.reportPath, AccountHtml(account)) ||
      !Write(JsonReportPath(options.reportPath), AccountJson(account)))
    return ExitCode::kReportNotWritten;
  return account.ExitNumber() == 0 ? ExitCode::kDone : ExitCode::kArchiveProblem;
}
