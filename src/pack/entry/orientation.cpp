#include "pack/entry/orientation.hpp"

#include <algorithm>
#include <utility>

#include "bitmap/fix_up.hpp"
#include "bitmap/layout.hpp"
#include "format/buffers.hpp"

namespace varnu::pack {

std::optional<std::vector<std::uint8_t>> converter_output(std::span<const std::uint8_t> file) {
  const std::optional<BitmapPlan> plan = plan_bitmap(file, OutputMode::kPlain);
  if (!plan) return std::nullopt;
  // Only what the converter reads: `file` may be a whole image buffer.
  std::vector<std::uint8_t> out(
      file.begin(), file.begin() + static_cast<std::ptrdiff_t>(planned_extent(file, *plan)));
  prepare_file(out, *plan);
  out.resize(plan->layout.file_size);
  return out;
}

std::vector<std::uint8_t> upside_down(std::span<const std::uint8_t> file) {
  std::vector<std::uint8_t> out(file.begin(), file.end());
  reverse_rows(out, read_layout(file));
  return out;
}

bool converter_flips(std::span<const std::uint8_t> file) {
  const std::optional<BitmapPlan> plan = plan_bitmap(file, OutputMode::kPlain);
  return plan && plan->flip;
}

StoredForm choose_stored_form(std::vector<std::uint8_t> picture,
                              std::optional<bool> like_upside_down) {
  // The picture as the converter would give it back if it never moved a row: the resolution
  // fields are the only other bytes it changes.
  const std::optional<BitmapPlan> plan = plan_bitmap(picture, OutputMode::kPlain);
  // Not green-keyed, the picture comes back as it is stored, and so it stays as it is when the
  // original was not stored upside down either: nothing to try (most pictures, with --like).
  if (plan && !palette_is_green_key(picture) && plan->layout.file_size == picture.size() &&
      like_upside_down == false) {
    return {.file = std::move(picture), .upside_down = false, .warning = {}};
  }
  std::vector<std::uint8_t> wanted = picture;
  if (plan) fix_up_bitmap(wanted, BitmapPlan{.layout = plan->layout, .flip = false});

  std::vector<std::uint8_t> flipped = upside_down(picture);
  const bool as_is_works = converter_output(picture) == wanted;
  const bool flipped_works = converter_output(flipped) == wanted;

  StoredForm form;
  if (as_is_works && flipped_works) {
    // Upside down, as such pictures are usually stored; but rows longer than the work area that
    // readers turn a picture over through stay as they are, since either form comes back whole.
    const bool readers_can_flip = row_stride(read_layout(picture).width) <= kWorkAreaSize;
    form.upside_down = like_upside_down.value_or(readers_can_flip);
  } else if (as_is_works || flipped_works) {
    form.upside_down = flipped_works;
  } else {
    form.upside_down = true;
    form.warning =
        "green-keyed (palette entry 0 is near pure green), its bottom-left pixel uses entry 0 and "
        "its top-left pixel does not, so varnu gives it back upside down whichever way it is "
        "stored";
  }
  form.file = form.upside_down ? std::move(flipped) : std::move(picture);
  return form;
}

}  // namespace varnu::pack
