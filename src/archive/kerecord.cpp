#include "archive/kerecord.h"

#include <cstdint>

#include <nlohmann/json.hpp>

#include "archive/archrun.h"
#include "archive/runcontext.h"
#include "platform/files.h"

namespace {

// A record is a few hundred bytes; anything far larger is not one.
constexpr uint64_t kLargestRecord = 65536;

std::string Text(const nlohmann::json &value, const char *key) {
  const auto it = value.find(key);
  return it != value.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The record's fields in the order a reader expects them.
using Json = nlohmann::ordered_json;

Json TextOrNull(const std::string &text) { return text.empty() ? Json() : Json(text); }

} // namespace

namespace {

// A record as its file holds it; none when the text is no record.
std::optional<KeRecord> ParseKeRecord(const std::string &text) {
  const nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
  if (!value.is_object())
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

std::string RecordText(const KeRecord &record) {
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
  return value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace

// Read as every file is: no link followed, no FIFO waited for, and no more
// than a record can hold.
std::optional<KeRecord> ReadKeRecord(const std::string &dir) {
  std::string text;
  if (!plat::ReadWholeFile(plat::JoinPath(dir, kKeRecordName), kLargestRecord, text))
    return std::nullopt;
  return ParseKeRecord(text);
}

bool WriteKeRecord(const plat::Dir &dir, KeRecord record) {
  std::string before;
  if (plat::ReadWholeFile(dir, kKeRecordName, kLargestRecord, before)) {
    const std::optional<KeRecord> earlier = ParseKeRecord(before);
    if (earlier && !earlier->firstSeen.empty())
      record.firstSeen = earlier->firstSeen;
  }
  const std::string text = RecordText(record);
  return dir.PutInPlace(kKeRecordName, text.data(), text.size());
}

void WriteKeRecord(JobRun &run) {
  const ArchiveJob &job = run.job;
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
  // Through the KE directory held for the job, under its lock.
  WriteKeRecord(run.keDir, record);
}
