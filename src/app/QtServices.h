#pragma once

#include "app/Services.h"

namespace sarvoli::app {

class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent) : m_parent(parent) {}
    void showMessage(const std::string& text) override;
    void showError(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    void setParent(QWidget* parent) { m_parent = parent; }

private:
    QWidget* m_parent;
};

class QtOpenFileDialog : public OpenFileDialog {
public:
    explicit QtOpenFileDialog(QWidget* parent) : m_parent(parent) {}
    std::optional<std::string> choose(const std::string& title, const std::string& filter,
                                      const std::string& startFolder, const std::string& fileName) override;
    void setParent(QWidget* parent) { m_parent = parent; }

private:
    QWidget* m_parent;
};

class QtShell : public Shell {
public:
    bool open(const std::string& address) override;
};

}  // namespace sarvoli::app
