// Raising the dataset framework's errors. `DatabaseError` raises EDatabaseError with the
// literal message; when it is raised on behalf of a component that has a name, the text
// is that name, ": " and the message ("Table1: Field 'X' not found"); a component without
// a name gets the message alone.
//
// The framework's own message texts are collected here so every caller uses the same bytes.
#pragma once

#include <string>

#include "tarndb/errors.h"

namespace tarn {

class TComponent;

namespace msg {
inline constexpr const char* kFieldNotFound = "Field '%s' not found";
inline constexpr const char* kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* kDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* kDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* kNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* kFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* kFieldRequired = "Field '%s' must have a value";
inline constexpr const char* kRecordNotFound = "Record not found";
inline constexpr const char* kDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* kIndexNotFound = "Index '%s' not found";
inline constexpr const char* kUnknownFieldType = "Field '%s' is of an unknown type";
inline constexpr const char* kFieldTypeMismatch =
    "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* kFieldIndexError = "Field index out of range";
inline constexpr const char* kDataSetMissing = "Field '%s' has no dataset";
inline constexpr const char* kCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* kCalcBlobField = "Blob field '%s' cannot be a calculated field";
inline constexpr const char* kBlobNotSupported = "Blob fields are not supported by this dataset";
inline constexpr const char* kAddRecordNotSupported = "Cannot add records to this dataset";
inline constexpr const char* kDeleteNotSupported = "Cannot delete records of this dataset";
inline constexpr const char* kValueCountMismatch = "Number of values does not match the fields";
}  // namespace msg

// The component name and ": " in front of `message` when `component` has a name.
std::string ComponentMessage(const TComponent* component, const std::string& message);

[[noreturn]] void DatabaseError(const std::string& message, const TComponent* component = nullptr);

}  // namespace tarn
