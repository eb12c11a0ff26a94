// Schema definitions: what a connected database knows of its tables (TTarnTableDefs) and
// what a loaded table knows of its fields and indexes (TTarnFieldDefs, TTarnIndexDefs).
// The collections only carry data; they never read or write the file themselves.
//
// Items are owned by their collection; a collection belongs to its database or table.
// Names compare without regard to letter case (SameName); the first match wins.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tarndb/dataset/field_types.h"
#include "tarndb/dataset/index_options.h"
#include "tarndb/errors.h"

namespace tarn {

// Where a database lives: in a file, or in an in-memory image (see TMemoryStreams).
enum class TTarnDBMediumType { mtDisk, mtMemory };

class TTarnCollection;

// A named collection item.
class TTarnNamedItem {
public:
    virtual ~TTarnNamedItem() = default;
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name);
    // Position in the owning collection; -1 when free-standing.
    int Index() const;
    // The number the collection gave this item when it was added; never reused.
    int ID() const { return id_; }
    TTarnCollection* Collection() const { return collection_; }

protected:
    void Changed();

private:
    friend class TTarnCollection;
    std::string name_;
    int id_ = -1;
    TTarnCollection* collection_ = nullptr;
};

class TTarnCollection {
public:
    virtual ~TTarnCollection() = default;
    int Count() const { return static_cast<int>(items_.size()); }
    void Clear();
    // Called once per batch of changes (BeginUpdate / EndUpdate bracket a batch).
    std::function<void()> OnChange;
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    int IndexOf(const TTarnNamedItem* item) const;
    // Item i; EDatabaseError "Index out of range" outside 0 .. Count - 1.
    TTarnNamedItem& ItemAt(int i) const {
        if (i < 0 || i >= Count()) throw EDatabaseError("Index out of range");
        return *items_[static_cast<size_t>(i)];
    }

protected:
    TTarnNamedItem& AddItem(std::unique_ptr<TTarnNamedItem> item);
    // The prefix of default names ("TarnF", "TarnI"); empty: no default names.
    virtual std::string DefaultNamePrefix() const { return ""; }

private:
    friend class TTarnNamedItem;
    void NotifyChanged();
    std::vector<std::unique_ptr<TTarnNamedItem>> items_;
    int nextID_ = 0;
    int updateCount_ = 0;
    bool changedInUpdate_ = false;
};

// Position of the first item named `name` (letter case ignored), or -1.
int FindDefIndex(const TTarnCollection& collection, const std::string& name);

class TTarnTableDef : public TTarnNamedItem {
public:
    int32_t TableNo = -1;  // position of the table in the directory
};

class TTarnTableDefs : public TTarnCollection {
public:
    TTarnTableDef& Add() {
        return static_cast<TTarnTableDef&>(AddItem(std::make_unique<TTarnTableDef>()));
    }
    TTarnTableDef& operator[](int i) const { return static_cast<TTarnTableDef&>(ItemAt(i)); }
};

// Base of the field and index definition collections: items added without a name get a
// default name from their class and collection ID ("TarnF1", "TarnI3").
class TTarnDefCollection : public TTarnCollection {};

class TTarnFieldDef : public TTarnNamedItem {
public:
    TFieldType FieldType = ftUnknown;  // as stored: any byte, also one naming no type
    int32_t Size = 0;
    bool StorePlain = false;
    void Assign(const TTarnFieldDef& source);
};

class TTarnFieldDefs : public TTarnDefCollection {
public:
    TTarnFieldDef& Add() {
        return static_cast<TTarnFieldDef&>(AddItem(std::make_unique<TTarnFieldDef>()));
    }
    TTarnFieldDef& operator[](int i) const { return static_cast<TTarnFieldDef&>(ItemAt(i)); }

protected:
    std::string DefaultNamePrefix() const override { return "TarnF"; }
};

// The engine's name for the one index-option set (tiPrimary, tiUnique, tiDescending,
// tiCaseInsensitive; dataset/index_options.h).
using TTDIndexOptions = TIndexOptions;

class TTarnIndexDef : public TTarnNamedItem {
public:
    TTDIndexOptions Options;         // as stored, uninterpreted bits included
    std::vector<int32_t> KeyFields;  // field numbers in key order
    void Assign(const TTarnIndexDef& source);
};

class TTarnIndexDefs : public TTarnDefCollection {
public:
    TTarnIndexDef& Add() {
        return static_cast<TTarnIndexDef&>(AddItem(std::make_unique<TTarnIndexDef>()));
    }
    TTarnIndexDef& operator[](int i) const { return static_cast<TTarnIndexDef&>(ItemAt(i)); }

protected:
    std::string DefaultNamePrefix() const override { return "TarnI"; }
};

}  // namespace tarn
