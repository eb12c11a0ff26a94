// TIndexDefs / TIndexDef: the description of a dataset's indexes (name, key fields, options
// of the one index-option set, index_options.h),
// which a table fills when it opens. They only carry data.
//
// Names compare without regard to letter case (names.h); the first match wins.
#pragma once

#include <string>
#include <vector>

#include "tarndb/dataset/index_options.h"

namespace tarn {

class TComponent;

class TIndexDef {
public:
    TIndexDef(std::string name, std::string fields, TIndexOptions options)
        : name_(std::move(name)), fields_(std::move(fields)), options_(options) {}

    const std::string& Name() const { return name_; }
    // The key fields' names in key order, as the table writes them.
    const std::string& Fields() const { return fields_; }
    TIndexOptions Options() const { return options_; }
    bool Has(TIndexOption o) const { return options_.Has(o); }

private:
    std::string name_;
    std::string fields_;
    TIndexOptions options_;
};

class TIndexDefs {
public:
    explicit TIndexDefs(const TComponent* owner = nullptr) : owner_(owner) {}

    // Adds a definition. Names need not be unique (a stored file may repeat one); lookups
    // by name find the first.
    TIndexDef& Add(std::string name, std::string fields, TIndexOptions options);
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    // "Index out of range" for a position outside 0 .. Count - 1.
    const TIndexDef& operator[](int index) const;
    int IndexOf(const std::string& name) const;
    // The definition named `name`, or EDatabaseError "Index '%s' not found".
    const TIndexDef& Find(const std::string& name) const;

private:
    const TComponent* owner_;
    std::vector<TIndexDef> items_;
};

}  // namespace tarn
