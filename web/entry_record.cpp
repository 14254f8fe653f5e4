#include "web/entry_record.hpp"

#include <array>
#include <string_view>
#include <utility>
#include <vector>

#include "bitmap/write_bitmap.hpp"
#include "format/bitmap.hpp"
#include "web/json.hpp"

namespace varnu::web {
namespace {

using archive::EntryRecord;

// A field of the record as the worker knows it: its name there, whether it is yes or no rather
// than a number, and how its value is read from a record and set on one. Every value is a whole
// number well within a double.
struct RecordField {
  std::string_view name;
  bool flag;
  double (*get)(const EntryRecord&);
  void (*set)(EntryRecord&, double);
};

constexpr std::array<RecordField, 8> kRecordFields = {{
    {"index", false, [](const EntryRecord& r) { return double(r.index); },
     [](EntryRecord& r, double v) { r.index = static_cast<int>(v); }},
    {"offset", false, [](const EntryRecord& r) { return double(r.offset); },
     [](EntryRecord& r, double v) { r.offset = static_cast<std::uint64_t>(v); }},
    {"packedSize", false, [](const EntryRecord& r) { return double(r.packed_size); },
     [](EntryRecord& r, double v) { r.packed_size = static_cast<std::size_t>(v); }},
    {"unpackedSize", false, [](const EntryRecord& r) { return double(r.unpacked_size); },
     [](EntryRecord& r, double v) { r.unpacked_size = static_cast<std::size_t>(v); }},
    {"end", false, [](const EntryRecord& r) { return double(r.end); },
     [](EntryRecord& r, double v) { r.end = static_cast<std::uint64_t>(v); }},
    {"extent", false, [](const EntryRecord& r) { return double(r.extent); },
     [](EntryRecord& r, double v) { r.extent = static_cast<std::uint64_t>(v); }},
    {"halfWidth", true,
     [](const EntryRecord& r) { return double(r.plan.mode == OutputMode::kHalfWidth); },
     [](EntryRecord& r, double v) {
       r.plan.mode = v != 0 ? OutputMode::kHalfWidth : OutputMode::kPlain;
     }},
    {"flip", true, [](const EntryRecord& r) { return double(r.plan.flip); },
     [](EntryRecord& r, double v) { r.plan.flip = v != 0; }},
}};

}  // namespace

FileFacts file_facts(std::span<const std::uint8_t> image, const BitmapPlan& plan,
                     std::string name) {
  const std::uint64_t size = plan.mode == OutputMode::kHalfWidth
                                 ? HalfWidthRows(image, plan.layout).file_size()
                                 : plan.layout.file_size;
  // A file too short for headers shows the sides its bitmap was planned with.
  const BitmapLayout shown = size >= kHeadersSize ? read_layout(image) : plan.layout;
  return {std::move(name), size, shown.width, shown.height};
}

std::string record_json(const EntryRecord& record, const FileFacts& file) {
  JsonObject json;
  for (const RecordField& field : kRecordFields) {
    const double value = field.get(record);
    if (field.flag) {
      json.boolean(field.name, value != 0);
    } else {
      json.number(field.name, static_cast<std::int64_t>(value));
    }
  }
  return json.boolean("borrows", record.borrows())
      .string("name", file.name)
      .number("fileSize", static_cast<std::int64_t>(file.size))
      .number("width", file.width)
      .number("height", file.height)
      .text();
}

std::string record_fields_json() {
  std::vector<std::string> names;
  for (const RecordField& field : kRecordFields) names.push_back(json_string(field.name));
  return json_array(names);
}

EntryRecord record_from(std::span<const double> values) {
  EntryRecord record;
  for (std::size_t k = 0; k < kRecordFields.size() && k < values.size(); ++k) {
    kRecordFields[k].set(record, values[k]);
  }
  return record;
}

}  // namespace varnu::web
