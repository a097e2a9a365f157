#include "text/MessageText.h"

namespace sarvoli::text {

std::string withFinalStop(std::string text)
{
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

}  // namespace sarvoli::text
