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

// Packs `pictures`, in entry order, into the archive `output`. With an `original` archive, each
// picture takes what varnu-pack --like takes from its entry, and a picture left empty is that
// entry as it stands (pack::replacing_request); without one, every picture must be given. Answers
// {"status": the exit status varnu-pack gives, "messages": [message_json...]}, the messages in the
// order the packer made them.
std::string pack_json(const std::string& output, const std::optional<std::string>& original,
                      const std::vector<std::optional<std::string>>& pictures);

}  // namespace varnu::web
