#pragma once
// Reading a resource out of a module file and turning ANSI text into UTF-16:
// what running a registry script from the DLL's resources needs from the
// system. Win32 provides the real one; tests provide their own.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/WinTypes.h"

namespace orvo {

class ModuleResources {
 public:
  virtual ~ModuleResources() = default;

  // Copies the bytes of resource `id` of `type` in the module file. Returns
  // ERROR_SUCCESS or the system error code of the step that failed (loading
  // the file as a data file, finding or loading the resource).
  virtual LONG ReadResource(const char16_t* moduleFile, const char16_t* type, uint16_t id,
                            std::string& bytes) = 0;

  // Converts from the thread's ANSI code page. Returns ERROR_SUCCESS, or the
  // system error code when nothing could be converted.
  virtual LONG AnsiToUtf16(std::string_view bytes, std::u16string& text) = 0;
};

#ifdef _WIN32
ModuleResources& SystemResources();
#endif

}  // namespace orvo
