#pragma once
// What the Qt front ends share: twips to pixels, text across the boundary,
// and the label and button, which are the Qt widgets themselves (no Q_OBJECT
// of their own, so a test sees them as a QLabel and a QPushButton).

#include "frmmain/Controls.h"

#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QString>

#include <functional>
#include <string>

namespace qtfront {

inline constexpr int twipsPerPixel = 15;

inline QRect fromTwips(controls::TwipRect r) {
    return {r.left / twipsPerPixel, r.top / twipsPerPixel, r.width / twipsPerPixel, r.height / twipsPerPixel};
}

inline QString qt(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

class QtLabel : public QLabel, public controls::Label {
public:
    using QLabel::QLabel;
    std::string caption() const override { return utf8(text()); }
    void setCaption(const std::string& text) override { setText(qt(text)); }
};

class QtButton : public QPushButton, public controls::Button {
public:
    using QPushButton::QPushButton;
    bool enabled() const override { return isEnabled(); }
    void setEnabled(bool enabled) override { QPushButton::setEnabled(enabled); }
};

// A label or button of parent named name at place (a label takes no focus and
// shows its caption as plain text; a button is never a default button and a
// click runs click).
inline QtLabel* makeLabel(QWidget* parent, const std::string& name, const std::string& caption,
                          controls::TwipRect place) {
    auto* label = new QtLabel(qt(caption), parent);
    label->setObjectName(qt(name));
    label->setGeometry(fromTwips(place));
    label->setFocusPolicy(Qt::NoFocus);
    label->setTextFormat(Qt::PlainText);
    return label;
}

inline QtButton* makeButton(QWidget* parent, const std::string& name, const std::string& caption,
                            controls::TwipRect place, std::function<void()> click) {
    auto* button = new QtButton(qt(caption), parent);
    button->setObjectName(qt(name));
    button->setGeometry(fromTwips(place));
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(button, &QPushButton::clicked, button, [click = std::move(click)] { click(); });
    return button;
}

} // namespace qtfront
