// The Linux library: each class is its device class on the module's
// platform (the POSIX one, or simulated units, with the wire trace when
// asked) with the remembered ports in the user's settings file, and a lock,
// since unlike a COM apartment nothing stops two threads calling one object.
#include "orvotrainer/orvotrainer.h"

#include <mutex>
#include <string_view>

#include "devices/common/ModulePlatform.h"
#include "devices/common/Settings.h"
#include "devices/echo/Echo.h"
#include "devices/fault/Fault.h"
#include "devices/plc/Plc.h"
#include "platform/posix/SettingsFile.h"
#include "platform/posix/UserFiles.h"

namespace orvotrainer {
namespace {

orvo::Registry& UserSettings() {
  static orvo::posix::SettingsFile settings = [] {
    const std::string directory = orvo::posix::ConfigDirectory();
    std::u16string key(orvo::SettingsRoot);
    key += orvo::SettingsLeaf;
    return orvo::posix::SettingsFile(directory.empty() ? std::string() : directory + "/settings",
                                     std::move(key));
  }();
  return settings;
}

// UTF-8 in, as the device classes take text: UTF-16, up to the first NUL.
// A byte that starts no valid sequence becomes U+FFFD, which no switch name
// or fault item contains, so the call reports the text as malformed.
std::u16string Text(const std::string& utf8) {
  std::u16string text;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    if (lead == 0) break;
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length != 0 && i + length <= utf8.size();
    for (int k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      valid = (next >> 6) == 2;
      c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && c >= Smallest[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
    if (!valid) {
      text.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(c));
    }
    i += static_cast<std::size_t>(length);
  }
  return text;
}

// What the units report (a version such as "1.2.13") is ASCII.
std::string Utf8(std::u16string_view text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

// One device object and the lock its calls take turns on.
template <class Device>
struct Locked {
  Locked() : Unit(orvo::ModulePlatform(), UserSettings()) {}
  template <class Call>
  auto operator()(Call&& call) {
    std::lock_guard hold(Turn);
    return call(Unit);
  }
  std::mutex Turn;
  Device Unit;
};

}  // namespace

const char* Version() { return ORVOTRAINER_VERSION_TEXT; }

#define ORVO_CALL(Class, Result, Name, Params, Args, Const)   \
  Result Class::Name Params Const { return (*Is)([&](auto& unit) { return unit.Name Args; }); }
#define ORVO_GET(Class, Name) ORVO_CALL(Class, short, get_##Name, (), (), const)
#define ORVO_PUT(Class, Name) \
  void Class::put_##Name(short value) { (*Is)([&](auto& unit) { unit.put_##Name(value); }); }
#define ORVO_DO(Class, Name) ORVO_CALL(Class, short, Name, (), (), )
#define ORVO_DO1(Class, Name) ORVO_CALL(Class, short, Name, (short a), (a), )
#define ORVO_DO2(Class, Name) ORVO_CALL(Class, short, Name, (short a, short b), (a, b), )
#define ORVO_TEXT(Class, Name) \
  ORVO_CALL(Class, short, Name, (const std::string& a), (Text(a)), )
#define ORVO_TEXT1(Class, Name) \
  ORVO_CALL(Class, short, Name, (const std::string& a, short b), (Text(a), b), )

// What all three have.
#define ORVO_COMMON(Class)                         \
  struct Class::State : Locked<orvo::C##Class> {}; \
  Class::Class() : Is(std::make_unique<State>()) {} \
  Class::~Class() = default;                       \
  ORVO_GET(Class, Port)                            \
  ORVO_PUT(Class, Port)                            \
  ORVO_GET(Class, Address)                         \
  ORVO_PUT(Class, Address)                         \
  ORVO_DO1(Class, SetAddress)                      \
  ORVO_DO(Class, HuntPort)                         \
  ORVO_DO(Class, CheckComm)                        \
  ORVO_DO(Class, StartCai)                         \
  ORVO_DO(Class, EndCai)                           \
  ORVO_TEXT(Class, SendFaults)

ORVO_COMMON(Echo)
ORVO_GET(Echo, Model)
ORVO_GET(Echo, SubModel)
ORVO_GET(Echo, Neg)
ORVO_GET(Echo, Pos)
ORVO_GET(Echo, AC1)
ORVO_GET(Echo, DC1)
ORVO_GET(Echo, AC2)
ORVO_GET(Echo, DC2)
ORVO_GET(Echo, SP3)
ORVO_GET(Echo, AC3)
ORVO_GET(Echo, DC3)
ORVO_CALL(Echo, int32_t, get_Channel, (), (), const)
std::string Echo::get_Version() const {
  return (*Is)([](auto& unit) { return Utf8(unit.get_Version()); });
}
ORVO_DO(Echo, CheckCommEx)
ORVO_DO(Echo, ReadModel)
ORVO_DO2(Echo, ReadChannel)
ORVO_DO2(Echo, SetVoltages)
ORVO_TEXT(Echo, SetSwitches)
ORVO_TEXT(Echo, SetSwitchesEx)
ORVO_TEXT1(Echo, ChangeSwitch)
ORVO_TEXT1(Echo, ChangeSwitchEx)
ORVO_CALL(Echo, short, SetStudentControl, (const std::string& a, const std::string& b),
          (Text(a), Text(b)), )
ORVO_TEXT(Echo, SetWarning)
ORVO_DO1(Echo, SetAux)
ORVO_DO2(Echo, SetBncs)
ORVO_DO1(Echo, SetSpeaker)

ORVO_COMMON(Plc)
ORVO_GET(Plc, DC)
ORVO_GET(Plc, Monitor)
ORVO_GET(Plc, Selector)
ORVO_GET(Plc, Voltage)
ORVO_GET(Plc, PC1)
ORVO_GET(Plc, PC2)
ORVO_DO(Plc, ReadMain)
ORVO_DO(Plc, ReadExternal)
ORVO_DO1(Plc, SetProcess)
ORVO_DO(Plc, ClearFaults)
ORVO_DO1(Plc, SetSelector)

ORVO_COMMON(Fault)
ORVO_DO(Fault, ClearFaults)

}  // namespace orvotrainer
