// Expansion of a registry script before it is parsed: %name% replacements,
// "%%", and for per-user registration the move of top-level HKCR blocks into
// HKCU\Software\Classes.
#include <new>

#include "server/registrar/RegObject.h"

namespace orvo {
namespace {

// Replacement names have at most 31 characters.
constexpr std::size_t MaxReplacementName = 31;

constexpr std::u16string_view ClassesRootName = u"HKCR";
constexpr std::u16string_view UserClassesOpen = u"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses";
constexpr std::u16string_view UserClassesClose = u"\r\n\t}\r\n}\r\n";

bool IsWhiteSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Tracks quotes and braces so that only a root name at the top level moves,
// never text inside a value or a key block.
class UserClassesRewrite {
 public:
  // True when HKCR starts at `i` as a token of its own at the top level: a
  // longer name such as "HKCRX" is not the classes root and stays as
  // written, to be refused by the parser.
  bool MovesRootAt(std::u16string_view text, std::size_t i) const {
    if (Quoted || Level != 0 || text.substr(i, ClassesRootName.size()) != ClassesRootName)
      return false;
    const std::size_t after = i + ClassesRootName.size();
    return (i == 0 || IsWhiteSpace(text[i - 1])) &&
           (after == text.size() || IsWhiteSpace(text[after]));
  }
  void Moved() { WasMoved = true; }

  // Follows one character; returns the text to insert in front of it.
  std::u16string_view Track(char16_t c) {
    if (Quoted) {
      if (c == u'\'') Quoted = false;
      return {};
    }
    if (c == u'\'') Quoted = true;
    if (c == u'{') ++Level;
    if (c == u'}' && --Level == 0 && WasMoved) {
      WasMoved = false;
      return UserClassesClose;
    }
    return {};
  }
  // The second quote of an escaped pair is copied without being tracked.
  bool SkipsEscapedQuote(std::u16string_view text, std::size_t i) const {
    return Quoted && text[i] == u'\'' && i + 1 < text.size() && text[i + 1] == u'\'';
  }

 private:
  bool Quoted = false;
  bool WasMoved = false;
  long Level = 0;
};

// Rewrites every top-level HKCR block of `text` into the current user's
// classes. May throw std::bad_alloc.
void MoveClassesRootBlocks(std::u16string_view text, std::u16string& moved) {
  moved.reserve(text.size() + 64);
  UserClassesRewrite rewrite;
  for (std::size_t i = 0; i < text.size();) {
    if (rewrite.MovesRootAt(text, i)) {
      moved += UserClassesOpen;
      rewrite.Moved();
      i += ClassesRootName.size();
      continue;
    }
    if (rewrite.SkipsEscapedQuote(text, i)) {
      moved += u"''";
      i += 2;
      continue;
    }
    moved += rewrite.Track(text[i]);
    moved += text[i++];
  }
}

}  // namespace

// Replacements are substituted first and the per-user move judged on the
// result: the registry sees the substituted text, so "%E%HKCR" with an
// empty E is a classes-root block like any other and must not slip past the
// move into the machine's classes. Replacement text is inserted as it is
// and never scanned again for names, so a module path with a "%" in it
// cannot change the script.
HRESULT CRegObject::ExpandScript(std::u16string_view script, std::u16string& expanded) const {
  try {
    expanded.clear();
    std::u16string substituted;
    std::u16string& target = PerUser ? substituted : expanded;
    target.reserve(script.size() < 100 ? 1000 : script.size() * 2);
    for (std::size_t i = 0; i < script.size();) {
      if (script[i] != u'%') {
        target += script[i++];
        continue;
      }
      if (i + 1 < script.size() && script[i + 1] == u'%') {
        target += u'%';
        i += 2;
        continue;
      }
      const std::size_t close = script.find(u'%', i + 1);
      if (close == std::u16string_view::npos) return DISP_E_EXCEPTION;
      const std::u16string_view name = script.substr(i + 1, close - i - 1);
      if (name.size() > MaxReplacementName) return E_FAIL;
      const std::u16string* item = FindReplacement(name);
      if (!item) return DISP_E_EXCEPTION;
      target += *item;
      i = close + 1;
    }
    if (PerUser) MoveClassesRootBlocks(substituted, expanded);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace orvo
