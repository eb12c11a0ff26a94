#include "dataproc/module_registry.h"

#include "tarndb/errors.h"

namespace tarn {

namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool SameModuleName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

template <class Base>
void TModuleRegistry<Base>::Register(const TModuleClass<Base>& moduleClass, std::string_view name) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& entry : entries_) {
        if (entry.Class == moduleClass) {
            entry.Name = std::string(name);
            return;
        }
    }
    entries_.push_back(TModuleEntry<Base>{std::string(name), moduleClass});
}

template <class Base>
int TModuleRegistry<Base>::IndexOf(std::string_view name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (SameModuleName(entries_[i].Name, name)) return static_cast<int>(i);
    }
    return -1;
}

template <class Base>
std::vector<TModuleEntry<Base>> TModuleRegistry<Base>::Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

template <class Base>
TModuleEntry<Base> TModuleRegistry<Base>::Entry(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) {
        throw EDatabaseError(Format("List index out of bounds (%d)", index));
    }
    return entries_[static_cast<size_t>(index)];
}

template class TModuleRegistry<TCompressAlgo>;
template class TModuleRegistry<TEncryptAlgo>;

TCompressRegistry& CompressModuleList() {
    static TCompressRegistry registry;
    return registry;
}

TEncryptRegistry& EncryptModuleList() {
    static TEncryptRegistry registry;
    return registry;
}

void RegisterCompressModule(const TCompressAlgoClass& moduleClass, std::string_view name) {
    CompressModuleList().Register(moduleClass, name);
}

void RegisterEncryptModule(const TEncryptAlgoClass& moduleClass, std::string_view name) {
    EncryptModuleList().Register(moduleClass, name);
}

}  // namespace tarn
