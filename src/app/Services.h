#pragma once

#include <optional>
#include <string>

class QWidget;

namespace sarvoli::app {

// The program's message boxes, captioned with the application title and one OK button.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A plain message of a command's input check.
    virtual void showMessage(const std::string& text) = 0;
    // An error that ended a command, with the error icon.
    virtual void showError(const std::string& text) = 0;
    // A question with the buttons Yes and No, No the default: closing it answers no.
    virtual bool askYesNo(const std::string& text) = 0;
};

// The system's open-file dialog, without validation: the name in its name field comes back
// as it stands. Folders are in the system's own form.
class OpenFileDialog {
public:
    virtual ~OpenFileDialog() = default;
    // The full name chosen, or nothing when the user cancels. `filter` holds pairs of a
    // description and a pattern, separated by "|".
    virtual std::optional<std::string> choose(const std::string& title, const std::string& filter,
                                              const std::string& startFolder, const std::string& fileName) = 0;
};

// Hands an address (mailto: or a web address) to the user's mail program or browser.
class Shell {
public:
    virtual ~Shell() = default;
    virtual bool open(const std::string& address) = 0;
};

// The window's ways out to the user and the system; tests put recorders here.
struct Services {
    MessageBoxes* messages = nullptr;
    OpenFileDialog* openFile = nullptr;
    Shell* shell = nullptr;
};

}  // namespace sarvoli::app
