#include "platform/text/format_settings.h"

namespace tarn {

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

}  // namespace tarn
