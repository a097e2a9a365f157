#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/Services.h"

namespace sarvoli::testing {

// Message boxes that record instead of waiting for a user.
class RecordingMessageBoxes : public app::MessageBoxes {
public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void showError(const std::string& text) override { errors.push_back(text); }
    bool askYesNo(const std::string& text) override
    {
        questions.push_back(text);
        return answerYes;
    }

    std::vector<std::string> messages;
    std::vector<std::string> errors;
    std::vector<std::string> questions;
    bool answerYes = false;
};

// An open-file dialog that answers what the test says.
class ScriptedOpenFileDialog : public app::OpenFileDialog {
public:
    std::optional<std::string> choose(const std::string& title, const std::string& filter,
                                      const std::string& startFolder, const std::string& fileName) override
    {
        calls.push_back({title, filter, startFolder, fileName});
        return answer;
    }

    struct Call {
        std::string title, filter, startFolder, fileName;
    };
    std::vector<Call> calls;
    std::optional<std::string> answer;
};

class RecordingShell : public app::Shell {
public:
    bool open(const std::string& address) override
    {
        opened.push_back(address);
        return true;
    }
    std::vector<std::string> opened;
};

}  // namespace sarvoli::testing
