#pragma once

#include <string>

namespace sarvoli::text {

// The text of an error as the error display shows it: a full stop is added when the last
// character comes after "." in the character table (a letter, a digit, a colon...).
std::string withFinalStop(std::string text);

}  // namespace sarvoli::text
