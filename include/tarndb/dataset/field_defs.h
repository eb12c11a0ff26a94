// TFieldDefs / TFieldDef: the description of a dataset's columns (name, type, size,
// required), filled by the derived dataset's InternalInitFieldDefs when it opens. Default
// field objects are created from them (CreateFields) and persistent field objects are bound
// to them by name (BindFields).
//
// Names compare without regard to letter case (names.h); the first match wins. A definition's
// FieldNo is its 1-based position. Owned by its dataset (TDataSet::FieldDefs); errors name
// that dataset.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tarndb/dataset/field.h"
#include "tarndb/dataset/field_types.h"

namespace tarn {

class TComponent;

class TFieldDef {
public:
    TFieldDef(std::string name, TFieldType type, int size, bool required, int fieldNo)
        : name_(std::move(name)),
          dataType_(type),
          size_(size),
          required_(required),
          fieldNo_(fieldNo) {}

    const std::string& Name() const { return name_; }
    TFieldType DataType() const { return dataType_; }
    int Size() const { return size_; }
    bool Required() const { return required_; }
    int FieldNo() const { return fieldNo_; }

    // A new field object of the class for the type (MakeField), named and sized after this
    // definition; not yet added to any dataset.
    std::unique_ptr<TField> CreateField() const;

private:
    std::string name_;
    TFieldType dataType_;
    int size_;
    bool required_;
    int fieldNo_;
};

class TFieldDefs {
public:
    explicit TFieldDefs(const TComponent* owner = nullptr) : owner_(owner) {}

    // Adds a definition; a name already present raises "Duplicate field name '%s'".
    TFieldDef& Add(std::string name, TFieldType type, int size = 0, bool required = false);
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    // "Field index out of range" for a position outside 0 .. Count - 1.
    const TFieldDef& operator[](int index) const;
    int IndexOf(const std::string& name) const;
    // The definition named `name`, or EDatabaseError "Field '%s' not found".
    const TFieldDef& Find(const std::string& name) const;

private:
    const TComponent* owner_;
    std::vector<TFieldDef> items_;
};

}  // namespace tarn
