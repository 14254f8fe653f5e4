#include "web/json.hpp"

#include <array>

namespace varnu::web {

std::string json_string(std::string_view text) {
  constexpr std::array<char, 16> kHex = {'0', '1', '2', '3', '4', '5', '6', '7',
                                         '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20) {
      quoted += "\\u00";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 0x0F];
    } else {
      quoted += c;
    }
  }
  return quoted + '"';
}

std::string json_array(const std::vector<std::string>& values) {
  std::string array = "[";
  for (const std::string& value : values) {
    if (array.size() > 1) array += ',';
    array += value;
  }
  return array + ']';
}

JsonObject& JsonObject::field(std::string_view name) {
  if (text_.size() > 1) text_ += ',';
  text_ += json_string(name);
  text_ += ':';
  return *this;
}

JsonObject& JsonObject::number(std::string_view name, std::int64_t value) {
  field(name).text_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::boolean(std::string_view name, bool value) {
  field(name).text_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::string(std::string_view name, std::string_view value) {
  field(name).text_ += json_string(value);
  return *this;
}

JsonObject& JsonObject::raw(std::string_view name, std::string_view json) {
  field(name).text_ += json;
  return *this;
}

}  // namespace varnu::web
