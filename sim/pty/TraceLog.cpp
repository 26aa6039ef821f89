#include "sim/pty/TraceLog.h"

#include <ctime>

#include "sim/UnitSetup.h"
#include "sim/Words.h"

namespace orvo::sim {
namespace {

void Put(std::FILE* file, const std::string& line) {
  if (!file) return;
  std::fputs(line.c_str(), file);
  std::fflush(file);
}

}  // namespace

std::string JsonString(std::string_view text) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string json = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (byte >= 0x20 && byte < 0x7F) {
      json += c;
    } else {
      json += "\\u00";
      json += digits[byte >> 4];
      json += digits[byte & 15];
    }
  }
  return json + "\"";
}

TraceLog::TraceLog(TraceFiles files) : Files(files), Start(std::chrono::steady_clock::now()) {}

TraceLog::Stamp TraceLog::Now() const {
  using namespace std::chrono;
  const auto sinceStart = duration_cast<milliseconds>(steady_clock::now() - Start).count();
  const auto wall = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(wall);
  const int millis =
      static_cast<int>(duration_cast<milliseconds>(wall.time_since_epoch()).count() % 1000);
  std::tm utc{}, local{};
  gmtime_r(&seconds, &utc);
  localtime_r(&seconds, &local);
  char utcText[40], localText[24];
  std::strftime(utcText, sizeof utcText, "%Y-%m-%dT%H:%M:%S", &utc);
  std::strftime(localText, sizeof localText, "%H:%M:%S", &local);
  char ms[8];
  std::snprintf(ms, sizeof ms, ".%03d", millis);
  return {static_cast<long long>(sinceStart), std::string(utcText) + ms + "Z",
          std::string(localText) + ms};
}

void TraceLog::Write(std::string_view unit, std::string_view direction, std::string_view kind,
                     std::string_view hex, std::string_view meaning) {
  if (!Files.Log && !Files.Readable && !Files.Json) return;
  const Stamp now = Now();
  const std::string name(unit);
  if (Files.Log) {
    // The log names the kind of frame received only; a reply is just bytes.
    std::string event(direction);
    if (direction == "rx") event += " " + std::string(kind);
    Put(Files.Log, std::to_string(now.Ms) + " " + now.Utc + " " + name + " " + event + " " +
                       std::string(hex) + "\n");
  }
  if (Files.Readable) {
    char head[64];
    std::snprintf(head, sizeof head, "%s  %-9s  %s  ", now.Local.c_str(), name.c_str(),
                  std::string(direction).c_str());
    Put(Files.Readable, head + std::string(meaning) + "  [" + std::string(hex) + "]\n");
  }
  if (Files.Json) {
    Put(Files.Json, "{\"ms\":" + std::to_string(now.Ms) + ",\"time\":" + JsonString(now.Utc) +
                        ",\"unit\":" + JsonString(unit) + ",\"dir\":" + JsonString(direction) +
                        ",\"kind\":" + JsonString(kind) + ",\"hex\":" + JsonString(hex) +
                        ",\"meaning\":" + JsonString(meaning) + "}\n");
  }
}

void TraceLog::Line(std::string_view unit, std::string_view text) {
  if (!Files.Log && !Files.Readable && !Files.Json) return;
  const Stamp now = Now();
  const std::string name(unit), line(text);
  Put(Files.Log, std::to_string(now.Ms) + " " + now.Utc + " " + name + " " + line + "\n");
  if (Files.Readable) {
    char head[64];
    std::snprintf(head, sizeof head, "%s  %-9s  --  ", now.Local.c_str(), name.c_str());
    Put(Files.Readable, head + line + "\n");
  }
  Put(Files.Json, "{\"ms\":" + std::to_string(now.Ms) + ",\"time\":" + JsonString(now.Utc) +
                      ",\"unit\":" + JsonString(unit) +
                      ",\"dir\":\"event\",\"text\":" + JsonString(text) + "}\n");
}

void TraceLog::Received(std::string_view unit, const Frame& frame, std::string_view meaning) {
  Write(unit, "rx", FrameKindName(frame.Type), HexBytes(frame.Bytes), meaning);
}

void TraceLog::Sent(std::string_view unit, std::span<const uint8_t> bytes,
                    std::string_view meaning) {
  Write(unit, "tx", "reply", HexBytes(bytes), meaning);
}

}  // namespace orvo::sim
