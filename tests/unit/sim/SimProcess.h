#pragma once
// orvo-sim run as a harness runs it, in a scratch directory of its own. For
// programs built where ORVO_SIM_PATH names the program (Linux only).
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orvo::sim {

// Polls every 10 ms until `done` holds or `limit` passes.
template <class Condition>
bool WaitFor(Condition done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class SimProcess {
 public:
  SimProcess() {
    char pattern[] = "/tmp/orvo-sim-test-XXXXXX";
    if (mkdtemp(pattern)) Dir = pattern;
  }
  ~SimProcess() {
    Stop();
    std::filesystem::remove_all(Dir);
  }

  // Runs orvo-sim with `options` and waits for its ready file, which lists
  // every unit's pty only once all are up.
  bool Start(const std::string& options) {
    // The shell says its process id, which orvo-sim then takes over.
    const std::string command =
        "echo $$; exec '" ORVO_SIM_PATH "' --ready " + Dir + "/ready " + options;
    Sim = popen(command.c_str(), "r");
    if (!Sim || std::fscanf(Sim, "%d", &Child) != 1) return false;
    return WaitFor(
        [&] {
          std::ifstream ready(Dir + "/ready");
          for (std::string name, pty; ready >> name >> pty;) Ptys.push_back(pty);
          return !Ptys.empty();
        },
        std::chrono::seconds(5));
  }

  // SIGTERM, as a harness ends it; the wait status.
  int Stop() {
    if (Child > 0) kill(std::exchange(Child, -1), SIGTERM);
    return Sim ? pclose(std::exchange(Sim, nullptr)) : -1;
  }

  std::string Dir;
  std::vector<std::string> Ptys;

 private:
  FILE* Sim = nullptr;
  pid_t Child = -1;
};

}  // namespace orvo::sim
