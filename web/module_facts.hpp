// The numbers and words the worker needs from the module, said by the module itself rather than
// copied into the worker's script by hand.
#pragma once

#include <string>

namespace varnu::web {

// {"paletteSize": the bytes of a bitmap's palette,
//  "eio": the module's number for an input/output error,
//  "walk": {"goesOn", "succeeded"}: what a walk's step says besides a failure's code,
//  "failures": the converter's failures by code ("usage", "openInput", "createOutput",
//              "convert"),
//  "remakeProblems": why an entry's file could not be made again, by the number
//                    varnu_entry_problem gives ("ready" for none),
//  "recordFields": the fields of an entry's record that varnu_entry_open takes, in its order}
std::string module_facts_json();

}  // namespace varnu::web
