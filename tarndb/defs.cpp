#include "tarndb/defs.h"

#include "platform/dataset/names.h"

namespace tarn {

void TTarnNamedItem::SetName(const std::string& name) {
    name_ = name;
    Changed();
}

int TTarnNamedItem::Index() const { return collection_ ? collection_->IndexOf(this) : -1; }

void TTarnNamedItem::Changed() {
    if (collection_) collection_->NotifyChanged();
}

void TTarnCollection::Clear() {
    if (items_.empty()) return;
    items_.clear();  // the ID counter is kept: IDs are never reused
    NotifyChanged();
}

void TTarnCollection::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && changedInUpdate_) {
        changedInUpdate_ = false;
        if (OnChange) OnChange();
    }
}

void TTarnCollection::NotifyChanged() {
    if (updateCount_ > 0) {
        changedInUpdate_ = true;
        return;
    }
    if (OnChange) OnChange();
}

int TTarnCollection::IndexOf(const TTarnNamedItem* item) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == item) return static_cast<int>(i);
    return -1;
}

TTarnNamedItem& TTarnCollection::AddItem(std::unique_ptr<TTarnNamedItem> item) {
    item->collection_ = this;
    item->id_ = nextID_++;
    std::string prefix = DefaultNamePrefix();
    if (!prefix.empty()) item->name_ = prefix + std::to_string(item->id_ + 1);
    items_.push_back(std::move(item));
    NotifyChanged();
    return *items_.back();
}

int FindDefIndex(const TTarnCollection& collection, const std::string& name) {
    for (int i = 0; i < collection.Count(); ++i)
        if (SameName(collection.ItemAt(i).Name(), name)) return i;
    return -1;
}

void TTarnFieldDef::Assign(const TTarnFieldDef& source) {
    TTarnCollection* c = Collection();
    if (c) c->BeginUpdate();
    SetName(source.Name());
    FieldType = source.FieldType;
    Size = source.Size;
    StorePlain = source.StorePlain;
    Changed();
    if (c) c->EndUpdate();
}

void TTarnIndexDef::Assign(const TTarnIndexDef& source) {
    TTarnCollection* c = Collection();
    if (c) c->BeginUpdate();
    SetName(source.Name());
    Options = source.Options;
    KeyFields = source.KeyFields;
    Changed();
    if (c) c->EndUpdate();
}

}  // namespace tarn
