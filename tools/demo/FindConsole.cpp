// Finds the trainer console with a given address on any port the system
// lists (the HID link first, then every serial port) and prints its status
// and model. Run under Wine against orvo-sim by tools/demo/run.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/Comm.h"

namespace {

constexpr int Volts[9] = {0, 5, 12, 0, 15, 0, 0, 0, 24};

int VoltsOf(int nibble) { return nibble < 9 ? Volts[nibble] : 0; }

std::string PortName(int16_t port) { return port == 0 ? "USB HID" : "COM" + std::to_string(port); }

}  // namespace

int main(int argc, char** argv) {
  const int address = argc > 1 ? std::atoi(argv[1]) : 5;
  orvo::CComm link;
  std::array<int16_t, 17> ports{};
  const int count = link.ListSerialPorts(16, ports);
  std::printf("Ports to try:");
  for (int i = 0; i < count; ++i) std::printf(" %s", PortName(ports[i]).c_str());
  std::printf("\n");

  for (int i = 0; i < count; ++i) {
    std::printf("Trying %s ... ", PortName(ports[i]).c_str());
    std::fflush(stdout);
    if (!link.Open(ports[i], address)) {
      std::printf("does not open\n");
      continue;
    }
    std::array<uint8_t, 14> status{};
    const int16_t result = link.Transact(address, 2, 'R', 'I', 0, 14, status.data());
    if (result != orvo::StatusOk) {
      link.Close();
      std::printf("no console (status %d)\n", result);
      continue;
    }
    std::array<uint8_t, 6> model{};
    const int16_t modelResult = link.Transact(address, 2, 'X', 'M', 0, 6, model.data());
    link.Close();
    std::printf("console %d answered (status %d)\n", status[0], result);
    std::printf("  supplies: -%d V and +%d V\n", VoltsOf(status[1] >> 4), VoltsOf(status[1] & 15));
    std::printf("  switches:");
    const char* names[] = {"AC1", "DC1", "AC2", "DC2", "SP3", "DC3"};
    for (int bit = 1; bit <= 6; ++bit)
      if (status[2] & (1 << bit)) std::printf(" %s", names[bit - 1]);
    std::printf("\n  control byte: 0x%02X\n", status[13]);
    if (modelResult == orvo::StatusOk)
      std::printf("  model %d.%d, version %d.%d.%d\n", model[1], model[2], model[3], model[4],
                  model[5]);
    return 0;
  }
  std::printf("No console with address %d found.\n", address);
  return 1;
}
