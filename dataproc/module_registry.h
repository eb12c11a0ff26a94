// The two process-wide registries of data-processing modules: ordered lists of
// (name, module class) pairs, one for compression modules (CompressModuleList) and one for
// encryption modules (EncryptModuleList). The names are the ones database files carry in
// their information block ("ZLIB", "Blowfish", "Twofish", "Gost").
//
// Rules: registering a class that is already listed only renames its entry (it keeps its
// position); a new class is appended. Two classes under one name are both kept and a lookup
// finds the earlier. Names are compared ignoring ASCII letter case. Positions are
// registration order.
//
// Registration happens through RegisterStandardModules() (standard_modules.h) before any
// database is opened; the registries are internally locked, so registering and looking up
// from several threads is safe.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <typeindex>
#include <typeinfo>
#include <vector>

#include "dataproc/data_process_algo.h"

namespace tarn {

// A module class reference: the identity of a concrete module class and a way to create an
// instance of it with an owner (the "virtual constructor").
template <class Base>
class TModuleClass {
public:
    using Factory = std::unique_ptr<Base> (*)(TDataProcessOwner* owner);

    template <class M>
    static TModuleClass Of() {
        static_assert(std::is_base_of_v<Base, M>, "module class of the wrong kind");
        return TModuleClass(typeid(M), [](TDataProcessOwner* owner) -> std::unique_ptr<Base> {
            return std::make_unique<M>(owner);
        });
    }

    std::unique_ptr<Base> Create(TDataProcessOwner* owner) const { return create_(owner); }
    // True when `module` is an instance of exactly this class (not of a descendant).
    bool IsClassOf(const TDataProcessAlgo& module) const {
        return std::type_index(typeid(module)) == type_;
    }
    bool operator==(const TModuleClass& other) const { return type_ == other.type_; }

private:
    TModuleClass(const std::type_info& type, Factory create) : type_(type), create_(create) {}

    std::type_index type_;
    Factory create_;
};

using TCompressAlgoClass = TModuleClass<TCompressAlgo>;
using TEncryptAlgoClass = TModuleClass<TEncryptAlgo>;

template <class Base>
struct TModuleEntry {
    std::string Name;
    TModuleClass<Base> Class;
};

template <class Base>
class TModuleRegistry {
public:
    // Adds (name, moduleClass), or renames the entry of moduleClass if it is listed.
    void Register(const TModuleClass<Base>& moduleClass, std::string_view name);
    // Position of the first entry whose name equals `name` ignoring letter case, or -1.
    int IndexOf(std::string_view name) const;
    // A copy of the entries in registration order.
    std::vector<TModuleEntry<Base>> Entries() const;
    // The entry at `index` (0 <= index < Entries().size()); raises EDatabaseError
    // "List index out of bounds (%d)" otherwise.
    TModuleEntry<Base> Entry(int index) const;

private:
    mutable std::mutex mutex_;
    std::vector<TModuleEntry<Base>> entries_;
};

using TCompressRegistry = TModuleRegistry<TCompressAlgo>;
using TEncryptRegistry = TModuleRegistry<TEncryptAlgo>;

// The process-wide registries (created on first use, live until the process ends).
TCompressRegistry& CompressModuleList();
TEncryptRegistry& EncryptModuleList();

void RegisterCompressModule(const TCompressAlgoClass& moduleClass, std::string_view name);
void RegisterEncryptModule(const TEncryptAlgoClass& moduleClass, std::string_view name);

template <class M>
void RegisterCompressModule(std::string_view name) {
    RegisterCompressModule(TCompressAlgoClass::Of<M>(), name);
}

template <class M>
void RegisterEncryptModule(std::string_view name) {
    RegisterEncryptModule(TEncryptAlgoClass::Of<M>(), name);
}

// Module names are compared ignoring ASCII letter case (bytes above 127 must match exactly).
bool SameModuleName(std::string_view a, std::string_view b);

extern template class TModuleRegistry<TCompressAlgo>;
extern template class TModuleRegistry<TEncryptAlgo>;

}  // namespace tarn
