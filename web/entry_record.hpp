// An entry's record as the worker keeps it, in the words of archive::EntryRecord: written as JSON
// when the walk reads the entry, and handed back as numbers when the page wants the entry's file
// made again, long after the walk has moved on (or in a fresh worker that never walked it).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "archive/entry_reader.hpp"

namespace varnu::web {

// What the page shows of the file the converter writes for the entry, which its record does not
// say: its name, its size and the width and height its headers give.
struct FileFacts {
  std::string name;
  std::uint64_t size = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
};

// The file the walk has just prepared in `image` for `plan`, named `name`. At half width its size
// is that of the half-width file and its sides those of the rewritten headers; the file is never
// written to learn them.
FileFacts file_facts(std::span<const std::uint8_t> image, const BitmapPlan& plan, std::string name);

// The record as a JSON object: the fields record_fields() names, `borrows`, and the file's facts
// (`name`, `fileSize`, `width`, `height`).
std::string record_json(const archive::EntryRecord& record, const FileFacts& file);

// The names of the fields that come back into record_from, in the order it takes them, as a JSON
// array: the worker hands back a record's values in this order.
std::string record_fields_json();

// A record from the values of those fields, in that order: all that reading the entry again and
// making its file takes.
archive::EntryRecord record_from(std::span<const double> values);

}  // namespace varnu::web
