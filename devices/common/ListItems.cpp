#include "devices/common/ListItems.h"

namespace orvo {

std::vector<std::u16string_view> SplitList(std::u16string_view list) {
  std::vector<std::u16string_view> items;
  while (!list.empty()) {
    const std::size_t comma = list.find(u',');
    if (comma == std::u16string_view::npos) {
      items.push_back(list);
      break;
    }
    items.push_back(list.substr(0, comma));
    list.remove_prefix(comma + 1);
  }
  return items;
}

std::u16string_view SkipLeading(std::u16string_view item, std::u16string_view skipped) {
  const std::size_t first = item.find_first_not_of(skipped);
  return first == std::u16string_view::npos ? std::u16string_view{} : item.substr(first);
}

uint8_t ItemHexDigit(char16_t c) {
  const auto low = static_cast<uint8_t>(c & 0xFF);
  if (low >= '0' && low <= '9') return static_cast<uint8_t>(low - '0');
  if (low >= 'A' && low <= 'F') return static_cast<uint8_t>(low - 'A' + 10);
  return 0;
}

}  // namespace orvo
