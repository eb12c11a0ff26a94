// Owners and owned components. Sessions, databases and datasets belong to an owner (a
// window or data module of the program); a few rules depend on it: a session with
// AutoSessionName hands its name to the datasets and databases of its owner, and an owner
// may hold only one session while one of them has AutoSessionName.
//
// The owner only knows its components; it does not own their memory (whoever creates a
// component frees it). Components register themselves on construction and leave on
// destruction. Used from one thread.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace tarn {

class TTarnSession;
class TTarnOwned;

class TTarnOwner {
public:
    TTarnOwner() = default;
    ~TTarnOwner();
    TTarnOwner(const TTarnOwner&) = delete;
    TTarnOwner& operator=(const TTarnOwner&) = delete;
    const std::vector<TTarnOwned*>& Components() const { return components_; }

private:
    friend class TTarnOwned;
    std::vector<TTarnOwned*> components_;
};

class TTarnOwned {
public:
    explicit TTarnOwned(TTarnOwner* owner, std::string name = "");
    virtual ~TTarnOwned();
    TTarnOwned(const TTarnOwned&) = delete;
    TTarnOwned& operator=(const TTarnOwned&) = delete;

    TTarnOwner* Owner() const { return owner_; }
    // The component name, put in front of the messages raised on its behalf.
    const std::string& ComponentName() const { return componentName_; }
    virtual void SetComponentName(const std::string& name) { componentName_ = name; }
    // "<name>: <text>", or the text alone for a component without a name.
    std::string Prefixed(const std::string& text) const {
        return componentName_.empty() ? text : componentName_ + ": " + text;
    }

    // A session of the same owner switched AutoSessionName on (or renamed itself).
    virtual void OwnerSessionNamed(TTarnSession&) {}

private:
    friend class TTarnOwner;
    TTarnOwner* owner_;
    std::string componentName_;
};

inline TTarnOwned::TTarnOwned(TTarnOwner* owner, std::string name)
    : owner_(owner), componentName_(std::move(name)) {
    if (owner_) owner_->components_.push_back(this);
}

inline TTarnOwned::~TTarnOwned() {
    if (owner_) std::erase(owner_->components_, this);
}

inline TTarnOwner::~TTarnOwner() {
    for (TTarnOwned* c : components_) c->owner_ = nullptr;
}

}  // namespace tarn
