#pragma once
// The Qt front end of frmMain: a QWidget window whose children are the form's
// controls (object names are the control names, so a test finds Label6 by
// name), drawn at the form's twip positions at 15 twips to the pixel.

#include "frmmain/Controls.h"
#include "frmmain/frmMain.h"
#include "frmmain/qt/QtDesktop.h"
#include "platform/Platform.h"

#include <QWidget>

#include <map>
#include <memory>
#include <string>

class QtWindow : public QWidget, public controls::FrontEnd, public controls::Window {
public:
    // Builds the window and its form (which runs Form_Load). Nothing is
    // opened until the window is first shown: then Form_Activate runs, once.
    explicit QtWindow(const platform::Platform& platform, QWidget* parent = nullptr);
    // The same with the file dialog and the clipboard given (a test's recorders).
    QtWindow(const platform::Platform& platform, platform::FileDialog& fileDialog, platform::Clipboard& clipboard);
    ~QtWindow() override;

    frmMain& form() { return *form_; }

    // The control named name, or nullptr.
    QWidget* control(const std::string& name) const;

    // controls::FrontEnd
    controls::Window& createWindow(const std::string& name, const std::string& caption, int width, int height) override;
    controls::Label& addLabel(const std::string& name, const std::string& caption, controls::TwipRect place,
                              bool wraps) override;
    controls::Button& addButton(const std::string& name, const std::string& caption, controls::TwipRect place,
                                std::function<void()> click) override;
    controls::ComboBox& addComboBox(const std::string& name, controls::TwipRect place,
                                    std::function<void()> click) override;
    void setTabOrder(const std::vector<std::string>& names) override;
    // A QtListWindow above this window.
    std::unique_ptr<controls::SecondWindow> openWindow() override;
    platform::FileDialog& fileDialog() override { return *fileDialog_; }
    platform::Clipboard& clipboard() override { return *clipboard_; }

    // controls::Window
    std::string caption() const override;
    void setCaption(const std::string& text) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::map<std::string, QWidget*> controls_;
    bool activated_ = false;
    QtFileDialog desktopFileDialog_;
    QtClipboard desktopClipboard_;
    platform::FileDialog* fileDialog_ = &desktopFileDialog_;
    platform::Clipboard* clipboard_ = &desktopClipboard_;
    std::unique_ptr<frmMain> form_; // last: its controls live in the maps above
};
