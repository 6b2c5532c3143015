#pragma once
// The Qt front end of a second window (the list of Check All, the History): a
// resizable QWidget window above the main window, its controls Qt widgets
// named as the form names them (a grid is a QTreeWidget, a text box a
// QLineEdit), placed at the form's twips at 15 twips to the pixel.

#include "frmmain/Controls.h"

#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QtListWindow : public QWidget, public controls::SecondWindow, public controls::Window {
public:
    // owner: the main window, which the window stays above.
    explicit QtListWindow(QWidget* owner);
    ~QtListWindow() override;

    // The control named name, or nullptr.
    QWidget* control(const std::string& name) const;

    // controls::SecondWindow
    controls::Window& createWindow(const std::string& name, const std::string& caption, Size size, Size minimum,
                                   std::function<void()> resized, std::function<void()> closing) override;
    controls::Label& addLabel(const std::string& name, const std::string& caption, controls::TwipRect place) override;
    controls::Button& addButton(const std::string& name, const std::string& caption, controls::TwipRect place,
                                std::function<void()> click) override;
    controls::Grid& addGrid(const std::string& name, controls::TwipRect place, controls::Grid::Events events) override;
    // A QLineEdit.
    controls::TextBox& addTextBox(const std::string& name, const std::string& accessibleName, controls::TwipRect place,
                                  std::function<void()> enter) override;
    void setTabOrder(const std::vector<std::string>& names) override;
    Size clientSize() const override;
    void place(const std::string& name, controls::TwipRect place) override;
    void show() override;
    void hide() override;
    bool visible() const override;

    // controls::Window
    std::string caption() const override;
    void setCaption(const std::string& text) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::map<std::string, QWidget*> controls_;
    std::vector<std::string> tabOrder_;
    std::function<void()> resized_;
    std::function<void()> closing_;
};
