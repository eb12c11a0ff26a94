// The schema as users write it on the command line and read it in `info`: field type names
// (string, integer, date, memo, ...) mapped to the field types, field definitions
// "NAME:TYPE[:SIZE][:plain]" and index definitions "NAME:OPTIONS:FIELD,FIELD" with OPTIONS a
// comma list of primary, unique, descending and nocase (or empty).
//
// Names arrive as UTF-8 and leave in the data code page. Errors: EToolError (usage) naming
// the definition that is wrong and why.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tarndb/creator.h"
#include "tarndb/dataset/field_types.h"

namespace tarn::cli {

// The field type for a type name (letter case ignored; the code names "ftString" and the
// plain number of a type are accepted too); ftUnknown when unknown or when records cannot
// hold the type.
TFieldType TypeFromName(std::string_view name);
// The user's name of a field type ("string"); "type N" for a type without a name.
std::string TypeName(TFieldType type);
// Every type name, for help texts: "string, fixedchar, smallint, ...".
std::string TypeNameList();

TFieldDefinition ParseFieldDefinition(std::string_view definition);
TIndexDefinition ParseIndexDefinition(std::string_view definition);
// The options of "primary,unique,..." ("" or "none": no option); a usage error that begins
// with `context` for an unknown option.
TIndexOptions ParseIndexOptions(std::string_view text, const std::string& context);
// "primary,unique" and so on; "" for none.
std::string IndexOptionsText(TIndexOptions options);

}  // namespace tarn::cli
