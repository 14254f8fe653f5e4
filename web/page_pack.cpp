#include "web/page_pack.hpp"

#include <utility>

#include "pack/pack.hpp"
#include "web/json.hpp"

namespace varnu::web {
namespace {

pack::PackRequest request_for(const std::string& output, const std::optional<std::string>& original,
                              const std::vector<std::optional<std::string>>& pictures, bool patch) {
  if (original) {
    pack::PackRequest request = pack::replacing_request(*original, output, pictures);
    request.patch = patch;
    return with_page_options(std::move(request));
  }
  pack::PackRequest request{.output = output};
  for (const std::optional<std::string>& picture : pictures) {
    if (picture) request.pictures.push_back({*picture});
  }
  return with_page_options(std::move(request));
}

}  // namespace

pack::PackRequest with_page_options(pack::PackRequest request) {
  // The page packs within the limits readers with fixed buffers hold, and maps colours a palette
  // lacks onto it, as varnu-pack --remap does, without dither: the check of a replacement then
  // gives the mapped bitmap and what moved, which the page shows beside the edited picture before
  // anything is saved, and Save archive packs the same. Dither is not offered: it spreads noise
  // around anti-aliased text, the edit the mapping is mostly for.
  request.no_limits = false;
  request.remap = {.remap = true, .dither = false};
  return request;
}

std::string message_json(const pack::PackMessage& message) {
  const bool warning = message.kind == pack::PackMessage::Kind::kWarning;
  return JsonObject()
      .raw("file", message.file ? json_string(*message.file) : "null")
      .string("kind", warning ? "warning" : "refusal")
      .string("text", message.text)
      .text();
}

std::string result_json(const pack::PackResult& result) {
  std::vector<std::string> messages;
  for (const pack::PackMessage& message : result.messages)
    messages.push_back(message_json(message));
  return JsonObject().number("status", result.status).raw("messages", json_array(messages)).text();
}

std::string pack_json(const std::string& output, const std::optional<std::string>& original,
                      const std::vector<std::optional<std::string>>& pictures, bool patch) {
  return result_json(pack::pack(request_for(output, original, pictures, patch)));
}

std::string apply_patch_json(const std::string& patch, const std::string& original,
                             const std::string& output) {
  return result_json(pack::apply_patch_file(patch, original, output));
}

}  // namespace varnu::web
