#include "frmmain/qt/QtListWindow.h"
#include "frmmain/qt/QtControls.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <utility>

namespace {

using namespace qtfront;

// The rows in the order the form gives them: the view sorts nothing itself.
class ListGrid : public QTreeWidget, public controls::Grid {
public:
    ListGrid(QWidget* parent, Events events) : QTreeWidget(parent), events_(std::move(events)) {
        setRootIsDecorated(false);
        setItemsExpandable(false);
        setUniformRowHeights(true);
        setAllColumnsShowFocus(true);
        setSelectionMode(QAbstractItemView::ExtendedSelection);
        setSelectionBehavior(QAbstractItemView::SelectRows);
        setSortingEnabled(false);
        header()->setSectionsClickable(true);
        header()->setSectionsMovable(false);
        header()->setStretchLastSection(true);
        connect(header(), &QHeaderView::sectionClicked, this, [this](int column) {
            if (events_.headingClick)
                events_.headingClick(column);
        });
        // A double-click or Enter, as the desktop activates an entry.
        connect(this, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
            if (events_.activate && index.isValid())
                events_.activate(index.row());
        });
        connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
            if (events_.selectionChanged)
                events_.selectionChanged();
        });
    }

    void setColumns(const std::vector<Column>& columns) override {
        clear();
        right_.clear();
        QStringList headings;
        for (const Column& column : columns) {
            headings << qt(column.heading);
            right_.push_back(column.right);
        }
        setColumnCount(static_cast<int>(columns.size()));
        setHeaderLabels(headings);
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const int c = static_cast<int>(i);
            // Wide enough for its heading in the font the header shows.
            setColumnWidth(c, std::max(columns[i].width / twipsPerPixel,
                                       header()->fontMetrics().horizontalAdvance(headings[c]) + 16));
            headerItem()->setTextAlignment(c, (columns[i].right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        }
    }
    void setRows(const std::vector<std::vector<std::string>>& rows) override {
        clear();
        QList<QTreeWidgetItem*> items;
        items.reserve(static_cast<qsizetype>(rows.size()));
        for (const auto& row : rows) {
            auto* item = new QTreeWidgetItem;
            for (std::size_t i = 0; i < row.size(); ++i) {
                const int c = static_cast<int>(i);
                item->setText(c, qt(row[i]));
                if (i < right_.size() && right_[i])
                    item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
            }
            items.push_back(item);
        }
        addTopLevelItems(items);
    }
    int rowCount() const override { return topLevelItemCount(); }
    std::vector<int> selectedRows() const override {
        std::vector<int> rows;
        for (int i = 0; i < topLevelItemCount(); ++i)
            if (topLevelItem(i)->isSelected())
                rows.push_back(i);
        return rows;
    }
    void setSelectedRows(const std::vector<int>& rows) override {
        clearSelection();
        bool first = true;
        for (int row : rows) {
            QTreeWidgetItem* item = topLevelItem(row);
            if (!item)
                continue;
            if (first)
                setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
            first = false;
            item->setSelected(true);
        }
        if (QTreeWidgetItem* current = currentItem())
            scrollToItem(current);
    }
    void setSortIndicator(int column, bool ascending) override {
        header()->setSortIndicatorShown(column >= 0);
        header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        // The selected rows, not the view's own copy of the current cell.
        if (event->matches(QKeySequence::Copy)) {
            if (events_.copy)
                events_.copy();
            event->accept();
            return;
        }
        QTreeWidget::keyPressEvent(event);
    }

private:
    Events events_;
    std::vector<bool> right_;
};

class TextLine : public QLineEdit, public controls::TextBox {
public:
    TextLine(QWidget* parent, std::function<void()> enter) : QLineEdit(parent) {
        connect(this, &QLineEdit::returnPressed, this, [enter = std::move(enter)] {
            if (enter)
                enter();
        });
    }
    std::string text() const override { return utf8(QLineEdit::text()); }
    void setText(const std::string& text) override { QLineEdit::setText(qt(text)); }
    void setEnabled(bool enabled) override { QLineEdit::setEnabled(enabled); }
};

} // namespace

QtListWindow::QtListWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
    // Escape closes the window, as its close box does.
    auto* escape = new QAction(this);
    escape->setObjectName("mnuClose");
    escape->setShortcut(QKeySequence(Qt::Key_Escape));
    escape->setShortcutContext(Qt::WindowShortcut);
    addAction(escape);
    connect(escape, &QAction::triggered, this, [this] { close(); });
}

QtListWindow::~QtListWindow() = default;

QWidget* QtListWindow::control(const std::string& name) const {
    auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second;
}

controls::Window& QtListWindow::createWindow(const std::string& name, const std::string& caption, Size size,
                                             Size minimum, std::function<void()> resized,
                                             std::function<void()> closing) {
    setObjectName(qt(name));
    setWindowTitle(qt(caption));
    resized_ = std::move(resized);
    closing_ = std::move(closing);
    setMinimumSize(minimum.width / twipsPerPixel, minimum.height / twipsPerPixel);
    resize(size.width / twipsPerPixel, size.height / twipsPerPixel);
    // The main window's dialog font.
    if (parentWidget())
        setFont(parentWidget()->font());
    return *this;
}

controls::Label& QtListWindow::addLabel(const std::string& name, const std::string& caption, controls::TwipRect place) {
    auto* label = makeLabel(this, name, caption, place);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    controls_[name] = label;
    return *label;
}

controls::Button& QtListWindow::addButton(const std::string& name, const std::string& caption, controls::TwipRect place,
                                          std::function<void()> click) {
    auto* button = makeButton(this, name, caption, place, std::move(click));
    controls_[name] = button;
    return *button;
}

controls::Grid& QtListWindow::addGrid(const std::string& name, controls::TwipRect place,
                                      controls::Grid::Events events) {
    auto* grid = new ListGrid(this, std::move(events));
    grid->setObjectName(qt(name));
    grid->setGeometry(fromTwips(place));
    grid->setFocusPolicy(Qt::StrongFocus);
    controls_[name] = grid;
    return *grid;
}

controls::TextBox& QtListWindow::addTextBox(const std::string& name, const std::string& accessibleName,
                                            controls::TwipRect place, std::function<void()> enter) {
    auto* box = new TextLine(this, std::move(enter));
    box->setObjectName(qt(name));
    box->setAccessibleName(qt(accessibleName));
    box->setGeometry(fromTwips(place));
    box->setFocusPolicy(Qt::StrongFocus);
    controls_[name] = box;
    return *box;
}

void QtListWindow::setTabOrder(const std::vector<std::string>& names) {
    tabOrder_ = names;
    for (std::size_t i = 1; i < names.size(); ++i)
        QWidget::setTabOrder(control(names[i - 1]), control(names[i]));
}

controls::SecondWindow::Size QtListWindow::clientSize() const {
    return {width() * twipsPerPixel, height() * twipsPerPixel};
}

void QtListWindow::place(const std::string& name, controls::TwipRect place) {
    if (QWidget* w = control(name))
        w->setGeometry(fromTwips(place));
}

void QtListWindow::show() {
    QWidget::show();
    raise();
    activateWindow();
    if (!tabOrder_.empty())
        if (QWidget* first = control(tabOrder_.front()))
            first->setFocus();
}

void QtListWindow::hide() {
    QWidget::hide();
}

bool QtListWindow::visible() const {
    return isVisible();
}

std::string QtListWindow::caption() const {
    return utf8(windowTitle());
}

void QtListWindow::setCaption(const std::string& text) {
    setWindowTitle(qt(text));
}

void QtListWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (resized_)
        resized_();
}

void QtListWindow::closeEvent(QCloseEvent* event) {
    if (closing_)
        closing_();
    QWidget::closeEvent(event);
}
