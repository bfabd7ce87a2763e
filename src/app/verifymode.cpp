// VERIFY mode: the command line's third word checked, then the archive
// checked (archive/verify.cpp).
#include <string>

#include "app/modes.h"
#include "archive/archmessages.h"
#include "archive/verify.h"
#include "base/bytebuffer.h"
#include "platform/console.h"

namespace {
constexpr const char *kUsage = "U" ZV_z "ycie: zarvik VERIFY [katalog] [FIX]; nieznane s" ZV_l "owo: ";
} // namespace

ExitCode RunVerifyMode(const VerifyOptions &options) {
  if (!options.unknownWord.empty()) {
    plat::ConsoleWrite(kUsage + Printable(options.unknownWord) + "\r\n");
    return ExitCode::kUsage;
  }
  return VerifyArchive(options.targetPath, options.fix);
}
