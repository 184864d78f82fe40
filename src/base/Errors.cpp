#include "base/Errors.h"

namespace tarvel {

std::string GeneralErrorText(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + '.';
    return message;
}

} // namespace tarvel
