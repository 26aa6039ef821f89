#pragma once
// The trees the module's classes leave below a classes root, as a registry
// dump shows them: the registrar's tests and the DLL's check the same text.
#include <string>
#include <string_view>
#include <utility>

namespace orvo::test {

// ASCII test text as UTF-16.
inline std::u16string U(std::string_view text) { return std::u16string(text.begin(), text.end()); }

struct ModuleClass {
  const char* File;
  const char* Name;
  const char* Clsid;
  const char* Version;
};

inline const ModuleClass ModuleClasses[] = {
    {"Echo.rgs", "Echo", "{9E3C51A4-6D27-4B8E-A1F0-5B7C2E94D613}", "1.0"},
    {"Fault.rgs", "Fault", "{7C2A4E91-3B58-4D16-9A7E-F41D6B2C08A5}", "1.6"},
    {"Plc.rgs", "Plc", "{1F6B8D32-C4A9-47E5-8B3D-E07A19C5F248}", "1.6"},
};

inline std::string Indent(const std::string& tree, int depth) {
  std::string indented;
  for (std::size_t start = 0, end; start < tree.size(); start = end) {
    end = tree.find('\n', start) + 1;
    indented += std::string(depth * 2, ' ') + tree.substr(start, end - start);
  }
  return indented;
}

// The tree one class leaves below a classes root, with `module` as a dump
// writes it (backslashes doubled).
inline std::string ClassTree(
    const ModuleClass& c,
    const std::string& module = "C:\\\\Program Files\\\\Orvo\\\\OrvoTrainer.dll") {
  std::string tree =
      "CLSID\n"
      "  $CLSID\n"
      "    @ = REG_SZ \"$NAME Class\\0\"\n"
      "    InprocServer32\n"
      "      @ = REG_SZ \"$MODULE\\0\"\n"
      "      ThreadingModel = REG_SZ \"Apartment\\0\"\n"
      "    ProgID\n"
      "      @ = REG_SZ \"OrvoTrainer.$NAME.1\\0\"\n"
      "    Programmable\n"
      "    TypeLib\n"
      "      @ = REG_SZ \"{4B1E9C27-7A3D-4F60-9E15-2C8D5A06B3F1}\\0\"\n"
      "    Version\n"
      "      @ = REG_SZ \"$VERSION\\0\"\n"
      "    VersionIndependentProgID\n"
      "      @ = REG_SZ \"OrvoTrainer.$NAME\\0\"\n"
      "OrvoTrainer.$NAME\n"
      "  @ = REG_SZ \"$NAME Class\\0\"\n"
      "  CurVer\n"
      "    @ = REG_SZ \"OrvoTrainer.$NAME.1\\0\"\n"
      "OrvoTrainer.$NAME.1\n"
      "  @ = REG_SZ \"$NAME Class\\0\"\n"
      "  CLSID\n"
      "    @ = REG_SZ \"$CLSID\\0\"\n";
  const std::pair<std::string, std::string> fields[] = {
      {"$NAME", c.Name}, {"$CLSID", c.Clsid}, {"$VERSION", c.Version}, {"$MODULE", module}};
  for (const auto& [from, to] : fields) {
    for (auto at = tree.find(from); at != std::string::npos; at = tree.find(from, at + to.size()))
      tree.replace(at, from.size(), to);
  }
  return tree;
}

}  // namespace orvo::test
