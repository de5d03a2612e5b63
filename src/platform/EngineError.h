#pragma once

#include <stdexcept>
#include <string>

// The one failure type of the engine: its text is exactly what the user is shown.
class EngineError : public std::runtime_error {
  public:
    explicit EngineError(const std::string& text) : std::runtime_error(text) {}
};

// The error box appends a full stop when the text's last character sorts after ".".
inline std::string ErrorBoxText(const std::string& text)
{
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) {
        return text + ".";
    }
    return text;
}
