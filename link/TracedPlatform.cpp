#include "link/TracedPlatform.h"

#include <algorithm>

#include "link/TraceLine.h"
#include "protocol/Wire.h"

namespace orvo {
namespace {

// The unit address a frame carries: first in a short frame, after the
// FE FF start in a command frame.
int32_t AddressOf(std::span<const uint8_t> sent) {
  if (sent.size() == protocol::ShortFrameSize) return sent[0];
  return sent.size() > 2 ? sent[2] : 0;
}

// "COM5" for \\.\COM5: the device name as a teacher knows the port, even
// when it names none ("COM-3").
std::string PortText(std::u16string_view deviceName) {
  if (deviceName.substr(0, 4) == u"\\\\.\\") deviceName.remove_prefix(4);
  std::string text;
  for (char16_t c : deviceName) text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return text;
}

// A trace must never cost a lesson anything: whatever goes wrong while a
// line is made stays here.
template <class Make>
void Quietly(Make make) {
  try {
    make();
  } catch (...) {
  }
}

// ": Access is denied (5)", or nothing where the system said nothing.
std::string Reason(const SystemError& error) {
  if (error.Code == 0) return {};
  return ": " + (error.Text.empty() ? std::string("system error") : error.Text) + " (" +
         std::to_string(error.Code) + ")";
}

}  // namespace

TracedPlatform::~TracedPlatform() { Settle(); }

Handle TracedPlatform::OpenSerialPort(std::u16string_view deviceName) {
  const Handle handle = Wrapped.OpenSerialPort(deviceName);
  Quietly([&] {
    // Most support questions start with a port that never opened, and such
    // a port has no exchange to show for it: the system's reason is.
    if (handle == InvalidHandle) {
      Note(PortText(deviceName) + " cannot be opened" + Reason(Wrapped.LastError()));
    } else {
      Ports[handle] = protocol::SerialPortOfDevice(deviceName).value_or(-1);
    }
  });
  return handle;
}

bool TracedPlatform::ConfigureSerialPort(Handle port, const SerialSettings& settings) {
  const bool configured = Wrapped.ConfigureSerialPort(port, settings);
  if (!configured) {
    Quietly([&] {
      const SystemError error = Wrapped.LastError();
      const auto it = Ports.find(port);
      Note(TracePortName(it == Ports.end() ? -1 : it->second) + " refused the line settings" +
           Reason(error));
    });
  }
  return configured;
}

bool TracedPlatform::WriteSerial(Handle port, std::span<const uint8_t> bytes) {
  Quietly([&] {
    if (Serial && Serial->AwaitingResend && std::ranges::equal(bytes, Serial->Sent)) {
      Serial->Resent = true;
      Serial->AwaitingResend = false;
      return;
    }
    Settle();
    const auto it = Ports.find(port);
    Serial = Pending{it == Ports.end() ? -1 : it->second, {bytes.begin(), bytes.end()}, {}};
  });
  return Wrapped.WriteSerial(port, bytes);
}

std::size_t TracedPlatform::ReadSerial(Handle port, std::span<uint8_t> bytes) {
  const std::size_t got = Wrapped.ReadSerial(port, bytes);
  Quietly([&] {
    if (!Serial || Serial->AwaitingResend) return;
    const bool whole = got == bytes.size();
    const std::span<const uint8_t> reply = bytes.first(std::min(got, bytes.size()));
    if (whole || Serial->Resent) {
      Record(*Serial, reply, whole);
      Serial.reset();
    } else {
      Serial->AwaitingResend = true;
      Serial->Reply.assign(reply.begin(), reply.end());
    }
  });
  return got;
}

bool TracedPlatform::WriteHidReport(Handle device, std::span<const uint8_t, HidReportSize> report) {
  Quietly([&] {
    Settle();
    Report.assign(report.begin(), report.end());
  });
  return Wrapped.WriteHidReport(device, report);
}

std::size_t TracedPlatform::ReadHidReport(Handle device, std::span<uint8_t, HidReportSize> report,
                                          uint32_t timeoutMs) {
  const std::size_t got = Wrapped.ReadHidReport(device, report, timeoutMs);
  Quietly([&] {
    if (Report.size() != HidReportSize) return;
    const bool whole = got >= HidReportSize;
    const uint8_t address = Report[1];
    const bool ok = whole && (address == 0 || report[1] == address);
    // The reply is as long as the console's answer to that command, at most
    // the 16 bytes after the report id; a report from another unit is shown
    // too, as it explains the failure.
    const std::size_t length = std::min<std::size_t>(
        protocol::ConsoleReplyLength(Report[2], Report[3], Report[4]), HidReportSize - 1);
    const std::span<const uint8_t> received(report.data() + 1, whole ? length : 0);
    Out.Write(ExchangeLine(Out.Now(), {0, address, Report, received,
                                       ok ? protocol::StatusOk : protocol::StatusFailed, false}));
    Report.clear();
  });
  return got;
}

void TracedPlatform::CloseHandle(Handle handle) {
  Ports.erase(handle);
  Wrapped.CloseHandle(handle);
}

void TracedPlatform::Note(std::string_view text) {
  Quietly([&] { Out.Write(NoteLine(Out.Now(), text)); });
}

void TracedPlatform::Record(const Pending& exchange, std::span<const uint8_t> reply, bool whole) {
  Out.Write(ExchangeLine(Out.Now(),
                         {exchange.Port, AddressOf(exchange.Sent), exchange.Sent, reply,
                          whole ? protocol::StatusOk : protocol::StatusFailed, exchange.Resent}));
}

void TracedPlatform::Settle() {
  if (!Serial) return;
  const Pending held = std::move(*Serial);
  Serial.reset();
  Quietly([&] { Record(held, held.Reply, false); });
}

}  // namespace orvo
