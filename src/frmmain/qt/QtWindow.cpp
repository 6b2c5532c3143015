#include "frmmain/qt/QtWindow.h"
#include "frmmain/qt/QtControls.h"

#include "frmmain/qt/QtListWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include <utility>

namespace {

using namespace qtfront;

class QtComboBox : public QComboBox, public controls::ComboBox {
public:
    QtComboBox(QWidget* parent, std::function<void()> click) : QComboBox(parent), click_(std::move(click)) {
        // Only a user's choice: a selection made from code raises the click itself.
        connect(this, &QComboBox::activated, this, [this] { click_(); });
    }
    std::string text() const override { return utf8(currentText()); }
    void clear() override { QComboBox::clear(); }
    void addItem(const std::string& text) override {
        // A list without a selection keeps none (Qt selects the first entry
        // added to an empty list).
        const bool none = currentIndex() < 0;
        QComboBox::addItem(qt(text));
        if (none)
            setCurrentIndex(-1);
    }
    int listCount() const override { return count(); }
    std::string list(int index) const override {
        return index >= 0 && index < count() ? utf8(itemText(index)) : std::string();
    }
    int listIndex() const override { return currentIndex(); }
    void setListIndex(int index) override {
        setCurrentIndex(index);
        click_();
    }

private:
    std::function<void()> click_;
};

} // namespace

QtWindow::QtWindow(const platform::Platform& platform, QWidget* parent) : QWidget(parent) {
    form_ = std::make_unique<frmMain>(platform, *this);
    // Undo has no control of its own: the standard key anywhere in the window.
    auto* undo = new QAction(this);
    undo->setObjectName("mnuUndo");
    undo->setShortcut(QKeySequence::Undo);
    undo->setShortcutContext(Qt::WindowShortcut);
    addAction(undo);
    connect(undo, &QAction::triggered, this, [this] { form_->mnuUndo_Click(); });
    // The History window by its key as well as its button.
    auto* history = new QAction(this);
    history->setObjectName("mnuHistory");
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    history->setShortcutContext(Qt::WindowShortcut);
    addAction(history);
    connect(history, &QAction::triggered, this, [this] { form_->cmdHistory_Click(); });
    // Escape stops Check All.
    auto* stop = new QAction(this);
    stop->setObjectName("mnuStop");
    stop->setShortcut(QKeySequence(Qt::Key_Escape));
    stop->setShortcutContext(Qt::WindowShortcut);
    addAction(stop);
    connect(stop, &QAction::triggered, this, [this] { form_->mnuStop_Click(); });
}

QtWindow::QtWindow(const platform::Platform& platform, platform::FileDialog& fileDialog, platform::Clipboard& clipboard)
    : QtWindow(platform) {
    fileDialog_ = &fileDialog;
    clipboard_ = &clipboard;
}

QtWindow::~QtWindow() = default;

std::unique_ptr<controls::SecondWindow> QtWindow::openWindow() {
    return std::make_unique<QtListWindow>(this);
}

QWidget* QtWindow::control(const std::string& name) const {
    auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second;
}

controls::Window& QtWindow::createWindow(const std::string& name, const std::string& caption, int width, int height) {
    setObjectName(qt(name));
    setWindowTitle(qt(caption));
    // A fixed dialog frame: a title and a close box, no minimise or maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(width / twipsPerPixel, height / twipsPerPixel);
    // The layout is drawn for a small, narrow dialog font: at 11 pixels,
    // condensed, the widest caption, "Total of income transactions
    // paid", still fits its label.
    QFont dialogFont = font();
    dialogFont.setPixelSize(11);
    dialogFont.setStretch(QFont::Condensed);
    setFont(dialogFont);
    return *this;
}

controls::Label& QtWindow::addLabel(const std::string& name, const std::string& caption, controls::TwipRect place,
                                    bool wraps) {
    auto* label = makeLabel(this, name, caption, place);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(wraps);
    controls_[name] = label;
    return *label;
}

controls::Button& QtWindow::addButton(const std::string& name, const std::string& caption, controls::TwipRect place,
                                      std::function<void()> click) {
    auto* button = makeButton(this, name, caption, place, std::move(click));
    controls_[name] = button;
    return *button;
}

controls::ComboBox& QtWindow::addComboBox(const std::string& name, controls::TwipRect place,
                                          std::function<void()> click) {
    auto* combo = new QtComboBox(this, std::move(click));
    combo->setObjectName(qt(name));
    combo->setGeometry(fromTwips(place));
    combo->setEditable(false);
    combo->setFocusPolicy(Qt::StrongFocus);
    controls_[name] = combo;
    return *combo;
}

void QtWindow::setTabOrder(const std::vector<std::string>& names) {
    for (std::size_t i = 1; i < names.size(); ++i)
        QWidget::setTabOrder(control(names[i - 1]), control(names[i]));
    if (!names.empty())
        control(names.front())->setFocus();
}

std::string QtWindow::caption() const {
    return utf8(windowTitle());
}

void QtWindow::setCaption(const std::string& text) {
    setWindowTitle(qt(text));
}

void QtWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The database is opened once, after the window first appears; coming
    // back to the window later keeps the list and its selection.
    if (!activated_) {
        activated_ = true;
        QTimer::singleShot(0, this, [this] { form_->Form_Activate(); });
    }
}

void QtWindow::closeEvent(QCloseEvent* event) {
    // The form may keep the window open (a batch says what it did first).
    if (form_->Form_QueryUnload()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
