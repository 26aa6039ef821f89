// Self-registration: the registry scripts and the type library, for the
// machine or for the current user.
#include <string>

#include "platform/Registry.h"
#include "platform/Resources.h"
#include "server/Result.h"
#include "server/dll/DllModule.h"
#include "server/registrar/RegObject.h"

namespace orvo {
namespace {

constexpr DWORD PathCapacity = MAX_PATH;  // characters, terminator included
constexpr HRESULT PathTooLong = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
// Every quote doubled, within twice the path buffer.
constexpr std::size_t EscapedPathCapacity = 2 * PathCapacity - 1;

constexpr const char16_t* ApplicationIdName = u"APPID";

// The file this module was loaded from, or the failure. A path that fills
// the buffer may have been cut, so it counts as too long.
HRESULT ModuleFileName(HINSTANCE instance, wchar_t (&path)[PathCapacity], DWORD& length) {
  length = GetModuleFileNameW(instance, path, PathCapacity);
  if (length == 0) return HResultFromFailure(static_cast<LONG>(GetLastError()));
  if (length == PathCapacity) return PathTooLong;
  return S_OK;
}

// The registry scripts quote the path in '...', where a quote is written
// twice.
std::u16string EscapeQuotes(std::u16string_view path) {
  std::u16string escaped;
  for (char16_t c : path) {
    if (escaped.size() >= EscapedPathCapacity) break;
    escaped += c;
    if (c == u'\'' && escaped.size() < EscapedPathCapacity) escaped += c;
  }
  return escaped;
}

// OLEAUT32's per-user type-library calls exist only from Vista SP1 on;
// without them the library is registered for the machine.
template <class Function>
Function PerUserTypeLibFunction(const char* name) {
  if (!PerUserRegistration()) return nullptr;
  HMODULE oleaut = GetModuleHandleW(L"OLEAUT32.DLL");
  if (!oleaut) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(oleaut, name)));
}

using RegisterTypeLibFunction = HRESULT(WINAPI*)(ITypeLib*, LPOLESTR, LPOLESTR);
using UnRegisterTypeLibFunction = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// Releases what LoadModuleTypeLib handed out.
struct LoadedTypeLib {
  BSTR Path = nullptr;
  ITypeLib* TypeLib = nullptr;
  ~LoadedTypeLib() {
    if (TypeLib) TypeLib->Release();
    SysFreeString(Path);
  }
};

}  // namespace

HRESULT ApplyRegistryScript(UINT id, bool doRegister, const ScriptReplacement* extra) {
  CRegObject registrar(SystemRegistry(), PerUserRegistration());
  for (; extra && extra->Name; ++extra) {
    if (extra->Text) registrar.AddReplacementEntry(extra->Name, extra->Text);
  }
  ORVO_RETURN_IF_FAILED(ModuleObject().AddCommonReplacements(registrar));

  wchar_t path[PathCapacity];
  DWORD length = 0;
  ORVO_RETURN_IF_FAILED(ModuleFileName(ModuleInstance(), path, length));
  const std::u16string escaped =
      EscapeQuotes(std::u16string_view(reinterpret_cast<const char16_t*>(path), length));
  if (FAILED(registrar.AddReplacementEntry(u"Module", escaped.c_str())) ||
      FAILED(registrar.AddReplacementEntry(u"Module_Raw", escaped.c_str()))) {
    return E_OUTOFMEMORY;
  }
  return registrar.RunScriptResource(
      SystemResources(), reinterpret_cast<const char16_t*>(path), static_cast<uint16_t>(id),
      u"REGISTRY", doRegister ? ScriptDirection::Register : ScriptDirection::Unregister);
}

HRESULT RegisterAppScript() {
  const ScriptReplacement extra[] = {{ApplicationIdName, COrvoTrainerModule::ApplicationIdentifier},
                                     {nullptr, nullptr}};
  return ApplyRegistryScript(101, true, extra);
}

HRESULT UnregisterAppScript() {
  const ScriptReplacement extra[] = {{ApplicationIdName, COrvoTrainerModule::ApplicationIdentifier},
                                     {nullptr, nullptr}};
  return ApplyRegistryScript(101, false, extra);
}

// None of the classes belongs to a component category, so there are no
// categories to register or unregister next to the scripts.
HRESULT RegisterClasses() {
  for (const ClassTableEntry& entry : ClassTable()) {
    ORVO_RETURN_IF_FAILED(entry.UpdateRegistry(true));
  }
  return RegisterModuleTypeLib();
}

HRESULT UnregisterClasses() {
  for (const ClassTableEntry& entry : ClassTable()) {
    ORVO_RETURN_IF_FAILED(entry.UpdateRegistry(false));
  }
  return UnregisterModuleTypeLib();
}

HRESULT LoadModuleTypeLib(HINSTANCE instance, BSTR* path, ITypeLib** typeLib) {
  if (path) *path = nullptr;
  if (typeLib) *typeLib = nullptr;
  if (!path || !typeLib) return E_POINTER;

  wchar_t file[PathCapacity];
  DWORD length = 0;
  ORVO_RETURN_IF_FAILED(ModuleFileName(instance, file, length));
  // The extension is the last "." of the file name, not of a directory.
  DWORD extension = length;
  for (DWORD i = length; i > 0; --i) {
    if (file[i - 1] == L'\\') break;
    if (file[i - 1] == L'.') {
      extension = i - 1;
      break;
    }
  }

  HRESULT result = LoadTypeLib(file, typeLib);
  if (FAILED(result)) {
    constexpr wchar_t TlbExtension[] = L".tlb";
    constexpr DWORD TlbLength = sizeof(TlbExtension) / sizeof(wchar_t);  // with terminator
    if (extension + TlbLength > PathCapacity) return E_FAIL;
    for (DWORD i = 0; i < TlbLength; ++i) file[extension + i] = TlbExtension[i];
    result = LoadTypeLib(file, typeLib);
    if (FAILED(result)) return result;
  }

  *path = SysAllocString(file);
  if (!*path) {
    (*typeLib)->Release();
    *typeLib = nullptr;
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT RegisterModuleTypeLib() {
  LoadedTypeLib loaded;
  ORVO_RETURN_IF_FAILED(LoadModuleTypeLib(ModuleInstance(), &loaded.Path, &loaded.TypeLib));

  // A help file's directory goes with the registration; ours names none.
  BSTR helpFile = nullptr;
  wchar_t helpDirectory[PathCapacity] = L"";
  const wchar_t* helpDirectoryArgument = nullptr;
  if (SUCCEEDED(loaded.TypeLib->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile)) &&
      helpFile) {
    const UINT length = SysStringLen(helpFile);
    UINT cut = 0;
    for (UINT i = 0; i < length && i < PathCapacity - 1; ++i) {
      const wchar_t c = helpFile[i];
      if (c == L'\\' || c == L'/' || c == L':') cut = i + 1;
    }
    for (UINT i = 0; i < cut; ++i) helpDirectory[i] = helpFile[i];
    helpDirectory[cut] = L'\0';
    helpDirectoryArgument = helpDirectory;
  }

  auto registerTypeLib = PerUserTypeLibFunction<RegisterTypeLibFunction>("RegisterTypeLibForUser");
  if (!registerTypeLib) registerTypeLib = &RegisterTypeLib;
  const HRESULT result =
      registerTypeLib(loaded.TypeLib, loaded.Path, const_cast<LPOLESTR>(helpDirectoryArgument));
  SysFreeString(helpFile);
  return result;
}

HRESULT UnregisterModuleTypeLib() {
  LoadedTypeLib loaded;
  ORVO_RETURN_IF_FAILED(LoadModuleTypeLib(ModuleInstance(), &loaded.Path, &loaded.TypeLib));
  TLIBATTR* attributes = nullptr;
  ORVO_RETURN_IF_FAILED(loaded.TypeLib->GetLibAttr(&attributes));
  auto unregisterTypeLib =
      PerUserTypeLibFunction<UnRegisterTypeLibFunction>("UnRegisterTypeLibForUser");
  if (!unregisterTypeLib) unregisterTypeLib = &UnRegisterTypeLib;
  const HRESULT result =
      unregisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                        attributes->lcid, attributes->syskind);
  loaded.TypeLib->ReleaseTLibAttr(attributes);
  return result;
}

}  // namespace orvo
