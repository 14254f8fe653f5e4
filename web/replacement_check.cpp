#include "web/replacement_check.hpp"

#include <algorithm>
#include <utility>

#include "bitmap/layout.hpp"
#include "format/bitmap.hpp"
#include "pack/like/unchanged.hpp"
#include "pack/pack.hpp"
#include "web/json.hpp"
#include "web/page_pack.hpp"

namespace varnu::web {
namespace {

// What varnu writes from an entry holding `stored`, in `mode`: its size and the sides its headers
// give, as the page says them of every entry's file (entry_record.hpp).
std::string file_json(std::span<const std::uint8_t> stored, OutputMode mode) {
  EntryFile file;
  if (file.open_stored(stored, mode) != Remade::kReady) return "null";
  std::vector<std::uint8_t> headers(kHeadersSize);
  if (file.read(headers) < headers.size()) return "null";
  const BitmapLayout layout = read_layout(headers);
  return JsonObject()
      .number("fileSize", static_cast<std::int64_t>(file.size()))
      .number("width", layout.width)
      .number("height", layout.height)
      .text();
}

// What the mapping did, as varnu-pack's warning says it ("text") and in figures: errors in
// hundredths of CIEDE2000.
std::string mapping_json(const pack::MappingFigures& figures) {
  return JsonObject()
      .number("pixelsMoved", static_cast<std::int64_t>(figures.pixels_moved))
      .number("meanError", figures.mean_error)
      .number("largestError", figures.largest_error)
      .string("text", pack::describe(figures))
      .text();
}

}  // namespace

Remade check_replacement(const std::string& path, archive::EntryRecord record,
                         std::span<const std::uint8_t> borrowed, const std::string& picture,
                         CheckedReplacement& out) {
  record.plan.mode = OutputMode::kPlain;
  EntryFile original;
  if (const Remade read = original.open(path, record, borrowed); read != Remade::kReady) {
    return read;
  }
  record.resolution = original.resolution();
  pack::LikeEntry like{.entry = &record, .bytes = {}, .converted = original.read_rest()};
  pack::PictureCheck check = pack::check_picture(with_page_options({}), {picture}, like);

  std::vector<std::string> warnings;
  for (const pack::PackMessage& warning : check.warnings) warnings.push_back(message_json(warning));
  JsonObject json;
  json.raw("refusal", check.refusal ? message_json(*check.refusal) : "null")
      .raw("warnings", json_array(warnings))
      .boolean("unchanged", check.unchanged);
  if (!check.refusal) {
    json.raw("plain", file_json(check.stored, OutputMode::kPlain))
        .raw("halfWidth", file_json(check.stored, OutputMode::kHalfWidth))
        .raw("mapping", check.mapping ? mapping_json(check.mapping->figures) : "null");
  }
  if (check.mapping) out.moved = std::move(check.mapping->moved);
  out.json = json.text();
  out.stored = std::move(check.stored);
  return Remade::kReady;
}

}  // namespace varnu::web
