// orvo-sim: simulated trainer units on pseudo-terminals, for running the
// module under Wine against something that answers like the hardware.
#include <getopt.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/pty/Control.h"
#include "sim/pty/Simulator.h"

namespace {

volatile std::sig_atomic_t StopRequested = 0;

void RequestStop(int) { StopRequested = 1; }

void PrintUsage(std::FILE* out) {
  std::fprintf(
      out,
      "usage: orvo-sim [--trace FILE] [--json FILE] [--log FILE] [--ready FILE]\n"
      "                [--control SOCKET] --unit UNIT...\n"
      "       orvo-sim --send SOCKET COMMAND...\n"
      "\n"
      "Simulated Orvo trainer units (console, PLC trainer, fault unit) for trying\n"
      "lessons and OrvoTrainer without the hardware. Each unit gets a pseudo-terminal\n"
      "that a serial program, or Wine's COM port, opens like the unit's serial line.\n"
      "Runs until Ctrl-C (SIGINT) or SIGTERM. Once all units are up it prints\n"
      "'NAME PTY' for each on stdout.\n"
      "\n"
      "Example: a console at address 5 behind Wine's COM5, watching every frame:\n"
      "  orvo-sim --unit console:address=5:link=$HOME/.wine/dosdevices/com5\n"
      "Then, in another terminal, keep one Wine server up (Wine rebuilds its\n"
      "serial-port list whenever one starts), list COM5 in it so that SetAddress\n"
      "finds the console, and run the lesson:\n"
      "  wineserver -p\n"
      "  wine reg add 'HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM' /v Sim5 /t REG_SZ /d COM5 /f\n"
      "  wine cscript //nologo lesson.vbs\n"
      "(tools/wine-prefix map PREFIX 5 LINK does the same for a prefix of its own.)\n"
      "The module writes its own side when ORVOTRAINER_TRACE names a file:\n"
      "  ORVOTRAINER_TRACE='Z:\\tmp\\orvo.trace' wine cscript //nologo lesson.vbs\n"
      "Each frame and reply shows up as a line:\n"
      "  10:00:01.532  console5   rx  ReadStatus  [fe ff 05 02 52 49]\n"
      "  10:00:01.533  console5   tx  ReadStatus -> 0 V 0 V, all off, control 0x00  [05 00 ...]\n"
      "\n"
      "  --unit UNIT      KIND:address=N[:key=value]..., repeatable\n%s"
      "  --trace FILE     readable trace, one line per frame received (rx), reply\n"
      "                   sent (tx) and event (--): local time, unit, direction, what\n"
      "                   the frame means, and its bytes in brackets. '-' is stdout\n"
      "                   (after the NAME PTY lines), the default when stdout is a\n"
      "                   terminal; --trace /dev/null silences it\n"
      "  --json FILE      the same as JSON Lines ('-' is stdout), one object per line:\n"
      "                     "
      "{\"ms\":12,\"time\":\"2026-12-08T23:41:07.123Z\",\"unit\":\"console5\",\n"
      "                      \"dir\":\"rx\",\"kind\":\"command\",\"hex\":\"fe ff 05 02 52 49\",\n"
      "                      \"meaning\":\"ReadStatus\"}\n"
      "                   dir is rx (kind command, short, hid or garbage), tx (kind\n"
      "                   reply) or event (with \"text\" instead of hex and meaning);\n"
      "                   ms counts from start, time is UTC\n"
      "  --log FILE       the plain log the test scripts read:\n"
      "                     MS UTC-TIME UNIT rx KIND HEX   a frame taken off the line\n"
      "                     MS UTC-TIME UNIT tx HEX        bytes written back\n"
      "                     MS UTC-TIME UNIT|control TEXT  events and control lines\n"
      "  --ready FILE     written (NAME PTY lines) once every pty and link is up\n"
      "  --control SOCKET listen on a unix socket for control lines\n"
      "  --send SOCKET    send one control line to a running orvo-sim, print the\n"
      "                   reply; exit status 0 when it starts with 'ok'\n"
      "\n"
      "A vanishing unit sends part of its reply, closes its pty 250 ms later and\n"
      "removes its link. A late reply does not hold up the other units.\n"
      "\n"
      "Control lines (through --control and --send):\n%s"
      "\n"
      "Example with three units, a log and a control socket:\n"
      "  orvo-sim --log sim.log --control ctl --unit console:address=5:link=com5 \\\n"
      "           --unit plc:address=3 --unit fault:address=9\n"
      "  orvo-sim --send ctl misbehave console5 silent 1\n",
      orvo::sim::UnitSetupHelp.data(), orvo::sim::ControlHelp.data());
}

// '-' is stdout; anything else is created or emptied.
std::FILE* OpenTrace(const std::string& path) {
  if (path == "-") return stdout;
  return std::fopen(path.c_str(), "w");
}

int Send(const std::string& path, const std::string& line) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::fprintf(stderr, "orvo-sim: %s: %s\n", path.c_str(), std::strerror(errno));
    return 2;
  }
  const std::string request = line + "\n";
  std::string reply;
  char c;
  if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
    while (read(fd, &c, 1) == 1 && c != '\n') reply += c;
  }
  close(fd);
  std::printf("%s\n", reply.c_str());
  return reply.starts_with("ok") ? 0 : 1;
}

bool WriteReady(const std::string& path, const orvo::sim::Simulator& simulator) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (!file) return false;
  for (const auto& [name, pty] : simulator.Ports())
    std::fprintf(file, "%s %s\n", name.c_str(), pty.c_str());
  return std::fclose(file) == 0 && std::rename(temporary.c_str(), path.c_str()) == 0;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "orvo-sim: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  enum {
    OptionLog = 1,
    OptionReady,
    OptionControl,
    OptionUnit,
    OptionSend,
    OptionHelp,
    OptionTrace,
    OptionJson
  };
  static const option Options[] = {
      {"log", required_argument, nullptr, OptionLog},
      {"trace", required_argument, nullptr, OptionTrace},
      {"json", required_argument, nullptr, OptionJson},
      {"ready", required_argument, nullptr, OptionReady},
      {"control", required_argument, nullptr, OptionControl},
      {"unit", required_argument, nullptr, OptionUnit},
      {"send", required_argument, nullptr, OptionSend},
      {"help", no_argument, nullptr, OptionHelp},
      {nullptr, 0, nullptr, 0},
  };
  std::string logPath, readyPath, controlPath, sendPath, jsonPath;
  // A teacher running it by hand sees the frames; a harness that captures
  // stdout asks for the trace it wants.
  std::string tracePath = isatty(STDOUT_FILENO) ? "-" : "";
  std::vector<orvo::sim::UnitSetup> units;
  for (int option; (option = getopt_long(argc, argv, "", Options, nullptr)) != -1;) {
    std::string error;
    switch (option) {
      case OptionLog:
        logPath = optarg;
        break;
      case OptionTrace:
        tracePath = optarg;
        break;
      case OptionJson:
        jsonPath = optarg;
        break;
      case OptionReady:
        readyPath = optarg;
        break;
      case OptionControl:
        controlPath = optarg;
        break;
      case OptionSend:
        sendPath = optarg;
        break;
      case OptionHelp:
        PrintUsage(stdout);
        return 0;
      case OptionUnit:
        if (auto setup = orvo::sim::ParseUnitSetup(optarg, error)) {
          units.push_back(*setup);
          break;
        }
        return Fail(std::string("--unit ") + optarg + ": " + error);
      default:
        PrintUsage(stderr);
        return 2;
    }
  }
  if (!sendPath.empty()) {
    std::string line;
    for (int i = optind; i < argc; ++i) line += (line.empty() ? "" : " ") + std::string(argv[i]);
    return Send(sendPath, line);
  }
  if (units.empty() || optind != argc) {
    PrintUsage(stderr);
    return 2;
  }

  // The stop signals are taken only inside the poll, so a stop never lands
  // half-way through writing a reply or the trace.
  sigset_t stopSignals, waitMask;
  sigemptyset(&stopSignals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&stopSignals, signal);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigaction(signal, &action, nullptr);
  }
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  std::signal(SIGPIPE, SIG_IGN);

  orvo::sim::TraceFiles files;
  // A readable trace on stdout starts after the NAME PTY lines, which say
  // what its start-up lines would.
  const bool traceToStdout = tracePath == "-";
  for (auto [path, file] : {std::pair{&logPath, &files.Log}, std::pair{&tracePath, &files.Readable},
                            std::pair{&jsonPath, &files.Json}}) {
    if (path->empty() || (file == &files.Readable && traceToStdout)) continue;
    *file = OpenTrace(*path);
    if (!*file) return Fail(*path + ": " + std::strerror(errno));
  }
  int status = 0;
  {
    orvo::sim::TraceLog log(files);
    orvo::sim::Simulator simulator(log);
    std::string error;
    for (const orvo::sim::UnitSetup& setup : units) {
      if (error.empty()) error = simulator.AddUnit(setup);
    }
    if (error.empty() && !controlPath.empty()) error = simulator.ListenForControl(controlPath);
    if (error.empty()) {
      for (const auto& [name, pty] : simulator.Ports())
        std::printf("%s %s\n", name.c_str(), pty.c_str());
      std::fflush(stdout);
      if (traceToStdout) log.SetReadable(stdout);
      if (!readyPath.empty() && !WriteReady(readyPath, simulator))
        error = readyPath + ": cannot write";
    }
    if (error.empty()) {
      simulator.Run(StopRequested, waitMask);
      if (!readyPath.empty()) unlink(readyPath.c_str());
    } else {
      status = Fail(error);
    }
  }
  for (std::FILE* file : {files.Log, files.Readable, files.Json}) {
    if (file && file != stdout) std::fclose(file);
  }
  return status;
}
