#include "tarndb/dataset/db_errors.h"

#include "tarndb/dataset/component.h"

namespace tarn {

std::string ComponentMessage(const TComponent* component, const std::string& message) {
    if (component != nullptr && !component->Name().empty())
        return component->Name() + ": " + message;
    return message;
}

void DatabaseError(const std::string& message, const TComponent* component) {
    throw EDatabaseError(ComponentMessage(component, message));
}

}  // namespace tarn
