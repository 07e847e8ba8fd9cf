#include "result.h"
#include "report.h"

namespace ov {

std::string Error::describe() const {
    if (!offset) return message;
    return message + " (at byte " + std::to_string(*offset) + ")";
}

const char* iconName(Icon icon) {
    switch (icon) {
        case Icon::None:
            return "";
        case Icon::Information:
            return "information";
        case Icon::Exclamation:
            return "exclamation";
        case Icon::Critical:
            return "critical";
        case Icon::Question:
            return "question";
    }
    return "";
}

}  // namespace ov
