// The KE's record, zarvik.json in its directory: which printer and KE the
// directory belongs to, which port and device they came through, when the
// KE was first and last seen, and how the last archive run there ended.
// Every archive run that served the directory rewrites it (put in place,
// under the directory's lock); AUDIT reads it.
#pragma once

#include <optional>
#include <string>

#include "platform/files.h"

constexpr const char *kKeRecordName = "zarvik.json";

struct KeRecord {
  std::string serial;
  std::string fiscalMemory;
  std::string port;
  std::string device;
  std::string firstSeen;  // local ISO 8601 times
  std::string lastSeen;
  std::string lastRun;    // when the last run that served the directory began
  std::optional<int> lastExitCode;
};

// dir's record; nullopt when there is none (an archive from before it), it
// is no plain file, or it cannot be read as one.
std::optional<KeRecord> ReadKeRecord(const std::string &dir);
// Writes dir's record through the put-in-place; firstSeen is kept from the
// record already there. The caller holds dir's lock.
bool WriteKeRecord(const plat::Dir &dir, KeRecord record);

struct JobRun;
// The record of the KE directory run served, at the end of its disk stage.
void WriteKeRecord(JobRun &run);
