#pragma once
// OrvoTrainer for Linux: the trainer console (Echo), the PLC trainer (Plc)
// and the fault-insertion unit (Fault), with the members, properties and
// statuses of the Windows module's automation classes, so that a lesson
// reads the same in C++, Python or VBScript:
//
//   orvotrainer::Echo console;
//   console.put_Port(7);
//   short status = console.SetVoltages(-12, 15);  // 61: the unit answered
//
// Every method returns the unit's status: 61 (Success) when it answered as
// expected, 60 (Failure) when it did not, 65 (BadFaultItem) from SendFaults
// when the last item of the list was malformed. A missing unit is never an
// exception; only running out of memory throws (std::bad_alloc).
//
// Ports are numbers, as on Windows: 0 is the USB (HID) link and n is COMn,
// which the port table gives each serial device (docs/linux.md). Strings are
// UTF-8 and end at their first NUL, as automation strings do. Each object
// may be used from several threads; its calls then take turns. The
// environment variables ORVOTRAINER_SIMULATE, ORVOTRAINER_TRACE and
// ORVOTRAINER_PORTS are read when the first object is made.
#include <cstdint>
#include <memory>
#include <string>

// The library exports these classes and nothing else.
#define ORVOTRAINER_API __attribute__((visibility("default")))

namespace orvotrainer {

inline constexpr short Success = 61;
inline constexpr short Failure = 60;
inline constexpr short BadFaultItem = 65;

// The library's version, "1.6.1.0".
ORVOTRAINER_API const char* Version();

class ORVOTRAINER_API Echo {
 public:
  Echo();
  ~Echo();
  Echo(const Echo&) = delete;
  Echo& operator=(const Echo&) = delete;

  short get_Port() const;
  void put_Port(short port);
  short get_Address() const;
  void put_Address(short address);
  short get_Model() const;
  short get_SubModel() const;
  std::string get_Version() const;
  short get_Neg() const;
  short get_Pos() const;
  short get_AC1() const;
  short get_DC1() const;
  short get_AC2() const;
  short get_DC2() const;
  short get_SP3() const;
  short get_AC3() const;
  short get_DC3() const;
  int32_t get_Channel() const;

  short SetAddress(short address);
  short HuntPort();
  short CheckComm();
  short CheckCommEx();
  short ReadModel();
  short ReadChannel(short pc, short channel);
  short StartCai();
  short EndCai();
  short SetVoltages(short negative, short positive);
  short SetSwitches(const std::string& switches);
  short SetSwitchesEx(const std::string& switches);
  short ChangeSwitch(const std::string& switchx, short value);
  short ChangeSwitchEx(const std::string& switchx, short value);
  short SendFaults(const std::string& faults);
  short SetStudentControl(const std::string& keyboard, const std::string& faults);
  short SetWarning(const std::string& warning);
  short SetAux(short aux);
  short SetBncs(short input, short output);
  short SetSpeaker(short speaker);

 private:
  struct State;
  std::unique_ptr<State> Is;
};

class ORVOTRAINER_API Plc {
 public:
  Plc();
  ~Plc();
  Plc(const Plc&) = delete;
  Plc& operator=(const Plc&) = delete;

  short get_Port() const;
  void put_Port(short port);
  short get_Address() const;
  void put_Address(short address);
  short get_DC() const;
  short get_Monitor() const;
  short get_Selector() const;
  short get_Voltage() const;
  short get_PC1() const;
  short get_PC2() const;

  short SetAddress(short address);
  short HuntPort();
  short CheckComm();
  short StartCai();
  short EndCai();
  short ReadMain();
  short ReadExternal();
  short SetProcess(short process);
  short ClearFaults();
  short SendFaults(const std::string& faults);
  short SetSelector(short selector);

 private:
  struct State;
  std::unique_ptr<State> Is;
};

class ORVOTRAINER_API Fault {
 public:
  Fault();
  ~Fault();
  Fault(const Fault&) = delete;
  Fault& operator=(const Fault&) = delete;

  short get_Port() const;
  void put_Port(short port);
  short get_Address() const;
  void put_Address(short address);

  short SetAddress(short address);
  short HuntPort();
  short CheckComm();
  short StartCai();
  short EndCai();
  short ClearFaults();
  short SendFaults(const std::string& faults);

 private:
  struct State;
  std::unique_ptr<State> Is;
};

}  // namespace orvotrainer
