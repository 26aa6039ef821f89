// Arbitrary registry scripts through expansion and both walks, against the
// registry model. The input is the script as ANSI bytes, the way a script
// resource is stored; a first byte below 8 is not script text but selects
// per-user registration (bit 0) and the order of the walks (bit 1).
//
// Beyond the sanitizers, the walks must close every key they open, and the
// model is capped so that no script can make it grow without bound.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/bus/RegistryModel.h"
#include "server/registrar/RegObject.h"

namespace {

// Scripts are small resources; longer inputs only slow the search down.
constexpr std::size_t MaxScriptBytes = 64 * 1024;

void CheckNoOpenKeys(const orvo::RegistryModel& model) {
  if (model.OpenHandleCount() != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size > MaxScriptBytes) return -1;
  unsigned flags = 0;
  if (size > 0 && data[0] < 8) {
    flags = data[0];
    ++data;
    --size;
  }
  const std::u16string script(data, data + size);

  orvo::RegistryModel model;
  model.SetLimits({.MaxKeys = 4096, .MaxDataBytes = std::size_t{4} << 20});
  orvo::CRegObject registrar(model, (flags & 1) != 0);
  registrar.AddReplacementEntry(u"Module", u"C:\\Program Files\\Orvo\\It''s 100%.dll");
  registrar.AddReplacementEntry(u"Module_Raw", u"C:\\Program Files\\Orvo\\It''s 100%.dll");
  registrar.AddReplacementEntry(u"APPID", u"{3E6D9B50-7C81-4FA2-B4E9-0D2F5C86A17B}");

  const auto first = (flags & 2) ? orvo::ScriptDirection::Unregister : orvo::ScriptDirection::Register;
  const auto second = (flags & 2) ? orvo::ScriptDirection::Register : orvo::ScriptDirection::Unregister;
  registrar.RunScript(script, first);
  CheckNoOpenKeys(model);
  registrar.RunScript(script, second);
  CheckNoOpenKeys(model);
  registrar.RunScript(script, orvo::ScriptDirection::Unregister);
  CheckNoOpenKeys(model);
  return 0;
}
