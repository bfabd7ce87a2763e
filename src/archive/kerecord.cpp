#include "archive/kerecord.h"

#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "archive/archrun.h"
#include "archive/runcontext.h"
#include "platform/files.h"

namespace {

// A record is a few hundred bytes; anything far larger is not one.
constexpr std::streamsize kLargestRecord = 65536;

std::string Text(const nlohmann::json &value, const char *key) {
  const auto it = value.find(key);
  return it != value.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The record's fields in the order a reader expects them.
using Json = nlohmann::ordered_json;

Json TextOrNull(const std::string &text) { return text.empty() ? Json() : Json(text); }

} // namespace

std::optional<KeRecord> ReadKeRecord(const std::string &dir) {
  const std::string path = plat::JoinPath(dir, kKeRecordName);
  if (plat::TypeOf(path) != plat::EntryType::kFile)
    return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::string text(static_cast<size_t>(kLargestRecord) + 1, '\0');
  in.read(text.data(), kLargestRecord + 1);
  text.resize(static_cast<size_t>(in.gcount()));
  const nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
  if (text.size() > static_cast<size_t>(kLargestRecord) || !value.is_object())
    return std::nullopt;
  KeRecord record;
  record.serial = Text(value, "serial");
  record.fiscalMemory = Text(value, "fiscal_memory");
  record.port = Text(value, "port");
  record.device = Text(value, "device");
  record.firstSeen = Text(value, "first_seen");
  record.lastSeen = Text(value, "last_seen");
  record.lastRun = Text(value, "last_run");
  const auto code = value.find("last_exit_code");
  if (code != value.end() && code->is_number_integer())
    record.lastExitCode = code->get<int>();
  return record;
}

bool WriteKeRecord(const std::string &dir, KeRecord record) {
  const std::optional<KeRecord> before = ReadKeRecord(dir);
  if (before && !before->firstSeen.empty())
    record.firstSeen = before->firstSeen;
  const Json value = {
      {"serial", TextOrNull(record.serial)},
      {"fiscal_memory", TextOrNull(record.fiscalMemory)},
      {"port", TextOrNull(record.port)},
      {"device", TextOrNull(record.device)},
      {"first_seen", TextOrNull(record.firstSeen)},
      {"last_seen", TextOrNull(record.lastSeen)},
      {"last_run", TextOrNull(record.lastRun)},
      {"last_exit_code", record.lastExitCode ? Json(*record.lastExitCode) : Json()},
  };
  const std::string text = value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  return plat::PutInPlace(plat::JoinPath(dir, kKeRecordName), text.data(), text.size());
}

void WriteKeRecord(JobRun &run) {
  const archType &job = run.job;
  const VemoraPortsType *port = job.copyPort != nullptr ? job.copyPort : job.printerPort;
  KeRecord record;
  record.serial = run.serialNumber;
  record.fiscalMemory = Printable(run.fiscalNumberCopy);
  record.port = CopyLabel(job);
  record.device = port != nullptr ? port->deviceName : std::string();
  record.lastSeen = LocalTimeIso8601();
  record.firstSeen = record.lastSeen;
  record.lastRun = job.context->startedText;
  record.lastExitCode = ExitNumber(job.record.exitCode.load());
  WriteKeRecord(run.copyDir, record);
}
