// The schema as users write it on the command line and read it in `info`: field type names
// (string, integer, date, memo, ...) mapped to the field type codes stored in the file,
// field specifications "NAME:TYPE[:SIZE][:plain]" and index specifications
// "NAME:OPTIONS:FIELD,FIELD" with OPTIONS a comma list of primary, unique, descending and
// nocase (or empty).
//
// Names arrive as UTF-8 and leave in the data code page. Errors: EToolError (usage) naming
// the specification that is wrong and why.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tarndb/creator.h"

namespace tarn::cli {

// The type code for a type name (letter case ignored; the code names "ftString" and the
// plain number of a code are accepted too); 0 when unknown.
uint8_t TypeCodeFromName(std::string_view name);
// The user's name of a type code ("string"); "type N" for a code without a name.
std::string TypeName(uint8_t code);
// Every type name, for help texts: "string, fixedchar, smallint, ...".
std::string TypeNameList();

TFieldSpec ParseFieldSpec(std::string_view definition);
TIndexSpec ParseIndexSpec(std::string_view definition);
// "primary,unique" and so on; "" for none.
std::string IndexOptionsText(uint8_t options);

}  // namespace tarn::cli
