// What the module tells the worker in words rather than addresses: small JSON objects, written
// here a field at a time and read there with JSON.parse.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnu::web {

// `text` as a JSON string. It is UTF-8, as every name and message here is, so only the quote,
// the backslash and the control characters need escaping.
std::string json_string(std::string_view text);

// Values already written as JSON, as an array of them.
std::string json_array(const std::vector<std::string>& values);

// An object, written a field at a time; text() is the object so far, closed.
class JsonObject {
 public:
  JsonObject& number(std::string_view name, std::int64_t value);
  JsonObject& boolean(std::string_view name, bool value);
  JsonObject& string(std::string_view name, std::string_view value);
  // A value already written as JSON: an array, an object, null.
  JsonObject& raw(std::string_view name, std::string_view json);

  std::string text() const { return text_ + "}"; }

 private:
  JsonObject& field(std::string_view name);

  std::string text_ = "{";
};

}  // namespace varnu::web
