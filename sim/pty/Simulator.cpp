#include "sim/pty/Simulator.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/Words.h"

namespace orvo::sim {

Simulator::~Simulator() {
  for (Client& client : Clients) close(client.Fd);
  if (Listener >= 0) {
    close(Listener);
    unlink(ListenerPath.c_str());
  }
  for (Station& station : Stations) station.Port.Close();
  Log.Line("orvo-sim", "down");
}

std::string Simulator::AddUnit(const UnitSetup& setup) {
  if (ByName.contains(setup.Name)) return "two units named " + setup.Name;
  std::string error;
  PtyPort port = PtyPort::Open(setup.Link, error);
  if (!error.empty()) return error;
  Station& station = Stations.emplace_back();
  station.Name = setup.Name;
  station.Unit = MakeUnit(setup);
  station.Port = std::move(port);
  station.Reader = FrameReader(setup.Kind == UnitKind::Console ? FrameAudience::Console
                               : setup.Kind == UnitKind::Plc   ? FrameAudience::Plc
                                                               : FrameAudience::Fault);
  ByName.emplace(station.Name, station.Unit.get());
  std::string up = "up " + station.Port.Path() + " address " + std::to_string(setup.Address);
  if (!setup.Link.empty()) up += " link " + setup.Link;
  if (setup.How != Misbehaviour::None)
    up += " misbehave " + std::string(MisbehaviourName(setup.How));
  Log.Line(station.Name, up);
  return {};
}

std::string Simulator::ListenForControl(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return "control socket path too long: " + path;
  std::copy(path.begin(), path.end(), address.sun_path);
  struct stat old {};
  if (lstat(path.c_str(), &old) == 0 && S_ISSOCK(old.st_mode)) unlink(path.c_str());
  Listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (Listener < 0 || bind(Listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(Listener, 8) != 0) {
    const std::string error = path + ": " + std::strerror(errno);
    if (Listener >= 0) close(Listener);
    Listener = -1;
    return error;
  }
  ListenerPath = path;
  return {};
}

std::vector<std::pair<std::string, std::string>> Simulator::Ports() const {
  std::vector<std::pair<std::string, std::string>> ports;
  for (const Station& station : Stations) ports.emplace_back(station.Name, station.Port.Path());
  return ports;
}

void Simulator::Run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask) {
  while (!stop) {
    // Stations first, then the listener, then the control clients.
    std::vector<pollfd> fds;
    for (const Station& station : Stations) fds.push_back({station.Port.MasterFd(), POLLIN, 0});
    fds.push_back({Listener, POLLIN, 0});
    for (const Client& client : Clients) fds.push_back({client.Fd, POLLIN, 0});

    const int waitMs = MillisecondsToNextDue();
    const timespec timeout{waitMs / 1000, (waitMs % 1000) * 1000000L};
    if (ppoll(fds.data(), fds.size(), waitMs < 0 ? nullptr : &timeout, &waitMask) < 0) {
      if (errno == EINTR) continue;
      Log.Line("orvo-sim", std::string("ppoll failed: ") + std::strerror(errno));
      return;
    }
    for (std::size_t i = 0; i < Stations.size(); ++i) {
      if (fds[i].revents & POLLIN) ReadPort(Stations[i]);
      Stations[i].Port.RestoreLine();
    }
    // A closed pty has fd -1, which poll skips, so its revents stay 0.
    const std::size_t firstClient = Stations.size() + 1;
    std::size_t i = firstClient;
    for (auto client = Clients.begin(); client != Clients.end(); ++i) {
      if (fds[i].revents && !ServeClient(*client)) {
        close(client->Fd);
        client = Clients.erase(client);
      } else {
        ++client;
      }
    }
    if (fds[firstClient - 1].revents & POLLIN) AcceptClient();
    for (Station& station : Stations) SendDue(station);
  }
}

void Simulator::ReadPort(Station& station) {
  uint8_t buffer[4096];
  const ssize_t got = read(station.Port.MasterFd(), buffer, sizeof buffer);
  if (got <= 0) return;
  const Clock::time_point now = Clock::now();
  if (now - station.LastByte > IdleGap) station.Unit->DropPartialFrame();
  station.LastByte = now;
  const std::vector<Emission> replies =
      station.Unit->OnSerialBytes(std::span<const uint8_t>(buffer, static_cast<std::size_t>(got)));
  const std::vector<std::vector<uint8_t>> frames = TraceNewFrames(station);
  if (!frames.empty()) station.LastFrame = frames.back();
  // The host waits for each reply before its next frame, so replies pair
  // with frames one to one; when they do not (a unit ignored a frame), a
  // reply is read against the latest frame.
  const bool paired = replies.size() == frames.size();
  for (std::size_t i = 0; i < replies.size(); ++i) {
    Clock::time_point due = now + std::chrono::milliseconds(replies[i].DelayMs);
    if (!station.Queue.empty()) due = std::max(due, station.Queue.back().Due);
    station.Queue.push_back(Pending{due, replies[i].Bytes, paired ? frames[i] : station.LastFrame});
  }
}

std::vector<std::vector<uint8_t>> Simulator::TraceNewFrames(Station& station) {
  std::vector<std::vector<uint8_t>> taken;
  const std::vector<Frame>& frames = station.Unit->Received();
  for (; station.Logged < frames.size(); ++station.Logged) {
    const Frame& frame = frames[station.Logged];
    if (frame.Type == Frame::Kind::Garbage) {
      Log.Received(station.Name, frame, "not a frame");
      continue;
    }
    Log.Received(station.Name, frame, station.Reader.Frame(frame.Bytes));
    taken.push_back(frame.Bytes);
  }
  return taken;
}

void Simulator::SendDue(Station& station) {
  const Clock::time_point now = Clock::now();
  while (!station.Queue.empty() && station.Queue.front().Due <= now) {
    const std::vector<uint8_t>& bytes = station.Queue.front().Bytes;
    const ssize_t put =
        station.Port.IsOpen() ? write(station.Port.MasterFd(), bytes.data(), bytes.size()) : -1;
    if (put == static_cast<ssize_t>(bytes.size())) {
      Log.Sent(station.Name, bytes, station.Reader.Exchange(station.Queue.front().Answers, bytes));
    } else {
      Log.Line(station.Name, "tx failed (" + std::to_string(put) + " of " +
                                 std::to_string(bytes.size()) + " bytes) " + HexBytes(bytes));
    }
    station.Queue.pop_front();
  }
  if (!station.Unit->Vanished() || !station.Queue.empty() || !station.Port.IsOpen()) return;
  if (!station.CloseAt) station.CloseAt = now + VanishGrace;
  if (now < *station.CloseAt) return;
  station.Port.Close();
  Log.Line(station.Name, "vanished: pty closed, link removed");
}

int Simulator::MillisecondsToNextDue() const {
  // Line settings a client leaves behind are undone within this time, even
  // on a port that sees no traffic.
  int wait = Stations.empty() ? -1 : static_cast<int>(LineCheck.count());
  const Clock::time_point now = Clock::now();
  for (const Station& station : Stations) {
    std::optional<Clock::time_point> due = station.CloseAt;
    if (!station.Queue.empty()) due = station.Queue.front().Due;
    if (!due || !station.Port.IsOpen()) continue;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - now).count();
    const int ms = static_cast<int>(std::max<decltype(left)>(left, 0));
    wait = wait < 0 ? ms : std::min(wait, ms);
  }
  return wait;
}

void Simulator::AcceptClient() {
  const int fd = accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd >= 0) Clients.push_back(Client{fd, {}});
}

bool Simulator::ServeClient(Client& client) {
  char buffer[1024];
  const ssize_t got = read(client.Fd, buffer, sizeof buffer);
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  if (got <= 0) return false;
  client.Buffer.append(buffer, static_cast<std::size_t>(got));
  for (std::size_t end; (end = client.Buffer.find('\n')) != std::string::npos;) {
    const std::string reply = Control(std::string_view(client.Buffer).substr(0, end)) + "\n";
    client.Buffer.erase(0, end + 1);
    if (write(client.Fd, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size()))
      return false;
  }
  return true;
}

std::string Simulator::Control(std::string_view line) {
  std::string reply;
  const std::vector<std::string_view> words = Words(line);
  if (words.size() == 1 && words[0] == "list") {
    reply = "ok";
    for (const auto& [name, path] : Ports()) reply += " " + name + " " + path;
  } else {
    reply = RunControl(line, ByName);
  }
  // A cleared unit starts on a quiet line too: a reply still due, or one
  // the last client left unread, would answer the next client's first
  // frame, and the link reads whatever comes (it never discards input),
  // so one lesson's late reply would shift every reading of the next.
  if (words.size() == 2 && words[0] == "clear" && reply == "ok") {
    for (Station& station : Stations) {
      if (station.Name != words[1]) continue;
      station.Queue.clear();
      station.Port.DiscardUnread();
    }
  }
  // `clear` empties a log; trace what comes next from its new start.
  for (Station& station : Stations)
    station.Logged = std::min(station.Logged, station.Unit->Received().size());
  Log.Line("control", std::string(line) + " -> " + reply);
  return reply;
}

}  // namespace orvo::sim
