#pragma once
// orvo-sim's event loop: units on ptys, a control socket, and replies that
// fall due later. One thread; every wait is the ppoll, whose time-out is the
// next reply due, so a late unit never holds up the others.
#include <chrono>
#include <csignal>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "protocol/FrameMeaning.h"
#include "sim/UnitSetup.h"
#include "sim/pty/Control.h"
#include "sim/pty/PtyPort.h"
#include "sim/pty/TraceLog.h"

namespace orvo::sim {

class Simulator {
 public:
  // A pause this long in the middle of a frame ends it: the bytes held back
  // are no frame. The host writes every frame in one go.
  static constexpr std::chrono::milliseconds IdleGap{200};
  // A vanishing unit keeps its pty this long after its last bytes: closing
  // the master hangs the line up and discards what the client has not read.
  static constexpr std::chrono::milliseconds VanishGrace{250};
  static constexpr std::chrono::milliseconds LineCheck{20};

  explicit Simulator(TraceLog& log) : Log(log) {}
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;
  // Closes every pty, removes the links and the control socket.
  ~Simulator();

  // Each returns an empty string on success, else what went wrong.
  std::string AddUnit(const UnitSetup& setup);
  std::string ListenForControl(const std::string& path);

  // Name and pty path of every unit, in the order added.
  std::vector<std::pair<std::string, std::string>> Ports() const;

  // Runs until `stop` is set. The signals that set it are expected to be
  // blocked; `waitMask` is the signal mask while waiting, which unblocks them.
  void Run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask);

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    Clock::time_point Due;
    std::vector<uint8_t> Bytes;
    std::vector<uint8_t> Answers;  // the frame this replies to, for the trace
  };
  struct Station {
    std::string Name;
    std::unique_ptr<UnitBase> Unit;
    PtyPort Port;
    std::size_t Logged = 0;  // frames of Unit->Received() already traced
    FrameReader Reader;      // what the unit's frames mean
    std::vector<uint8_t> LastFrame;
    Clock::time_point LastByte;
    std::deque<Pending> Queue;                 // due times never decrease: replies keep their order
    std::optional<Clock::time_point> CloseAt;  // set once the unit has vanished
  };
  struct Client {
    int Fd;
    std::string Buffer;
  };

  void ReadPort(Station& station);
  // Traces the frames received since the last call; returns the ones that
  // are frames, not garbage, in order.
  std::vector<std::vector<uint8_t>> TraceNewFrames(Station& station);
  void SendDue(Station& station);
  int MillisecondsToNextDue() const;
  void AcceptClient();
  bool ServeClient(Client& client);  // false: the client is gone
  std::string Control(std::string_view line);

  TraceLog& Log;
  std::vector<Station> Stations;
  UnitsByName ByName;
  int Listener = -1;
  std::string ListenerPath;
  std::vector<Client> Clients;
};

}  // namespace orvo::sim
