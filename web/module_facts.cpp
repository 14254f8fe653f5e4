#include "web/module_facts.hpp"

#include <array>
#include <cerrno>
#include <string_view>
#include <vector>

#include "driver/fail.hpp"
#include "format/bitmap.hpp"
#include "web/entry_file.hpp"
#include "web/entry_record.hpp"
#include "web/json.hpp"
#include "web/page_walk.hpp"

namespace varnu::web {
namespace {

template <std::size_t N>
std::string names_json(const std::array<std::string_view, N>& names) {
  std::vector<std::string> quoted;
  for (const std::string_view name : names) quoted.push_back(json_string(name));
  return json_array(quoted);
}

std::string failures_json() {
  std::array<std::string_view, 4> names;
  names[FAIL_USAGE] = "usage";
  names[FAIL_OPEN_INPUT] = "openInput";
  names[FAIL_CREATE_OUTPUT] = "createOutput";
  names[FAIL_CONVERT] = "convert";
  return names_json(names);
}

std::string remake_problems_json() {
  std::array<std::string_view, 4> names;
  names[static_cast<int>(Remade::kReady)] = "ready";
  names[static_cast<int>(Remade::kUnreadable)] = "unreadable";
  names[static_cast<int>(Remade::kChanged)] = "changed";
  names[static_cast<int>(Remade::kNoMemory)] = "noMemory";
  return names_json(names);
}

}  // namespace

std::string module_facts_json() {
  const std::string walk =
      JsonObject().number("goesOn", kWalkGoesOn).number("succeeded", kWalkSucceeded).text();
  return JsonObject()
      .number("paletteSize", kPaletteSize)
      .number("eio", EIO)
      .raw("walk", walk)
      .raw("failures", failures_json())
      .raw("remakeProblems", remake_problems_json())
      .raw("recordFields", record_fields_json())
      .text();
}

}  // namespace varnu::web
