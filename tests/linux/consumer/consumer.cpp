// The three classes through the installed header and library, on simulated
// units (ORVOTRAINER_SIMULATE) with the wire trace on: every status, the
// readings, the remembered ports and the trace's lines, and two threads
// sharing one object. Prints what differs and exits 1 when anything does.
#include <orvotrainer/orvotrainer.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

int problems = 0;

void Expect(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what.c_str());
    ++problems;
  }
}

void Status(short got, short expected, const std::string& what) {
  Expect(got == expected, what + ": " + std::to_string(got) + ", expected " + std::to_string(expected));
}

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int main() {
  const char* dir = std::getenv("XDG_CONFIG_HOME");
  const char* trace = std::getenv("ORVOTRAINER_TRACE");
  if (!dir || !trace || !std::getenv("ORVOTRAINER_SIMULATE")) {
    std::puts("set XDG_CONFIG_HOME, ORVOTRAINER_TRACE and ORVOTRAINER_SIMULATE");
    return 2;
  }
  using orvotrainer::BadFaultItem;
  using orvotrainer::Failure;
  using orvotrainer::Success;

  orvotrainer::Echo console;
  Status(console.SetAddress(5), Success, "SetAddress(5)");
  Expect(console.get_Port() != 0, "the console is found on a serial port");
  Status(console.SetVoltages(-12, 15), Success, "SetVoltages");
  Status(console.SetSwitches("AC1,DC3"), Success, "SetSwitches");
  Status(console.CheckComm(), Success, "CheckComm");
  Expect(console.get_Neg() == 12 && console.get_Pos() == 15, "supplies read back");
  Expect(console.get_AC1() == 1 && console.get_DC3() == 1 && console.get_DC1() == 0, "switches read back");
  Status(console.ReadModel(), Success, "ReadModel");
  Expect(!console.get_Version().empty(), "a version");
  // A byte that is no UTF-8 makes the name unknown rather than a crash.
  Status(console.SendFaults("3,\xff"), BadFaultItem, "SendFaults with a malformed last item");

  orvotrainer::Plc plc;
  plc.put_Address(3);
  Status(plc.HuntPort(), Success, "Plc.HuntPort");
  Status(plc.SetProcess(1234), Success, "SetProcess");
  Status(plc.ReadMain(), Success, "ReadMain");

  orvotrainer::Fault fault;
  fault.put_Address(9);
  Status(fault.HuntPort(), Success, "Fault.HuntPort");
  Status(fault.SendFaults("F3"), Success, "Fault.SendFaults");
  fault.put_Port(30);
  Status(fault.CheckComm(), Failure, "CheckComm on a port with nothing there");

  // Two threads on one object take turns.
  short first = 0, second = 0;
  std::thread other([&] { first = console.CheckComm(); });
  second = console.SetAux(1);
  other.join();
  Status(first, Success, "CheckComm beside another call");
  Status(second, Success, "SetAux beside another call");

  const std::string settings = Contents(std::string(dir) + "/orvotrainer/settings");
  for (const char* name : {"BrixPort_5=", "SorlPort=", "TarnPort="})
    Expect(settings.find(name) != std::string::npos, std::string("remembered ") + name);
  const std::string lines = Contents(trace);
  Expect(lines.find("SetVoltages") != std::string::npos && lines.find("console5") != std::string::npos,
         "the trace shows the exchanges and the simulated units");

  std::printf("liborvotrainer %s: %s\n", orvotrainer::Version(), problems ? "FAILED" : "all as expected");
  return problems ? 1 : 0;
}
