// The packer for the page's Pack and Save archive, one call for both: the same pack as varnu-pack
// makes, its status and its messages handed back as JSON rather than printed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pack/pack.hpp"

namespace varnu::web {

// `request` with the options the page packs with: Pack, Save archive and the check of a
// replacement (replacement_check.hpp) all take them from here.
pack::PackRequest with_page_options(pack::PackRequest request);

// A message of the packer as JSON: {"file": the path it names or null, "kind": "warning" or
// "refusal", "text"}.
std::string message_json(const pack::PackMessage& message);

// A pack's or a patch's outcome: {"status": the exit status varnu-pack gives, "messages":
// [message_json...]}, the messages in the order the packer made them.
std::string result_json(const pack::PackResult& result);

// Packs `pictures`, in entry order, into the archive `output`. With an `original` archive, each
// picture takes what varnu-pack --like takes from its entry, and a picture left empty is that
// entry as it stands (pack::replacing_request); without one, every picture must be given. With
// `patch` (and an original), `output` is the patch from the original to that archive instead, as
// varnu-pack --like ORIGINAL --patch writes it. Answers result_json.
std::string pack_json(const std::string& output, const std::optional<std::string>& original,
                      const std::vector<std::optional<std::string>>& pictures, bool patch);

// `varnu-pack --apply PATCH ORIGINAL OUTPUT` (pack::apply_patch_file). Answers result_json.
std::string apply_patch_json(const std::string& patch, const std::string& original,
                             const std::string& output);

}  // namespace varnu::web
