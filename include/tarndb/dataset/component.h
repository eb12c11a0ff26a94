// The named object behind datasets and data sources. Its name is the one that errors raised
// on its behalf carry in front of their text ("Tbarea: Field 'x' not found"); an object
// without a name raises the bare text.
#pragma once

#include <string>

namespace tarn {

class TComponent {
public:
    TComponent() = default;
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

private:
    std::string name_;
};

}  // namespace tarn
