// Module resources through the Win32 loader.
#include <string>

#include "platform/Resources.h"

namespace orvo {
namespace {

// Loaded only for its resources: no code runs, and a DLL of the other
// bitness still opens. Older systems lack the image-resource flag, hence the
// plain data-file fallback.
constexpr DWORD ResourceOnlyFlags = 0x60;  // exclusive data file | image resource
constexpr DWORD DataFileFlags = 0x2;

class Win32Resources final : public ModuleResources {
 public:
  LONG ReadResource(const char16_t* moduleFile, const char16_t* type, uint16_t id,
                    std::string& bytes) override {
    auto file = reinterpret_cast<const wchar_t*>(moduleFile);
    HMODULE module = LoadLibraryExW(file, nullptr, ResourceOnlyFlags);
    if (!module) module = LoadLibraryExW(file, nullptr, DataFileFlags);
    if (!module) return static_cast<LONG>(GetLastError());
    LONG code = ERROR_SUCCESS;
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), reinterpret_cast<const wchar_t*>(type));
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    if (!loaded) {
      code = static_cast<LONG>(GetLastError());
    } else {
      auto data = static_cast<const char*>(LockResource(loaded));
      DWORD size = SizeofResource(module, found);
      bytes.assign(data, data ? size : 0);
    }
    FreeLibrary(module);
    return code;
  }

  LONG AnsiToUtf16(std::string_view bytes, std::u16string& text) override {
    text.assign(bytes.size(), u'\0');
    int converted = bytes.empty() ? 0
                                  : MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(),
                                                        static_cast<int>(bytes.size()),
                                                        reinterpret_cast<wchar_t*>(text.data()),
                                                        static_cast<int>(text.size()));
    if (converted == 0) {
      text.clear();
      DWORD error = bytes.empty() ? ERROR_INVALID_PARAMETER : GetLastError();
      return static_cast<LONG>(error);
    }
    text.resize(static_cast<std::size_t>(converted));
    return ERROR_SUCCESS;
  }
};

}  // namespace

ModuleResources& SystemResources() {
  static Win32Resources resources;
  return resources;
}

}  // namespace orvo
